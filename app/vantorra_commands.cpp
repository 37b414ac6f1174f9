#include "app/vantorra_commands.h"

#include <exception>
#include <filesystem>
#include <optional>

#include "app/image_selection.h"
#include "app/save_target.h"
#include "io/panorama_format.h"
#include "io/output_files.h"
#include "io/preview_sink.h"
#include "pipeline/panorama_encoding.h"
#include "pipeline/option_table.h"

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

std::string folderOf(const std::string& path) { return fs::path(path).parent_path().string(); }

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

}  // namespace

// What one run came to, handed from the run's thread back to the window's.
struct VantorraCommands::RunResult {
    RunReport report;
    std::string failure;      // what escaped the engine
    std::string commitError;  // why the outputs could not be replaced
    bool committed = false;
    bool cancelled = false;
};

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
    if (chosenPanoramaPath) return *chosenPanoramaPath;
    const char* name = panoramaFileName(panoramaEncoding(engine.stitcher().options.render).format);
    return outputFolder.empty() ? absolutePath(name) : (fs::path(outputFolder) / name).string();
}

namespace {

// The options' encoding for a panorama written to `path`, whose extension names the format.
PanoramaEncoding encodingFor(const std::string& path, const RenderOptions& options) {
    PanoramaEncoding encoding = panoramaEncoding(options);
    encoding.format = panoramaFormatOfName(path).value_or(encoding.format);
    if (encoding.format == PanoramaFormat::Jpeg) encoding.depth = 8;
    return encoding;
}

}  // namespace

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
    // The same order as the file dialog hands back, so both ways stitch in name order.
    openChosen(dialogReturnOrder(std::move(paths)));
}

// The outputs, the log file and the next file dialog go to the folder of what is opened.
void VantorraCommands::enterFolder(const std::string& folder) {
    outputFolder = folder;
    std::error_code error;
    fs::current_path(folder, error);
}

void VantorraCommands::refuseChoice(std::vector<PhotographEntry> entries, const std::string& message) {
    engine.stitcher().clear();  // Start must not run the set shown before
    platform.showPhotographs(entries, message);
    setStatus(message);
    platform.showMessage(message);
}

// A new set: nothing of the last one is shown or carried over, the per-panorama options included.
void VantorraCommands::openChosen(const std::vector<std::string>& chosen) {
    chosenPanoramaPath.reset();
    report.reset();
    chosenLeftOut.clear();
    resetPerPanoramaOptions(engine.stitcher().options);
    if (chosen.size() == 1 && isParameterFileName(chosen.front()) && !isFolder(chosen.front()))
        return openParameterFile(chosen.front());
    ImageChoice choice = chooseImages(chosen);
    if (choice.photographs.size() < 2) {
        std::vector<PhotographEntry> entries;
        for (const std::string& path : choice.photographs)
            entries.push_back({path, false, "not stitched: a panorama needs two or more photographs"});
        for (const SkippedFile& skipped : choice.leftOut) entries.push_back({skipped.path, false, skipped.reason});
        const std::string why = choice.leftOut.empty() ? "" : ": the list shows why the others cannot be used";
        return refuseChoice(std::move(entries), std::string(kSelectTwoOrMore) + why);
    }
    chosenLeftOut = std::move(choice.leftOut);
    enterFolder(choice.folder);
    const std::vector<std::string> images = std::move(choice.photographs);
    run(false, runningLine(false, static_cast<int>(images.size())),
        [&](PanoramaSink& result, std::ostream& log) { return engine.stitch("", images, result, log); });
}

void VantorraCommands::openParameterFile(const std::string& path) {
    std::error_code missing;
    if (!fs::exists(path, missing)) return refuseChoice({{path, false, "No such file or directory"}}, kFileDoesNotExist);
    if (const std::string why = inputProblem(path); !why.empty())
        return refuseChoice({{path, false, why}}, "Cannot read " + fileNamePart(path) + ": " + why);
    enterFolder(folderOf(path));
    run(false, "Rendering " + fileNamePart(path) + "…", [&](PanoramaSink& result, std::ostream& log) {
        return engine.stitchFromParameterFile("", path, result, log);
    });
}

bool VantorraCommands::imagesChosen() {
    if (engine.stitcher().imagesSelected()) return true;
    platform.showMessage(kSelectImagesFirst);
    return false;
}

RunReport VantorraCommands::renderAgain(PanoramaSink& result, const RenderOptions& options, std::ostream& log) {
    Stitcher& stitcher = engine.stitcher();
    stitcher.progress.renderOnly = true;
    RunReport outcome = engine.render(result, options, log);
    stitcher.progress.renderOnly = false;
    outcome.registration = registration;  // the cameras are the ones that registration solved
    return outcome;
}

void VantorraCommands::stitchStart() {
    if (busy) return;
    BusyScope scope(busy, platform);
    if (!imagesChosen()) return;
    Stitcher& stitcher = engine.stitcher();
    const bool renderOnly = !stitcher.needsRegistration();
    run(true, runningLine(renderOnly, static_cast<int>(stitcher.photographs().size())),
        [&](PanoramaSink& result, std::ostream& log) {
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
        [&](PanoramaSink& result, std::ostream& log) { return renderAgain(result, full, log); });
}

void VantorraCommands::editOptions() {
    if (busy) return;
    BusyScope scope(busy, platform);
    Stitcher& stitcher = engine.stitcher();
    StitchOptions edited = stitcher.options;
    if (!platform.editOptions(edited, anglesInDegrees)) return;
    if (needsRegistration(stitcher.options, edited)) stitcher.invalidateCameras();
    const bool changed = !sameOptions(edited, stitcher.options);
    stitcher.options = edited;
    if (stitcher.imagesSelected()) setStatus(changed ? std::string("Options changed. ") + kStatusStitch + " again"
                                                     : std::string(kStatusStitch));
    else if (changed) setStatus("Options changed: they apply to the next photographs opened");
}

void VantorraCommands::saveAs() {
    if (busy) return;
    BusyScope scope(busy, platform);
    const std::optional<SaveChoice> chosen = platform.choosePanoramaFile(panoramaPath(), panoramaFormats());
    if (!chosen || chosen->path.empty()) return;
    const Stitcher& stitcher = engine.stitcher();
    std::vector<std::string> photographs = report ? shownCameras.photographs() : std::vector<std::string>{};
    for (const std::string& name : stitcher.names()) photographs.push_back(stitcher.directory() + name);
    SaveTarget target = saveTarget(*chosen, photographs);
    // Save As copies the finished file: another format would need another render.
    if (target.refusal.empty() && report &&
        panoramaFormatOfName(target.panorama) != panoramaFormatOfName(report->panoramaPath)) {
        const std::string had = panoramaFormatName(panoramaFormatOfName(report->panoramaPath).value_or(PanoramaFormat::Jpeg));
        target.refusal = "The panorama was made as " + had + ": to have it as " + fileNamePart(target.panorama) +
                         ", choose that format under Options (Panorama file) and stitch again.";
    }
    if (!target.refusal.empty()) {
        setStatus("Nothing was saved: " + target.refusal);
        platform.showMessage(target.refusal);
        return;
    }
    if (report) {
        StagedOutputs outputs(target.panorama, target.parameters, stitcher.options.render.jpegQuality);
        std::string why;
        platform.runInBackground([&] {
            try {
                why = outputs.copyPanorama(report->panoramaPath);
                if (why.empty()) why = outputs.commit(shownCameras.parameterText(folderOf(target.parameters)));
            } catch (const std::exception& failure) {  // out of memory, say: nothing is replaced
                why = failure.what();
            }
        });
        if (!why.empty()) {
            setStatus("The panorama was not saved: " + why);
            platform.showMessage("The panorama was not saved: " + why);
            return;
        }
        report->panoramaPath = target.panorama;
        report->parameterPath = target.parameters;
        platform.showResult(*report, preview);
        setStatus("Saved: " + resultStatus(*report));
    }
    chosenPanoramaPath = target.panorama;
}

void VantorraCommands::openInViewer() {
    if (report) platform.openPicture(report->panoramaPath);
}

void VantorraCommands::openOutputFolder() {
    if (report) platform.openFolder(folderOf(report->panoramaPath));
}

void VantorraCommands::run(bool appendLog, const std::string& runningText, const EngineCall& engineCall) {
    const std::string panorama = panoramaPath(), parameters = parameterPathFor(panorama);
    StagedOutputs outputs(panorama, parameters, encodingFor(panorama, engine.stitcher().options.render));
    if (const std::string why = outputs.open(); !why.empty()) {
        const std::string message = "Nothing was stitched: the panorama cannot be written (" + why +
                                    "). Choose another place with File ▸ Save As.";
        setStatus(message);
        platform.showMessage(message);
        return;
    }
    PreviewSink preview(outputs.panorama(), kPreviewPixels);
    const RunResult result = runEngine(appendLog, runningText, engineCall, preview, outputs, folderOf(parameters));
    finishRun(result, preview, panorama, parameters);
}

VantorraCommands::RunResult VantorraCommands::runEngine(bool appendLog, const std::string& title,
                                                        const EngineCall& engineCall, PanoramaSink& sink,
                                                        StagedOutputs& outputs, const std::string& parameterFolder) {
    Stitcher& stitcher = engine.stitcher();
    RunResult result;
    cancelFlag.clear();
    stitcher.progress.cancel = &cancelFlag;
    setStatus(title);
    LogDestination log(logDestination, appendLog);
    {
        std::unique_ptr<StatusWindow> window = platform.createStatusWindow(title, [this] { requestCancel(); });
        stitcher.progress.attach(window.get());
        platform.runInBackground([&] {
            // The engine reports no errors of its own; whatever escapes it ends this run, not the
            // program, and leaves no output file.
            try {
                result.report = engineCall(sink, log.stream());
                if (result.report.stitched() && outputs.panoramaWritten()) {
                    result.commitError = outputs.commit(PanoramaCameras(stitcher).parameterText(parameterFolder), &cancelFlag);
                    result.committed = result.commitError.empty();
                }
            } catch (const std::exception& failure) {
                result.failure = failure.what();
            }
        });
        log.close();
        // The reporter must not keep pointing at a window that is about to go.
        stitcher.progress.dialog = nullptr;
        stitcher.progress.cancel = nullptr;
        stitcher.progress.renderOnly = false;
    }
    // A request that came after the last report still counts while nothing was replaced.
    result.cancelled = !result.committed && (result.report.outcome == StitchOutcome::Cancelled || cancelFlag.requested());
    return result;
}

void VantorraCommands::showFailure(const std::string& why, const std::string& message) {
    // A re-render that failed leaves the panorama shown, and its files, as they were.
    if (!report) platform.showPhotographs(photographEntries(engine.stitcher(), chosenLeftOut), why);
    setStatus(why);
    platform.showMessage(message);
}

void VantorraCommands::finishRun(const RunResult& result, PreviewSink& sink, const std::string& panorama,
                                 const std::string& parameters) {
    if (result.cancelled) {
        if (!report) platform.showPhotographs(photographEntries(engine.stitcher(), chosenLeftOut), kStatusCancelled);
        return setStatus(std::string(kStatusCancelled) + ": the earlier panorama and parameter file are as they were");
    }
    if (!result.failure.empty()) return showFailure("The run failed", "The run failed: " + result.failure);
    const RunReport& outcome = result.report;
    if (!outcome.registration.empty()) registration = outcome.registration;
    if (outcome.outcome == StitchOutcome::Unreadable)  // the input itself could not be used
        return showFailure(outcome.message, "Nothing was rendered, so no panorama was written: " + outcome.message);
    if (!outcome.message.empty())  // a photograph that failed to decode part-way, say
        return showFailure("The run failed: " + outcome.message, "The run failed: " + outcome.message);
    if (outcome.outcome == StitchOutcome::NoMatches) return showFailure(noMatchesText(), noMatchesText());
    // A parameter file with no readable record, or rendering switched off, leaves nothing to write.
    if (!outcome.render.rendered)
        return showFailure("Nothing was rendered", "Nothing was rendered, so no panorama was written");
    if (!result.commitError.empty())
        return showFailure("The panorama was not written: " + result.commitError,
                           "The panorama was not written: " + result.commitError);
    const Stitcher& stitcher = engine.stitcher();
    report = makeResultSummary(stitcher, outcome.render, panorama, parameters, chosenLeftOut);
    shownCameras = PanoramaCameras(stitcher);
    preview = sink.takePreview();
    platform.showResult(*report, preview);
    setStatus(resultStatus(*report));
}

}  // namespace vantorra
