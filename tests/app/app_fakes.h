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
#include "io/jpeg_image.h"

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
    std::optional<std::string> choosePanoramaFile(const std::string& current) override {
        saveDialogStarts.push_back(current);
        if (saveChoices.empty()) return std::nullopt;
        auto next = saveChoices.front();
        saveChoices.pop_front();
        return next;
    }
    void openPicture(const std::string& path) override { pictures.push_back(path); }
    void openFolder(const std::string& path) override { folders.push_back(path); }
    std::unique_ptr<StatusWindow> createStatusWindow(std::function<void()> cancel) override {
        ++statusWindowsCreated;
        auto window = std::make_unique<FakeStatusWindow>(statusWindowsAlive);
        lastStatusWindow = window.get();
        pressCancel = std::move(cancel);
        return window;
    }
    void showResult(const RunReport& report, const Image& panorama) override {
        results.push_back(report);
        shownSizes.emplace_back(panorama.cols, panorama.rows);
    }
    bool editOptions(OptionsDialogValues& values) override {
        ++optionsShown;
        shownOptions = values;
        if (!optionsEdit) return false;
        return optionsEdit(values);
    }
    void setStatusLine(const std::string& text) override { statusLine = text; }
    void setCommandsEnabled(bool enabled) override { commandsEnabled = enabled; }

    std::deque<std::optional<std::vector<std::string>>> choices;  // what the file dialog returns
    std::function<bool(OptionsDialogValues&)> optionsEdit;        // the user's work in Options
    std::vector<std::string> dialogStarts;
    std::vector<std::string> messages;
    std::vector<bool> messageFilesPresent;
    std::vector<int> statusWindowsAtMessage;
    std::deque<std::optional<std::string>> saveChoices;  // what the save dialog returns
    std::vector<std::string> saveDialogStarts;
    std::vector<std::string> pictures;
    std::vector<std::string> folders;
    std::vector<RunReport> results;
    std::vector<std::pair<int, int>> shownSizes;  // width, height of each shown panorama
    std::function<void()> pressCancel;             // the last status window's Cancel button
    int statusWindowsCreated = 0;
    int statusWindowsAlive = 0;
    FakeStatusWindow* lastStatusWindow = nullptr;
    int optionsShown = 0;
    OptionsDialogValues shownOptions;
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

    StitchOutcome stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                         Image& output) override {
        StitchOutcome outcome = StitchOutcome::Cancelled;
        cancellable(output, [&] { outcome = stitchRun(imageDirectory, imageNames, output); });
        return state.cancelled ? StitchOutcome::Cancelled : outcome;
    }
    StitchOutcome stitchRun(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                            Image& output) {
        calls.push_back({"stitch", imageDirectory, imageNames, state.progress.renderOnly});
        state.imageDirectory = imageDirectory;
        state.imageNames = imageNames;
        state.imagesSelected = true;
        state.needsRegistration = true;
        std::cout << "stitch " << imageNames.size() << std::endl;
        state.progress.report(ProgressReporter::Loading, 0, static_cast<int>(imageNames.size()) - 1);
        if (duringRun) duringRun();
        state.lastError = failure;
        if (!failure.empty()) return StitchOutcome::Failed;
        if (!matches) return StitchOutcome::NoMatches;
        state.needsRegistration = false;
        state.registration = registration;
        state.component.clear();
        for (size_t i = 0; i < imageNames.size(); ++i)
            if (static_cast<int>(i) != leftOut) state.component.push_back(static_cast<int32_t>(i));
        state.imageSizes.assign(imageNames.size(), ImageSize{30, 40, 3});
        renderRun(output);
        return StitchOutcome::Stitched;
    }
    ParameterFileRun stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                             Image& output) override {
        calls.push_back({"parameters", imageDirectory, {parameterFile}, state.progress.renderOnly});
        state.imageDirectory = imageDirectory;
        state.imageNames = parameterRecords;
        state.imagesSelected = true;
        state.needsRegistration = false;
        std::cout << "parameters" << std::endl;
        state.component.clear();
        for (size_t i = 0; i < parameterRecords.size(); ++i) state.component.push_back(static_cast<int32_t>(i));
        if (parameterRecords.empty()) return {StitchOutcome::Failed, 0};
        output.allocate(2, 3, 3);
        return {StitchOutcome::Stitched, static_cast<int>(parameterRecords.size())};
    }
    void render(Image& output) override {
        calls.push_back({"render", state.imageDirectory, state.imageNames, state.progress.renderOnly});
        std::cout << "render" << std::endl;
        cancellable(output, [&] { renderRun(output); });
    }
    // A rendering stage that reports twice; the panorama is `panorama` when set, else 3 x 2, at
    // the scale the size options ask for (scale mode) or at a quarter.
    void renderRun(Image& output) {
        state.progress.report(ProgressReporter::Rendering, 0, 1);
        if (duringRender) duringRender();
        state.progress.report(ProgressReporter::Blending, 1, 1);
        output = panorama.empty() ? smallPanorama() : panorama;
        const RenderOptions& r = state.options.render;
        state.options.render.scale = r.sizeMode == SizeMode::Scale ? r.scale : 0.25f;
        if (r.sizeMode == SizeMode::Scale && r.scale == 1.0f) output.allocate(output.rows * 4, output.cols * 4, 3);
    }
    static Image smallPanorama() {
        Image image;
        image.allocate(2, 3, 3);
        return image;
    }
    template <typename Body>
    void cancellable(Image& output, Body&& body) {
        state.cancelled = false;
        try {
            body();
        } catch (const StitchCancelled&) {
            state.cancelled = true;
            output.clear();
        }
    }
    // Writes both or, with an error set for either, neither (as the real engine replaces them).
    bool writeOutputs(const Image& image, const std::string& path, int quality, const std::string& parameterPath,
                      OutputFailure& failure) override {
        writtenQualities.push_back(quality);
        writtenPaths.push_back(path);
        writtenPaths.push_back(parameterPath);
        if (!panoramaError.empty()) failure = {path, panoramaError};
        else if (!parametersError.empty()) failure = {parameterPath, parametersError};
        if (failure.failed()) return false;
        if (writeRealJpeg) {
            if (std::string error; !writeJpeg(path, image, quality, &error)) {
                failure = {path, error};
                return false;
            }
        } else {
            std::ofstream(path) << image.rows << ' ' << image.cols;
        }
        std::ofstream file(parameterPath);
        for (const std::string& name : state.imageNames) file << name << '\n';
        return true;
    }

    Stitcher state;
    bool matches = true;
    RegistrationSummary registration;  // what a successful stitch reports
    std::string failure;  // lastError a stitch leaves, e.g. a photograph that failed to decode
    std::vector<std::string> parameterRecords = {"/photos/a.jpg", "/photos/b.jpg"};
    std::string panoramaError;
    std::string parametersError;
    std::function<void()> duringRun;
    std::function<void()> duringRender;
    int leftOut = -1;        // the image a successful stitch leaves out of the panorama
    Image panorama;          // what a render produces when set
    bool writeRealJpeg = false;
    std::vector<Call> calls;
    std::vector<int> writtenQualities;
    std::vector<std::string> writtenPaths;
};

}  // namespace vantorra::testing
