#pragma once
// The commands of the main window without any widget: File::Open (also for dropped files and
// files named at start), File::Save As, Stitch::Start, the full-resolution re-render and
// Edit::Options, with their checks, message boxes, status line, runs, cancelling and output
// files. The window forwards its menu commands here; the desktop is reached only through
// AppPlatform and the engine only through StitchEngine.
//
// A run renders as the command-line tool does: the panorama streams into a temporary file beside
// pano.jpg while a reduced copy for the window is made from the same rows, and pano.jpg and
// pano.txt are replaced together once it has finished. The run goes on a thread of its own, so
// the window keeps handling its events.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/panorama_cameras.h"
#include "app/platform.h"
#include "app/result_summary.h"
#include "app/stitch_engine.h"
#include "core/cancel_flag.h"
#include "io/log_destination.h"
#include "io/photo_selection.h"

namespace vantorra {

class PreviewSink;
class StagedOutputs;

inline constexpr const char* kPanoramaFile = "pano.jpg";
inline constexpr const char* kParameterFile = "pano.txt";

inline constexpr const char* kSelectImagesFirst = "Use File::Open to select images first";
inline constexpr const char* kSelectTwoOrMore = "Please select 2 or more images";
inline constexpr const char* kFileDoesNotExist = "File does not exist";
inline constexpr const char* kNoMatches = "No image matches found";

inline constexpr const char* kStatusBegin = "Select File::Open to begin";
inline constexpr const char* kStatusStitch = "Select Stitch::Start to stitch";
inline constexpr const char* kStatusCancelled = "Stitching cancelled";

class VantorraCommands {
public:
    // The reduced copy of the panorama the window shows holds at most this many pixels.
    static constexpr int64_t kPreviewPixels = 4'000'000;

    VantorraCommands(StitchEngine& engine, AppPlatform& platform);

    void fileOpen();
    // Files or folders dropped on the window or named on the command line: opened as if chosen
    // in the dialog, in name order.
    void openFiles(std::vector<std::string> paths);
    // Chooses where the panorama goes (pano.txt goes beside it with the same stem) and saves the
    // panorama shown now there.
    void saveAs();
    void stitchStart();
    // Renders the solved cameras again at 100 % scale without matching; the size options stay.
    void renderFullResolution();
    void editOptions();
    void openInViewer();
    void openOutputFolder();

    // Asks the running command to stop at the engine's next progress report; nothing otherwise.
    void requestCancel();

    // True while a command runs the engine: the other commands are ignored until it returns.
    bool running() const { return busy; }
    const std::string& statusLine() const { return status; }
    // The report of the panorama shown, if any.
    const std::optional<ResultSummary>& lastReport() const { return report; }
    // Where the next panorama goes: the Save As choice, else pano.jpg in the folder of the
    // photographs (or of the parameter file) in hand.
    std::string panoramaPath() const;

    std::string initialDirectory = "images/test";  // relative to the current directory
    int logDestination = LogDestination::None;     // no command changes it
    bool anglesInDegrees = true;

private:
    struct RunResult;
    using EngineCall = std::function<RunReport(PanoramaSink&, std::ostream& log)>;

    // False, after saying so, when no photographs have been chosen yet.
    bool imagesChosen();
    // Renders the solved cameras again with `options`, the overall bar covering the rendering
    // stages alone.
    RunReport renderAgain(PanoramaSink& result, const RenderOptions& options, std::ostream& log);
    void openChosen(const std::vector<std::string>& chosen);
    void openParameterFile(const std::string& path);
    // Nothing to stitch: the panel lists why, the message box says `message`.
    void refuseChoice(std::vector<PhotographEntry> entries, const std::string& message);
    void enterFolder(const std::string& folder);
    // Every run: the staged outputs and the preview, the status window, the engine call on its
    // own thread, the outputs replaced, then what the window shows.
    void run(bool appendLog, const std::string& runningText, const EngineCall& engineCall);
    RunResult runEngine(bool appendLog, const std::string& title, const EngineCall& engineCall, PanoramaSink& sink,
                        StagedOutputs& outputs, const std::string& parameterFolder);
    void finishRun(const RunResult& result, PreviewSink& preview, const std::string& panorama,
                   const std::string& parameters);
    // The run ended without a panorama: says why, with the photographs listed when the set is new.
    void showFailure(const std::string& why, const std::string& message);
    void setStatus(const std::string& text);
    std::string resultStatus(const ResultSummary& report) const;

    StitchEngine& engine;
    AppPlatform& platform;
    std::string status = kStatusBegin;
    bool busy = false;
    CancelFlag cancelFlag;
    std::string outputFolder;                       // of the photographs in hand
    std::optional<std::string> chosenPanoramaPath;  // Save As, until another set is opened
    std::vector<SkippedFile> chosenLeftOut;         // paths of the set left out before any run
    std::optional<ResultSummary> report;
    RegistrationSummary registration;  // of the last run that registered cameras
    PanoramaCameras shownCameras;      // of the panorama of `report`, for Save As
    Image preview;                     // its reduced copy
};

}  // namespace vantorra
