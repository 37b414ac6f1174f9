// A parameter file the command-line tool wrote, opened in the application with the real engine:
// the names in it are relative to its own folder, whatever the current directory is, the cameras
// go back unchanged, and rendering them again leaves the file as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/vantorra_commands.h"
#include "app_fakes.h"
#include "app_test_dir.h"
#include "io/output_files.h"
#include "io/panorama_sink.h"

namespace vantorra::testing {
namespace {

namespace fs = std::filesystem;

StitchOptions smallRender() {
    StitchOptions options;
    options.render.sizeMode = SizeMode::Width;
    options.render.width = 300;
    options.render.blendingMethod = "none";
    return options;
}

class CommandLineFileTest : public InTempDirectory {};

TEST_F(CommandLineFileTest, OpensWithNamesRelativeToItsFolderAndIsNotRewritten) {
    const std::string row6 = std::string(VANTORRA_TEST_DATA) + "/matching/row6/";
    std::vector<std::string> photographs;
    for (const char* name : {"DSC_0100.jpg", "DSC_0107.jpg", "DSC_0114.jpg"}) {
        fs::create_directories(folder / "trip" / "rr");
        fs::copy_file(row6 + name, folder / "trip" / "rr" / name);
        photographs.push_back((folder / "trip" / "rr" / name).string());
    }
    // What the command-line tool does: stitch, then commit pano.jpg with pano.txt naming the
    // photographs relative to the outputs' folder.
    {
        Stitcher tool;
        tool.options = smallRender();
        Image panorama;
        std::ostringstream log;
        ASSERT_EQ(tool.stitch("", photographs, panorama, log).outcome, StitchOutcome::Stitched);
        std::ostringstream parameters;
        writeParameterFile(parameters, tool, path("trip"));
        ASSERT_EQ(writeOutputs(path("trip"), panorama, tool.options.render.jpegQuality, parameters.str()), "");
    }
    const std::string written = fileContents(folder / "trip" / "pano.txt");
    ASSERT_EQ(written.rfind("rr/DSC_0100.jpg\n", 0), 0u);

    // Opened from somewhere else, the way a desktop hands over a file.
    fs::create_directories(folder / "elsewhere");
    fs::current_path(folder / "elsewhere");
    StitcherEngine engine;
    engine.stitcher().options = smallRender();
    FakePlatform platform;
    VantorraCommands commands(engine, platform);
    commands.openFiles({path("trip/pano.txt")});
    EXPECT_TRUE(platform.messages.empty()) << platform.messages.front();
    ASSERT_EQ(platform.results.size(), 1u);
    EXPECT_EQ(platform.results[0].panoramaPath, path("trip/pano.jpg"));
    EXPECT_EQ(platform.results[0].width, 300);
    for (const PhotographEntry& entry : platform.results[0].photographs) EXPECT_TRUE(entry.used) << entry.path;

    // The cameras are written back as they were read. The panorama section follows the pixels:
    // rendered from the file's cameras they may differ in the last bit from the tool's render
    // of the cameras it solved, so the pair is committed with the new panorama's checksum.
    const std::string afterOpen = fileContents(folder / "trip" / "pano.txt");
    const size_t section = written.find("[panorama");
    ASSERT_NE(section, std::string::npos);
    EXPECT_EQ(afterOpen.substr(0, section), written.substr(0, section));
    const fs::file_time_type openedAt = fs::last_write_time(folder / "trip" / "pano.txt");

    // Rendered again, unchanged: the same bytes, so the file it read is neither changed nor written.
    const std::string panorama = fileContents(folder / "trip" / "pano.jpg");
    commands.stitchStart();
    ASSERT_EQ(platform.results.size(), 2u);
    EXPECT_EQ(fileContents(folder / "trip" / "pano.jpg"), panorama);
    EXPECT_EQ(fileContents(folder / "trip" / "pano.txt"), afterOpen);
    EXPECT_EQ(fs::last_write_time(folder / "trip" / "pano.txt"), openedAt);
    EXPECT_EQ(platform.results[1].fullWidth, platform.results[0].fullWidth);
    EXPECT_EQ(platform.results[1].fullHeight, platform.results[0].fullHeight);
}

}  // namespace
}  // namespace vantorra::testing
