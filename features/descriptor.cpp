#include "features/descriptor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/lookup_tables.h"
#include "numerics/angles.h"

namespace vantorra {

namespace {

constexpr float kWrap = 6.2831855f;
// 1 / (2 * 1.2^2): the Gaussian weighting has a sigma of 1.2 cells.
constexpr float kCellWeighting = 0.3472222f;

// The first odd index at or after `start`: gradients exist at odd positions only.
int firstOdd(int start) { return (start % 2 == 0) ? start + 1 : start; }

// floor(x) for x > -1, without the library call.
float floorAboveMinusOne(float x) { return x < 0.0f ? -1.0f : static_cast<float>(static_cast<int>(x)); }

void accumulate(float (&sums)[36], float u, float v, float rel, float weight) {
    const float gu = floorAboveMinusOne(u);
    const float gv = floorAboveMinusOne(v);
    const float fu = u - gu;
    const float fv = v - gv;
    const float o = rel * 4 / kTwoPi;
    const int b = static_cast<int>(o);
    const float fo = o - b;
    const int b0 = b < 4 ? b : 0;
    const int b1 = b == 3 ? 0 : b0 + 1;
    const int row0 = static_cast<int>(gu);
    const int col0 = static_cast<int>(gv);
    for (int dr = 0; dr < 2; ++dr) {
        const int gridRow = row0 + dr;
        if (gridRow < 0 || gridRow > 2) continue;
        const float rowWeight = dr == 0 ? 1 - fu : fu;
        for (int dc = 0; dc < 2; ++dc) {
            const int gridCol = col0 + dc;
            if (gridCol < 0 || gridCol > 2) continue;
            const float spatial = rowWeight * (dc == 0 ? 1 - fv : fv);
            float* cell = sums + (gridRow * 3 + gridCol) * 4;
            cell[b0] += weight * spatial * (1 - fo);
            cell[b1] += weight * spatial * fo;
        }
    }
}

}  // namespace

void descriptorSums(const GradientImages& gradients,
                    const RefinedKeypoint& keypoint, float theta, float (&sums)[36]) {
    std::fill(std::begin(sums), std::end(sums), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float cellWidth = 4 * keypoint.sigma;
    const float sinT = std::sin(theta) / cellWidth;
    const float cosT = std::cos(theta) / cellWidth;
    const float radius = 1.2f * 4 * 0.5f * cellWidth + 0.5f;
    const int iR = static_cast<int>(radius);
    const int ir = static_cast<int>(keypoint.row + 0.5);
    const int ic = static_cast<int>(keypoint.col + 0.5);
    const int rows = gradients.rows;
    const int cols = gradients.cols;
    for (int r = firstOdd(ir - iR); r <= ir + iR; r += 2) {
        if (r <= 0 || r >= rows - 2) continue;
        const float dr = static_cast<float>(r - keypoint.row);
        const float* m = gradients.magnitude->data[r >> 1];
        const float* o = gradients.orientation->data[r >> 1];
        for (int c = firstOdd(ic - iR); c <= ic + iR; c += 2) {
            if (c <= 0 || c >= cols - 2) continue;
            const float dc = static_cast<float>(c - keypoint.col);
            if (!(dr * dr + dc * dc < radius * radius)) continue;
            const float x = dc * sinT + dr * cosT;
            const float y = dc * cosT - dr * sinT;
            const float u = x + 1;
            const float v = y + 1;
            if (!(u > -1 && u < 3 && v > -1 && v < 3)) continue;
            const int index = std::min(999, static_cast<int>(100 * kCellWeighting * (x * x + y * y)));
            const float weight = e[index] * m[c >> 1];
            float rel = o[c >> 1] - theta;
            if (rel > kTwoPi) rel -= kWrap;
            if (rel < 0) rel += kWrap;
            accumulate(sums, u, v, rel, weight);
        }
    }
}

namespace {

float norm(const float (&v)[36]) {
    float sum = 0.0f;
    for (const float x : v) sum += x * x;
    return std::sqrt(sum);
}

}  // namespace

void normaliseDescriptor(const float (&sums)[36], uint8_t* bytes) {
    float v[36];
    std::copy(std::begin(sums), std::end(sums), v);
    const float first = norm(v);
    if (!(first > 0.0f)) {
        std::fill(bytes, bytes + 36, uint8_t{0});
        return;
    }
    // Clipping limits the influence of a few large gradients (lighting changes, edges).
    for (float& x : v) x = std::min(x / first, 0.2f);
    const float second = norm(v);
    for (int k = 0; k < 36; ++k)
        bytes[k] = static_cast<uint8_t>(std::min(255, static_cast<int>(512 * (v[k] / second))));
}

}  // namespace vantorra
