#pragma once
// The engine object: what survives between two runs (the photographs, their cameras, the images
// that form the panorama, the options) and the driver of one stitch. Every run takes its inputs
// as arguments, reads the options as the user set them and returns what it decided in a
// RunReport; it never writes into the options.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/photograph.h"
#include "core/progress_reporter.h"
#include "io/panorama_sink.h"
#include "io/parameter_file.h"
#include "numerics/camera.h"
#include "options/stitch_options.h"
#include "pipeline/run_report.h"
#include "render/render_context.h"

namespace vantorra {

struct MatchingResult;
class ThreadPool;

class Stitcher {
public:
    Stitcher() = default;

    // The whole pipeline over `directory` + every name: matching, registration, orientation and
    // rendering into `output`, the log lines into `log`. Afterwards needsRegistration() still
    // true means the cameras are not usable. A sink that fails ends the run as Failed.
    RunReport stitch(std::string directory, std::vector<std::string> names, PanoramaSink& output,
                     std::ostream& log);
    // Loads names, sizes and cameras from a parameter file and renders them without matching.
    // With an empty `directory` a relative name is taken against the file's folder (or, for a file
    // written before names were, against the current directory when only there it names a file).
    // Unreadable ("cannot read PATH: reason") when the file, one of its records or one of its
    // photographs cannot be used (nothing rendered), and when the file holds no records;
    // NoMatches when no record is inside the panorama.
    RunReport stitchFromParameterFile(std::string directory, const std::string& parameterFile,
                                      PanoramaSink& output, std::ostream& log);
    // Orientation and rendering of the solved cameras; cameras() are then the oriented ones, and
    // the same options give the same panorama every time. The second form renders with other
    // render options than the stored ones (full resolution, say).
    RunReport render(PanoramaSink& output, std::ostream& log) { return render(output, options.render, log); }
    RunReport render(PanoramaSink& output, const RenderOptions& renderOptions, std::ostream& log);
    // The same three into an image in memory, left empty when nothing was rendered (or the run
    // was cancelled) and untouched by a run that stopped before rendering.
    RunReport stitch(std::string directory, std::vector<std::string> names, Image& output, std::ostream& log);
    RunReport stitchFromParameterFile(std::string directory, const std::string& parameterFile, Image& output,
                                      std::ostream& log);
    RunReport render(Image& output, std::ostream& log) { return render(output, options.render, log); }
    RunReport render(Image& output, const RenderOptions& renderOptions, std::ostream& log);
    // Each run ends early, as Cancelled with its sink never finished, when progress.cancel is
    // requested during it; no exception leaves them for a cancel.

    // Takes a solved panorama to render: the photographs (feature images may be empty), a camera
    // per photograph and the images that form it. The cameras are usable from here on.
    void takeCameras(std::string directory, std::vector<Photograph> photographs, std::vector<Camera> cameras,
                     std::vector<int32_t> component);
    // A matching option changed: the next run must register the photographs again.
    void invalidateCameras() { needsRegistration_ = true; }
    // Forgets the photographs and their cameras, as before any run.
    void clear();

    const std::string& directory() const { return directory_; }
    const std::vector<Photograph>& photographs() const { return photographs_; }
    std::vector<std::string> names() const;
    const std::vector<Camera>& cameras() const { return cameras_; }
    const std::vector<int32_t>& component() const { return component_; }
    bool imagesSelected() const { return imagesSelected_; }
    bool needsRegistration() const { return needsRegistration_; }
    // How the last render's pixels map to directions in the frame of cameras(); none before one.
    const OutputMapping& mapping() const { return mapping_; }
    // One record per photograph with its camera, as the parameter file keeps them.
    std::vector<CameraRecord> cameraRecords() const;
    // The current cameras and photographs as the renderer reads them. Refers to this object's
    // lists: valid until they change.
    RenderScene renderScene() const;

    StitchOptions options;       // the user's choices: every run reads them, none writes them
    ProgressReporter progress;   // the front end attaches its view and cancel flag here

private:
    struct Run;  // the state of one run, made and dropped by each public call
    RunReport stitchRun(Run& run, std::string directory, std::vector<std::string> names, PanoramaSink& output);
    // The steps of stitchRun; each false when the run ends there, its outcome in the report.
    bool beginRun(Run& run, std::string directory, std::vector<std::string> names);
    bool matchPhotographs(Run& run, ThreadPool& pool, MatchingResult& matching);
    bool registerPanorama(Run& run, ThreadPool& pool, MatchingResult& matching);
    RunReport parameterFileRun(Run& run, std::string directory, const std::string& parameterFile,
                               PanoramaSink& output);
    bool renderRun(Run& run, PanoramaSink& output, const RenderOptions& renderOptions);
    template <typename Body>
    RunReport cancellable(std::ostream& log, Body&& body);
    void clearRunResults();

    std::string directory_;                // prefix in front of every name
    std::vector<Photograph> photographs_;  // one per input image, in order
    std::vector<Camera> cameras_;          // one per photograph, as the last render left them
    // As registration solved them or the parameter file recorded them: every render orients a
    // copy of these, so renders of the same cameras and options are the same.
    std::vector<Camera> solved_;
    std::vector<int32_t> component_;       // image numbers of the panorama, ascending
    OutputMapping mapping_;                // of the last render
    int64_t featureImageMemory_ = 0;       // bytes the feature stage kept
    bool imagesSelected_ = false;
    bool needsRegistration_ = false;
};

// Writes the parameter file of the stitcher's photographs and panorama, in the layout its options
// choose, for a file in `folder`: photographs in it or below it by their names relative to it,
// others by their absolute paths (without a folder, the names as given, without the directory).
std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher, const std::string& folder = {});

}  // namespace vantorra
