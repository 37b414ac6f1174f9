#pragma once
// Re-selection of the verified matches under the solved cameras. The similarity test of pairwise
// verification keeps matches several pixels off; once the cameras are solved, the rotation and
// focal model itself says which matches agree. A match is kept when it lands close to its
// partner in both directions, "close" being a multiple of the robust error scale; each pair must
// then still pass the verification's acceptance rule, or be the last link that holds an image
// (weak_pairs.h); an image that no remaining pair joins to the panorama is left out.

#include <cstdint>
#include <string>
#include <vector>

#include "options/stitch_options.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"

namespace vantorra {

// A kept match lies within this many robust standard deviations of its partner. For a
// two-dimensional Gaussian position error only exp(-9 / 2), about 1 %, of the genuine matches
// lie further out, while a match a few deviations off is a different point.
constexpr float kKeepDeviations = 3.0f;
// The keep threshold never drops below this many feature-image pixels: finer than any position
// the features or the refinement measure, it only stops float rounding of exact synthetic
// matches from deciding.
constexpr float kMinKeepThreshold = 0.05f;

// Transfer errors of match k of the ordered pair (i, j), in feature-image pixels: image i's
// position carried into image j against its partner, and back.
struct TransferError {
    float forward = 0.0f;
    float backward = 0.0f;
};
// The two mappings of a pair under its cameras, made once for all its matches: a seen position
// is made ideal through its camera's lens, carried over and bent by the other camera's lens. A
// position that lands behind the other camera has an infinite error.
class PairTransfer {
public:
    PairTransfer(const Camera& ci, const Camera& cj);
    TransferError operator()(const MatchPoints& points, int k) const;

private:
    struct Side {
        LensDistortion lens;
        float f = 0.0f;
    };
    static float distance(const Mat3& h, const Side& from, const Side& to, float x, float y, float u, float v);

    Mat3 forward_;
    Mat3 backward_;
    Side first_, second_;
};

// Standard deviation of a two-dimensional Gaussian position error whose lengths have the median
// `medianLength`: the length of such an error follows a Rayleigh law, median sigma sqrt(2 ln 2).
float sigmaFromMedianLength(float medianLength);

// The robust scale (sigmaFromMedianLength) of the larger transfer error of every match between
// registered images of `component`, in feature-image pixels; 0 without matches.
float transferSigma(const MatchTable& matches, const std::vector<Camera>& cameras,
                    const std::vector<int32_t>& component);

// What re-selection decided for one ordered pair.
struct PairSelection {
    int32_t first = 0;
    int32_t second = 0;
    int32_t before = 0;      // matches at the start of the round
    int32_t kept = 0;        // matches within the threshold (0 when the pair was dropped)
    float sigma = 0.0f;      // the pair's robust scale (feature-image pixels)
    float threshold = 0.0f;  // the keep threshold applied
    float rmsKept = 0.0f;    // RMS transfer error of the kept matches
    bool accepted = true;    // the kept matches pass the acceptance rule (at the panorama's or its own scale)
    bool weak = false;       // failed the rule, kept as the last link of an image (weak_pairs.h)
};

struct Reselection {
    std::vector<PairSelection> pairs;
    std::vector<int32_t> component;  // the images still joined, ascending
    std::vector<int32_t> leftOut;    // images of the old component no longer in it
    std::vector<std::string> leftOutWhy;  // why, one per left-out image
    int32_t removedMatches = 0;      // matches dropped over all pairs (dropped pairs included)
    int32_t restoredMatches = 0;     // verified matches a last link holds again
    bool changed() const { return removedMatches > 0 || restoredMatches > 0 || !leftOut.empty(); }
};

// What a pair that fails the acceptance rule is judged on as a last link: the matches it was
// verified with (nullptr: those it holds now) and the keep threshold of the panorama as it was
// before refinement (its tight threshold never drops below that).
struct WeakBasis {
    const MatchTable* verified = nullptr;
    float threshold = 0.0f;
};

// The count of every ordered pair, row-major (i * n + j): what the acceptance rule measures the
// kept matches against.
std::vector<int32_t> pairCounts(const MatchTable& matches);

// One round: measures every match of every ordered pair within `component` under `cameras`,
// keeps those whose forward and backward errors are below the pair's threshold, drops a pair
// whose kept count no longer exceeds minInliersFor(verified(i, j), acceptance), verified being
// the pair's count after pairwise verification (all of those matched inside the overlap), unless
// it is kept as an image's last link (holdWithWeakPairs), and finds the images still joined to
// the largest remaining piece. The threshold of a pair is
// kKeepDeviations times the smaller of its own robust scale and the scale over all pairs, so that
// a pair whose matches disagree with the panorama as a whole cannot widen its own threshold; a
// pair that fails the rule there is judged again with its own scale capped at kWeakWidening times
// the panorama's (and at the verification's inlier threshold), since the features of soft
// photographs are that much less precise, and is accepted when it passes there.
// Rewrites `matches` (kept columns keep their order); nothing outside `component` is touched.
//
// A pair that fails is judged for the last-link rule on `basis`: refinement makes the other
// pairs' matches precise and so shrinks the panorama's scale, while a soft pair's matches keep
// the precision of their features; judged on the shrunk scale, or on what earlier rounds left of
// it, such a pair loses matches that still agree with the cameras, and its image goes with them.
Reselection reselectMatches(MatchTable& matches, const std::vector<int32_t>& verified,
                            const std::vector<Camera>& cameras,
                            const std::vector<int32_t>& component, const RansacOptions& acceptance,
                            const WeakBasis& basis = {});

}  // namespace vantorra
