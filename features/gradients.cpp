#include "features/gradients.h"

#include <cmath>

#include "features/lookup_tables.h"

namespace vantorra {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;

float octantAtan(float dy, float dx, const float* table) {
    if (dx == 0.0f && dy == 0.0f) return 0.0f;
    const float ax = std::fabs(dx);
    const float ay = std::fabs(dy);
    // The table covers ratios 0..1, so the smaller component always goes on top; the octant is
    // then restored as atan2 would.
    float angle;
    if (ay <= ax) {
        const float a = table[static_cast<int>(100.0f * (ay / ax))];
        angle = dx >= 0.0f ? a : kPi - a;
    } else {
        const float a = table[static_cast<int>(100.0f * (ax / ay))];
        angle = dx >= 0.0f ? kHalfPi - a : kHalfPi + a;
    }
    return dy < 0.0f ? -angle : angle;
}

}  // namespace

float tableAtan2(float dy, float dx) {
    fillLookupTables();
    return octantAtan(dy, dx, atanTable());
}

void computeGradients(const GreyRaster& blurred, GreyRaster& magnitude, GreyRaster& orientation) {
    const float* table = atanTable();
    for (int r = 1; r <= blurred.rows - 2; r += 2) {
        const float* above = blurred.data[r - 1];
        const float* line = blurred.data[r];
        const float* below = blurred.data[r + 1];
        float* m = magnitude.data[r];
        float* o = orientation.data[r];
        for (int c = 1; c <= blurred.cols - 2; c += 2) {
            const float dx = line[c + 1] - line[c - 1];
            const float dy = above[c] - below[c];
            m[c] = std::sqrt(dx * dx + dy * dy);
            o[c] = octantAtan(dy, dx, table);
        }
    }
}

}  // namespace vantorra
