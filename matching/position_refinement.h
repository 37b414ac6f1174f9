#pragma once
// Sub-pixel refinement of match positions by local patch alignment. For a match of the ordered
// pair (i, j) the patch around the position in image i is the template; the solved cameras give
// the local affine shape of that patch in image j, and a Gauss-Newton search over the
// translation, with the exposure difference taken out by normalising both patches, finds where
// the template sits in image j. Image i's position stays; image j's becomes the refined one.

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"

namespace vantorra {

// Half width of the square template, in raster pixels: 9 x 9 samples cover the centre of a
// feature at the finest detection scale and keep the cost per match to a few hundred samples.
constexpr int kPatchRadius = 4;
// Gauss-Newton steps per match; the search starts within a pixel or two and converges in three
// or four.
constexpr int kMaxAlignmentSteps = 6;
// A step shorter than this (raster pixels) ends the search: far below any precision it can reach.
constexpr float kConvergedStep = 0.01f;

// One image's grey samples for alignment; `scale` raster pixels per feature-image pixel (1 for
// the feature image itself). Positions are addressed from the centre like match positions.
struct AlignmentRaster {
    int rows = 0;
    int cols = 0;
    float scale = 1.0f;
    std::vector<float> grey;  // rows x cols, row-major
    bool empty() const { return grey.empty(); }
    float at(int r, int c) const { return grey[static_cast<size_t>(r) * cols + c]; }
};

// The mean of the channels of every pixel whose bit is set in `channels` (bit k: channel k; no
// channel of the image set: all of them); empty for an empty image.
AlignmentRaster greyRaster(const FloatImage& image, float scale, uint32_t channels = ~0u);
// The same grey raster as greyRaster of the feature image (the photograph averaged over blocks
// of 2^level x 2^level pixels, an incomplete last block row or column dropped), decoded row by
// row without holding the photograph. Empty, with the reason in *error, when it cannot be read.
AlignmentRaster decodeGreyRaster(const std::string& path, int32_t level, std::string* error = nullptr,
                                 uint32_t channels = ~0u);

// `r` averaged over blocks of factor x factor pixels (scale divided by factor), whose centre is
// r's centre: a block's samples are taken where its pixels lie in r, between r's pixels when r's
// size is not a multiple of factor. Empty when r has fewer than factor + 1 rows or columns.
AlignmentRaster reducedRaster(const AlignmentRaster& r, int factor);

// Limits for the matches of one ordered pair, in feature-image pixels of the second image.
struct RefinementLimits {
    float sigma = 0.0f;    // the pair's robust position error: a refinement must do better
    float maxMove = 0.0f;  // a refinement that moves further than this is refused
};

// The outcome of aligning one match.
struct Alignment {
    bool accepted = false;
    float row = 0.0f;        // refined position in the second raster (raster pixels)
    float col = 0.0f;
    float moved = 0.0f;      // distance from the start, raster pixels
    float precision = 0.0f;  // standard error of the refined position, raster pixels
};

// Where a search starts. A detected feature position is the picture's own word: the search steps
// by the plain information of its template, which keeps it stable near that position. A position
// the cameras predicted is not: a search that stopped short of the best fit would confirm the
// cameras it was predicted by, so its steps move on to the Gauss-Newton steps of the normalised
// residual and reach the best fit within the same steps.
enum class SearchStart { Detected, Predicted };

// Aligns the template of `from` around raster position (row, col) into `to`, starting at
// (startRow, startCol); `affine` (row-major 2 x 2) carries template offsets into `to`'s pixels.
// Refused (accepted false) when a patch leaves an image, the template has no texture, the fit
// leaves the translation undetermined, or the result is less precise than limits.sigma or moves
// further than limits.maxMove (both converted to `to`'s pixels).
Alignment alignPatch(const AlignmentRaster& from, float row, float col, const AlignmentRaster& to,
                     float startRow, float startCol, const float affine[4],
                     const RefinementLimits& limits, SearchStart start = SearchStart::Detected);

// The affine part of h at the centred position (x, y), d(u / w, v / w) / d(x, y) times `factor`,
// row-major: how a template around (x, y) is shaped in the other image.
void localAffine(const Mat3& h, float x, float y, float factor, float a[4]);

struct PairRefinement {
    int32_t first = 0;
    int32_t second = 0;
    int32_t refined = 0;  // matches whose second position was replaced
    int32_t refused = 0;  // matches left at their feature position
    float meanMove = 0.0f;
};

// Refines the second position of every match of every ordered pair (i, j) of `component` with
// registered cameras and both rasters present; `limits` gives each pair's limits (indexed
// i * n + j; a pair with sigma 0 is left alone). Positions are centred feature-image positions
// as the adjuster uses them. Pairs are refined on `pool`'s threads when there is one.
std::vector<PairRefinement> refinePositions(MatchTable& matches, const std::vector<Camera>& cameras,
                                            const std::vector<int32_t>& component,
                                            const std::vector<AlignmentRaster>& rasters,
                                            const std::vector<RefinementLimits>& limits,
                                            ThreadPool* pool = nullptr);

}  // namespace vantorra
