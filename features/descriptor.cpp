#include "features/descriptor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/lookup_tables.h"
#include "features/window_samples.h"
#include "numerics/angles.h"
#include "numerics/wide_vectors.h"

namespace vantorra {

namespace {

constexpr float kWrap = 6.2831855f;
// 1 / (2 * 1.2^2): the Gaussian weighting has a sigma of 1.2 cells.
constexpr float kCellWeighting = 0.3472222f;

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

// A run of samples of one window row, worked out side by side before any of them is added in:
// where each falls in the grid, its relative orientation and its weight's table entry, and
// whether it counts at all.
constexpr int kRun = 32;
struct alignas(32) SampleRun {  // every array a whole number of vectors long
    float u[kRun], v[kRun], rel[kRun];
    int32_t index[kRun], counts[kRun];
};

// The geometry of one keypoint's window.
struct Window {
    float sinT, cosT, radius, theta;
    double row, col;
};

// Samples at columns first, first + 2, ... (count of them) of row r, dr from the keypoint; the
// same floats, sample by sample, as working each one out on its own.
VANTORRA_WIDE_VECTORS
void describeRun(const Window& w, float dr, const float* orientation, int first, int count,
                 SampleRun& run) {
    for (int j = 0; j < count; ++j) {
        const int c = first + 2 * j;
        const float dc = static_cast<float>(c - w.col);
        const float x = dc * w.sinT + dr * w.cosT;
        const float y = dc * w.cosT - dr * w.sinT;
        const float u = x + 1;
        const float v = y + 1;
        const int32_t inCircle = dr * dr + dc * dc < w.radius * w.radius;
        const int32_t inGrid = (u > -1) & (u < 3) & (v > -1) & (v < 3);
        // x * x + y * y is never negative, so clamping before the conversion is min(999, (int)...).
        const float table = 100 * kCellWeighting * (x * x + y * y);
        run.index[j] = static_cast<int32_t>(table < 999.0f ? table : 999.0f);
        float rel = orientation[(first >> 1) + j] - w.theta;
        rel = rel > kTwoPi ? rel - kWrap : rel;
        rel = rel < 0 ? rel + kWrap : rel;
        run.u[j] = u;
        run.v[j] = v;
        run.rel[j] = rel;
        run.counts[j] = inCircle & inGrid;
    }
}

}  // namespace

void descriptorSums(const GradientImages& gradients,
                    const RefinedKeypoint& keypoint, float theta, float (&sums)[36]) {
    std::fill(std::begin(sums), std::end(sums), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float cellWidth = 4 * keypoint.sigma;
    const float radius = 1.2f * 4 * 0.5f * cellWidth + 0.5f;
    const Window w{std::sin(theta) / cellWidth, std::cos(theta) / cellWidth, radius, theta, keypoint.row, keypoint.col};
    SampleRun run;
    forWindowRuns(static_cast<int>(keypoint.row + 0.5), static_cast<int>(keypoint.col + 0.5), static_cast<int>(radius),
                  gradients.rows, gradients.cols, kRun, [&](int r, int first, int count) {
                      const float dr = static_cast<float>(r - keypoint.row);
                      describeRun(w, dr, gradients.orientation->data[r >> 1], first, count, run);
                      const float* m = gradients.magnitude->data[r >> 1] + (first >> 1);
                      for (int j = 0; j < count; ++j)
                          if (run.counts[j]) accumulate(sums, run.u[j], run.v[j], run.rel[j], e[run.index[j]] * m[j]);
                  });
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
