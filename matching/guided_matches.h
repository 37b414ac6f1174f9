#pragma once
// Correspondences for weak pairs. Where a pair of overlapping photographs holds few feature
// matches (soft focus, low contrast, a small overlap), the solved cameras already say where each
// point of one image lies in the other. Patches on a grid over that predicted overlap are
// aligned by the same sub-pixel search that refines feature positions, under the same refusals
// (no texture, imprecise, moved too far), and a pair whose patches pass the verification's
// acceptance rule gains them as matches.

#include <cstdint>
#include <vector>

#include "core/thread_pool.h"
#include "matching/match_table.h"
#include "matching/position_refinement.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "options/stitch_options.h"

namespace vantorra {

// Grid step in feature-image pixels: two patch widths, so neighbouring patches share no sample.
constexpr int kGuideSpacing = 2 * (2 * kPatchRadius + 1);

struct GuidedPair {
    int32_t first = 0;
    int32_t second = 0;
    int32_t candidates = 0;  // grid points whose patch lies inside both images
    int32_t added = 0;       // patches aligned and added as matches (0 when the pair failed)
};

// A pair holding fewer matches than this many times alpha (the least any pair is accepted with)
// is weak whatever the other pairs hold: in a scene of little texture every pair is held by a
// few tens of matches, each pair a few times the chance level, and the median pair is no
// yardstick. (Ten times was measured worse on soft scenes, three times left them as they were.)
constexpr int32_t kWeakSupportAlphas = 5;

// The ordered pairs of `component` to strengthen: those holding fewer than half the matches of
// the panorama's median pair with matches, or fewer than `floor`, pairs without matches
// included. Ascending.
std::vector<std::pair<int32_t, int32_t>> weakPairs(const MatchTable& matches, const std::vector<int32_t>& component,
                                                   int32_t floor);

// A seen position of one camera carried by h (pairHomography) to the seen position in the other,
// through both lenses; false behind the other camera.
bool carry(const Mat3& h, const Camera& from, const Camera& to, float x, float y, float& u, float& v);
// True when centred position (x, y) lies further than `margin` inside an image of rows x cols.
bool insideCentred(float x, float y, int rows, int cols, float margin);

// The grid points of image i (centred feature-image positions, rows x cols) whose patch, carried
// into image j (rowsJ x colsJ) by the cameras, lies inside it; with their predicted partners.
void guideGrid(const Camera& ci, const Camera& cj, int rowsI, int colsI, int rowsJ, int colsJ,
               std::vector<float>& from, std::vector<float>& to);

// The median count of the ordered pairs of `component` with matches; 0 without any.
int32_t medianSupport(const MatchTable& matches, const std::vector<int32_t>& component);

// Adds aligned grid patches to every weak pair (weakPairs, with a floor of kWeakSupportAlphas
// times alpha) of registered images whose rasters are present. `sigma` is the panorama's robust
// position error (feature-image pixels): a patch must be aligned more precisely than that, and
// no further than half the verification's inlier threshold from where the cameras put it. The
// grid is thinned to about medianSupport points, so a weak pair is brought up to the median pair
// and no further. A pair keeps its patches when more of them align than
// minInliersFor(candidates, acceptance). Pairs are aligned on `pool`'s threads.
// With `pairSigma` (robust error of each ordered pair's own matches, i * n + j, 0 without), a
// pair's patches need only be as precise as its own matches, between `sigma` and `widest`
// (`widest` for a pair without matches).
std::vector<GuidedPair> addGuidedMatches(MatchTable& matches, const std::vector<Camera>& cameras,
                                         const std::vector<int32_t>& component,
                                         const std::vector<AlignmentRaster>& rasters, float sigma,
                                         const RansacOptions& acceptance, ThreadPool* pool = nullptr,
                                         const std::vector<float>* pairSigma = nullptr, float widest = 0.0f);

}  // namespace vantorra
