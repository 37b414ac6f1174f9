#include "render/photo_border.h"

#include <cmath>

namespace vantorra {
namespace {

// Pixel (u, v) -> world ray: R^T * K(1/f) * T^-1.
Mat3 inverseProjection(const Camera& camera) {
    return transposed(Mat3::fromMatrix(camera.R)) * focalMatrix(1.0f / camera.f) *
           invertPixelMatrix(Mat3::fromMatrix(camera.imageTransform));
}

Vec3 unitRay(const Mat3& m, float u, float v) {
    const Vec3 p = m * Vec3{u, v, 1.0f};
    const float n = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return Vec3{p.x / n, p.y / n, p.z / n};
}

}  // namespace

BorderRays borderRays(const Camera& camera, int rows, int cols) {
    const Mat3 m = inverseProjection(camera);
    const bool bent = !camera.lens.none();
    // Through a bent lens the border's rays come from its ideal positions.
    auto ray = [&](float u, float v) { return bent ? rayOf(camera, u, v) : unitRay(m, u, v); };
    const float last = static_cast<float>(rows - 1), lastCol = static_cast<float>(cols - 1);
    const float points[8][2] = {{0, 0},           {last, 0},           {0, lastCol},
                                {last, lastCol},  {last / 2, 0},       {last / 2, lastCol},
                                {0, lastCol / 2}, {last, lastCol / 2}};
    BorderRays border;
    for (int i = 0; i < 8; ++i) border.points[static_cast<size_t>(i)] = ray(points[i][0], points[i][1]);
    if (!bent) return border;
    border.edges.reserve(4 * (BorderRays::kEdgeSamples - 1));
    for (int k = 1; k < BorderRays::kEdgeSamples; ++k) {
        const float t = static_cast<float>(k) / BorderRays::kEdgeSamples;
        border.edges.push_back(ray(t * last, 0));
        border.edges.push_back(ray(t * last, lastCol));
        border.edges.push_back(ray(0, t * lastCol));
        border.edges.push_back(ray(last, t * lastCol));
    }
    return border;
}

}  // namespace vantorra
