#include "render/inside_crop.h"

#include <algorithm>
#include <cstdint>

#include "numerics/camera.h"

namespace vantorra {
namespace {

// What a photograph sees: its pixels at least `margin` inside its border, where every sampler
// finds its neighbours at whatever reduced level the render reads the photograph.
struct Seen {
    PixelProjection projection;
    float margin = 0, lastRow = 0, lastCol = 0;
};

bool seenBy(const Seen& s, const Vec3& d) {
    float u = NAN, v = NAN;
    if (s.projection.bent()) {
        projectBent(s.projection, d, u, v);
    } else {
        const Vec3 p = s.projection.P * d;
        if (p.z > 0.0f) {
            u = p.x / p.z;
            v = p.y / p.z;
        }
    }
    return u >= s.margin && u <= s.lastRow - s.margin && v >= s.margin && v <= s.lastCol - s.margin;
}

// Grid points (row-major) some photograph sees.
std::vector<uint8_t> coveredPoints(const Projection& projection, const std::vector<Seen>& seen,
                                   const PlaneBounds& crop, int cols, int rows) {
    std::vector<uint8_t> covered(static_cast<size_t>(cols) * rows, 0);
    const float du = (crop.thetaMax - crop.thetaMin) / static_cast<float>(cols - 1);
    const float dv = (crop.phiMax - crop.phiMin) / static_cast<float>(rows - 1);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            const Vec3 d = projection.direction(crop.thetaMin + static_cast<float>(j) * du,
                                                crop.phiMax - static_cast<float>(i) * dv);
            for (const Seen& s : seen)
                if (seenBy(s, d)) {
                    covered[static_cast<size_t>(i) * cols + j] = 1;
                    break;
                }
        }
    return covered;
}

struct Cells {
    int area = 0, top = 0, bottom = -1, left = 0, right = -1;  // inclusive cell bounds
};

// The largest rectangle of covered cells: for each row of cells, the heights of covered runs
// ending there, and the largest rectangle under that histogram (a stack of rising heights).
Cells largestRectangle(const std::vector<uint8_t>& points, int cols, int rows) {
    const int cellCols = cols - 1;
    std::vector<int> height(static_cast<size_t>(cellCols) + 1, 0);  // a zero sentinel at the end
    std::vector<int> stack;
    stack.reserve(height.size());
    Cells best;
    auto at = [&](int i, int j) { return points[static_cast<size_t>(i) * cols + j] != 0; };
    for (int i = 0; i + 1 < rows; ++i) {
        for (int j = 0; j < cellCols; ++j) {
            const bool cell = at(i, j) && at(i, j + 1) && at(i + 1, j) && at(i + 1, j + 1);
            height[static_cast<size_t>(j)] = cell ? height[static_cast<size_t>(j)] + 1 : 0;
        }
        stack.clear();
        for (int j = 0; j <= cellCols; ++j) {
            while (!stack.empty() && height[static_cast<size_t>(stack.back())] >= height[static_cast<size_t>(j)]) {
                const int h = height[static_cast<size_t>(stack.back())];
                stack.pop_back();
                const int left = stack.empty() ? 0 : stack.back() + 1;
                if (h * (j - left) > best.area) best = Cells{h * (j - left), i - h + 1, i, left, j - 1};
            }
            stack.push_back(j);
        }
    }
    return best;
}

}  // namespace

PlaneBounds insideCrop(const Projection& projection, const RenderScene& scene,
                       const std::vector<ImageFootprint>& footprints, const PlaneBounds& crop, int cols, int rows) {
    cols = std::clamp(cols, 2, kMaxInsideGrid);
    rows = std::clamp(rows, 2, kMaxInsideGrid);
    std::vector<Seen> seen;
    for (size_t p = 0; p < footprints.size() && p < scene.component.size(); ++p) {
        if (footprints[p].regions.empty()) continue;
        const int k = scene.component[p];
        const ImageSize size = scene.sources.size(k);
        const float margin = std::max(2.0f, 0.01f * static_cast<float>(std::min(size.height, size.width)));
        seen.push_back(Seen{pixelProjection(scene.cameras[static_cast<size_t>(k)]), margin,
                            static_cast<float>(size.height - 1), static_cast<float>(size.width - 1)});
    }
    const Cells cells = largestRectangle(coveredPoints(projection, seen, crop, cols, rows), cols, rows);
    if (cells.area == 0) return PlaneBounds{INFINITY, -INFINITY, INFINITY, -INFINITY};
    const float du = (crop.thetaMax - crop.thetaMin) / static_cast<float>(cols - 1);
    const float dv = (crop.phiMax - crop.phiMin) / static_cast<float>(rows - 1);
    return PlaneBounds{crop.thetaMin + static_cast<float>(cells.left) * du,
                       crop.thetaMin + static_cast<float>(cells.right + 1) * du,
                       crop.phiMax - static_cast<float>(cells.bottom + 1) * dv,
                       crop.phiMax - static_cast<float>(cells.top) * dv};
}

}  // namespace vantorra
