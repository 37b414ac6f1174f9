#include "app/vantorra_commands.h"

#include <exception>
#include <optional>

#include "app/image_selection.h"

namespace vantorra {

namespace {

// Marks the commands busy for the lifetime of one command, even if the engine throws.
class BusyScope {
public:
    BusyScope(bool& flag, AppPlatform& platform) : flag(flag), platform(platform) {
        flag = true;
        platform.setCommandsEnabled(false);
    }
    ~BusyScope() {
        flag = false;
        platform.setCommandsEnabled(true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag;
    AppPlatform& platform;
};

}  // namespace

VantorraCommands::VantorraCommands(StitchEngine& engine, AppPlatform& platform) : engine(engine), platform(platform) {
    platform.setStatusLine(status);
}

void VantorraCommands::setStatus(const std::string& text) {
    status = text;
    platform.setStatusLine(text);
}

void VantorraCommands::fileOpen() {
    if (busy) return;
    BusyScope scope(busy, platform);
    const std::optional<std::vector<std::string>> chosen = platform.chooseFiles(initialDirectory);
    if (!chosen || chosen->empty()) return;

    if (chosen->size() > 1) {
        const std::vector<std::string> images = keptImages(*chosen);
        if (images.size() < 2) {
            platform.showMessage(kSelectTwoOrMore);
            return;
        }
        run(false, [&](Image& result) { engine.stitch("", images, result); });
        return;
    }
    const std::string& parameterFile = chosen->front();
    if (!isParameterFileName(parameterFile)) {
        platform.showMessage(kSelectTwoOrMore);
        return;
    }
    if (!canOpenForReading(parameterFile)) {
        platform.showMessage(kFileDoesNotExist);
        return;
    }
    run(false, [&](Image& result) { engine.stitchFromParameterFile("", parameterFile, result); });
}

void VantorraCommands::stitchStart() {
    if (busy) return;
    BusyScope scope(busy, platform);
    Stitcher& stitcher = engine.stitcher();
    if (!stitcher.imagesSelected) {
        platform.showMessage(kSelectImagesFirst);
        return;
    }
    run(true, [&](Image& result) {
        if (stitcher.needsRegistration) {
            engine.stitch(stitcher.imageDirectory, stitcher.imageNames, result);
            return;
        }
        stitcher.progress.renderOnly = true;
        engine.render(result);
        stitcher.progress.renderOnly = false;
    });
}

void VantorraCommands::editOptions() {
    if (busy) return;
    BusyScope scope(busy, platform);
    Stitcher& stitcher = engine.stitcher();
    OptionsDialogValues values = fillOptionsDialog(stitcher.options, anglesInDegrees);
    if (!platform.editOptions(values)) return;
    if (readBackOptions(values, anglesInDegrees, stitcher.options)) stitcher.needsRegistration = true;
    if (stitcher.imagesSelected) setStatus(kStatusStitch);
}

void VantorraCommands::run(bool appendLog, const std::function<void(Image&)>& engineCall) {
    Stitcher& stitcher = engine.stitcher();
    Image result;
    std::optional<LogDestination> log(std::in_place, logDestination, appendLog);
    {
        std::unique_ptr<StatusWindow> window = platform.createStatusWindow();
        stitcher.progress.attach(window.get());
        try {
            engineCall(result);
        } catch (const std::exception& failure) {
            // The engine reports no errors of its own; whatever escapes it ends this run, not
            // the program, and leaves no output file.
            log.reset();
            stitcher.progress.dialog = nullptr;
            window.reset();
            setStatus(kStatusOptions);
            platform.showMessage(std::string("The run failed: ") + failure.what());
            return;
        }
        log.reset();
        // The reporter must not keep pointing at a window that is about to go.
        stitcher.progress.dialog = nullptr;
    }
    // After a registration the status line tells how it went.
    setStatus(stitcher.registration.empty() ? std::string(kStatusOptions)
                                            : summaryLine(stitcher.registration));
    finishRun(result);
}

void VantorraCommands::finishRun(const Image& result) {
    const Stitcher& stitcher = engine.stitcher();
    if (!stitcher.lastError.empty()) {  // a photograph that failed to decode part-way, say
        platform.showMessage("The run failed: " + stitcher.lastError);
        return;
    }
    if (stitcher.needsRegistration) {
        platform.showMessage(kNoMatches);
        return;
    }
    // A parameter file with no readable record, or rendering switched off, leaves nothing to write.
    if (result.empty()) {
        platform.showMessage("Nothing was rendered, so no panorama was written");
        return;
    }
    std::string error;
    if (!engine.writePanorama(result, kPanoramaFile, stitcher.options.render.jpegQuality, error)) {
        platform.showMessage(std::string("Could not write ") + kPanoramaFile + ": " + error);
        return;
    }
    if (!engine.writeParameters(kParameterFile, error)) {
        platform.showMessage(std::string("Could not write ") + kParameterFile + ": " + error);
        return;
    }
    platform.openPicture(kPanoramaFile);
}

}  // namespace vantorra
