#include "app/vantorra_commands.h"

#include <exception>
#include <filesystem>
#include <optional>

#include "app/image_selection.h"

namespace vantorra {

namespace {

namespace fs = std::filesystem;

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

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

VantorraCommands::VantorraCommands(StitchEngine& engine, AppPlatform& platform) : engine(engine), platform(platform) {
    platform.setStatusLine(status);
}

// After a run: where the panorama went and, when cameras were registered, how well.
std::string VantorraCommands::resultStatus(const ResultSummary& report) const {
    if (registration.empty()) return summaryLine(report);
    return summaryLine(report) + "; " + summaryLine(registration);
}

void VantorraCommands::setStatus(const std::string& text) {
    status = text;
    platform.setStatusLine(text);
}

std::string VantorraCommands::panoramaPath() const {
    return chosenPanoramaPath ? *chosenPanoramaPath : absolutePath(kPanoramaFile);
}

void VantorraCommands::requestCancel() {
    if (busy) cancelFlag.request();
}

void VantorraCommands::fileOpen() {
    if (busy) return;
    BusyScope scope(busy, platform);
    const std::optional<std::vector<std::string>> chosen = platform.chooseFiles(initialDirectory);
    if (!chosen || chosen->empty()) return;
    openChosen(*chosen);
}

void VantorraCommands::openFiles(std::vector<std::string> paths) {
    if (busy || paths.empty()) return;
    BusyScope scope(busy, platform);
    for (std::string& path : paths) path = absolutePath(path);
    std::error_code error;
    fs::current_path(fs::path(paths.front()).parent_path(), error);
    // The same order as the file dialog hands back, so both ways stitch in name order.
    openChosen(dialogReturnOrder(std::move(paths)));
}

void VantorraCommands::openChosen(const std::vector<std::string>& chosen) {
    chosenPanoramaPath.reset();  // a new set goes to its own folder
    if (chosen.size() > 1) {
        const std::vector<std::string> images = keptImages(chosen, panoramaPath());
        if (images.size() < 2) {
            platform.showMessage(kSelectTwoOrMore);
            return;
        }
        run(false, runningLine(false, static_cast<int>(images.size())),
            [&](Image& result, std::ostream& log) { return engine.stitch("", images, result, log); });
        return;
    }
    const std::string& parameterFile = chosen.front();
    if (!isParameterFileName(parameterFile)) {
        platform.showMessage(kSelectTwoOrMore);
        return;
    }
    if (!canOpenForReading(parameterFile)) {
        platform.showMessage(kFileDoesNotExist);
        return;
    }
    run(false, "Rendering " + fileNamePart(parameterFile) + "…",
        [&](Image& result, std::ostream& log) { return engine.stitchFromParameterFile("", parameterFile, result, log); });
}

bool VantorraCommands::imagesChosen() {
    if (engine.stitcher().imagesSelected()) return true;
    platform.showMessage(kSelectImagesFirst);
    return false;
}

RunReport VantorraCommands::renderAgain(Image& result, const RenderOptions& options, std::ostream& log) {
    Stitcher& stitcher = engine.stitcher();
    stitcher.progress.renderOnly = true;
    RunReport report = engine.render(result, options, log);
    stitcher.progress.renderOnly = false;
    report.registration = registration;  // the cameras are the ones that registration solved
    return report;
}

void VantorraCommands::stitchStart() {
    if (busy) return;
    BusyScope scope(busy, platform);
    if (!imagesChosen()) return;
    Stitcher& stitcher = engine.stitcher();
    const bool renderOnly = !stitcher.needsRegistration();
    run(true, runningLine(renderOnly, static_cast<int>(stitcher.photographs().size())),
        [&](Image& result, std::ostream& log) {
            if (renderOnly) return renderAgain(result, stitcher.options.render, log);
            return engine.stitch(stitcher.directory(), stitcher.names(), result, log);
        });
}

void VantorraCommands::renderFullResolution() {
    if (busy) return;
    BusyScope scope(busy, platform);
    if (!imagesChosen()) return;
    Stitcher& stitcher = engine.stitcher();
    if (stitcher.needsRegistration()) {
        platform.showMessage("The cameras must be solved first: select Stitch::Start to stitch");
        return;
    }
    // This render alone is at 100 %; the size the user chose stays for the next.
    RenderOptions full = stitcher.options.render;
    full.sizeMode = SizeMode::Scale;
    full.scale = 1.0f;
    run(true, "Rendering at full resolution…",
        [&](Image& result, std::ostream& log) { return renderAgain(result, full, log); });
}

void VantorraCommands::editOptions() {
    if (busy) return;
    BusyScope scope(busy, platform);
    Stitcher& stitcher = engine.stitcher();
    StitchOptions edited = stitcher.options;
    if (!platform.editOptions(edited, anglesInDegrees)) return;
    if (needsRegistration(stitcher.options, edited)) stitcher.invalidateCameras();
    stitcher.options = edited;
    if (stitcher.imagesSelected()) setStatus(kStatusStitch);
}

void VantorraCommands::saveAs() {
    if (busy) return;
    BusyScope scope(busy, platform);
    const std::optional<std::string> chosen = platform.choosePanoramaFile(panoramaPath());
    if (!chosen || chosen->empty()) return;
    std::string target = absolutePath(*chosen);
    if (fs::path(target).extension().empty()) target += ".jpg";
    // Writing the panorama over one of its own photographs would lose that photograph.
    const Stitcher& stitcher = engine.stitcher();
    for (const Photograph& photograph : stitcher.photographs()) {
        const std::string path = stitcher.directory() + photograph.name;
        if (isSameFile(path, target) || isSameFile(path, parameterPathFor(target))) {
            platform.showMessage(fileNamePart(photograph.name) + " is one of the photographs: please choose another name");
            return;
        }
    }
    if (report && !shown.empty()) {
        const std::string parameters = parameterPathFor(target);
        if (!writeOutputs(shown, target, parameters)) return;
        report->panoramaPath = target;
        report->parameterPath = parameters;
        platform.showResult(*report, shown);
        setStatus(resultStatus(*report));
    }
    chosenPanoramaPath = target;
}

void VantorraCommands::openInViewer() {
    if (report) platform.openPicture(report->panoramaPath);
}

void VantorraCommands::openOutputFolder() {
    if (report) platform.openFolder(fs::path(report->panoramaPath).parent_path().string());
}

void VantorraCommands::run(bool appendLog, const std::string& runningText, const EngineCall& engineCall) {
    Stitcher& stitcher = engine.stitcher();
    Image result;
    RunReport outcome;
    cancelFlag.clear();
    stitcher.progress.cancel = &cancelFlag;
    setStatus(runningText);
    std::optional<LogDestination> log(std::in_place, logDestination, appendLog);
    {
        std::unique_ptr<StatusWindow> window = platform.createStatusWindow([this] { requestCancel(); });
        stitcher.progress.attach(window.get());
        try {
            outcome = engineCall(result, log->stream());
        } catch (const std::exception& failure) {
            // The engine reports no errors of its own; whatever escapes it ends this run, not
            // the program, and leaves no output file.
            log.reset();
            stitcher.progress.dialog = nullptr;
            stitcher.progress.cancel = nullptr;
            stitcher.progress.renderOnly = false;
            window.reset();
            setStatus(kStatusOptions);
            platform.showMessage(std::string("The run failed: ") + failure.what());
            return;
        }
        log.reset();
        // The reporter must not keep pointing at a window that is about to go.
        stitcher.progress.dialog = nullptr;
        stitcher.progress.cancel = nullptr;
    }
    // A request that came after the last report still counts: nothing is written.
    if (outcome.outcome == StitchOutcome::Cancelled || cancelFlag.requested()) {
        setStatus(kStatusCancelled);
        return;
    }
    // After a registration the status line tells how it went.
    registration = outcome.registration;
    setStatus(registration.empty() ? std::string(kStatusOptions) : summaryLine(registration));
    finishRun(result, outcome);
}

bool VantorraCommands::writeOutputs(const Image& result, const std::string& panorama, const std::string& parameters) {
    OutputFailure failure;
    const int quality = engine.stitcher().options.render.jpegQuality;
    if (!engine.writeOutputs(result, panorama, quality, parameters, failure)) {
        platform.showMessage("Could not write " + fileNamePart(failure.path) + ": " + failure.reason);
        return false;
    }
    return true;
}

void VantorraCommands::finishRun(Image& result, const RunReport& outcome) {
    const Stitcher& stitcher = engine.stitcher();
    if (outcome.outcome == StitchOutcome::Unreadable) {  // the input itself could not be used
        platform.showMessage("Nothing was rendered, so no panorama was written: " + outcome.message);
        return;
    }
    if (!outcome.message.empty()) {  // a photograph that failed to decode part-way, say
        platform.showMessage("The run failed: " + outcome.message);
        return;
    }
    if (outcome.outcome == StitchOutcome::NoMatches) {
        platform.showMessage(kNoMatches);
        return;
    }
    // A parameter file with no readable record, or rendering switched off, leaves nothing to write.
    if (result.empty()) {
        platform.showMessage("Nothing was rendered, so no panorama was written");
        return;
    }
    const std::string panorama = panoramaPath();
    const std::string parameters = parameterPathFor(panorama);
    if (!writeOutputs(result, panorama, parameters)) return;
    report = makeResultSummary(stitcher, outcome.render, panorama, parameters);
    shown = std::move(result);
    platform.showResult(*report, shown);
    setStatus(resultStatus(*report));
}

}  // namespace vantorra
