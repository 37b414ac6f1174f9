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
        EXPECT_EQ(platform.statusLine, "Stitching cancelled");
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
    EXPECT_EQ(entries[2].reason, "no overlap");
}

TEST_F(CommandsResultTest, SaveAsWritesThePanoramaAndItsCamerasThereAndLaterRunsFollow) {
    open(threeImages());
    fs::create_directories(folder / "out");
    platform.saveChoices.push_back(path("out/weir.jpg"));
    commands->saveAs();
    EXPECT_EQ(platform.saveDialogStarts, std::vector<std::string>{path("pano.jpg")});
    EXPECT_TRUE(fs::exists(folder / "out" / "weir.jpg"));
    EXPECT_TRUE(fs::exists(folder / "out" / "weir.txt"));
    ASSERT_EQ(platform.results.size(), 2u);
    EXPECT_EQ(platform.results[1].panoramaPath, path("out/weir.jpg"));
    EXPECT_EQ(platform.statusLine.rfind("Panorama 3 × 2 written to " + path("out/weir.jpg"), 0), 0u);

    // Stitch::Start of the same set writes to the chosen place; a new set goes to its own folder.
    engine.writtenPaths.clear();
    commands->stitchStart();
    EXPECT_EQ(engine.writtenPaths, (std::vector<std::string>{path("out/weir.jpg"), path("out/weir.txt")}));
    engine.writtenPaths.clear();
    open(threeImages());
    EXPECT_EQ(engine.writtenPaths, (std::vector<std::string>{path("pano.jpg"), path("pano.txt")}));

    // A name without an extension gets ".jpg"; Cancel changes nothing.
    platform.saveChoices.push_back(path("out/bare"));
    commands->saveAs();
    EXPECT_TRUE(fs::exists(folder / "out" / "bare.jpg"));
    EXPECT_TRUE(fs::exists(folder / "out" / "bare.txt"));
    platform.saveChoices.push_back(std::nullopt);
    commands->saveAs();
    EXPECT_EQ(commands->panoramaPath(), path("out/bare.jpg"));
}

TEST_F(CommandsResultTest, SaveAsRefusesANameThatWouldOverwriteAPhotograph) {
    open(threeImages());
    const std::string before = fileContents(folder / "P.jpg");
    for (const char* name : {"P.jpg", "./Q.jpg"}) {
        platform.messages.clear();
        platform.saveChoices.push_back(path(name));
        commands->saveAs();
        ASSERT_EQ(platform.messages.size(), 1u) << name;
        EXPECT_NE(platform.messages[0].find("is one of the photographs"), std::string::npos);
    }
    EXPECT_EQ(fileContents(folder / "P.jpg"), before);
    EXPECT_EQ(commands->panoramaPath(), path("pano.jpg"));
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
}

}  // namespace
}  // namespace vantorra::testing
