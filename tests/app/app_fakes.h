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
    void openPicture(const std::string& path) override { pictures.push_back(path); }
    std::unique_ptr<StatusWindow> createStatusWindow() override {
        ++statusWindowsCreated;
        auto window = std::make_unique<FakeStatusWindow>(statusWindowsAlive);
        lastStatusWindow = window.get();
        return window;
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
    std::vector<std::string> pictures;
    int statusWindowsCreated = 0;
    int statusWindowsAlive = 0;
    FakeStatusWindow* lastStatusWindow = nullptr;
    int optionsShown = 0;
    OptionsDialogValues shownOptions;
    std::string statusLine;
    bool commandsEnabled = true;
};

// An engine whose runs only change the Stitcher's state as the real ones do, write a log line
// and report one stage; `matches` decides whether a stitch finds an overlapping pair.
class FakeEngine : public StitchEngine {
public:
    struct Call {
        std::string kind;  // "stitch", "parameters" or "render"
        std::string directory;
        std::vector<std::string> names;
        bool renderOnly = false;
    };

    Stitcher& stitcher() override { return state; }

    void stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                Image& output) override {
        calls.push_back({"stitch", imageDirectory, imageNames, state.progress.renderOnly});
        state.imageDirectory = imageDirectory;
        state.imageNames = imageNames;
        state.imagesSelected = true;
        state.needsRegistration = true;
        std::cout << "stitch " << imageNames.size() << std::endl;
        state.progress.report(ProgressReporter::Loading, 0, static_cast<int>(imageNames.size()) - 1);
        if (duringRun) duringRun();
        state.lastError = failure;
        if (!matches || !failure.empty()) return;
        state.needsRegistration = false;
        state.registration = registration;
        output.allocate(2, 3, 3);
    }
    void stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                 Image& output) override {
        calls.push_back({"parameters", imageDirectory, {parameterFile}, state.progress.renderOnly});
        state.imageDirectory = imageDirectory;
        state.imageNames = parameterRecords;
        state.imagesSelected = true;
        state.needsRegistration = false;
        std::cout << "parameters" << std::endl;
        if (!parameterRecords.empty()) output.allocate(2, 3, 3);
    }
    void render(Image& output) override {
        calls.push_back({"render", state.imageDirectory, state.imageNames, state.progress.renderOnly});
        std::cout << "render" << std::endl;
        output.allocate(2, 3, 3);
    }
    bool writePanorama(const Image& panorama, const std::string& path, int quality, std::string& error) override {
        writtenQualities.push_back(quality);
        if (!panoramaError.empty()) {
            error = panoramaError;
            return false;
        }
        std::ofstream(path) << panorama.rows << ' ' << panorama.cols;
        return true;
    }
    bool writeParameters(const std::string& path, std::string& error) override {
        if (!parametersError.empty()) {
            error = parametersError;
            return false;
        }
        std::ofstream file(path);
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
    std::vector<Call> calls;
    std::vector<int> writtenQualities;
};

}  // namespace vantorra::testing
