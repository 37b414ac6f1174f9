#pragma once
// The least-squares pieces of bundle adjustment over a list of cameras: the ordered image pairs
// that carry matches, the (robust) reprojection error, and the Gauss-Newton normal equations.
// Cameras are addressed by their position in the camera list; per-match work allocates nothing.
//
// Seen match positions are first made ideal through each camera's lens; the residual of a match
// is its ideal position in the second image less the first's ideal position carried over. With
// estimated lenses, each lens slot adds its coefficients to the parameters after the cameras'.

#include <cstdint>
#include <vector>

#include "numerics/pair_projection.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"

namespace vantorra {

// One ordered pair of listed cameras with at least one match.
struct AdjustPair {
    int32_t first = 0;   // list position of camera i
    int32_t second = 0;  // list position of camera j
    int32_t count = 0;
    const MatchPoints* points = nullptr;
};

// Pairs in the order first outer, second inner (list positions), pairs without matches skipped.
std::vector<AdjustPair> adjustPairs(const MatchTable& matches, const std::vector<int32_t>& cameraList);
int32_t totalMatches(const std::vector<AdjustPair>& pairs);

// The estimated lenses: `slots` of them, each with `coefficients` parameters (1: k1, 2: k1 and
// k2), placed after the 4 per camera. No slots: every lens stays as it is.
struct LensParameters {
    int32_t slots = 0;
    int32_t coefficients = 0;
    int32_t count() const { return slots * coefficients; }
};

// Sum of squared residuals over every match, without and with the robust transform, each
// accumulated per residual entry (x, then y) in pair and match order.
struct ErrorSums {
    float plain = 0.0f;
    float robust = 0.0f;
};
// The pairs are worked on on `pool`'s threads when there is one, with the same sums.
ErrorSums errorSums(const std::vector<AdjustPair>& pairs, const std::vector<CameraState>& cameras,
                    int32_t robustMode, float threshold, ThreadPool* pool = nullptr);

// J^T J, J^T r and |r|^2 for the robust-weighted derivatives J of the predicted positions and
// the robust-transformed residuals r, parameters 4k..4k+3 belonging to camera k and, after
// 4n, lens slot l's coefficients at 4n + coefficients * l.
struct NormalEquations {
    Matrix a;
    Matrix g;
    float residualSquares = 0.0f;
};
// The pairs are worked on on `pool`'s threads when there is one, with the same sums.
NormalEquations linearise(const std::vector<AdjustPair>& pairs,
                          const std::vector<CameraState>& cameras, int32_t robustMode,
                          float threshold, const LensParameters& lenses = {}, ThreadPool* pool = nullptr);

}  // namespace vantorra
