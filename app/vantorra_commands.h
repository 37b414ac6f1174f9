#pragma once
// The commands of the main window without any widget: File::Open (also for dropped files and
// files named at start), File::Save As, Stitch::Start, the full-resolution re-render and
// Edit::Options, with their checks, message boxes, status line, runs, cancelling and output
// files. The window forwards its menu commands here; the desktop is reached only through
// AppPlatform and the engine only through StitchEngine.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/result_summary.h"
#include "app/stitch_engine.h"
#include "core/cancel_flag.h"
#include "io/log_destination.h"

namespace vantorra {

inline constexpr const char* kPanoramaFile = "pano.jpg";
inline constexpr const char* kParameterFile = "pano.txt";

inline constexpr const char* kSelectImagesFirst = "Use File::Open to select images first";
inline constexpr const char* kSelectTwoOrMore = "Please select 2 or more images";
inline constexpr const char* kFileDoesNotExist = "File does not exist";
inline constexpr const char* kNoMatches = "No image matches found";

inline constexpr const char* kStatusBegin = "Select File::Open to begin";
inline constexpr const char* kStatusOptions = "Select Edit::Options to set options";
inline constexpr const char* kStatusStitch = "Select Stitch::Start to stitch";
inline constexpr const char* kStatusCancelled = "Stitching cancelled";

class VantorraCommands {
public:
    VantorraCommands(StitchEngine& engine, AppPlatform& platform);

    void fileOpen();
    // Files dropped on the window or named on the command line: opened as if chosen in the
    // dialog, in name order; their folder becomes the current directory.
    void openFiles(std::vector<std::string> paths);
    // Chooses where the panorama goes (pano.txt goes beside it with the same stem) and writes
    // the panorama shown now there.
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
    // Where the next panorama goes: the Save As choice, else pano.jpg in the current directory.
    std::string panoramaPath() const;

    std::string initialDirectory = "images/test";  // relative to the current directory
    int logDestination = LogDestination::None;     // no command changes it
    bool anglesInDegrees = true;

private:
    // False, after saying so, when no photographs have been chosen yet.
    bool imagesChosen();
    // Renders the solved cameras again with `options`, the overall bar covering the rendering
    // stages alone.
    RunReport renderAgain(Image& result, const RenderOptions& options, std::ostream& log);
    // Checks the chosen paths and runs the engine on them.
    void openChosen(const std::vector<std::string>& chosen);
    // Steps shared by every run: log, status window, the engine call, then the outputs.
    using EngineCall = std::function<RunReport(Image&, std::ostream& log)>;
    void run(bool appendLog, const std::string& runningText, const EngineCall& engineCall);
    void finishRun(Image& result, const RunReport& outcome);
    bool writeOutputs(const Image& result, const std::string& panorama, const std::string& parameters);
    void setStatus(const std::string& text);
    std::string resultStatus(const ResultSummary& report) const;

    StitchEngine& engine;
    AppPlatform& platform;
    std::string status = kStatusBegin;
    bool busy = false;
    CancelFlag cancelFlag;
    std::optional<std::string> chosenPanoramaPath;  // Save As, until another set is opened
    std::optional<ResultSummary> report;
    RegistrationSummary registration;  // of the last run that registered cameras
    Image shown;  // the panorama of `report`, kept for Save As
};

}  // namespace vantorra
