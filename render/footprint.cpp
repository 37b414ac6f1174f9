#include "render/footprint.h"

#include <algorithm>
#include <cmath>

#include "numerics/mat3.h"
#include "render/spherical.h"

namespace vantorra {
namespace {

// Pixel (u, v) -> world ray: R^T * K(1/f) * T^-1.
Mat3 inverseProjection(const Camera& camera) {
    return transposed(Mat3::fromMatrix(camera.R)) * focalMatrix(1.0f / camera.f) *
           invertPixelMatrix(Mat3::fromMatrix(camera.imageTransform));
}

Vec3 rayOf(const Mat3& m, float u, float v) {
    const Vec3 p = m * Vec3{u, v, 1.0f};
    const float n = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return Vec3{p.x / n, p.y / n, p.z / n};
}

struct Angles {
    float theta = 0, phi = 0;
};

Angles anglesOf(const Vec3& d) { return Angles{thetaOf(d), phiOf(d)}; }

float thetaStep(float a, float b, bool seam) {
    float d = std::fabs(b - a);
    if (seam && d > kPi) d = std::fabs(std::min(a, b) + kTwoPi - std::max(a, b));
    return d;
}

// Pixel bound of a fractional position; kept far inside int so a manual crop much narrower than
// an image cannot overflow the conversion.
int toPixel(float x) { return static_cast<int>(std::fmax(-1.0e9f, std::fmin(1.0e9f, x))); }

}  // namespace

ImageFootprint computeFootprint(const Camera& camera, int rows, int cols) {
    const Mat3 m = inverseProjection(camera);
    // Through a bent lens the border's rays come from its ideal positions.
    auto ray = [&](float u, float v) { return camera.lens.none() ? rayOf(m, u, v) : rayOf(camera, u, v); };
    const float last = static_cast<float>(rows - 1), lastCol = static_cast<float>(cols - 1);

    const float corners[4][2] = {{0, 0}, {last, 0}, {0, lastCol}, {last, lastCol}};
    bool octant[8] = {};
    for (const auto& c : corners) {
        const Vec3 d = ray(c[0], c[1]);
        octant[4 * (d.x < 0) + 2 * (d.y < 0) + (d.z < 0)] = true;
    }
    const bool lowerPole = octant[0] && octant[1] && octant[2] && octant[3];
    const bool upperPole = octant[4] && octant[5] && octant[6] && octant[7];
    const bool seam = !lowerPole && !upperPole &&
                      ((octant[1] && octant[3]) || (octant[5] && octant[7]));

    const float points[8][2] = {{0, 0},           {last, 0},           {0, lastCol},
                                {last, lastCol},  {last / 2, 0},       {last / 2, lastCol},
                                {0, lastCol / 2}, {last, lastCol / 2}};
    float thetaLo = kPi, thetaHi = -kPi, phiLo = kHalfPi, phiHi = -kHalfPi;
    float thetaPositive = kPi, thetaNonPositive = -kPi;
    float phiPositive = kHalfPi, phiNonPositive = -kHalfPi;
    auto take = [&](const Angles& e) {
        thetaLo = std::min(thetaLo, e.theta);
        thetaHi = std::max(thetaHi, e.theta);
        phiLo = std::min(phiLo, e.phi);
        phiHi = std::max(phiHi, e.phi);
        if (e.theta > 0) thetaPositive = std::min(thetaPositive, e.theta);
        else thetaNonPositive = std::max(thetaNonPositive, e.theta);
        if (e.phi > 0) phiPositive = std::min(phiPositive, e.phi);
        else phiNonPositive = std::max(phiNonPositive, e.phi);
    };
    Angles a[8];
    for (int i = 0; i < 8; ++i) {
        a[i] = anglesOf(ray(points[i][0], points[i][1]));
        take(a[i]);
    }
    // A bent border is no great circle: its extremes can lie anywhere along an edge.
    if (!camera.lens.none()) {
        constexpr int kEdgeSamples = 32;
        for (int k = 1; k < kEdgeSamples; ++k) {
            const float t = static_cast<float>(k) / kEdgeSamples;
            take(anglesOf(ray(t * last, 0)));
            take(anglesOf(ray(t * last, lastCol)));
            take(anglesOf(ray(0, t * lastCol)));
            take(anglesOf(ray(last, t * lastCol)));
        }
    }

    ImageFootprint footprint;
    auto addRegion = [&footprint](float t0, float t1, float p0, float p1) {
        RenderRegion region;
        region.thetaMin = t0;
        region.thetaMax = t1;
        region.phiMin = p0;
        region.phiMax = p1;
        footprint.regions.push_back(std::move(region));
    };
    if (upperPole || lowerPole) {
        const float span = upperPole ? kHalfPi - phiPositive : phiNonPositive + kHalfPi;
        if (upperPole) addRegion(-kPi, kPi, phiPositive, kHalfPi);
        else addRegion(-kPi, kPi, -kHalfPi, phiNonPositive);
        footprint.firstEdgeTheta = kTwoPi;
        footprint.firstEdgePhi = 0;
        footprint.secondEdgeTheta = 0;
        footprint.secondEdgePhi = span;
        return footprint;
    }
    if (seam) {
        addRegion(-kPi, thetaNonPositive, phiLo, phiHi);
        addRegion(thetaPositive, kPi, phiLo, phiHi);
    } else {
        addRegion(thetaLo, thetaHi, phiLo, phiHi);
    }
    footprint.firstEdgeTheta = thetaStep(a[0].theta, a[1].theta, seam);
    footprint.firstEdgePhi = std::fabs(a[1].phi - a[0].phi);
    footprint.secondEdgeTheta = thetaStep(a[0].theta, a[2].theta, seam);
    footprint.secondEdgePhi = std::fabs(a[2].phi - a[0].phi);
    return footprint;
}

Coverage coverage(const std::vector<ImageFootprint>& footprints, float theta) {
    Coverage result;
    for (const ImageFootprint& footprint : footprints)
        for (const RenderRegion& region : footprint.regions)
            if (region.thetaMin <= theta && theta <= region.thetaMax) {
                result.found = true;
                result.thetaMin = std::min(result.thetaMin, region.thetaMin);
                result.thetaMax = std::max(result.thetaMax, region.thetaMax);
            }
    return result;
}

void placeFootprint(ImageFootprint& footprint, const PanoramaGrid& grid, int width, int height,
                    float dT, float dP) {
    footprint.grid = grid;
    const float t1 = footprint.firstEdgeTheta / grid.dTheta, p1 = footprint.firstEdgePhi / grid.dPhi;
    const float t2 = footprint.secondEdgeTheta / grid.dTheta, p2 = footprint.secondEdgePhi / grid.dPhi;
    footprint.firstEdgePixels = std::sqrt(t1 * t1 + p1 * p1);
    footprint.secondEdgePixels = std::sqrt(t2 * t2 + p2 * p2);
    const float w = static_cast<float>(width - 1), h = static_cast<float>(height - 1);
    for (RenderRegion& region : footprint.regions) {
        const float cA = w * (region.thetaMin - grid.thetaMin) / dT;
        const float cB = w * (region.thetaMax - grid.thetaMin) / dT;
        const float rA = h * (grid.phiMax - region.phiMax) / dP;
        const float rB = h * (grid.phiMax - region.phiMin) / dP;
        region.colFirst = toPixel(std::ceil(cA));
        region.colLast = toPixel(std::floor(cB));
        region.rowFirst = toPixel(std::ceil(rA));
        region.rowLast = toPixel(std::floor(rB));
        region.thetaMin += (static_cast<float>(region.colFirst) - cA) * grid.dTheta;
        region.thetaMax -= (cB - static_cast<float>(region.colLast)) * grid.dTheta;
        region.phiMax += (static_cast<float>(region.rowFirst) - rA) * grid.dPhi;
        region.phiMin -= (rB - static_cast<float>(region.rowLast)) * grid.dPhi;
    }
}

namespace {

void releaseWorkImages(RenderRegion& region) {
    region.warped.release();
    region.weight.release();
    region.mask.release();
    for (std::vector<int>* v : {&region.rowValidFirst, &region.rowValidLast, &region.colValidFirst, &region.colValidLast}) {
        v->clear();
        v->shrink_to_fit();
    }
}

}  // namespace

ImageFootprint clipFootprint(const ImageFootprint& footprint, int rowStart, int rowEnd,
                             int colStart, int colEnd, float dTheta, float dPhi, int margin) {
    ImageFootprint clipped;
    clipFootprintInto(clipped, footprint, rowStart, rowEnd, colStart, colEnd, dTheta, dPhi, margin);
    return clipped;
}

void clipFootprintInto(ImageFootprint& clipped, const ImageFootprint& footprint, int rowStart, int rowEnd,
                       int colStart, int colEnd, float dTheta, float dPhi, int margin) {
    // Copy-assignment keeps the storage of the work images `clipped` already has: a placed
    // footprint's are empty.
    clipped = footprint;
    clipped.inBlock = false;
    const int top = rowStart - margin, bottom = rowEnd + margin;
    const int left = colStart - margin, right = colEnd + margin;
    clipped.grid.rowOffset = top;
    clipped.grid.colOffset = left;
    const float m = static_cast<float>(margin);
    for (RenderRegion& region : clipped.regions) {
        region.active = false;
        region.rowFirst -= margin;
        region.rowLast += margin;
        region.colFirst -= margin;
        region.colLast += margin;
        region.thetaMin -= m * dTheta;
        region.thetaMax += m * dTheta;
        region.phiMin += m * dPhi;
        region.phiMax -= m * dPhi;
        const int r0 = std::max(region.rowFirst, top), r1 = std::min(region.rowLast, bottom);
        const int c0 = std::max(region.colFirst, left), c1 = std::min(region.colLast, right);
        // A region meeting the block in a single row or column is not drawn.
        if (!(c0 < c1 && r0 < r1)) {
            // Only the images in a block hold work images, which keeps a block's memory to
            // the images that meet in it.
            releaseWorkImages(region);
            continue;
        }
        region.active = true;
        clipped.inBlock = true;
        region.thetaMin += static_cast<float>(c0 - region.colFirst) * dTheta;
        region.thetaMax += static_cast<float>(c1 - region.colLast) * dTheta;
        region.phiMin += static_cast<float>(r1 - region.rowLast) * dPhi;
        region.phiMax += static_cast<float>(r0 - region.rowFirst) * dPhi;
        region.rowFirst = r0 - top;
        region.rowLast = r1 - top;
        region.colFirst = c0 - left;
        region.colLast = c1 - left;
    }
}

}  // namespace vantorra
