// The commands around a result: cancelling, the photographs left out, Save As, the full-resolution
// re-render and opening files dropped or named at start, with a recording desktop and engine.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "commands_fixture.h"

namespace vantorra::testing {
namespace {

namespace fs = std::filesystem;

// The same setting as the other command tests.
using CommandsResultTest = CommandsTest;

TEST_F(CommandsResultTest, CancelDuringARunEndsItAndLeavesTheEarlierOutputs) {
    open(threeImages());
    ASSERT_TRUE(fs::exists(folder / "pano.jpg"));
    std::ofstream(folder / "pano.jpg") << "earlier panorama";
    std::ofstream(folder / "pano.txt") << "earlier cameras";

    // Each stage of a run at which the Cancel button may be pressed.
    const struct {
        const char* what;
        bool duringRender;
        bool fullRun;
    } cases[] = {{"matching", false, true}, {"rendering", true, true}, {"re-render", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        engine.setCamerasValid(!(c.fullRun));
        engine.duringRun = nullptr;
        engine.duringRender = nullptr;
        (c.duringRender ? engine.duringRender : engine.duringRun) = [&] { platform.pressCancel(); };
        const size_t shownBefore = platform.results.size();
        commands->stitchStart();
        EXPECT_TRUE(engine.cancelled());
        EXPECT_EQ(platform.statusLine, "Stitching cancelled: the earlier panorama and parameter file are as they were");
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(platform.results.size(), shownBefore);
        EXPECT_EQ(fileContents(folder / "pano.jpg"), "earlier panorama");
        EXPECT_EQ(fileContents(folder / "pano.txt"), "earlier cameras");
        EXPECT_EQ(platform.statusWindowsAlive, 0);
        EXPECT_FALSE(commands->running());
        EXPECT_EQ(engine.state.progress.cancel, nullptr);
    }
    // The next run is not cancelled by the earlier request.
    engine.duringRun = nullptr;
    engine.duringRender = nullptr;
    commands->stitchStart();
    EXPECT_FALSE(engine.cancelled());
    EXPECT_NE(fileContents(folder / "pano.jpg"), "earlier panorama");
}

TEST_F(CommandsResultTest, ACancelOutsideARunDoesNothing) {
    commands->requestCancel();
    open(threeImages());
    EXPECT_FALSE(engine.cancelled());
    EXPECT_EQ(platform.results.size(), 1u);
}

TEST_F(CommandsResultTest, TheStatusLineSaysWhatIsRunningAndWhatCameOfIt) {
    std::vector<std::string> during;
    engine.duringRun = [&] { during.push_back(platform.statusLine); };
    engine.leftOut = 1;
    open(threeImages());
    commands->stitchStart();  // cameras valid: only a re-render, which does not call duringRun
    engine.setCamerasValid(false);
    commands->stitchStart();
    EXPECT_EQ(during, (std::vector<std::string>{"Stitching 3 photographs…", "Stitching 3 photographs…"}));
    EXPECT_EQ(platform.statusLine,
              "Panorama 3 × 2 written to " + path("pano.jpg") + ": 2 of 3 photographs, 1 left out");
    engine.duringRender = [&] { during.push_back(platform.statusLine); };
    commands->stitchStart();
    EXPECT_EQ(during.back(), "Rendering 3 photographs…");
}

TEST_F(CommandsResultTest, ThePhotographLeftOutIsMarkedWithItsReason) {
    engine.leftOut = 2;
    open(threeImages());
    ASSERT_EQ(platform.results.size(), 1u);
    const std::vector<PhotographEntry>& entries = platform.results[0].photographs;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, path("P.jpg"));
    EXPECT_TRUE(entries[0].used);
    EXPECT_TRUE(entries[1].used);
    EXPECT_FALSE(entries[2].used);
    EXPECT_EQ(entries[2].path, path("R.jpg"));
    EXPECT_EQ(entries[2].reason, "no overlap with the other photographs");
}

TEST_F(CommandsResultTest, SaveAsWritesThePanoramaAndItsCamerasThereAndLaterRunsFollow) {
    open(threeImages());
    fs::create_directories(folder / "out");
    platform.saveChoices.push_back(path("out/weir.jpg"));
    commands->saveAs();
    EXPECT_EQ(platform.saveDialogStarts, std::vector<std::string>{path("pano.jpg")});
    ASSERT_EQ(platform.offeredFormats.size(), 3u);
    EXPECT_EQ(platform.offeredFormats[0].name, "JPEG");
    EXPECT_EQ(fileContents(folder / "out" / "weir.jpg"), fileContents(folder / "pano.jpg"));  // the file, copied
    // Its parameter file names the photographs from where it is now.
    EXPECT_EQ(fileContents(folder / "out" / "weir.txt").rfind(path("P.jpg") + "\n", 0), 0u);
    ASSERT_EQ(platform.results.size(), 2u);
    EXPECT_EQ(platform.results[1].panoramaPath, path("out/weir.jpg"));
    EXPECT_EQ(platform.statusLine.rfind("Saved: Panorama 3 × 2 written to " + path("out/weir.jpg"), 0), 0u);

    // Stitch::Start of the same set writes to the chosen place; a new set goes to its own folder.
    fs::remove(folder / "out" / "weir.jpg");
    fs::remove(folder / "pano.jpg");
    commands->stitchStart();
    EXPECT_TRUE(fs::exists(folder / "out" / "weir.jpg"));
    EXPECT_FALSE(fs::exists(folder / "pano.jpg"));
    open(threeImages());
    EXPECT_TRUE(fs::exists(folder / "pano.jpg"));

    // A name without an extension gets the type's; Cancel changes nothing.
    platform.saveChoices.push_back(path("out/bare"));
    commands->saveAs();
    EXPECT_TRUE(fs::exists(folder / "out" / "bare.jpg"));
    EXPECT_TRUE(fs::exists(folder / "out" / "bare.txt"));
    platform.saveChoices.push_back(std::nullopt);
    commands->saveAs();
    EXPECT_EQ(commands->panoramaPath(), path("out/bare.jpg"));
}

// Save As never loses work: a name that would replace the parameter file beside it, a photograph
// or someone's other file, or put JPEG bytes under another format's extension, is refused and
// nothing is written.
TEST_F(CommandsResultTest, SaveAsRefusesNamesThatWouldLoseWork) {
    open(threeImages());
    std::ofstream(folder / "notes.txt") << "my notes, not a parameter file";
    const std::string panorama = fileContents(folder / "pano.jpg");
    const std::string parameters = fileContents(folder / "pano.txt");
    struct Case {
        const char* name;
        const char* refusal;  // a part of the message
    };
    const Case cases[] = {
        {"clash.txt", "would replace the parameter file"},
        {"pano.txt", "would replace the parameter file"},
        {"shot.png", "The panorama was made as jpeg"},
        {"shot.tif", "The panorama was made as jpeg"},
        {"shot.gif", "cannot be saved as .gif"},
        {"P.jpg", "P.jpg is one of the photographs"},
        {"./Q.jpg", "Q.jpg is one of the photographs"},
        {"notes.jpg", "notes.txt is already there and is not a parameter file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.messages.clear();
        platform.saveChoices.push_back(path(c.name));
        commands->saveAs();
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].find(c.refusal), std::string::npos) << platform.messages[0];
        EXPECT_EQ(platform.statusLine, "Nothing was saved: " + platform.messages[0]);
    }
    EXPECT_FALSE(fs::exists(folder / "clash.txt"));
    EXPECT_FALSE(fs::exists(folder / "shot.png"));
    EXPECT_EQ(fileContents(folder / "notes.txt"), "my notes, not a parameter file");
    EXPECT_EQ(fileContents(folder / "P.jpg"), "x");
    EXPECT_EQ(fileContents(folder / "pano.jpg"), panorama);
    EXPECT_EQ(fileContents(folder / "pano.txt"), parameters);
    EXPECT_EQ(commands->panoramaPath(), path("pano.jpg"));
    EXPECT_EQ(platform.results.size(), 1u);
    // An extension of the format in any case is its own.
    platform.saveChoices.push_back(path("Upper.JPEG"));
    commands->saveAs();
    EXPECT_TRUE(fs::exists(folder / "Upper.JPEG"));
    EXPECT_TRUE(fs::exists(folder / "Upper.txt"));
}

TEST_F(CommandsResultTest, FullResolutionReRendersAtFullScaleAndKeepsTheSizeOptions) {
    engine.state.options.render.width = 900;
    open(threeImages());
    ASSERT_EQ(platform.results.size(), 1u);
    EXPECT_EQ(platform.results[0].percentOfFull(), 25);
    const size_t callsBefore = engine.calls.size();
    commands->renderFullResolution();
    ASSERT_EQ(engine.calls.size(), callsBefore + 1);
    EXPECT_EQ(engine.calls.back().kind, "render");
    EXPECT_TRUE(engine.calls.back().renderOnly);
    ASSERT_EQ(platform.results.size(), 2u);
    EXPECT_EQ(platform.results[1].width, 12);
    EXPECT_EQ(platform.results[1].percentOfFull(), 100);
    EXPECT_EQ(modeValue(engine.state.options.render.sizeMode), 0);
    EXPECT_EQ(engine.state.options.render.width, 900);
    EXPECT_FALSE(engine.state.progress.renderOnly);

    // After a matching option changed the cameras are not valid: no re-render without matching.
    engine.setCamerasValid(false);
    commands->renderFullResolution();
    EXPECT_EQ(engine.calls.size(), callsBefore + 1);
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(CommandsResultTest, FilesDroppedOrNamedAtStartOpenInNameOrderFromTheirFolder) {
    const std::string p = touch("set/P.jpg"), q = touch("set/Q.jpeg"), r = touch("set/R.JPG");
    touch("set/pano.jpg");  // the earlier result in the same folder
    commands->openFiles({r, path("set/pano.jpg"), p, q});
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].names, (std::vector<std::string>{p, q, r}));
    EXPECT_EQ(fs::current_path(), folder / "set");
    EXPECT_TRUE(fs::exists(folder / "set" / "pano.txt"));

    // A single parameter file renders it; a single photograph is refused as in File::Open.
    commands->openFiles({path("set/pano.txt")});
    EXPECT_EQ(engine.calls.back().kind, "parameters");
    commands->openFiles({p});
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Please select 2 or more images"});
    // A folder opens its photographs.
    commands->openFiles({path("set")});
    EXPECT_EQ(engine.calls.back().names, (std::vector<std::string>{p, q, r}));
}

// An open that fails shows the new choice, not the last panorama, and Start then has nothing to run.
TEST_F(CommandsResultTest, AFailedOpenClearsTheOldResult) {
    open(threeImages());
    ASSERT_EQ(platform.results.size(), 1u);
    open({path("P.jpg")});
    EXPECT_FALSE(commands->lastReport().has_value());
    EXPECT_EQ(platform.listed.size(), 1u);
    EXPECT_FALSE(platform.noPanoramaText.empty());
    platform.messages.clear();
    commands->stitchStart();
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Use File::Open to select images first"});
    platform.saveChoices.push_back(path("later.jpg"));
    commands->saveAs();  // no panorama to save: only where the next one goes
    EXPECT_FALSE(fs::exists(folder / "later.jpg"));
}

// A crop and a manual orientation belong to one panorama: the next set starts without them,
// while Start on the same set keeps them.
TEST_F(CommandsResultTest, PerPanoramaOptionsAreNotCarriedToTheNextPhotographs) {
    open(threeImages());
    platform.optionsEdit = [](StitchOptions& options) {
        options.render.autoCrop = false;
        options.render.thetaMin = -1.0f;
        options.render.orientPsi = 0.2f;
        options.render.width = 900;
        return true;
    };
    commands->editOptions();
    EXPECT_EQ(platform.statusLine, "Options changed. Select Stitch::Start to stitch again");
    commands->stitchStart();
    EXPECT_EQ(engine.state.options.render.thetaMin, -1.0f);
    open(threeImages());
    const StitchOptions defaults;
    EXPECT_EQ(engine.state.options.render.autoCrop, defaults.render.autoCrop);
    EXPECT_EQ(engine.state.options.render.thetaMin, defaults.render.thetaMin);
    EXPECT_EQ(engine.state.options.render.orientPsi, defaults.render.orientPsi);
    EXPECT_EQ(engine.state.options.render.width, 900);  // a preference stays
}

}  // namespace
}  // namespace vantorra::testing
