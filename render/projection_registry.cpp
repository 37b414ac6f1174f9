#include "render/projection_registry.h"

#include "render/cylindrical.h"
#include "render/equirectangular.h"
#include "render/equisolid.h"
#include "render/fisheye.h"
#include "render/mercator.h"
#include "render/orthographic.h"
#include "render/panini.h"
#include "render/rectilinear.h"
#include "render/stereographic.h"
#include "render/transverse_mercator.h"

namespace vantorra {

const ComponentTable<Projection>& projections() {
    static const ComponentRow<Projection> rows[] = {
        {"equirectangular", "Equirectangular (spherical)",
         "longitude across, latitude down: any field up to a full sphere", &instance<Equirectangular>()},
        {"cylindrical", "Cylindrical", "longitude across, tan latitude down: a long row, verticals straight",
         &instance<Cylindrical>()},
        {"mercator", "Mercator", "longitude across, conformal latitude down: a long row, shapes kept",
         &instance<Mercator>()},
        {"transverse-mercator", "Transverse Mercator", "Mercator turned on its side: a tall panorama",
         &instance<TransverseMercator>()},
        {"rectilinear", "Rectilinear (flat)", "straight lines stay straight: a building, a street (under 160 degrees)",
         &instance<Rectilinear>()},
        {"stereographic", "Stereographic", "conformal view from the far side of the sphere: a wide interior",
         &instance<Stereographic>()},
        {"fisheye", "Fisheye (equidistant)", "radius is the angle from the centre: up to the whole sphere",
         &instance<Fisheye>()},
        {"equisolid", "Equisolid (equal-area fisheye)", "areas kept in a disc: up to the whole sphere",
         &instance<Equisolid>()},
        {"orthographic", "Orthographic", "the half ahead, seen from afar", &instance<Orthographic>()},
        {"panini", "Panini", "verticals and lines through the centre straight: a wide interior",
         &instance<Panini>()},
    };
    static const ComponentTable<Projection> table(rows, "equirectangular");
    return table;
}

}  // namespace vantorra
