#pragma once
// Rounds of match re-selection and adjustment after the global adjustment: the matches that
// disagree with the solved cameras are dropped, the cameras are adjusted on the rest, and this
// repeats until the kept set stops changing.

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "adjust/match_reselection.h"
#include "core/photograph.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"
#include "numerics/camera.h"

namespace vantorra {

// At most this many rounds: the kept set settles within two or three, and each round costs one
// adjustment of every camera.
constexpr int32_t kMaxReselectionRounds = 4;
// The adjustments between rounds end when the error drops by less than this fraction of itself:
// the plain improvement bound of the options is in pixels and would stop a fit whose error is
// already a fraction of a pixel at its first step.
constexpr float kRelativeImprovement = 1e-3f;

struct ReselectionRounds {
    int32_t rounds = 0;              // rounds run (each a re-selection, most followed by an adjustment)
    std::vector<int32_t> component;  // images still registered, ascending
    std::vector<int32_t> leftOut;    // images dropped from the component, ascending
    Reselection last;                // what the last round decided
};

// Re-selects `matches` under `cameras` and adjusts the cameras of the remaining component with
// plain least squares, until a round changes nothing or kMaxReselectionRounds have run. The
// cameras of images that drop out are reset to unregistered (empty R, f = 0; imageTransform
// kept). `verified` holds the pair counts after pairwise verification (pairCounts). With
// `lensOf` the lenses are adjusted too (see BundleAdjuster). Logs one line per round and pair,
// and why each image was left out (by its name in `photographs`). A pair that fails is judged on
// `basis` as a last link (reselectMatches).
// The adjustments work on `pool`'s threads when there is one.
ReselectionRounds reselectAndAdjust(MatchTable& matches, const std::vector<int32_t>& verified,
                                    std::vector<Camera>& cameras,
                                    const std::vector<int32_t>& component,
                                    const BundleAdjustOptions& bundle,
                                    const RansacOptions& acceptance,
                                    std::ostream& log, const std::vector<int32_t>* lensOf = nullptr,
                                    ThreadPool* pool = nullptr,
                                    std::span<const Photograph> photographs = {},
                                    const WeakBasis& basis = {});

// The pixels position refinement works on: the kept feature images, and for an image whose
// feature image was not kept, its photograph (directory + name) decoded at its feature level.
// Their grey rasters (4 bytes a feature-image pixel) count against `memoryBudget`: images whose
// raster would not fit beside those of lower numbers keep their positions, and say so.
struct RegistrationImages {
    std::span<const Photograph> photographs;  // by image number
    const std::string& directory;
    int64_t memoryBudget = std::numeric_limits<int64_t>::max();
};

// The whole refinement between the global and the final adjustment: rounds of re-selection and
// adjustment, sub-pixel refinement of the kept matches on the feature-image pixels, and rounds
// again on the refined positions. An image whose pixels cannot be read keeps its positions.
struct RegistrationRefinement {
    std::vector<int32_t> component;  // images still registered, ascending
    std::vector<int32_t> leftOut;    // images dropped from the component, ascending
};
RegistrationRefinement refineRegistration(MatchTable& matches, std::vector<Camera>& cameras,
                                          const std::vector<int32_t>& component,
                                          const RegistrationImages& images,
                                          const BundleAdjustOptions& bundle,
                                          const RansacOptions& acceptance, std::ostream& log,
                                          const std::vector<int32_t>* lensOf = nullptr,
                                          ThreadPool* pool = nullptr);

// Options for an adjustment that runs until the error settles relative to `error` (pixels).
BundleAdjustOptions settlingOptions(const BundleAdjustOptions& bundle, float error);

}  // namespace vantorra
