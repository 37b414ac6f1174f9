// The options kept between starts: every option survives the round trip, a damaged record is
// refused whole, and a record written before an option existed leaves that option alone.

#include "app/stored_options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "pipeline/option_table.h"

namespace vantorra::testing {
namespace {

TEST(StoredOptionsTest, EveryDialogFieldSurvivesTheRoundTrip) {
    StitchOptions changed;
    changed.render.sizeMode = SizeMode::Scale;
    changed.render.scale = 0.5f;
    changed.render.width = 3000;
    changed.render.height = 700;
    changed.render.blendingMethod = "linear";
    changed.render.imageRotation = ImageRotation::UpsideDown;
    changed.render.autoCrop = false;
    changed.render.autoStraighten = false;
    changed.render.thetaMin = -1.0f;
    changed.render.phiMax = 0.25f;
    changed.render.orientTheta = 0.1f;
    changed.render.blendingBands = 4;
    changed.render.blendingSigma = 2.5f;
    changed.render.jpegQuality = 92;
    changed.render.gainCompensation = true;
    changed.render.gainSigma = 0.2f;
    changed.render.gainMean = 1.1f;
    changed.feature.siftSizeMode = SiftSizeMode::Scale;
    changed.feature.siftScale = 0.5f;
    changed.feature.siftMinDim = 250;
    changed.ransac.alpha = 12.0f;
    changed.ransac.beta = 0.3f;
    changed.ransac.ransacIterations = 800;
    changed.systemMemory = int64_t{1} << 31;

    const StoredValues stored = storeOptions(changed);
    StitchOptions restored;
    ASSERT_TRUE(restoreOptions(stored, restored));
    // Every option but those of one panorama, the same texts again: angles would pass through
    // degrees at six digits, like the dialog's own.
    for (const OptionSpec& spec : optionTable()) {
        EXPECT_EQ(stored.count(std::string(spec.key)), spec.perPanorama ? 0u : 1u) << spec.key;
        if (!spec.perPanorama) {
            EXPECT_EQ(optionText(restored, spec.field), optionText(changed, spec.field)) << spec.key;
        }
    }
    EXPECT_EQ(storeOptions(restored), stored);
    EXPECT_EQ(restored.render.width, 3000);
    EXPECT_EQ(modeValue(restored.render.sizeMode), 2);
    EXPECT_EQ(modeValue(restored.render.imageRotation), 3);
    EXPECT_TRUE(restored.render.gainCompensation);
    EXPECT_EQ(restored.feature.siftScale, 0.5f);
    EXPECT_EQ(restored.ransac.ransacIterations, 800);
    EXPECT_EQ(restored.systemMemory, int64_t{1} << 31);
    // One panorama's crop and orientation do not come back at the next start, even from a record
    // of an earlier version that kept them.
    StoredValues earlier = stored;
    // (insert_or_assign: GCC 12 warns falsely of an overlap in operator= of a short literal here)
    earlier.insert_or_assign("render/autoCrop", "false");
    earlier.insert_or_assign("render/thetaMinDeg", "-30");
    earlier.insert_or_assign("render/orientThetaDeg", "5");
    StitchOptions fresh;
    ASSERT_TRUE(restoreOptions(earlier, fresh));
    EXPECT_TRUE(fresh.render.autoCrop);
    EXPECT_EQ(fresh.render.thetaMin, StitchOptions{}.render.thetaMin);
    EXPECT_EQ(fresh.render.orientTheta, 0.0f);
}

TEST(StoredOptionsTest, ADamagedRecordChangesNothing) {
    const StoredValues good = storeOptions(StitchOptions{});
    const struct {
        std::string key;
        std::string value;
    } damage[] = {
        {"render/width", "0"},          {"render/width", "wide"},   {"render/jpegQuality", "101"},
        {"ransac/alpha", "ten"},        {"render/sizeMode", "7"},   {"render/blendingMethod", ""},
        {"render/blendingMethod", "feather"}, {"render/autoStraighten", "yes"},
    };
    for (const auto& d : damage) {
        SCOPED_TRACE(d.key);
        StoredValues stored = good;
        stored[d.key] = d.value;
        StitchOptions options;
        options.render.width = 555;
        EXPECT_FALSE(restoreOptions(stored, options));
        EXPECT_EQ(options.render.width, 555);
    }
}

// Earlier versions kept a choice as its button's number, and knew fewer options.
TEST(StoredOptionsTest, RecordsOfEarlierVersionsStillRead) {
    StoredValues stored = storeOptions(StitchOptions{});
    // The button numbers: linear, anticlockwise.
    for (const auto& [key, number] : {std::pair{"render/blendingMethod", '1'}, std::pair{"render/imageRotation", '2'}})
        stored[key] = std::string(1, number);
    stored.erase("render/blendingBands");
    StitchOptions options;
    options.render.blendingBands = 7;
    ASSERT_TRUE(restoreOptions(stored, options));
    EXPECT_EQ(options.render.blendingMethod, "linear");
    EXPECT_EQ(options.render.imageRotation, ImageRotation::Anticlockwise);
    EXPECT_EQ(options.render.blendingBands, 7);  // not in the record: kept
}

}  // namespace
}  // namespace vantorra::testing
