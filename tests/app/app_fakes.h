#pragma once
// Recording stand-ins for the desktop and the engine, so the main window's commands can be run
// without windows or photographs.

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/stitch_engine.h"
#include "core/stitch_cancelled.h"
#include "io/photo_image.h"

namespace vantorra::testing {

// A status window that remembers what the reporter showed; counts the windows still alive.
class FakeStatusWindow : public StatusWindow {
public:
    explicit FakeStatusWindow(int& alive) : alive(alive) { ++alive; }
    ~FakeStatusWindow() override { --alive; }
    void setText(const std::string& value) override { texts.push_back(value); }
    void setStageBar(int, int) override {}
    void setOverallBar(int, int) override {}
    void pumpEvents() override { ++pumps; }
    void repaint() override {}

    std::vector<std::string> texts;
    int pumps = 0;

private:
    int& alive;
};

class FakePlatform : public AppPlatform {
public:
    std::optional<std::vector<std::string>> chooseFiles(const std::string& initialDirectory) override {
        dialogStarts.push_back(initialDirectory);
        if (choices.empty()) return std::nullopt;
        auto next = choices.front();
        choices.pop_front();
        return next;
    }
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        messageFilesPresent.push_back(std::filesystem::exists("pano.jpg"));
        statusWindowsAtMessage.push_back(statusWindowsAlive);
    }
    std::optional<SaveChoice> choosePanoramaFile(const std::string& current,
                                                 const std::vector<SaveFormat>& formats) override {
        saveDialogStarts.push_back(current);
        offeredFormats = formats;
        if (saveChoices.empty()) return std::nullopt;
        auto next = saveChoices.front();
        saveChoices.pop_front();
        if (!next) return std::nullopt;
        return SaveChoice{*next, saveType.empty() ? formats.front().name : saveType};
    }
    void openPicture(const std::string& path) override { pictures.push_back(path); }
    void openFolder(const std::string& path) override { folders.push_back(path); }
    std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title, std::function<void()> cancel) override {
        ++statusWindowsCreated;
        statusWindowTitles.push_back(title);
        auto window = std::make_unique<FakeStatusWindow>(statusWindowsAlive);
        lastStatusWindow = window.get();
        pressCancel = std::move(cancel);
        return window;
    }
    // The work runs at once, on this thread, as a window's own thread would see it end.
    void runInBackground(const std::function<void()>& work) override {
        ++backgroundRuns;
        work();
    }
    void showResult(const ResultSummary& report, const Image& preview) override {
        results.push_back(report);
        shownSizes.emplace_back(preview.cols, preview.rows);
        listed = report.photographs;
        noPanoramaText.clear();
    }
    void showPhotographs(const std::vector<PhotographEntry>& photographs, const std::string& why) override {
        listed = photographs;
        noPanoramaText = why;
    }
    bool editOptions(StitchOptions& options, bool) override {
        ++optionsShown;
        shownOptions = options;
        if (!optionsEdit) return false;
        return optionsEdit(options);
    }
    void setStatusLine(const std::string& text) override { statusLine = text; }
    void setCommandsEnabled(bool enabled) override { commandsEnabled = enabled; }

    std::deque<std::optional<std::vector<std::string>>> choices;  // what the file dialog returns
    std::function<bool(StitchOptions&)> optionsEdit;              // the user's work in Options
    std::vector<std::string> dialogStarts;
    std::vector<std::string> messages;
    std::vector<bool> messageFilesPresent;
    std::vector<int> statusWindowsAtMessage;
    std::deque<std::optional<std::string>> saveChoices;  // what the save dialog returns
    std::string saveType;                                // the type chosen there (default: the first)
    std::vector<SaveFormat> offeredFormats;
    std::vector<std::string> saveDialogStarts;
    std::vector<std::string> pictures;
    std::vector<std::string> folders;
    std::vector<ResultSummary> results;
    std::vector<std::pair<int, int>> shownSizes;  // width, height of each shown preview
    std::vector<PhotographEntry> listed;           // the photograph list as last shown
    std::string noPanoramaText;                    // what the preview area says, when no panorama
    std::vector<std::string> statusWindowTitles;
    int backgroundRuns = 0;
    std::function<void()> pressCancel;             // the last status window's Cancel button
    int statusWindowsCreated = 0;
    int statusWindowsAlive = 0;
    FakeStatusWindow* lastStatusWindow = nullptr;
    int optionsShown = 0;
    StitchOptions shownOptions;
    std::string statusLine;
    bool commandsEnabled = true;
};

// An engine whose runs only change the Stitcher's state as the real ones do, write a log line
// and report one stage; `matches` decides whether a stitch finds an overlapping pair. A cancel
// seen at a report ends the run as the Stitcher's do: `cancelled` set, no output.
class FakeEngine : public StitchEngine {
public:
    struct Call {
        std::string kind;  // "stitch", "parameters" or "render"
        std::string directory;
        std::vector<std::string> names;
        bool renderOnly = false;
    };

    Stitcher& stitcher() override { return state; }

    RunReport stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                     PanoramaSink& output, std::ostream& log) override {
        RunReport report;
        cancellable(output, report, [&] { report = stitchRun(imageDirectory, imageNames, output, log); });
        lastOutcome = report.outcome;
        return report;
    }
    // Makes the stored cameras usable for a re-render, or not, as a run would leave them.
    void setCamerasValid(bool valid) {
        if (!valid) return state.invalidateCameras();
        state.takeCameras(state.directory(), state.photographs(), state.cameras(), state.component());
    }
    bool cancelled() const { return lastOutcome == StitchOutcome::Cancelled; }
    // The photographs with their sizes, as the engine keeps them after a run.
    static std::vector<Photograph> photographsOf(const std::vector<std::string>& names) {
        std::vector<Photograph> photographs;
        for (const std::string& name : names) photographs.push_back(Photograph{name, ImageSize{30, 40, 3}});
        return photographs;
    }
    RunReport stitchRun(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                        PanoramaSink& output, std::ostream& log) {
        calls.push_back({"stitch", imageDirectory, imageNames, state.progress.renderOnly});
        state.takeCameras(imageDirectory, photographsOf(imageNames), std::vector<Camera>(imageNames.size()), {});
        state.invalidateCameras();
        log << "stitch " << imageNames.size() << std::endl;
        state.progress.report(ProgressReporter::Loading, 0, static_cast<int>(imageNames.size()) - 1);
        if (duringRun) duringRun();
        RunReport report;
        report.records = static_cast<int>(imageNames.size());
        if (!failure.empty()) {
            report.outcome = StitchOutcome::Failed;
            report.message = failure;
            return report;
        }
        if (!matches) {
            report.outcome = StitchOutcome::NoMatches;
            return report;
        }
        std::vector<int32_t> component;
        for (size_t i = 0; i < imageNames.size(); ++i)
            if (static_cast<int>(i) != leftOut) component.push_back(static_cast<int32_t>(i));
        state.takeCameras(imageDirectory, photographsOf(imageNames), std::vector<Camera>(imageNames.size()),
                          std::move(component));
        report.registration = registration;
        renderRun(output, state.options.render, report);
        report.outcome = StitchOutcome::Stitched;
        return report;
    }
    RunReport stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                      PanoramaSink& output, std::ostream& log) override {
        calls.push_back({"parameters", imageDirectory, {parameterFile}, state.progress.renderOnly});
        std::vector<int32_t> component;
        for (size_t i = 0; i < parameterRecords.size(); ++i) component.push_back(static_cast<int32_t>(i));
        state.takeCameras(imageDirectory, photographsOf(parameterRecords),
                          std::vector<Camera>(parameterRecords.size()), std::move(component));
        log << "parameters" << std::endl;
        RunReport report;
        report.records = static_cast<int>(parameterRecords.size());
        if (parameterRecords.empty()) {
            report.outcome = StitchOutcome::Unreadable;
            report.message = "no image records in " + parameterFile;
            return report;
        }
        lastOutcome = StitchOutcome::Stitched;
        renderRun(output, state.options.render, report);
        report.outcome = StitchOutcome::Stitched;
        return report;
    }
    RunReport render(PanoramaSink& output, const RenderOptions& options, std::ostream& log) override {
        calls.push_back({"render", state.directory(), state.names(), state.progress.renderOnly});
        log << "render" << std::endl;
        RunReport report;
        cancellable(output, report, [&] {
            renderRun(output, options, report);
            report.outcome = StitchOutcome::Stitched;
        });
        lastOutcome = report.outcome;
        return report;
    }
    // A rendering stage that reports twice and hands the sink `panorama` when set, else 3 x 2, at
    // the scale the size options ask for (scale mode) or at a quarter; four times that at 100 %.
    void renderRun(PanoramaSink& output, const RenderOptions& r, RunReport& report) {
        state.progress.report(ProgressReporter::Rendering, 0, 1);
        if (duringRender) duringRender();
        state.progress.report(ProgressReporter::Blending, 1, 1);
        Image image = panorama.empty() ? smallPanorama() : panorama;
        const bool full = r.sizeMode == SizeMode::Scale && r.scale == 1.0f;
        if (full) image.allocate(image.rows * 4, image.cols * 4, 3);
        if (!writeToSink(image, output)) {
            report.render.error = output.error();
            report.outcome = StitchOutcome::Failed;
            report.message = output.error();
            return;
        }
        report.render.rendered = true;
        report.render.width = image.cols;
        report.render.height = image.rows;
        report.render.fullWidth = full ? image.cols : image.cols * 4;
        report.render.fullHeight = full ? image.rows : image.rows * 4;
        report.render.scale = r.sizeMode == SizeMode::Scale ? r.scale : 0.25f;
    }
    static Image smallPanorama() {
        Image image;
        image.allocate(2, 3, 3);
        return image;
    }
    template <typename Body>
    void cancellable(PanoramaSink&, RunReport& report, Body&& body) {
        try {
            body();
        } catch (const StitchCancelled&) {
            report = RunReport{};
            report.outcome = StitchOutcome::Cancelled;
        }
    }

    Stitcher state;
    StitchOutcome lastOutcome = StitchOutcome::Stitched;  // of the last run
    bool matches = true;
    RegistrationSummary registration;  // what a successful stitch reports
    std::string failure;  // why a stitch fails, e.g. a photograph that failed to decode
    std::vector<std::string> parameterRecords = {"/photos/a.jpg", "/photos/b.jpg"};
    std::function<void()> duringRun;
    std::function<void()> duringRender;
    int leftOut = -1;        // the image a successful stitch leaves out of the panorama
    Image panorama;          // what a render produces when set
    std::vector<Call> calls;
};

}  // namespace vantorra::testing
