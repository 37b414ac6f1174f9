#pragma once
// Verification again, under the solved cameras. Pairwise verification fits a similarity, which
// matches two rotated pinhole views only near the middle of their overlap: a pair of wide or
// steep views keeps the band of its matches that the similarity fits and can fail the acceptance
// rule with most of its true matches left out. Once the other pairs have solved the cameras, the
// rotation model itself says which raw matches agree, and the same rule (more inliers than
// alpha + beta x the raw matches inside the overlap) decides again:
// - a pair of registered images that failed gains the raw matches within twice re-selection's
//   keep threshold under the cameras (at most the verification's inlier threshold);
// - an image that no accepted pair holds is placed by a two-point rotation RANSAC over its raw
//   matches with the registered images (each partner's position a direction of the world), with
//   the focal length of its best partner, and joins when a pair passes the rule in that place, or
//   when its pairs together do: one rotation fitted to them all is one chance to agree by luck.

#include <cstdint>
#include <vector>

#include "core/image_size.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "options/stitch_options.h"

namespace vantorra {

// One pair as the cameras judge its raw matches.
struct CameraCheck {
    int32_t first = 0;
    int32_t second = 0;
    int32_t raw = 0;      // raw matches checked
    int32_t inliers = 0;  // features with a match within the inlier threshold both ways under the cameras
    int32_t overlap = 0;  // features with a raw match whose both positions land inside the other image
    int32_t needed = 0;   // minInliersFor(overlap): more inliers than this are accepted
    bool accepted() const { return inliers > needed; }
};

// Checks the `count` raw matches of (i, j) in `raw` under the two cameras (sizes: feature-image
// sizes of i and j; positions centred). `inliers` receives the inlier columns, ascending.
CameraCheck checkUnderCameras(const MatchPoints& raw, int32_t count, int32_t i, int32_t j, const Camera& ci,
                              const Camera& cj, const ImageSize& sizeI, const ImageSize& sizeJ,
                              const RansacOptions& acceptance, std::vector<int32_t>& inliers);

// The rotation taking world directions a1, a2 to camera directions b1, b2 (unit vectors): a1 onto
// b1 exactly, the plane of a1 and a2 onto that of b1 and b2. False when a1 and a2 (or b1 and b2)
// are nearly parallel.
bool rotationFromTwoRays(const Vec3& a1, const Vec3& a2, const Vec3& b1, const Vec3& b2, Mat3& r);

struct CameraVerification {
    std::vector<CameraCheck> pairs;        // every pair checked, in the order checked
    std::vector<int32_t> placed;           // images placed, in the order placed
    std::vector<CameraCheck> together;     // placed images no single pair held: their pairs summed
    struct Unplaced {
        int32_t image = 0;
        CameraCheck closest;               // its check closest to acceptance, in its best place
    };
    std::vector<Unplaced> unplaced;        // images still outside that had a place to check
    std::vector<int32_t> component;        // the images registered now, ascending
    bool changed() const;
};

// Places the images outside `component` that their raw matches put in the panorama, then checks
// every pair of `unaccepted` (raw matches of pairs verification did not accept, centred like
// `matches`) between registered images; accepted pairs move their inliers into `matches`, and
// `unaccepted` is emptied. Placed cameras get a rotation and focal length (lens and image
// transform kept).
CameraVerification verifyUnderCameras(MatchTable& matches, MatchTable& unaccepted, std::vector<Camera>& cameras,
                                      const std::vector<int32_t>& component, const std::vector<ImageSize>& sizes,
                                      const RansacOptions& acceptance);

}  // namespace vantorra
