// The main window's commands against a recording desktop and an engine that only changes state.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "io/photo_selection.h"
#include "commands_fixture.h"
#include "io/jpeg.h"

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

TEST_F(CommandsTest, RejectedChoicesShowTheirMessageListWhyAndRunNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> files;  // created before the choice
        std::vector<std::string> chosen;
        const char* message;
        std::vector<std::pair<std::string, std::string>> listed;  // name, reason
    };
    const std::string alone = "not stitched: a panorama needs two or more photographs";
    const Case cases[] = {
        {"one JPEG", {"a.jpg"}, {"a.jpg"}, "Please select 2 or more images", {{"a.jpg", alone}}},
        {"one kept of two", {"a.jpg", "b.bmp"}, {"b.bmp", "a.jpg"},
         "Please select 2 or more images: the list shows why the others cannot be used",
         {{"a.jpg", alone}, {"b.bmp", kNotAPhotograph}}},
        {"a missing image", {"a.jpg"}, {"gone.jpg", "a.jpg"},
         "Please select 2 or more images: the list shows why the others cannot be used",
         {{"a.jpg", alone}, {"gone.jpg", "No such file or directory"}}},
        {"an earlier result", {"a.jpg", "pano.jpg"}, {"pano.jpg", "a.jpg"},
         "Please select 2 or more images: the list shows why the others cannot be used",
         {{"a.jpg", alone}, {"pano.jpg", "the panorama about to be written"}}},
        {"a missing parameter file", {}, {"pano.txt"}, "File does not exist", {{"pano.txt", "No such file or directory"}}},
        {"a file of another kind", {"notes.doc"}, {"notes.doc"},
         "Please select 2 or more images: the list shows why the others cannot be used",
         {{"notes.doc", kNotAPhotograph}}},
        {"a folder without photographs", {"empty/readme"}, {"empty"},
         "Please select 2 or more images: the list shows why the others cannot be used",
         {{"empty", "a folder without photographs"}}},
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
        EXPECT_EQ(desk.statusLine, c.message);
        EXPECT_TRUE(eng.calls.empty());
        EXPECT_EQ(desk.statusWindowsCreated, 0);
        EXPECT_FALSE(eng.state.imagesSelected());
        std::vector<std::pair<std::string, std::string>> listed;
        for (const PhotographEntry& entry : desk.listed) {
            EXPECT_FALSE(entry.used);
            listed.emplace_back(fs::path(entry.path).filename().string(), entry.reason);
        }
        EXPECT_EQ(listed, c.listed);
        for (const std::string& name : c.files) fs::remove_all(path(fs::path(name).begin()->string()));
    }
}

// A missing first file once moved the outputs into its folder and vanished without a word: now
// it is listed with its reason and the outputs go beside the photographs that are stitched.
TEST_F(CommandsTest, PathsLeftOutAreListedAndTheOutputsGoWhereThePhotographsAre) {
    const std::string p = touch("set/P.jpg"), q = touch("set/Q.jpg");
    touch("other/notes.txt");
    commands->openFiles({path("elsewhere/gone.jpg"), p, path("other/notes.txt"), q, path("other")});
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].names, (std::vector<std::string>{p, q}));
    ASSERT_EQ(platform.results.size(), 1u);
    EXPECT_EQ(platform.results[0].panoramaPath, path("set/pano.jpg"));
    EXPECT_TRUE(fs::exists(folder / "set" / "pano.txt"));
    std::vector<std::pair<std::string, std::string>> leftOut;
    for (const PhotographEntry& entry : platform.results[0].photographs)
        if (!entry.used) leftOut.emplace_back(entry.path, entry.reason);
    EXPECT_EQ(leftOut, (std::vector<std::pair<std::string, std::string>>{
                           {path("elsewhere/gone.jpg"), "No such file or directory"},
                           {path("other/notes.txt"), "a parameter file is opened alone, not with photographs"},
                           {path("other"), "a folder without photographs"}}));
    EXPECT_EQ(platform.statusLine, "Panorama 3 × 2 written to " + path("set/pano.jpg") + ": 2 of 5 photographs, 3 left out");
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
    open(threeImages());
    EXPECT_TRUE(platform.messages.empty());
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(path("pano.jpg"), header));  // streamed into the file as it rendered
    EXPECT_EQ(header.width, 3);
    EXPECT_EQ(header.height, 2);
    EXPECT_EQ(fileContents(folder / "pano.txt").rfind("P.jpg\n40 30\n", 0), 0u);  // named beside it
    // The window shows the panorama; the viewer opens only when asked.
    EXPECT_TRUE(platform.pictures.empty());
    ASSERT_EQ(platform.results.size(), 1u);
    EXPECT_EQ(platform.results[0].panoramaPath, path("pano.jpg"));
    EXPECT_EQ(platform.results[0].parameterPath, path("pano.txt"));
    EXPECT_EQ(platform.shownSizes, (std::vector<std::pair<int, int>>{{3, 2}}));
    EXPECT_EQ(platform.statusLine, "Panorama 3 × 2 written to " + path("pano.jpg") + ": 3 of 3 photographs");
    EXPECT_EQ(platform.statusWindowTitles, std::vector<std::string>{"Stitching 3 photographs…"});
    EXPECT_EQ(platform.backgroundRuns, 1);
    commands->openInViewer();
    commands->openOutputFolder();
    EXPECT_EQ(platform.pictures, std::vector<std::string>{path("pano.jpg")});
    EXPECT_EQ(platform.folders, std::vector<std::string>{folder.string()});
    EXPECT_EQ(platform.statusWindowsCreated, 1);
    EXPECT_EQ(platform.statusWindowsAlive, 0);
    EXPECT_EQ(engine.state.progress.dialog, nullptr);
}

// The preview is a reduced copy made while the rows pass, never the panorama itself.
TEST_F(CommandsTest, ThePreviewIsReducedToAFewMegapixelsWhateverThePanoramasSize) {
    engine.panorama.allocate(1500, 4000, 3);  // 6 megapixels
    open(threeImages());
    ASSERT_EQ(platform.shownSizes.size(), 1u);
    EXPECT_EQ(platform.shownSizes[0], (std::pair<int, int>{2000, 750}));
    EXPECT_EQ(platform.results[0].width, 4000);
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(path("pano.jpg"), header));
    EXPECT_EQ(header.width, 4000);
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
    // Photographs outside the file's folder are named by their absolute paths.
    EXPECT_EQ(fileContents(folder / "pano.txt").rfind("/photos/a.jpg\n40 30\n", 0), 0u);
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
    // The words say what it means, and the list shows each photograph and why it was left out.
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind("No image matches found: no two of the photographs overlap", 0), 0u);
    EXPECT_EQ(platform.statusLine, platform.messages[0]);
    EXPECT_EQ(platform.noPanoramaText, platform.messages[0]);
    ASSERT_EQ(platform.listed.size(), 3u);
    for (const PhotographEntry& entry : platform.listed) EXPECT_EQ(entry.reason, "no overlap with the other photographs");
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    EXPECT_FALSE(fs::exists(folder / "pano.txt"));
    EXPECT_TRUE(platform.pictures.empty());

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

// Outputs that cannot be written: said before the run when the place cannot take a file, after
// it when a file cannot be replaced; the earlier files stay and the program goes on.
TEST_F(CommandsTest, WriteFailuresNameTheFileAndTheReasonAndTheProgramGoesOn) {
    open(threeImages());
    fs::remove(folder / "pano.txt");
    fs::create_directories(folder / "pano.txt" / "taken");  // a folder where the file goes
    const std::string earlier = fileContents(folder / "pano.jpg");
    commands->stitchStart();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind("The panorama was not written: cannot write " + path("pano.txt"), 0), 0u)
        << platform.messages[0];
    EXPECT_FALSE(commands->running());
    EXPECT_TRUE(platform.commandsEnabled);
    fs::remove_all(folder / "pano.txt");

    fs::create_directories(folder / "out");
    platform.saveChoices.push_back(path("out/weir.jpg"));
    commands->saveAs();
    fs::remove_all(folder / "out");
    const size_t calls = engine.calls.size();
    commands->stitchStart();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1], "Nothing was stitched: the panorama cannot be written (cannot write " +
                                        path("out/weir.jpg") + ": No such file or directory). Choose another place "
                                        "with File ▸ Save As.");
    EXPECT_EQ(engine.calls.size(), calls);  // no run that could only fail at its end
    // The next command still works.
    fs::create_directories(folder / "out");
    commands->stitchStart();
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(engine.calls.size(), calls + 1);
    EXPECT_TRUE(fs::exists(folder / "out" / "weir.txt"));
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
