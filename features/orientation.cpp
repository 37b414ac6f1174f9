#include "features/orientation.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/arena_pools.h"
#include "features/descriptor.h"
#include "features/lookup_tables.h"
#include "numerics/angles.h"

namespace vantorra {

namespace {

int firstOdd(int start) { return (start % 2 == 0) ? start + 1 : start; }

void addSample(float (&histogram)[kOrientationBins], float angle, float weight) {
    const float p = (angle + kPi + 0.0001f) * kOrientationBins / kTwoPi;
    const int b = static_cast<int>(p);
    const float t = p - b;
    const int low = b % kOrientationBins;  // an angle of pi lands on bin 36, which is bin 0
    histogram[low] += weight * (1 - t);
    histogram[(low + 1) % kOrientationBins] += weight * t;
}

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

}  // namespace

void orientationHistogram(const GradientImages& gradients,
                          const RefinedKeypoint& keypoint, float (&histogram)[kOrientationBins]) {
    std::fill(std::begin(histogram), std::end(histogram), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float sigmaW = 2 * keypoint.sigma;
    const int h = static_cast<int>(2.5f * sigmaW);
    const int ir = static_cast<int>(keypoint.row + 0.5);
    const int ic = static_cast<int>(keypoint.col + 0.5);
    for (int r = firstOdd(ir - h); r <= ir + h; r += 2) {
        if (r <= 0 || r >= gradients.rows - 2) continue;
        const float dr = static_cast<float>(r - keypoint.row);
        for (int c = firstOdd(ic - h); c <= ic + h; c += 2) {
            if (c <= 0 || c >= gradients.cols - 2) continue;
            const float dc = static_cast<float>(c - keypoint.col);
            const float d2 = dr * dr + dc * dc;
            if (!(d2 < static_cast<float>(h * h))) continue;
            const int index = std::min(999, static_cast<int>(100 * d2 / (2 * sigmaW * sigmaW)));
            addSample(histogram, gradients.orientationAt(r, c), e[index] * gradients.magnitudeAt(r, c));
        }
    }
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
