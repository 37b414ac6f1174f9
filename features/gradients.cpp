#include "features/gradients.h"

#include <algorithm>
#include <cmath>

#include "features/arena_pools.h"
#include "features/lookup_tables.h"
#include "numerics/angles.h"

namespace vantorra {

namespace {

// The table covers ratios 0..1, so the smaller component always goes on top; the octant is then
// restored as atan2 would: a, pi/2 - a, pi/2 + a or pi - a, negated below the horizontal. Written
// without branches because the signs of real gradients are unpredictable.
float octantAtan(float dy, float dx, const float* table) {
    const float ax = std::fabs(dx);
    const float ay = std::fabs(dy);
    const bool steep = ay > ax;
    const float larger = steep ? ay : ax;
    const float smaller = steep ? ax : ay;
    const float ratio = larger > 0.0f ? smaller / larger : 0.0f;
    const float a = table[static_cast<int>(100.0f * ratio)];
    const bool left = dx < 0.0f;
    const float base = steep ? kHalfPi : (left ? kPi : 0.0f);
    const float angle = (steep == left) ? base + a : base - a;
    const float signedAngle = dy < 0.0f ? -angle : angle;
    return larger > 0.0f ? signedAngle : 0.0f;
}

}  // namespace

float tableAtan2(float dy, float dx) {
    fillLookupTables();
    return octantAtan(dy, dx, atanTable());
}

bool allocGradientImages(int rows, int cols, GradientImages& gradients) {
    gradients.rows = rows;
    gradients.cols = cols;
    gradients.magnitude = allocGreyRaster(std::max(0, rows / 2), std::max(0, cols / 2), kScratchPool);
    gradients.orientation = allocGreyRaster(std::max(0, rows / 2), std::max(0, cols / 2), kScratchPool);
    return gradients.magnitude != nullptr && gradients.orientation != nullptr;
}

void computeGradients(const GreyRaster& blurred, GradientImages& gradients) {
    fillLookupTables();
    const float* table = atanTable();
    for (int r = 1; r <= blurred.rows - 2; r += 2) {
        const float* above = blurred.data[r - 1];
        const float* line = blurred.data[r];
        const float* below = blurred.data[r + 1];
        float* m = gradients.magnitude->data[r >> 1];
        float* o = gradients.orientation->data[r >> 1];
        for (int c = 1; c <= blurred.cols - 2; c += 2) {
            const float dx = line[c + 1] - line[c - 1];
            const float dy = above[c] - below[c];
            m[c >> 1] = std::sqrt(dx * dx + dy * dy);
            o[c >> 1] = octantAtan(dy, dx, table);
        }
    }
}

}  // namespace vantorra
