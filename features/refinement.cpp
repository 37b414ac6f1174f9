#include "features/refinement.h"

#include <cmath>
#include <utility>

namespace vantorra {

float bilinearAt(const GreyRaster& level, float y, float x) {
    const int iy = static_cast<int>(y);
    const int ix = static_cast<int>(x);
    const float fy = y - iy;
    const float fx = x - ix;
    const float* top = level.data[iy];
    const float* bottom = level.data[iy + 1];
    return (1 - fy) * (1 - fx) * top[ix] + fy * (1 - fx) * bottom[ix] + (1 - fy) * fx * top[ix + 1] +
           fy * fx * bottom[ix + 1];
}

bool solveThreeByThree(const float (&h)[3][3], const float (&rhs)[3], float (&x)[3]) {
    float a[3][4];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) a[r][c] = h[r][c];
        a[r][3] = rhs[r];
    }
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(a[pivot][col] != 0.0f)) return false;
        if (pivot != col) std::swap(a[pivot], a[col]);
        for (int r = col + 1; r < 3; ++r) {
            const float factor = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c) a[r][c] -= factor * a[col][c];
        }
    }
    for (int r = 2; r >= 0; --r) {
        float sum = a[r][3];
        for (int c = r + 1; c < 3; ++c) sum -= a[r][c] * x[c];
        x[r] = sum / a[r][r];
        if (!std::isfinite(x[r])) return false;
    }
    return true;
}

namespace {

// The coarser level's value for this level's position (p, q), and the finer level's.
float coarserValue(const GreyRaster& coarser, int p, int q) {
    return bilinearAt(coarser, (4.0f * p - 1.0f) / 6.0f, (4.0f * q - 1.0f) / 6.0f);
}

float finerValue(const GreyRaster& finer, int p, int q) {
    return bilinearAt(finer, 1.5f * p + 0.25f, 1.5f * q + 0.25f);
}

float levelFactor(int level, bool doubled) {
    float f = 1.0f;
    for (int s = 0; s < level; ++s) f *= 1.5f;
    return doubled ? f / 2 : f;
}

}  // namespace

bool refineCandidate(const GreyRaster& finer, const GreyRaster& dog, const GreyRaster& coarser,
                     int i, int j, int level, bool doubled, RefinedKeypoint& keypoint) {
    const float* above = dog.data[i - 1];
    const float* line = dog.data[i];
    const float* below = dog.data[i + 1];
    const float u = coarserValue(coarser, i, j);
    const float w = finerValue(finer, i, j);
    // Derivatives in the order scale, row, column.
    const float g[3] = {(u - w) / 2, (below[j] - above[j]) / 2, (line[j + 1] - line[j - 1]) / 2};
    const float drr = above[j] - 2 * line[j] + below[j];
    const float dcc = line[j - 1] - 2 * line[j] + line[j + 1];
    const float drc = ((below[j + 1] - below[j - 1]) - (above[j + 1] - above[j - 1])) / 4;
    const float hss = u + w - 2 * line[j];
    const float hsr = ((coarserValue(coarser, i + 1, j) - coarserValue(coarser, i - 1, j)) -
                       (finerValue(finer, i + 1, j) - finerValue(finer, i - 1, j))) / 4;
    const float hsc = ((coarserValue(coarser, i, j + 1) - coarserValue(coarser, i, j - 1)) -
                       (finerValue(finer, i, j + 1) - finerValue(finer, i, j - 1))) / 4;
    const float h[3][3] = {{hss, hsr, hsc}, {hsr, drr, drc}, {hsc, drc, dcc}};
    const float rhs[3] = {-g[0], -g[1], -g[2]};
    float x[3];
    if (!solveThreeByThree(h, rhs, x)) return false;
    // A larger step belongs to a neighbouring sample, which is dropped rather than moved.
    if (std::fabs(x[0]) > kOffsetLimit || std::fabs(x[1]) > kOffsetLimit ||
        std::fabs(x[2]) > kOffsetLimit)
        return false;
    const float value = line[j] + 0.5f * (x[0] * g[0] + x[1] * g[1] + x[2] * g[2]);
    if (std::fabs(value) < kContrastThreshold) return false;
    keypoint.row = i + static_cast<double>(x[1]);
    keypoint.col = j + static_cast<double>(x[2]);
    keypoint.sigma = kBaseSigma * std::pow(1.5f, x[0]);
    keypoint.factor = levelFactor(level, doubled);
    keypoint.contrast = value;
    return true;
}

}  // namespace vantorra
