#include "cli/input_selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/exit_codes.h"
#include "core/image.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

TEST(InputSelectionTest, NamesAreFilteredLikeTheOpenCommand) {
    struct Case {
        std::vector<std::string> arguments;
        InputSelection::Kind kind;
        std::vector<std::string> kept;
        int exitCode;
    };
    const Case cases[] = {
        // The order given is kept: no rotation of the list.
        {{"r.jpg", "p.jpg", "q.jpg"}, InputSelection::Images, {"r.jpg", "p.jpg", "q.jpg"}, 0},
        {{"a.JPG", "b.jpeg", "c.gif", "d.jpg"}, InputSelection::Images, {"a.JPG", "b.jpeg", "d.jpg"}, 0},
        {{"out/pano.jpg", "a.jpg", "b.jpg"}, InputSelection::Images, {"a.jpg", "b.jpg"}, 0},
        // An earlier result elsewhere is a photograph; only the output itself is left out.
        {{"dir/pano.jpg", "a.jpg"}, InputSelection::Images, {"dir/pano.jpg", "a.jpg"}, 0},
        {{"my-pano.jpg", "b.jpg"}, InputSelection::Images, {"my-pano.jpg", "b.jpg"}, 0},
        {{"out/pano.jpg", "a.jpg"}, InputSelection::Rejected, {}, ExitUsage},
        {{"a.jpg"}, InputSelection::Rejected, {}, ExitUsage},
        {{}, InputSelection::Rejected, {}, ExitUsage},
        {{"a.bmp", "b.gif"}, InputSelection::Rejected, {}, ExitUsage},
        {{"a.jpg", "pano.txt"}, InputSelection::Rejected, {}, ExitUsage},
        {{"missing-pano.txt"}, InputSelection::Rejected, {}, ExitFileError},
        {{"missing.AST"}, InputSelection::Rejected, {}, ExitFileError},
    };
    for (const Case& test : cases) {
        const InputSelection selection = selectInputs(test.arguments, "out/pano.jpg");
        const std::string label = test.arguments.empty() ? "(none)" : test.arguments[0];
        EXPECT_EQ(selection.kind, test.kind) << label;
        if (test.kind == InputSelection::Images) {
            EXPECT_EQ(selection.paths, test.kept) << label;
        }
        EXPECT_EQ(selection.exitCode, test.exitCode) << label;
        if (test.exitCode == ExitUsage) {
            EXPECT_EQ(selection.message, "Please select 2 or more images");
        } else if (test.exitCode == ExitFileError) {
            EXPECT_EQ(selection.message, "File does not exist");
        }
    }
}

TEST(InputSelectionTest, ExistingParameterFileAndUnreadableImages) {
    std::string pattern = (fs::temp_directory_path() / "vantorra-select-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const std::string parameters = (dir / "pano.txt").string();
    std::ofstream(parameters) << "a.jpg\n";
    const InputSelection selection = selectInputs({parameters}, "out/pano.jpg");
    EXPECT_EQ(selection.kind, InputSelection::ParameterFile);
    EXPECT_EQ(selection.paths, std::vector<std::string>{parameters});

    fs::remove_all(dir);
}

}  // namespace
}  // namespace vantorra
