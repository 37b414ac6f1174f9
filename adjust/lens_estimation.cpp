#include "adjust/lens_estimation.h"

#include <algorithm>
#include <cmath>

#include "adjust/bundle_adjuster.h"
#include "adjust/match_reselection.h"
#include "adjust/registration_refinement.h"

namespace vantorra {

float cornerBend(const Camera& camera, const ImageSize& size) {
    if (!isRegistered(camera) || camera.lens.none()) return 0.0f;
    const float halfRows = 0.5f * static_cast<float>(size.height - 1);
    const float halfCols = 0.5f * static_cast<float>(size.width - 1);
    float x = halfRows, y = halfCols;
    distortPosition(camera.lens, camera.f, x, y);
    return std::hypot(x - halfRows, y - halfCols);
}

bool lensesAsked(float bend, float sigma, float plainSigma) {
    return bend > 0.0f && bend >= sigma && plainSigma >= (1.0f + kLensGain) * sigma;
}

LensEstimate compareLenses(const MatchTable& matches, const std::vector<Camera>& withLenses,
                           const std::vector<Camera>& plain, const std::vector<int32_t>& component,
                           const std::vector<ImageSize>& featureSizes) {
    LensEstimate estimate;
    for (const int32_t i : component)
        if (static_cast<size_t>(i) < featureSizes.size())
            estimate.bend = std::max(estimate.bend, cornerBend(withLenses[static_cast<size_t>(i)],
                                                                featureSizes[static_cast<size_t>(i)]));
    estimate.sigma = transferSigma(matches, withLenses, component);
    estimate.plainSigma = transferSigma(matches, plain, component);
    estimate.kept = lensesAsked(estimate.bend, estimate.sigma, estimate.plainSigma);
    return estimate;
}

LensEstimate estimateLenses(const MatchTable& matches, std::vector<Camera>& cameras,
                            const std::vector<int32_t>& component, const std::vector<int32_t>& lensOf,
                            const std::vector<ImageSize>& featureSizes, const BundleAdjustOptions& options,
                            int32_t robustMode, float sigma, int32_t sigmaIsRelative, std::ostream& log,
                            ThreadPool* pool) {
    LensEstimate estimate;
    if (options.lensCoefficients <= 0) return estimate;
    std::vector<Camera> trial = cameras;
    // Settling to a fraction of a pixel: a distortion half estimated would make the bent matches
    // at the corners look wrong to the re-selection that follows.
    const BundleAdjuster adjuster(settlingOptions(options, 1.0f), log, pool);
    adjuster.BundleAdjust(matches, component, trial, robustMode, sigma, sigmaIsRelative, &lensOf);
    estimate = compareLenses(matches, trial, cameras, component, featureSizes);
    if (estimate.kept) cameras = std::move(trial);
    return estimate;
}

}  // namespace vantorra
