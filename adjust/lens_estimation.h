#pragma once
// Whether the photographs show lens distortion. The lenses are adjusted with the cameras until
// the error settles; their coefficients are kept only when the matches ask for them: the bend
// they give at an image corner is at least the robust scale of the transfer errors, and they
// take a tenth or more off that scale. A smaller bend or gain is noise or some other misfit (a
// few hundredths of a pixel of it can tilt the cameras by more than they gain): the cameras then
// stay without distortion.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/image_size.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"
#include "numerics/camera.h"

namespace vantorra {

// How far (feature-image pixels) the camera's lens moves the corner of an image of `size`.
float cornerBend(const Camera& camera, const ImageSize& size);

struct LensEstimate {
    bool kept = false;         // the cameras now hold the estimated lenses
    float bend = 0.0f;         // the largest corner bend of the estimate
    float sigma = 0.0f;        // the robust scale of the transfer errors under the estimate
    float plainSigma = 0.0f;   // the same without distortion
};

// The least share of the match scale the lenses must take off to be kept.
constexpr float kLensGain = 0.1f;

// Whether lenses with `bend` and scale `sigma` are worth keeping over cameras without
// distortion whose scale is `plainSigma`.
bool lensesAsked(float bend, float sigma, float plainSigma);

// Compares `withLenses` against `plain`, the same cameras adjusted without distortion, on the
// matches of `component`.
LensEstimate compareLenses(const MatchTable& matches, const std::vector<Camera>& withLenses,
                           const std::vector<Camera>& plain, const std::vector<int32_t>& component,
                           const std::vector<ImageSize>& featureSizes);

// Adjusts the cameras of `component` and the lenses of `lensOf` (a lens number per image) with
// the given robust mode, and keeps the result only when the matches ask for it (see above);
// the cameras given are the ones without distortion.
// `featureSizes` are the feature-image sizes by image number.
LensEstimate estimateLenses(const MatchTable& matches, std::vector<Camera>& cameras,
                            const std::vector<int32_t>& component, const std::vector<int32_t>& lensOf,
                            const std::vector<ImageSize>& featureSizes, const BundleAdjustOptions& options,
                            int32_t robustMode, float sigma, int32_t sigmaIsRelative, std::ostream& log,
                            ThreadPool* pool = nullptr);

}  // namespace vantorra
