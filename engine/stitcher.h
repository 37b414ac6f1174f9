#pragma once
// The engine object: everything that survives between two runs (names, sizes, cameras, the
// images that form the panorama, the options) and the driver of one stitch.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/image_size.h"
#include "engine/progress_reporter.h"
#include "engine/stitch_options.h"
#include "numerics/camera.h"
#include "render/render_context.h"
#include "render/renderer.h"

namespace vantorra {

// How a run ended.
enum class StitchOutcome {
    Stitched,   // cameras registered (or read) and the panorama rendered
    NoMatches,  // no two photographs overlap: "No image matches found"
    Failed,     // stopped short; lastError says why
};

class Stitcher {
public:
    Stitcher() = default;

    // The whole pipeline: matching, registration, orientation and rendering into `output`.
    // Afterwards needsRegistration still true means the cameras are not usable.
    StitchOutcome stitch(std::string imageDirectory, std::vector<std::string> imageNames,
                         Image& output);
    // Loads names, sizes and cameras from a parameter file and renders them without matching.
    // Returns the number of records read, or -1 with lastError "cannot read PATH: reason" when
    // the file, one of its records or one of its photographs cannot be used (nothing rendered).
    int stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                Image& output);
    // Orientation and rendering of the current cameras; the cameras keep the orientation.
    void render(Image& output);
    // Empties every per-run list (cameras, sizes, feature images, thumbnails, levels, component,
    // skipped reasons)
    // and the kept-image byte count, as every run does before it starts.
    void clearRunResults();
    // The current cameras and photographs as the renderer reads them. Refers to this object's
    // lists: valid until they change.
    RenderScene renderScene() const;

    std::vector<Camera> cameras;  // one per input image, indexed by image number
    std::string imageDirectory;   // prefix in front of every image name
    std::vector<std::string> imageNames;
    std::vector<ImageSize> imageSizes;        // full-resolution sizes
    std::vector<FloatImage> featureImages;    // reduced copies, kept when the budget allows
    std::vector<int32_t> featureLevels;       // feature image = photograph shrunk by 2^level
    std::vector<FloatImage> thumbnails;       // further reduced copies for gain compensation
    std::vector<int32_t> thumbnailLevels;
    int64_t featureImageMemory = 0;           // bytes kept by the feature stage
    std::vector<int32_t> component;           // image numbers of the panorama, ascending
    // Per image of the last stitch: why it could not be read and was left out, or empty. Front
    // ends name each of these once; the run goes on without them.
    std::vector<std::string> skippedReasons;
    bool imagesSelected = false;
    bool needsRegistration = false;
    ProgressReporter progress;
    StitchOptions options;
    // What the last render decided: output size, scale, crop. Front ends copy it into the
    // options they show (showRenderResult).
    RenderResult lastRender;
    // Why the last run stopped short for a reason other than "no matches" (an unreadable
    // photograph, memory exhausted); empty otherwise. Front ends show it.
    std::string lastError;
};

}  // namespace vantorra
