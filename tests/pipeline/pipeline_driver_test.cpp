// The pipeline driver run on small copies of real view sets: the order of the registration
// steps in the log, the clamped matching option, runs that stop early, cameras of images outside
// the panorama, and the snapshots of the registration.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

using test::LogCapture;
using test::jpegNames;
using test::TempDir;
using test::testData;

// DSC_0100 and DSC_0135 of the row are neighbours: about 19 degrees apart with a 42-degree view.
const std::vector<std::string> kOverlappingPair = {"DSC_0100.jpg", "DSC_0135.jpg"};

bool solvedWithPositiveFocal(const Camera& camera) {
    return camera.R.rows == 3 && camera.R.cols == 3 && camera.f > 0.0f;
}

TEST(PipelineDriverTest, TwoImagesRunOneRegistrationStepThenGlobalAndFinalAdjustment) {
    Stitcher stitcher;
    stitcher.options = test::smallOptions(500, "none");
    Image output;
    LogCapture log;
    const RunReport report = stitcher.stitch(testData("matching/row6"), kOverlappingPair, output, log);

    EXPECT_FALSE(stitcher.needsRegistration());
    EXPECT_EQ(report.outcome, StitchOutcome::Stitched) << report.message;
    EXPECT_EQ(log.countExact("[ Bundle Adjustment ]"), 1);
    EXPECT_EQ(log.countLines(" Camera "), 2);  // " Camera 0 " and " Camera 1"
    EXPECT_TRUE(log.hasLine(" Camera 1"));
    EXPECT_EQ(log.countLines(" Best next image = "), 1);
    EXPECT_EQ(log.countExact("[ Global Bundle Adjustment ]"), 1);
    EXPECT_EQ(log.countExact("[ Final Bundle Adjustment ]"), 1);
    EXPECT_EQ(log.countExact("[ Render Panorama ]"), 1);
    // The steps come in this order.
    const std::string text = log.text();
    const size_t steps[] = {text.find("[ Bundle Adjustment ]"), text.find(" Camera 1"),
                            text.find("[ Global Bundle Adjustment ]"),
                            text.find("[ Final Bundle Adjustment ]"),
                            text.find("[ Render Panorama ]")};
    for (size_t i = 1; i < std::size(steps); ++i) EXPECT_LT(steps[i - 1], steps[i]) << i;

    EXPECT_EQ(stitcher.component(), (std::vector<int32_t>{0, 1}));
    EXPECT_FALSE(output.empty());
    EXPECT_EQ(output.cols, 500);
}

TEST(PipelineDriverTest, ARunLeavesTheStoredOptionsAsTheyWere) {
    const std::string row6 = testData("matching/row6");
    const std::vector<std::string> all = jpegNames(row6);
    Stitcher stitcher;
    stitcher.options = test::smallOptions(300, "none");
    stitcher.options.render.renderEnabled = false;  // only the matching option is of interest
    ASSERT_EQ(stitcher.options.feature.maxMatchesPerFeature, 5);
    Image output;
    LogCapture log;
    const StitchOptions before = stitcher.options;
    // Three photographs clamp the matches per feature to two for that run only.
    EXPECT_EQ(stitcher.stitch(row6, {all[0], all[1], all[2]}, output, log).outcome, StitchOutcome::Stitched);
    EXPECT_EQ(stitcher.options.feature.maxMatchesPerFeature, 5);
    EXPECT_TRUE(stitcher.options.render == before.render);
    EXPECT_EQ(stitcher.stitch(row6, all, output, log).outcome, StitchOutcome::Stitched);
    EXPECT_EQ(stitcher.options.feature.maxMatchesPerFeature, 5);
    EXPECT_FALSE(stitcher.needsRegistration());
}

TEST(PipelineDriverTest, FewerThanTwoPhotographsMatchNothingAndLeaveTheOptionsAlone) {
    const std::string row6 = testData("matching/row6");
    const std::vector<std::string> all = jpegNames(row6);
    for (const std::vector<std::string>& names : {std::vector<std::string>{}, {all[0]}}) {
        Stitcher stitcher;
        Image output;
        LogCapture log;
        EXPECT_EQ(stitcher.stitch(row6, names, output, log).outcome, StitchOutcome::NoMatches);
        EXPECT_TRUE(log.hasLine(" No image matches found"));
        EXPECT_TRUE(stitcher.needsRegistration());
        EXPECT_TRUE(output.empty());
        // Clamping to n - 1 here would leave 0 or -1 for every later run, which never matches.
        EXPECT_EQ(stitcher.options.feature.maxMatchesPerFeature, 5);
    }
}

TEST(PipelineDriverTest, UnrelatedPhotographsStopTheRunWithoutCamerasOrOutput) {
    const std::string unrelated = testData("matching/unrelated");
    Stitcher stitcher;
    Image output;
    output.allocate(2, 3, 3);
    output.at(1, 2, 0) = 77;
    const Image before = output;
    LogCapture log;
    const RunReport report = stitcher.stitch(unrelated, jpegNames(unrelated), output, log);

    EXPECT_TRUE(log.hasLine(" No image matches found"));
    EXPECT_EQ(log.countExact("[ Bundle Adjustment ]"), 0);
    EXPECT_EQ(log.countExact("[ Render Panorama ]"), 0);
    EXPECT_TRUE(stitcher.needsRegistration());
    EXPECT_TRUE(stitcher.imagesSelected());
    EXPECT_TRUE(stitcher.cameras().empty());
    EXPECT_TRUE(stitcher.component().empty());
    EXPECT_EQ(report.outcome, StitchOutcome::NoMatches);
    EXPECT_TRUE(report.message.empty());  // "no matches" is not an error
    EXPECT_EQ(output.rows, before.rows);
    EXPECT_EQ(output.cols, before.cols);
    EXPECT_EQ(output.data, before.data);
}

// An unreadable photograph is left out like an unrelated one and the others are stitched; only
// when fewer than two can be read does the run end, naming the bad file.
TEST(PipelineDriverTest, UnreadableImageIsLeftOutAndTheRunGoesOn) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string row6 = testData("matching/row6");
    for (const std::string& name : kOverlappingPair)
        std::filesystem::copy_file(row6 + name, dir.file(name));
    std::ofstream(dir.file("x.jpg")) << "this is a text file, not a photograph\n";

    Stitcher stitcher;
    stitcher.options.render.renderEnabled = false;
    Image output;
    LogCapture log;
    RunReport report = stitcher.stitch(dir.path + "/", {kOverlappingPair[0], "x.jpg", kOverlappingPair[1]}, output, log);
    EXPECT_EQ(report.outcome, StitchOutcome::Stitched) << report.message;
    EXPECT_FALSE(stitcher.needsRegistration());
    EXPECT_EQ(stitcher.component(), (std::vector<int32_t>{0, 2}));
    ASSERT_EQ(stitcher.photographs().size(), 3u);
    EXPECT_TRUE(stitcher.photographs()[0].leftOut.empty());
    EXPECT_NE(stitcher.photographs()[1].leftOut.find("x.jpg"), std::string::npos) << stitcher.photographs()[1].leftOut;
    EXPECT_TRUE(stitcher.photographs()[2].leftOut.empty());
    EXPECT_EQ(stitcher.photographs()[1].size.width, 0);  // recorded outside the panorama, unread
    ASSERT_EQ(report.leftOut.size(), 1u);
    EXPECT_EQ(report.leftOut[0].image, 1);

    report = stitcher.stitch(dir.path + "/", {kOverlappingPair[0], "x.jpg"}, output, log);
    EXPECT_EQ(report.outcome, StitchOutcome::Unreadable);
    EXPECT_NE(report.message.find("x.jpg"), std::string::npos) << report.message;
    EXPECT_TRUE(stitcher.needsRegistration());

    // The next run with readable images starts afresh and clears the reasons.
    report = stitcher.stitch(dir.path + "/", kOverlappingPair, output, log);
    EXPECT_EQ(report.outcome, StitchOutcome::Stitched) << report.message;
    EXPECT_TRUE(report.leftOut.empty());
    for (const Photograph& photograph : stitcher.photographs()) EXPECT_TRUE(photograph.leftOut.empty());
    EXPECT_FALSE(stitcher.needsRegistration());
}

// The features of all photographs are matched at once (336 bytes a feature with the default
// options) in half the budget, and each photograph must be able to keep enough of them for
// verification (5 candidates x 11 inliers / 0.8: 69). The cameras of a panorama are adjusted
// together in memory that grows with the square of their number (4 parameters a camera, two
// square matrices of floats), within three quarters of the budget. A run that breaks either
// stops before any photograph is read, so the names need not exist; one that keeps both goes
// on to read them.
TEST(PipelineDriverTest, TooManyPhotographsForTheBudgetAreRefusedBeforeAnyIsRead) {
    struct Case {
        int photographs;
        int64_t budget;
        std::string refusal;  // empty: not refused, the missing files are found instead
    };
    const Case cases[] = {
        // About 330 features each; 2 x 4000^2 x 4 bytes = 122 MB.
        {1000, int64_t{256} << 20, ""},
        // About 255 features each; 2 x 5200^2 x 4 bytes = 206.3 MB.
        {1300, int64_t{256} << 20,
         "1300 photographs need 207 MB to adjust their cameras together, more than the 192 MB of the 256 MB memory "
         "budget left beside the feature images"},
        // 128 MB / 6000 / about 400 bytes (a feature with its descriptor, its neighbours and their
        // distances, its tree node and its matches): 55 features each.
        {6000, int64_t{256} << 20,
         "6000 photographs can keep only 55 features each in the 128 MB of the 256 MB memory budget that matching "
         "may use, fewer than the 69 verification needs"},
        {300, int64_t{8} << 20, "300 photographs can keep only 34 features each in the 4 MB of the 8 MB"},
        // 69 features each, just enough; 2 x 1200^2 x 4 bytes = 11 MB within 12 MB.
        {300, int64_t{16} << 20, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::to_string(test.photographs) + " photographs, " + std::to_string(test.budget >> 20) + " MB");
        Stitcher stitcher;
        stitcher.options = test::smallOptions(500, "none");
        stitcher.options.systemMemory = test.budget;
        std::vector<std::string> names;
        for (int i = 0; i < test.photographs; ++i) names.push_back("missing_" + std::to_string(i) + ".jpg");
        Image output;
        LogCapture log;
        const RunReport report = stitcher.stitch("/nonexistent/", names, output, log);
        EXPECT_TRUE(output.empty());
        if (test.refusal.empty()) {
            EXPECT_EQ(report.outcome, StitchOutcome::Unreadable);
            EXPECT_EQ(report.message.find("to adjust their cameras"), std::string::npos) << report.message;
            EXPECT_NE(report.message.find("missing_"), std::string::npos) << report.message;
        } else {
            EXPECT_EQ(report.outcome, StitchOutcome::Failed);
            EXPECT_EQ(report.message.rfind(test.refusal, 0), 0u) << report.message;
            EXPECT_TRUE(report.leftOut.empty());  // nothing was read
        }
    }
}

TEST(PipelineDriverTest, ImageOutsideTheComponentKeepsAnUnregisteredCameraWithItsTransform) {
    const std::string distractor = testData("matching/distractor");
    const std::vector<std::string> names = jpegNames(distractor);
    const auto truth = test::readTruth(distractor);
    Stitcher stitcher;
    stitcher.options = test::smallOptions(500, "none");
    Image output;
    LogCapture log;
    const RunReport report = stitcher.stitch(distractor, names, output, log);
    ASSERT_FALSE(stitcher.needsRegistration()) << report.message;

    std::vector<int32_t> expected;
    for (size_t i = 0; i < names.size(); ++i)
        if (truth.at(names[i]).F > 0) expected.push_back(static_cast<int32_t>(i));
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(stitcher.component(), expected);
    ASSERT_EQ(stitcher.cameras().size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const Camera& camera = stitcher.cameras()[i];
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(camera.imageTransform.rows, 3);
        EXPECT_EQ(camera.imageTransform.cols, 3);
        if (truth.at(names[i]).F > 0) {
            EXPECT_TRUE(solvedWithPositiveFocal(camera));
        } else {
            EXPECT_TRUE(camera.R.empty());
            EXPECT_EQ(camera.f, 0.0f);
        }
    }
}

TEST(PipelineDriverTest, SuccessfulRunRegistersEveryImageOfTheRow) {
    test::StitchedSet& row = test::stitchedRow6();
    const Stitcher& stitcher = row.stitcher;
    ASSERT_FALSE(stitcher.needsRegistration()) << row.report.message;
    EXPECT_EQ(stitcher.component(), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    ASSERT_EQ(stitcher.cameras().size(), 6u);
    for (const int32_t k : stitcher.component())
        EXPECT_TRUE(solvedWithPositiveFocal(stitcher.cameras()[static_cast<size_t>(k)])) << k;
    std::istringstream in(row.log);
    int cameraLines = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(" Camera ", 0) == 0) ++cameraLines;
    EXPECT_EQ(cameraLines, 6);
    EXPECT_EQ(row.output.cols, 800);
}

TEST(PipelineDriverTest, DebugSnapshotsWriteOnePreviewPerRegistrationStep) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string row6 = testData("matching/row6");
    const std::vector<std::string> names = jpegNames(row6);
    const std::vector<std::string> four(names.begin(), names.begin() + 4);
    Stitcher stitcher;
    stitcher.options = test::smallOptions(300, "none");
    stitcher.options.render.debugSnapshots = true;
    Image output;
    {
        test::WorkingDirectory inside(dir.path);
        LogCapture log;
        stitcher.stitch(row6, four, output, log);
    }
    ASSERT_FALSE(stitcher.needsRegistration());
    const int m = static_cast<int>(stitcher.component().size());
    ASSERT_GE(m, 2);
    for (int k = 2; k <= m; ++k) {
        const std::string name = dir.file("tmp" + std::to_string(k) + ".jpg");
        FloatImage snapshot;
        std::string error;
        ASSERT_TRUE(readPhoto(name, snapshot, &error)) << name << ": " << error;
        EXPECT_EQ(snapshot.cols, 500) << name;
        EXPECT_GT(snapshot.rows, 0) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("tmp1.jpg")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("tmp" + std::to_string(m + 1) + ".jpg")));
    // The snapshots use a copy of the options: the stored ones keep their values.
    EXPECT_EQ(stitcher.options.render.blendingMethod, "none");
    EXPECT_EQ(stitcher.options.render.width, 300);
    EXPECT_TRUE(stitcher.options.render.autoCrop);
}

}  // namespace
}  // namespace vantorra
