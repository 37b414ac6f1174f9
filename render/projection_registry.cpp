#include "render/projection_registry.h"

#include "render/equirectangular.h"

namespace vantorra {

const ComponentTable<Projection>& projections() {
    static const ComponentRow<Projection> rows[] = {
        {"equirectangular", "Equirectangular (spherical)",
         "longitude across, latitude down: any field up to a full sphere", &instance<Equirectangular>()},
    };
    static const ComponentTable<Projection> table(rows, "equirectangular");
    return table;
}

}  // namespace vantorra
