#include "render/seam_registry.h"

#include "render/nearest_centre_seams.h"

namespace vantorra {

const ComponentTable<SeamFinder>& seamFinders() {
    static const ComponentRow<SeamFinder> rows[] = {
        {"none", "Nearest centre", "each pixel from the photograph whose centre is nearest",
         &instance<NearestCentreSeams>()},
    };
    static const ComponentTable<SeamFinder> table(rows, "none");
    return table;
}

}  // namespace vantorra
