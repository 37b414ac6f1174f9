// The photographs' order is no part of the result: the same views given in another order are
// registered alike, every view in both runs, with the same relative rotations.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

// Rotations of the registered views by name.
std::map<std::string, Matrix> registration(const std::string& directory, const std::vector<std::string>& names) {
    Stitcher stitcher;
    stitcher.options.render.renderEnabled = false;
    Image output;
    {
        test::LogCapture quiet;
        stitcher.stitch(directory, names, output, quiet);
    }
    std::map<std::string, Matrix> rotations;
    const std::vector<std::string> given = stitcher.names();
    for (const int32_t i : stitcher.component())
        rotations[given[static_cast<size_t>(i)]] = stitcher.cameras()[static_cast<size_t>(i)].R;
    return rotations;
}

TEST(FileOrderTest, ShuffledNamesGiveTheSameRegistration) {
    const std::string directory = test::testData("pano360");
    const std::vector<std::string> sorted = test::jpegNames(directory);
    std::vector<std::string> reversed(sorted.rbegin(), sorted.rend());
    std::vector<std::string> shuffled = sorted;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(11));
    const auto reference = registration(directory, sorted);
    ASSERT_EQ(reference.size(), sorted.size());
    for (const auto& names : {reversed, shuffled}) {
        const auto other = registration(directory, names);
        ASSERT_EQ(other.size(), reference.size());
        const std::string& anchor = reference.begin()->first;
        for (const auto& [name, r] : reference) {
            SCOPED_TRACE(name);
            ASSERT_EQ(other.count(name), 1u);
            // The relative rotation to one anchor view: the panorama's own orientation may differ.
            const double e = test::rotationAngleDegrees(multiply(r, transpose(reference.at(anchor))),
                                                        multiply(other.at(name), transpose(other.at(anchor))));
            EXPECT_LT(e, 0.02);
        }
    }
}

}  // namespace
}  // namespace vantorra
