#include "features/keypoint_orientation.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/arena_pools.h"
#include "features/descriptor.h"
#include "features/lookup_tables.h"
#include "features/window_samples.h"
#include "numerics/angles.h"
#include "numerics/wide_vectors.h"

namespace vantorra {

namespace {

Feature* newFeature(const GradientImages& gradients,
                    const RefinedKeypoint& keypoint, float theta, Feature* head) {
    auto* feature = static_cast<Feature*>(poolAlloc(sizeof(Feature), kFeaturePool));
    auto* descriptor = static_cast<uint8_t*>(poolAlloc(kDescriptorLength, kFeaturePool));
    if (feature == nullptr || descriptor == nullptr) return nullptr;
    float sums[36];
    descriptorSums(gradients, keypoint, theta, sums);
    normaliseDescriptor(sums, descriptor);
    const double f = keypoint.factor;
    *feature = Feature{};
    feature->row = (keypoint.row + 0.5) * f - 0.5;
    feature->col = (keypoint.col + 0.5) * f - 0.5;
    feature->scale = f * keypoint.sigma;
    feature->orientation = theta;
    feature->descriptor = descriptor;
    feature->next = head;
    feature->contrast = keypoint.contrast;
    return feature;
}

// A run of samples of one window row, worked out side by side before any is added in: whether
// each counts, its weight's table entry, and the bin below its angle with its share of the next.
constexpr int kRun = 32;
struct alignas(32) HistogramRun {  // every array a whole number of vectors long
    int32_t counts[kRun], index[kRun], low[kRun];
    float share[kRun];
};

// The samples at columns first, first + 2, ... (count of them) of a row dr from the keypoint:
// the floats of the window test and of the bin split, one sample at a time, for a vector at once.
VANTORRA_WIDE_VECTORS
void histogramRun(float dr, double col, int first, int count, float limit, float spread,
                  const float* orientation, HistogramRun& run) {
    for (int j = 0; j < count; ++j) {
        const int c = first + 2 * j;
        const float dc = static_cast<float>(c - col);
        const float d2 = dr * dr + dc * dc;
        run.counts[j] = d2 < limit;
        // d2 is never negative, so clamping before the conversion is min(999, (int)...).
        const float entry = 100 * d2 / spread;
        run.index[j] = static_cast<int32_t>(entry < 999.0f ? entry : 999.0f);
        const float p = (orientation[(first >> 1) + j] + kPi + 0.0001f) * kOrientationBins / kTwoPi;
        const int b = static_cast<int>(p);
        run.share[j] = p - static_cast<float>(b);
        run.low[j] = b % kOrientationBins;  // an angle of pi lands on bin 36, which is bin 0
    }
}

}  // namespace

void orientationHistogram(const GradientImages& gradients,
                          const RefinedKeypoint& keypoint, float (&histogram)[kOrientationBins]) {
    std::fill(std::begin(histogram), std::end(histogram), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float sigmaW = 2 * keypoint.sigma;
    const int h = static_cast<int>(2.5f * sigmaW);
    const float limit = static_cast<float>(h * h);
    const float spread = 2 * sigmaW * sigmaW;
    HistogramRun run;
    forWindowRuns(static_cast<int>(keypoint.row + 0.5), static_cast<int>(keypoint.col + 0.5), h, gradients.rows,
                  gradients.cols, kRun, [&](int r, int first, int count) {
                      const float dr = static_cast<float>(r - keypoint.row);
                      histogramRun(dr, keypoint.col, first, count, limit, spread, gradients.orientation->data[r >> 1], run);
                      const float* m = gradients.magnitude->data[r >> 1] + (first >> 1);
                      for (int j = 0; j < count; ++j) {
                          if (!run.counts[j]) continue;
                          const float weight = e[run.index[j]] * m[j];
                          const float t = run.share[j];
                          histogram[run.low[j]] += weight * (1 - t);
                          histogram[(run.low[j] + 1) % kOrientationBins] += weight * t;
                      }
                  });
}

void smoothHistogram(float (&histogram)[kOrientationBins]) {
    for (int pass = 0; pass < 6; ++pass) {
        float before[kOrientationBins];
        std::copy(std::begin(histogram), std::end(histogram), before);
        for (int k = 0; k < kOrientationBins; ++k) {
            const float prev = before[(k + kOrientationBins - 1) % kOrientationBins];
            const float next = before[(k + 1) % kOrientationBins];
            histogram[k] = (prev + 2 * before[k] + next) / 4;
        }
    }
}

int histogramPeaks(const float (&histogram)[kOrientationBins], float (&angles)[kOrientationBins]) {
    const float highest = *std::max_element(std::begin(histogram), std::end(histogram));
    int count = 0;
    for (int k = 0; k < kOrientationBins; ++k) {
        const float prev = histogram[(k + kOrientationBins - 1) % kOrientationBins];
        const float next = histogram[(k + 1) % kOrientationBins];
        const float value = histogram[k];
        if (!(prev < value && value >= next && value >= kPeakRatio * highest)) continue;
        // The vertex of the parabola through the bin and its two neighbours.
        const float offset = 0.5f * (prev - next) / (prev - 2 * value + next);
        float theta = (k + offset) * kTwoPi / kOrientationBins - kPi;
        if (theta < -kPi) theta += kTwoPi;
        angles[count++] = theta;
    }
    return count;
}

Feature* featuresFromHistogram(const float (&histogram)[kOrientationBins], const GradientImages& gradients, const RefinedKeypoint& keypoint,
                               Feature* head, bool& failed) {
    float angles[kOrientationBins];
    const int count = histogramPeaks(histogram, angles);
    for (int k = 0; k < count; ++k) {
        Feature* feature = newFeature(gradients, keypoint, angles[k], head);
        if (feature == nullptr) {
            failed = true;
            return head;
        }
        head = feature;
    }
    return head;
}

Feature* addOrientedFeatures(const GradientImages& gradients,
                             const RefinedKeypoint& keypoint, Feature* head, bool& failed) {
    float histogram[kOrientationBins];
    orientationHistogram(gradients, keypoint, histogram);
    smoothHistogram(histogram);
    return featuresFromHistogram(histogram, gradients, keypoint, head, failed);
}

}  // namespace vantorra
