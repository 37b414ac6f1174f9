#pragma once
// Levenberg-Marquardt refinement of the rotations and focal lengths of a set of cameras, so that
// the matches of every ordered pair of listed images, carried through both cameras, land on their
// partners. Four parameters per camera (rotation increments about the camera's x, y and z axes,
// then the focal length); the first listed camera's rotation is the fixed reference. Optionally
// the radial distortion of each lens the listed cameras share, one or two coefficients after the
// cameras' parameters, held near zero by a prior.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "numerics/pair_projection.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "numerics/camera.h"
#include "matching/match_table.h"

namespace vantorra {

class BundleAdjuster {
public:
    // The pairs' sums of each step are worked on on `pool`'s threads when there is one; the
    // cameras come out the same.
    // Its log lines go to `log`.
    BundleAdjuster(const BundleAdjustOptions& options, std::ostream& log, ThreadPool* pool = nullptr)
        : options_(options), log_(&log), pool_(pool) {}

    // Refines R and f of the cameras in `cameraList` (element 0 the reference, whose rotation
    // stays fixed) in `cameras` (indexed by image number), using every ordered pair of listed images with matches.
    // Logs "  error = " per outer iteration and at the end. Cameras change only as a whole list
    // on an accepted step; unlisted cameras are never touched. Returns without changing or
    // logging anything when fewer than two cameras are listed, an image number repeats or is out
    // of range, a listed camera has no 3x3 rotation or no finite non-zero focal length, a match
    // list is shorter than its count, or the listed images share no match.
    // With `lensOf` (a lens number per image number; photographs of one lens share it) and
    // options().lensCoefficients above 0, the lens coefficients are adjusted too and every camera
    // of a lens leaves with the same ones. Without it each camera keeps its lens.
    void BundleAdjust(const MatchTable& matches, std::vector<int32_t> cameraList,
                      std::vector<Camera>& cameras,
                      int32_t robustMode, float sigma, int32_t sigmaIsRelative,
                      const std::vector<int32_t>* lensOf = nullptr) const;

    const BundleAdjustOptions& options() const { return options_; }

private:
    BundleAdjustOptions options_;
    std::ostream* log_;
    ThreadPool* pool_ = nullptr;
};

// Size of the solved system for n cameras: 4n parameters less the reference rotation, plus the
// lens coefficients.
int32_t parameterCount(int32_t cameraCount, int32_t lensParameters = 0);

// The most memory one adjustment of cameraCount cameras holds at once, in bytes: its dense
// normal equations grow with the square of the camera count, so a run of many photographs is
// measured against its budget with this before any work.
int64_t adjustmentBytes(int32_t cameraCount, int32_t lensParameters = 0);

// Diagonal of the damping D (parameterCount entries): 1 / sigma_f^2 for the reference focal
// length, then per further camera three 1 / sigma_r^2 and one 1 / sigma_f^2, with
// sigma_f = focalSigma x mean focal length of `cameras` and sigma_r = rotationSigma; then per
// lens 1 / lensSigma^2 for k1 (and 4 / lensSigma^2 for k2).
std::vector<float> priorPrecision(const std::vector<CameraState>& cameras,
                                  const BundleAdjustOptions& options, int32_t lensSlots = 0);

// Whether BundleAdjust would work on this input (see BundleAdjust for what it rejects).
bool adjustableInput(const MatchTable& matches, const std::vector<int32_t>& cameraList,
                     const std::vector<Camera>& cameras);

}  // namespace vantorra
