#pragma once
// A photograph made ready for one render: read once, reduced to the output's resolution and
// held for every block. Sources decoded from the file keep 8 bits per sample; those made from
// the kept feature image keep its float samples. Gains are applied when a sample is read.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/thread_pool.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "render/footprint.h"
#include "render/render_context.h"
#include "render/source_cover.h"

namespace vantorra {

// How an image's source will be made, known before any pixel is read, so the render can count
// its memory first.
struct SourcePlan {
    bool fromFeatureImage = false;  // else decoded from the file
    bool copy = false;              // a reduced copy; false: the kept feature image as it is
    int halvings = 0;               // reductions by two in all (decoder scaling included)
    int decoderScale = 1;           // 1, 2, 4 or 8: the part the JPEG decoder does
    float sigma = 0;                // anti-alias blur after the reductions
    int rows = 0, cols = 0;         // size of the source
    int64_t bytes = 0;              // memory the source holds (0 for the kept feature image)
    // Decoded from a photograph of more than 8 bits for a 16-bit panorama: float samples.
    bool wide = false;
};

// With wideSamples (a 16-bit panorama) a photograph of more bits than 8 keeps them.
SourcePlan planSource(const PhotoSources& sources, float antiAliasFactor, int image,
                      const ImageFootprint& footprint, bool wideSamples = false);

// A read-only view of a source's samples, with the gain of each channel.
// The samples may be a band of the source's rows only: rows rowOffset .. rowOffset + rows - 1
// of a source of fullRows rows. Positions and weights are those of the whole source.
struct SourceView {
    const float* floats = nullptr;   // one of the two is set
    const uint8_t* bytes = nullptr;
    const uint8_t* cover = nullptr;  // rows x cols, 0 where the photograph does not cover; null: all covered
    int rows = 0, cols = 0, channels = 0;
    int rowOffset = 0;
    int fullRows = 0;  // 0: the view holds every row
    std::array<float, 3> gain{1.0f, 1.0f, 1.0f};
    bool empty() const { return floats == nullptr && bytes == nullptr; }
    int sourceRows() const { return fullRows > 0 ? fullRows : rows; }
    // Whether source row r is held.
    bool holds(int r) const { return r >= rowOffset && r < rowOffset + rows; }
};

// Views of whole images, with unit gains.
SourceView viewOf(const FloatImage& image);
SourceView viewOf(const Image& image);

struct PreparedSource {
    FloatImage floats;  // a reduced copy of the kept feature image
    Image bytes;        // decoded from the photograph
    const FloatImage* kept = nullptr;  // the kept feature image itself, not copied
    std::array<float, 3> gain{1.0f, 1.0f, 1.0f};
    PixelProjection projection;  // world direction -> (row, column) of this source
    SourceCover cover;  // for a photograph with alpha
    std::string error;  // why the photograph could not be read; the source is then empty
    int rowOffset = 0;  // a band of the decoded source: its first row ...
    int fullRows = 0;   // ... and the whole source's rows (0: not a band)

    SourceView view() const;
    bool empty() const { return view().empty(); }
};

// Makes the source the plan describes for image `image` with camera `camera`.
PreparedSource prepareSource(const PhotoSources& sources, const SourcePlan& plan, int image,
                             const Camera& camera, const Gains& gains);

// The rows firstRow .. lastRow of the source the plan describes (a photograph decoded from its
// file), with enough rows around them that every held row up to the band's edge is what the
// whole source has there. Only those rows are decoded.
PreparedSource prepareSourceRows(const PhotoSources& sources, const SourcePlan& plan, int image,
                                 const Camera& camera, const Gains& gains, int firstRow, int lastRow);

// Every image of the scene's component prepared for the placed `footprints` (one per component
// position): an image without regions gets an empty source. Gains apply when the options turn
// gain compensation on.
// The images are prepared in parallel on `pool` when there is one.
std::vector<PreparedSource> prepareSources(const RenderOptions& options, const RenderScene& scene,
                                           const Gains& gains,
                                           const std::vector<ImageFootprint>& footprints,
                                           ThreadPool* pool = nullptr);

// Blurs an 8-bit image in place with the separable Gaussian of `sigma` (radius
// trunc(floor(3 sigma + 0.5)), edge samples repeated), summing in float and rounding once at the
// end. Holds 2 * radius + 1 float rows, never a float copy of the image.
void blurBytes(Image& image, float sigma);

// Halves an 8-bit image: the rounded mean of each 2 x 2 box; an odd last row or column is dropped.
Image halveBytes(const Image& image);

}  // namespace vantorra
