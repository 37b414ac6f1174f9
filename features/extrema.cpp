#include "features/extrema.h"

#include <algorithm>
#include <cmath>

#include "numerics/wide_vectors.h"

namespace vantorra {

namespace {

// No value of the 3x3 block centred on (r, c) beats v in the direction given by `maximum`.
bool blockAllows(const GreyRaster& level, int r, int c, float v, bool maximum) {
    for (int y = r - 1; y <= r + 1; ++y) {
        const float* line = level.data[y];
        for (int x = c - 1; x <= c + 1; ++x) {
            if (maximum ? line[x] > v : line[x] < v) return false;
        }
    }
    return true;
}

}  // namespace

bool isScaleSpaceExtremum(const GreyRaster& finer, const GreyRaster& dog, const GreyRaster& coarser,
                          int i, int j) {
    const float v = dog.data[i][j];
    return blockAllows(dog, i, j, v, v > 0.0f) && isExtremumAcrossLevels(finer, coarser, i, j, v);
}

VANTORRA_WIDE_VECTORS
void neighbourhoodExtremes(const GreyRaster& dog, int i, int first, int last, float* highest, float* lowest) {
    const float* above = dog.data[i - 1];
    const float* line = dog.data[i];
    const float* below = dog.data[i + 1];
    for (int j = first; j <= last; ++j) {
        float high = line[j], low = line[j];
        for (const float* row : {above, line, below})
            for (int x = j - 1; x <= j + 1; ++x) {
                high = std::max(high, row[x]);
                low = std::min(low, row[x]);
            }
        highest[j] = high;
        lowest[j] = low;
    }
}

bool isExtremumAcrossLevels(const GreyRaster& finer, const GreyRaster& coarser, int i, int j, float v) {
    const bool maximum = v > 0.0f;
    return blockAllows(finer, (3 * i + 1) / 2, (3 * j + 1) / 2, v, maximum) &&
           blockAllows(coarser, 2 * i / 3, 2 * j / 3, v, maximum);
}

bool passesEdgeTest(const GreyRaster& dog, int i, int j) {
    const float* above = dog.data[i - 1];
    const float* line = dog.data[i];
    const float* below = dog.data[i + 1];
    const float dcc = line[j - 1] - 2 * line[j] + line[j + 1];
    const float drr = above[j] - 2 * line[j] + below[j];
    const float drc = ((below[j + 1] - below[j - 1]) - (above[j + 1] - above[j - 1])) / 4;
    const float m = (dcc + drr) / 2;
    // m^2 - det is ((dcc - drr) / 2)^2 + drc^2 >= 0; rounding can take it just below zero for a
    // perfectly round blob, whose two curvatures are then both m.
    const float q = std::sqrt(std::max(0.0f, m * m - (dcc * drr - drc * drc)));
    return std::min(std::fabs(m + q), std::fabs(m - q)) > kEdgeThreshold;
}

}  // namespace vantorra
