#pragma once
// The commands of the main window without any widget: File::Open, Stitch::Start and
// Edit::Options with their checks, message boxes, status line, runs and output files. The window
// forwards its menu commands here; the desktop is reached only through AppPlatform and the engine
// only through StitchEngine.

#include <functional>
#include <string>

#include "app/platform.h"
#include "app/stitch_engine.h"
#include "engine/log_destination.h"

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

class VantorraCommands {
public:
    VantorraCommands(StitchEngine& engine, AppPlatform& platform);

    void fileOpen();
    void stitchStart();
    void editOptions();

    // True while a command runs the engine: the other commands are ignored until it returns.
    bool running() const { return busy; }
    const std::string& statusLine() const { return status; }

    std::string initialDirectory = "images/test";  // relative to the current directory
    int logDestination = LogDestination::None;     // no command changes it
    bool anglesInDegrees = true;

private:
    // Steps shared by every run: log, status window, the engine call, then the outputs.
    void run(bool appendLog, const std::function<void(Image&)>& engineCall);
    void finishRun(const Image& result);
    void setStatus(const std::string& text);

    StitchEngine& engine;
    AppPlatform& platform;
    std::string status = kStatusBegin;
    bool busy = false;
};

}  // namespace vantorra
