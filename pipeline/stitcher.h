#pragma once
// The engine object: everything that survives between two runs (names, sizes, cameras, the
// images that form the panorama, the options) and the driver of one stitch.

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/registration_summary.h"
#include "core/image.h"
#include "core/image_size.h"
#include "io/panorama_sink.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "numerics/camera.h"
#include "render/render_context.h"
#include "render/renderer.h"

namespace vantorra {

// How a run ended.
enum class StitchOutcome {
    Stitched,   // cameras registered (or read) and the panorama rendered
    NoMatches,  // no two photographs overlap: "No image matches found"
    Failed,     // stopped short; lastError says why
    Cancelled,  // a cancel request stopped it ("Stitching cancelled"); nothing was rendered
};

// How a run from a parameter file ended, and how many image records it read.
struct ParameterFileRun {
    StitchOutcome outcome = StitchOutcome::Failed;
    int records = 0;  // 0 for a file without records, and for one refused whole
};

class Stitcher {
public:
    Stitcher() = default;

    // The whole pipeline: matching, registration, orientation and rendering into `output`.
    // Afterwards needsRegistration still true means the cameras are not usable.
    StitchOutcome stitch(std::string imageDirectory, std::vector<std::string> imageNames,
                         Image& output);
    // The same with the panorama going to `output` row by row (a JPEG file, say), so that it is
    // never held whole. A sink that fails ends the run as Failed with its reason in lastError.
    StitchOutcome stitch(std::string imageDirectory, std::vector<std::string> imageNames,
                         PanoramaSink& output);
    // Loads names, sizes and cameras from a parameter file and renders them without matching.
    // Failed with lastError "cannot read PATH: reason" when the file, one of its records or one
    // of its photographs cannot be used (nothing rendered), and with no records read when the
    // file holds none; NoMatches when no record is inside the panorama.
    ParameterFileRun stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                             Image& output);
    ParameterFileRun stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                             PanoramaSink& output);
    // Orientation and rendering of the current cameras; the cameras keep the orientation.
    void render(Image& output);
    // The same into a sink; false (reason in lastError) when the render failed.
    bool render(PanoramaSink& output);
    // Each of the runs above ends early, with `cancelled` set and `output` empty (or its sink
    // never finished), when progress.cancel is requested during it; no exception leaves them
    // for a cancel.
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
    // What the last registration achieved (empty until a run registers cameras); front ends
    // show summaryLine(registration).
    RegistrationSummary registration;
    // The last run was stopped by a cancel request. Names and options stay; cameras are valid
    // (needsRegistration clear) only when it was cancelled while rendering.
    bool cancelled = false;

private:
    // The runs themselves; the public calls wrap them to turn a cancel into `cancelled`.
    StitchOutcome stitchRun(std::string imageDirectory, std::vector<std::string> imageNames,
                            PanoramaSink& output);
    ParameterFileRun stitchFromParameterFileRun(const std::string& imageDirectory,
                                                const std::string& parameterFile, PanoramaSink& output);
    bool renderRun(PanoramaSink& output);
};

}  // namespace vantorra
