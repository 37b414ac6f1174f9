// The main window's commands against a recording desktop and an engine that only changes state.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "commands_fixture.h"

namespace vantorra::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(CommandsTest, StartsWithTheBeginLineAndFixedSettings) {
    EXPECT_EQ(platform.statusLine, "Select File::Open to begin");
    EXPECT_EQ(commands->statusLine(), "Select File::Open to begin");
    EXPECT_EQ(commands->logDestination, 2);
    EXPECT_TRUE(commands->anglesInDegrees);
    platform.choices.push_back(std::nullopt);
    commands->fileOpen();
    ASSERT_EQ(platform.dialogStarts.size(), 1u);
    EXPECT_EQ(platform.dialogStarts[0], "images/test");
}

TEST_F(CommandsTest, RejectedChoicesShowTheirMessageAndRunNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> files;  // created before the choice
        std::vector<std::string> chosen;
        const char* message;
    };
    const Case cases[] = {
        {"one JPEG", {"a.jpg"}, {"a.jpg"}, "Please select 2 or more images"},
        {"one kept of two", {"a.jpg", "b.png"}, {"b.png", "a.jpg"}, "Please select 2 or more images"},
        {"a missing image", {"a.jpg"}, {"gone.jpg", "a.jpg"}, "Please select 2 or more images"},
        {"an earlier result", {"a.jpg", "pano.jpg"}, {"pano.jpg", "a.jpg"}, "Please select 2 or more images"},
        {"a missing parameter file", {}, {"pano.txt"}, "File does not exist"},
        {"a file of another kind", {"notes.doc"}, {"notes.doc"}, "Please select 2 or more images"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform desk;
        FakeEngine eng;
        VantorraCommands cmds(eng, desk);
        for (const std::string& name : c.files) touch(name);
        std::vector<std::string> chosen;
        for (const std::string& name : c.chosen) chosen.push_back(path(name));
        desk.choices.push_back(chosen);
        cmds.fileOpen();
        EXPECT_EQ(desk.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(eng.calls.empty());
        EXPECT_EQ(desk.statusWindowsCreated, 0);
        EXPECT_EQ(desk.statusLine, "Select File::Open to begin");
        EXPECT_FALSE(eng.state.imagesSelected());
        for (const std::string& name : c.files) fs::remove(path(name));
    }
}

TEST_F(CommandsTest, CancelledDialogChangesNothing) {
    platform.choices.push_back(std::nullopt);
    commands->fileOpen();
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(platform.statusWindowsCreated, 0);
}

TEST_F(CommandsTest, ImagesReturnedRPQAreStitchedInNameOrder) {
    open(threeImages());
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].kind, "stitch");
    EXPECT_EQ(engine.calls[0].directory, "");
    EXPECT_EQ(engine.calls[0].names, (std::vector<std::string>{path("P.jpg"), path("Q.jpg"), path("R.jpg")}));
}

TEST_F(CommandsTest, AnEarlierPanoramaAmongTheChoiceIsLeftOut) {
    open({touch("pano.jpg"), touch("a.jpg"), touch("b.JPG")});
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].names, (std::vector<std::string>{path("a.jpg"), path("b.JPG")}));
}

TEST_F(CommandsTest, SuccessfulRunWritesBothOutputsAndShowsTheResult) {
    engine.state.options.render.jpegQuality = 83;
    open(threeImages());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(fs::exists(folder / "pano.jpg"));
    EXPECT_TRUE(fs::exists(folder / "pano.txt"));
    EXPECT_EQ(engine.writtenQualities, std::vector<int>{83});
    // The window shows the panorama; the viewer opens only when asked.
    EXPECT_TRUE(platform.pictures.empty());
    ASSERT_EQ(platform.results.size(), 1u);
    EXPECT_EQ(platform.results[0].panoramaPath, path("pano.jpg"));
    EXPECT_EQ(platform.results[0].parameterPath, path("pano.txt"));
    EXPECT_EQ(platform.shownSizes, (std::vector<std::pair<int, int>>{{3, 2}}));
    EXPECT_EQ(platform.statusLine, "Panorama 3 × 2 written to " + path("pano.jpg") + ": 3 of 3 photographs");
    commands->openInViewer();
    commands->openOutputFolder();
    EXPECT_EQ(platform.pictures, std::vector<std::string>{path("pano.jpg")});
    EXPECT_EQ(platform.folders, std::vector<std::string>{folder.string()});
    EXPECT_EQ(platform.statusWindowsCreated, 1);
    EXPECT_EQ(platform.statusWindowsAlive, 0);
    EXPECT_EQ(engine.state.progress.dialog, nullptr);
}

TEST_F(CommandsTest, StatusLineShowsHowRegistrationWent) {
    engine.registration.registered = 2;
    engine.registration.total = 3;
    engine.registration.rmsFullResolution = 0.25f;
    engine.registration.leftOut = {"c.jpg"};
    open(threeImages());
    const std::string registration =
        "2 of 3 photographs registered; RMS error 0.25 px (full resolution); left out: c.jpg";
    EXPECT_EQ(platform.statusLine.rfind("Panorama 3 × 2 written to " + path("pano.jpg"), 0), 0u)
        << platform.statusLine;
    EXPECT_NE(platform.statusLine.find("; " + registration), std::string::npos) << platform.statusLine;
}

TEST_F(CommandsTest, StatusWindowIsAttachedForTheRunAndGoneBeforeMessages) {
    engine.matches = false;
    int aliveDuringRun = -1;
    engine.duringRun = [&] { aliveDuringRun = platform.statusWindowsAlive; };
    open(threeImages());
    EXPECT_EQ(aliveDuringRun, 1);
    ASSERT_NE(platform.lastStatusWindow, nullptr);  // dangling now; only compared, never used
    EXPECT_EQ(platform.statusWindowsAtMessage, std::vector<int>{0});
}

TEST_F(CommandsTest, ParameterFileWithUpperCaseNameRendersWithoutMatching) {
    const std::string file = touch("saved.TXT", "records");
    open({file});
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].kind, "parameters");
    EXPECT_EQ(engine.calls[0].names, std::vector<std::string>{file});
    EXPECT_TRUE(fs::exists(folder / "pano.jpg"));
    std::ifstream written(folder / "pano.txt");
    const std::string content((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "/photos/a.jpg\n/photos/b.jpg\n");
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(CommandsTest, EmptyParameterFileWritesNothingAndSaysSo) {
    engine.parameterRecords.clear();
    open({touch("pano.txt", "")});
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("no panorama was written"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    EXPECT_TRUE(platform.pictures.empty());
}

TEST_F(CommandsTest, StitchStartWithoutImagesAsksForFileOpen) {
    commands->stitchStart();
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Use File::Open to select images first"});
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(CommandsTest, StitchStartAfterSuccessOnlyReRenders) {
    open(threeImages());
    commands->stitchStart();
    ASSERT_EQ(engine.calls.size(), 2u);
    EXPECT_EQ(engine.calls[1].kind, "render");
    EXPECT_TRUE(engine.calls[1].renderOnly);
    EXPECT_FALSE(engine.state.progress.renderOnly);
    EXPECT_EQ(platform.results.size(), 2u);
}

TEST_F(CommandsTest, NoMatchesShowsMessageWritesNothingAndNextStartRunsEverything) {
    engine.matches = false;
    open(threeImages());
    EXPECT_EQ(platform.messages, std::vector<std::string>{"No image matches found"});
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    EXPECT_FALSE(fs::exists(folder / "pano.txt"));
    EXPECT_TRUE(platform.pictures.empty());
    EXPECT_EQ(platform.statusLine, "Select Edit::Options to set options");

    engine.matches = true;
    commands->stitchStart();
    ASSERT_EQ(engine.calls.size(), 2u);
    EXPECT_EQ(engine.calls[1].kind, "stitch");
    EXPECT_FALSE(engine.calls[1].renderOnly);
    EXPECT_EQ(engine.calls[1].names, engine.calls[0].names);
    EXPECT_TRUE(fs::exists(folder / "pano.jpg"));
}

TEST_F(CommandsTest, AFailedRunShowsItsReasonRatherThanNoMatches) {
    engine.failure = "b.jpg: Premature end of JPEG file";
    open(threeImages());
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"The run failed: b.jpg: Premature end of JPEG file"});
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    EXPECT_TRUE(platform.pictures.empty());
}

TEST_F(CommandsTest, WriteFailuresNameTheFileAndTheReasonAndTheProgramGoesOn) {
    struct Case {
        const char* panoramaError;
        const char* parametersError;
        const char* message;
    };
    const Case cases[] = {
        {"Permission denied", "", "Could not write pano.jpg: Permission denied"},
        {"", "No space left on device", "Could not write pano.txt: No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakePlatform desk;
        FakeEngine eng;
        VantorraCommands cmds(eng, desk);
        eng.panoramaError = c.panoramaError;
        eng.parametersError = c.parametersError;
        desk.choices.push_back(std::vector<std::string>{touch("b.jpg"), touch("a.jpg")});
        cmds.fileOpen();
        EXPECT_EQ(desk.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(desk.results.empty());
        EXPECT_FALSE(cmds.running());
        EXPECT_TRUE(desk.commandsEnabled);
        // The next command still works.
        eng.panoramaError.clear();
        eng.parametersError.clear();
        cmds.stitchStart();
        EXPECT_EQ(desk.results.size(), 1u);
    }
}

TEST_F(CommandsTest, CommandsArrivingDuringARunAreIgnored) {
    bool enabledDuringRun = true;
    bool runningDuringRun = false;
    engine.duringRun = [&] {
        enabledDuringRun = platform.commandsEnabled;
        runningDuringRun = commands->running();
        platform.choices.push_back(threeImages());
        commands->fileOpen();
        commands->stitchStart();
        commands->editOptions();
    };
    open(threeImages());
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_TRUE(runningDuringRun);
    EXPECT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(platform.dialogStarts.size(), 1u);
    EXPECT_EQ(platform.optionsShown, 0);
    EXPECT_EQ(platform.statusWindowsCreated, 1);
    EXPECT_TRUE(platform.commandsEnabled);
    EXPECT_FALSE(commands->running());
    // Afterwards they work again.
    engine.duringRun = nullptr;
    commands->stitchStart();
    EXPECT_EQ(engine.calls.size(), 2u);
}

TEST_F(CommandsTest, EngineFailureEndsTheRunNotTheProgram) {
    engine.duringRun = [] { throw std::runtime_error("out of memory"); };
    open(threeImages());
    EXPECT_EQ(platform.messages, std::vector<std::string>{"The run failed: out of memory"});
    EXPECT_EQ(platform.statusWindowsAlive, 0);
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    EXPECT_FALSE(commands->running());
    EXPECT_EQ(engine.state.progress.dialog, nullptr);
}

TEST_F(CommandsTest, OptionsOkWithoutChangesKeepsRegistrationAndUpdatesStatusOnlyAfterImages) {
    platform.optionsEdit = [](StitchOptions&) { return true; };
    commands->editOptions();
    EXPECT_EQ(platform.optionsShown, 1);
    EXPECT_EQ(platform.shownOptions.render.width, 1400);
    EXPECT_EQ(platform.shownOptions.render.thetaMin, -kPi);
    EXPECT_EQ(platform.statusLine, "Select File::Open to begin");

    open(threeImages());
    commands->editOptions();
    EXPECT_FALSE(engine.state.needsRegistration());
    EXPECT_EQ(platform.statusLine, "Select Stitch::Start to stitch");
    commands->stitchStart();
    EXPECT_EQ(engine.calls.back().kind, "render");
}

TEST_F(CommandsTest, MatchingOptionChangeMakesNextStartRunEverything) {
    open(threeImages());
    platform.optionsEdit = [](StitchOptions& options) {
        options.feature.siftScale = 0.5f;
        options.feature.siftSizeMode = SiftSizeMode::Scale;
        return true;
    };
    commands->editOptions();
    EXPECT_TRUE(engine.state.needsRegistration());
    EXPECT_EQ(engine.state.options.feature.siftScale, 0.5f);
    commands->stitchStart();
    EXPECT_EQ(engine.calls.back().kind, "stitch");
}

TEST_F(CommandsTest, OptionsCancelChangesNothing) {
    open(threeImages());
    const std::string before = platform.statusLine;
    platform.optionsEdit = [](StitchOptions& options) {
        options.render.width = 10;
        options.ransac.alpha = 3;
        return false;
    };
    commands->editOptions();
    EXPECT_EQ(engine.state.options.render.width, 1400);
    EXPECT_EQ(engine.state.options.ransac.alpha, 10.0f);
    EXPECT_FALSE(engine.state.needsRegistration());
    EXPECT_EQ(platform.statusLine, before);
}

}  // namespace
}  // namespace vantorra::testing
