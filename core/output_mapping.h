#pragma once
// How every pixel of a panorama maps to a direction, as the parameter file records it for any
// reader: output pixel (column, row) is the plane position (u, v) = ((column - centreColumn) /
// scale, (centreRow - row) / scale) of the named projection, pixel (0, 0) the centre of the
// top-left pixel; the projection gives the direction d' in the output frame (first axis down,
// second right, third forward), and d = rotation^T d' in the frame of the records' rotations.

#include <string>

#include "numerics/mat3.h"

namespace vantorra {

struct OutputMapping {
    std::string projection;  // a name of the projection table; empty: no mapping
    int width = 0, height = 0;
    double scale = 0;  // pixels per plane unit (per radian at the centre)
    double centreColumn = 0, centreRow = 0;
    Mat3 rotation = Mat3::identity();  // records' frame -> output frame

    bool known() const { return !projection.empty(); }
    bool operator==(const OutputMapping& o) const {
        return projection == o.projection && width == o.width && height == o.height && scale == o.scale &&
               centreColumn == o.centreColumn && centreRow == o.centreRow && rotation.m == o.rotation.m;
    }
};

}  // namespace vantorra
