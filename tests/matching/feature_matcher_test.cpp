#include "matching/feature_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "features/arena_pools.h"

namespace vantorra {
namespace {

const std::string kData = std::string(VANTORRA_TEST_DATA) + "/matching/";

struct TrueCamera {
    double R[3][3];
    double F = 0;  // 0: the photograph belongs to no panorama
};

// truth.txt: name, width height, three rows of R (world to camera), F; positions (row, col)
// from the image centre look along (x / F, y / F, 1).
std::map<std::string, TrueCamera> readTruth(const std::string& set) {
    std::ifstream in(kData + set + "/truth.txt");
    std::map<std::string, TrueCamera> truth;
    std::string name;
    int width = 0, height = 0;
    while (in >> name >> width >> height) {
        TrueCamera& camera = truth[name];
        for (auto& row : camera.R)
            for (double& value : row) in >> value;
        in >> camera.F;
    }
    return truth;
}

std::vector<std::string> imageNames(const std::string& set) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kData + set))
        if (entry.path().extension() == ".jpg") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct StageRun {
    MatchingResult matcher;  // the stage's result
    std::string log;
};

// Default options, with maxMatchesPerFeature clamped to n - 1 as the driver does.
std::unique_ptr<StageRun> runStage(const std::string& directory, const std::vector<std::string>& names,
                                   int maxMatchesPerFeature = 5) {
    StitchOptions options;
    const int n = static_cast<int>(names.size());
    options.feature.maxMatchesPerFeature = std::min(maxMatchesPerFeature, n - 1);
    FeatureBudget budget;
    budget.featureImageBytes = 67108864;
    auto run = std::make_unique<StageRun>();
    ProgressReporter progress;
    std::ostringstream log;
    run->matcher = FeatureMatcher(options.feature, options.ransac, budget).matchingStage(directory, names, progress, log);
    run->log = log.str();
    return run;
}

// Feature-image pixel of an image -> full-resolution position from the image centre.
void toCentredFull(float row, float col, const ImageSize& size, int level, double& x, double& y) {
    const double s = std::ldexp(1.0, level);
    x = (row + 0.5) * s - 0.5 - (size.height - 1) / 2.0;
    y = (col + 0.5) * s - 0.5 - (size.width - 1) / 2.0;
}

// Share of the kept matches of (i, j) that the true cameras map onto their partner within
// `pixels` feature-image pixels of image j.
double agreementWithTruth(const StageRun& run, int i, int j, const TrueCamera& ci,
                          const TrueCamera& cj, double pixels) {
    const MatchPoints& points = run.matcher.matches.points(i, j);
    const int n = run.matcher.matches.count(i, j);
    int agreeing = 0;
    for (int k = 0; k < n; ++k) {
        double x, y, u, v;
        toCentredFull(points.first.at(0, k), points.first.at(1, k), run.matcher.photographs[i].size, run.matcher.photographs[i].featureLevel, x, y);
        toCentredFull(points.second.at(0, k), points.second.at(1, k), run.matcher.photographs[j].size, run.matcher.photographs[j].featureLevel, u, v);
        const double ray[3] = {x / ci.F, y / ci.F, 1.0};
        double world[3], seen[3];
        for (int r = 0; r < 3; ++r)  // R_i^T ray
            world[r] = ci.R[0][r] * ray[0] + ci.R[1][r] * ray[1] + ci.R[2][r] * ray[2];
        for (int r = 0; r < 3; ++r)
            seen[r] = cj.R[r][0] * world[0] + cj.R[r][1] * world[1] + cj.R[r][2] * world[2];
        if (seen[2] <= 0) continue;
        const double error = std::hypot(cj.F * seen[0] / seen[2] - u, cj.F * seen[1] / seen[2] - v);
        if (error <= pixels * std::ldexp(1.0, run.matcher.photographs[j].featureLevel)) ++agreeing;
    }
    return n > 0 ? static_cast<double>(agreeing) / n : 1.0;
}

// Every accepted pair of a run over row6: its share of kept matches that the true cameras map
// within `pixels` of their partner. Also checks the one component of all six images.
std::vector<double> row6Agreement(int maxMatchesPerFeature, double pixels) {
    const std::vector<std::string> names = imageNames("row6");
    EXPECT_EQ(names.size(), 6u);
    const auto run = runStage(kData + "row6/", names, maxMatchesPerFeature);
    EXPECT_TRUE(run->matcher.ok) << run->matcher.error;
    EXPECT_EQ(run->matcher.components, (std::vector<std::vector<int32_t>>{{0, 1, 2, 3, 4, 5}}))
        << run->log;
    EXPECT_NE(run->log.find("[ Found 1 connected components ]\n 0 1 2 3 4 5 \n\n"), std::string::npos);
    const auto truth = readTruth("row6");
    std::vector<double> shares;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        EXPECT_EQ(run->matcher.photographs[i].size.height, 400);
        EXPECT_EQ(run->matcher.photographs[i].size.width, 600);
        for (int j = 0; j < static_cast<int>(names.size()); ++j)
            if (run->matcher.matches.count(i, j) > 0)
                shares.push_back(agreementWithTruth(*run, i, j, truth.at(names[i]),
                                                    truth.at(names[j]), pixels));
    }
    return shares;
}

TEST(FeatureMatcherTest, RowOfSixKeepsOnlyMatchesTheTrueCamerasConfirm) {
    // One match per feature: nearly every kept match is the true partner within 3 pixels.
    const std::vector<double> single = row6Agreement(1, 3.0);
    EXPECT_GE(single.size(), 10u);  // both directions of the five neighbouring pairs at least
    for (double share : single) EXPECT_GE(share, 0.95);
    // Up to five matches per feature (the default for six images) also keeps later neighbours
    // from repeated texture close to the true partner; they stay inside the inlier threshold.
    const std::vector<double> several = row6Agreement(5, 10.0);
    EXPECT_GE(several.size(), 10u);
    for (double share : several) EXPECT_GE(share, 0.97);
}

TEST(FeatureMatcherTest, DistractorIsLeftOutOfTheComponent) {
    const std::vector<std::string> names = imageNames("distractor");
    const auto truth = readTruth("distractor");
    const auto run = runStage(kData + "distractor/", names);
    ASSERT_TRUE(run->matcher.ok) << run->matcher.error;
    ASSERT_EQ(run->matcher.components.size(), 1u) << run->log;
    std::vector<int32_t> expected;
    for (int i = 0; i < static_cast<int>(names.size()); ++i)
        if (truth.at(names[i]).F > 0) expected.push_back(i);
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(run->matcher.components[0], expected);
}

TEST(FeatureMatcherTest, UnrelatedPhotographsFormNoComponent) {
    const auto run = runStage(kData + "unrelated/", imageNames("unrelated"));
    ASSERT_TRUE(run->matcher.ok) << run->matcher.error;
    EXPECT_TRUE(run->matcher.components.empty());
    EXPECT_NE(run->log.find("[ Found 0 connected components ]\n\n"), std::string::npos);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(run->matcher.matches.count(i, j), 0);
}

TEST(FeatureMatcherTest, UnreadableImageStopsTheStageWithAReason) {
    const std::string dir = kData + "row6/";
    const auto run = runStage(dir, {"DSC_0100.jpg", "missing.jpg"});
    EXPECT_FALSE(run->matcher.ok);
    EXPECT_NE(run->matcher.error.find("missing.jpg"), std::string::npos) << run->matcher.error;
    EXPECT_TRUE(run->matcher.components.empty());
    EXPECT_EQ(run->matcher.matches.count(0, 1), 0);
}

TEST(FeatureMatcherTest, ExhaustedFeatureMemoryStopsTheStage) {
    const int64_t before = poolHeapBytes();
    poolSetHeapLimit(before + 4096);
    const auto run = runStage(kData + "row6/", {"DSC_0100.jpg", "DSC_0107.jpg"});
    poolSetHeapLimit(-1);
    EXPECT_FALSE(run->matcher.ok);
    EXPECT_NE(run->matcher.error.find("SIFT - Failed to allocate memory"), std::string::npos) << run->matcher.error;
    EXPECT_TRUE(run->matcher.components.empty());
    EXPECT_LE(poolHeapBytes(), before);  // what the stage took from the pools is given back
}

TEST(FeatureMatcherTest, ReducedSizesTruncateAndAutomaticAlphaIsClamped) {
    const std::vector<ImageSize> full{{801, 1203, 3}, {400, 600, 1}, {3000, 2000, 3}};
    const std::vector<ImageSize> reduced = reducedSizes(full, {1, 0, 3});
    EXPECT_EQ(reduced[0].height, 400);
    EXPECT_EQ(reduced[0].width, 601);
    EXPECT_EQ(reduced[1].height, 400);
    EXPECT_EQ(reduced[2].height, 375);
    EXPECT_EQ(reduced[2].width, 250);
    RansacOptions options;  // alphaMin 10, alphaMax 30
    EXPECT_FLOAT_EQ(automaticAlpha(1000, 4, options), 10.0f);   // 3.75
    EXPECT_FLOAT_EQ(automaticAlpha(4000, 4, options), 15.0f);
    EXPECT_FLOAT_EQ(automaticAlpha(100000, 4, options), 30.0f);
}

}  // namespace
}  // namespace vantorra
