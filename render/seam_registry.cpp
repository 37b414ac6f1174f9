#include "render/seam_registry.h"

#include "render/cut_seams.h"
#include "render/nearest_centre_seams.h"

namespace vantorra {

const ComponentTable<SeamFinder>& seamFinders() {
    static const ComponentRow<SeamFinder> rows[] = {
        {"none", "Nearest centre", "each pixel from the photograph whose centre is nearest",
         &instance<NearestCentreSeams>()},
        {"cut", "Around differences", "seams drawn around what differs between overlapping photographs",
         &instance<CutSeams>()},
    };
    static const ComponentTable<SeamFinder> table(rows, "cut");
    return table;
}

}  // namespace vantorra
