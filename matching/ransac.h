#pragma once
// Pairwise verification: a two-point similarity RANSAC between the matched positions of two
// feature images, an overlap count under the winning model, and the accept rule that grows with
// that overlap. Positions are (row, col) in pixels of the feature images, 0 at the first pixel's
// centre.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/image_size.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"
#include "matching/random.h"
#include "numerics/matrix.h"

namespace vantorra {

// [[a, b, tx], [-b, a, ty], [0, 0, 1]]: (p, q) maps to (a p + b q + tx, a q - b p + ty). Same
// float arithmetic as the Matrix form of the camera model, without a heap allocation.
struct Similarity {
    float a = 1.0f;
    float b = 0.0f;
    float tx = 0.0f;
    float ty = 0.0f;

    static Similarity fromMatrix(const Matrix& m);
    Matrix toMatrix() const;
    float squaredScale() const;  // H(0,0) H(1,1) - H(0,1) H(1,0)
};

// The similarity taking (x1, y1) to (u1, v1) and (x2, y2) to (u2, v2); the identity when the two
// points lie closer than minSampleDistance in either image. Equals similarityFromPairs.
Similarity fitSimilarity(float x1, float y1, float u1, float v1, float x2, float y2, float u2,
                         float v2, float minSampleDistance);
// Equals invertSimilarity of the Matrix form.
Similarity invertSimilarity(const Similarity& h);

// Columns within threshold of their partner both forward under h and backward under its inverse;
// sets flags[k] (resized to n) for exactly those and returns their number.
// With `toBeat`, counting stops as soon as the count can no longer exceed it: the result is then
// some value not above toBeat and the flags are incomplete. A hypothesis that cannot win is
// dropped that way without looking at the rest of its matches.
int32_t countInliers(const MatchPoints& points, int32_t n, const Similarity& h, float threshold,
                     std::vector<uint8_t>& flags, int32_t toBeat = -1);
// Columns whose position maps strictly inside the other image under h, and whose partner maps
// strictly inside the first image under the inverse.
int32_t countOverlap(const MatchPoints& points, int32_t n, const Similarity& h, int32_t rowsI,
                     int32_t colsI, int32_t rowsJ, int32_t colsJ);

// The draws ransacPair makes for a pair of n columns: two per iteration, none for an empty pair.
uint64_t ransacDraws(int32_t n, const RansacOptions& options);

// ransacIterations two-point hypotheses drawn from `random`; returns the inlier columns of the
// best (ascending) and writes its model, all zero when none was evaluated. A pair without
// columns draws nothing and returns no inliers.
std::vector<int32_t> ransacPair(const MatchPoints& points, int32_t n, const RansacOptions& options,
                                Matrix& model, RandomStream& random);

// The accept threshold: inliers must exceed (int)(nOverlap * beta + alpha).
int32_t minInliersFor(int32_t nOverlap, const RansacOptions& options);

// Verifies for every image its candidateImages best-matched partners; accepted pairs keep only
// their inliers, every other ordered pair is cleared. reducedSizes are the feature-image sizes.
// The pairs draw from `random`, which moves on past every draw. Pairs are verified on `pool`'s
// threads when there is one, each from the place in the sequence that one thread would reach it
// at: the outcome and the log are the same.
// An image that no pair holds is given its further candidates: every other image it has more raw
// matches with than alpha, in both directions (more photographs than candidateImages + 1 only).
// Returns, per image, its check that came closest to acceptance (j < 0 when no pair of it had raw
// matches to check).
struct ClosestCheck {
    int32_t j = -1;
    int32_t inliers = 0;
    int32_t needed = 0;  // minNInliers: more inliers than this are accepted
};
// With `unaccepted`, the raw matches of every pair that could still pass the acceptance rule
// (more than alpha of them) and was not accepted are moved there instead of being released:
// the similarity fits a pair of rotated pinhole views only near its centre, so a pair of wide or
// steep views can fail here and still agree with the cameras solved from the others.
std::vector<ClosestCheck> verifyPairs(MatchTable& matches, const std::vector<ImageSize>& reducedSizes,
                                      const RansacOptions& options, RandomStream& random,
                                      ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr,
                                      MatchTable* unaccepted = nullptr);

}  // namespace vantorra
