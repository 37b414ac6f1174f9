// Filling the Options dialog's members from the options, reading them back, and the checks on OK.

#include "app/options_exchange.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace vantorra::testing {
namespace {

// Controls held in plain arrays, as a dialog would hold them.
class TableControls : public OptionsControls {
public:
    std::string text(OptionField f) const override { return texts[index(f)]; }
    void setText(OptionField f, const std::string& t) override { texts[index(f)] = t; }
    int choice(OptionField f) const override { return choices[index(f)]; }
    void setChoice(OptionField f, int i) override { choices[index(f)] = i; }
    bool checked(OptionField f) const override { return checks[index(f)]; }
    void setChecked(OptionField f, bool on) override { checks[index(f)] = on; }

    static size_t index(OptionField f) { return static_cast<size_t>(f); }
    std::array<std::string, kOptionFieldCount> texts{};
    std::array<int, kOptionFieldCount> choices{};
    std::array<bool, kOptionFieldCount> checks{};
};

TEST(OptionsFillTest, DefaultsAreShownInDisplayUnits) {
    const OptionsDialogValues v = fillOptionsDialog(StitchOptions{}, true);
    EXPECT_EQ(v.width, 1400);
    EXPECT_EQ(v.height, 1400);
    EXPECT_EQ(v.scaleText, "10%");
    EXPECT_EQ(v.featureScaleText, "25%");
    EXPECT_EQ(v.systemMemoryText, "0.25");
    EXPECT_EQ(v.minDim, 400);
    EXPECT_EQ(v.blendingBands, 2);
    EXPECT_EQ(v.maxIterations, 500);
    EXPECT_EQ(v.jpegQuality, 75);
    EXPECT_EQ(v.outputSize, 0);
    EXPECT_EQ(v.blending, 2);
    EXPECT_EQ(v.featureSize, 0);
    EXPECT_TRUE(v.autoCrop);
    EXPECT_TRUE(v.autoStraighten);
    EXPECT_FALSE(v.gainCompensation);
    EXPECT_TRUE(v.refineRegistration);
    EXPECT_NEAR(v.thetaMin, -180.0f, 1e-4f);
    EXPECT_NEAR(v.phiMax, 90.0f, 1e-4f);
    // Radians are shown as stored when degrees are off.
    EXPECT_EQ(fillOptionsDialog(StitchOptions{}, false).thetaMin, StitchOptions{}.render.thetaMin);
}

TEST(OptionsFillTest, ChoicesShowTheirButtonAndAnUnlistedButtonChangesNothing) {
    StitchOptions options;
    options.render.sizeMode = SizeMode::Scale;
    options.render.imageRotation = ImageRotation::UpsideDown;
    options.render.blendingMethod = BlendingMethod::Linear;
    OptionsDialogValues v = fillOptionsDialog(options, true);
    EXPECT_EQ(v.outputSize, 2);
    EXPECT_EQ(v.rotation, 3);
    EXPECT_EQ(v.blending, 1);
    // A button index no list has is refused; the options keep their choice.
    v.outputSize = 7;
    v.rotation = -1;
    v.blending = 3;
    readBackOptions(v, true, options);
    EXPECT_EQ(options.render.sizeMode, SizeMode::Scale);
    EXPECT_EQ(options.render.imageRotation, ImageRotation::UpsideDown);
    EXPECT_EQ(options.render.blendingMethod, BlendingMethod::Linear);
}

TEST(OptionsReadBackTest, UnchangedValuesChangeNoOptionAndNeedNoRegistration) {
    const StitchOptions defaults;
    StitchOptions options;
    EXPECT_FALSE(readBackOptions(fillOptionsDialog(options, true), true, options));
    EXPECT_EQ(options.render.width, defaults.render.width);
    EXPECT_EQ(options.render.scale, defaults.render.scale);
    EXPECT_EQ(options.feature.siftScale, defaults.feature.siftScale);
    EXPECT_EQ(options.systemMemory, defaults.systemMemory);
    EXPECT_EQ(options.ransac.beta, defaults.ransac.beta);
    EXPECT_EQ(options.render.gainSigma, defaults.render.gainSigma);
    EXPECT_NEAR(options.render.thetaMin, defaults.render.thetaMin, 1e-6f);
    EXPECT_NEAR(options.render.phiMax, defaults.render.phiMax, 1e-6f);
    EXPECT_EQ(options.render.autoCrop, defaults.render.autoCrop);
}

TEST(OptionsReadBackTest, OnlyMatchingFieldsAskForRegistration) {
    const struct {
        const char* what;
        void (*edit)(OptionsDialogValues&);
        bool registration;
    } cases[] = {
        {"SIFT scale 50%", [](OptionsDialogValues& v) { v.featureScaleText = "50%"; }, true},
        {"min dim", [](OptionsDialogValues& v) { v.minDim = 401; }, true},
        {"size mode", [](OptionsDialogValues& v) { v.featureSize = 1; }, true},
        {"alpha", [](OptionsDialogValues& v) { v.alpha = 11; }, true},
        {"beta", [](OptionsDialogValues& v) { v.beta = 0.3f; }, true},
        {"iterations", [](OptionsDialogValues& v) { v.maxIterations = 501; }, true},
        {"refinement off", [](OptionsDialogValues& v) { v.refineRegistration = false; }, true},
        {"gain sigma", [](OptionsDialogValues& v) { v.gainSigma = 0.2f; }, false},
        {"width", [](OptionsDialogValues& v) { v.width = 800; }, false},
        {"one-character SIFT scale", [](OptionsDialogValues& v) { v.featureScaleText = std::string(1, '5'); }, false},
        {"memory", [](OptionsDialogValues& v) { v.systemMemoryText = "2.0"; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StitchOptions options;
        OptionsDialogValues v = fillOptionsDialog(options, true);
        c.edit(v);
        EXPECT_EQ(readBackOptions(v, true, options), c.registration);
    }
}

TEST(OptionsReadBackTest, ConvertsTextsAndAngles) {
    StitchOptions options;
    OptionsDialogValues v = fillOptionsDialog(options, true);
    v.scaleText = "5%";
    v.featureScaleText = "50";
    v.systemMemoryText = "2.0";
    v.orientPsi = 90.0f;
    v.rotation = 3;
    v.blending = 9;  // not a listed button: the option keeps its value
    readBackOptions(v, true, options);
    EXPECT_FLOAT_EQ(options.render.scale, 0.05f);
    EXPECT_FLOAT_EQ(options.feature.siftScale, 0.5f);
    EXPECT_EQ(options.systemMemory, int64_t{2147483648});
    EXPECT_NEAR(options.render.orientPsi, 1.5707964f, 1e-6f);
    EXPECT_EQ(modeValue(options.render.imageRotation), 3);
    EXPECT_EQ(modeValue(options.render.blendingMethod), 2);
}

TEST(OptionsCheckTest, IntegersAndNumbers) {
    int value = -1;
    EXPECT_EQ(checkInt("250", 0, 100000, value), std::nullopt);
    EXPECT_EQ(value, 250);
    EXPECT_EQ(checkInt(" 7 ", 0, 100, value), std::nullopt);
    EXPECT_EQ(checkInt("12.5", 0, 100, value), "Please enter an integer.");
    EXPECT_EQ(checkInt("", 0, 100, value), "Please enter an integer.");
    EXPECT_EQ(checkInt("abc", 0, 100, value), "Please enter an integer.");
    EXPECT_EQ(checkInt("200000", 0, 100000, value), "Please enter an integer between 0 and 100000.");
    EXPECT_EQ(checkInt("1", 2, 100000, value), "Please enter an integer between 2 and 100000.");
    EXPECT_EQ(checkInt("-1", 0, 100, value), "Please enter an integer between 0 and 100.");
    EXPECT_EQ(value, 7);
    float number = 0;
    EXPECT_EQ(checkFloat("0.2", number), std::nullopt);
    EXPECT_EQ(number, 0.2f);
    EXPECT_EQ(checkFloat("-1e2", number), std::nullopt);
    EXPECT_EQ(number, -100.0f);
    EXPECT_EQ(checkFloat("1,5", number), "Please enter a number.");
    EXPECT_EQ(checkFloat("", number), "Please enter a number.");
}

TEST(OptionsExchangeTest, ShownValuesTakenBackAreTheSame) {
    const OptionsDialogValues filled = fillOptionsDialog(StitchOptions{}, true);
    TableControls controls;
    showValues(filled, controls);
    EXPECT_EQ(controls.text(OptionField::Width), "1400");
    EXPECT_EQ(controls.text(OptionField::Beta), "0.2");
    EXPECT_EQ(controls.text(OptionField::ThetaMin), "-180");
    EXPECT_EQ(controls.text(OptionField::SystemMemoryText), "0.25");
    EXPECT_EQ(controls.choice(OptionField::Blending), 2);
    EXPECT_TRUE(controls.checked(OptionField::AutoCrop));
    OptionsDialogValues taken;
    EXPECT_EQ(takeValues(controls, taken), std::nullopt);
    EXPECT_EQ(taken.beta, filled.beta);
    EXPECT_EQ(taken.width, filled.width);
    EXPECT_EQ(taken.scaleText, filled.scaleText);
    EXPECT_NEAR(taken.thetaMin, filled.thetaMin, 1e-3f);
}

TEST(OptionsExchangeTest, FirstFailureInExchangeOrderWinsAndNothingIsTaken) {
    TableControls controls;
    showValues(fillOptionsDialog(StitchOptions{}, true), controls);
    controls.setText(OptionField::JpegQuality, "101");
    controls.setText(OptionField::Alpha, "ten");
    controls.setText(OptionField::Height, "x");
    controls.setText(OptionField::Width, "640");
    OptionsDialogValues taken;
    const std::optional<FieldError> failure = takeValues(controls, taken);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->field, OptionField::Height);
    EXPECT_EQ(failure->message, "Please enter an integer.");
    EXPECT_EQ(taken, OptionsDialogValues{});

    controls.setText(OptionField::Height, "480");
    EXPECT_EQ(takeValues(controls, taken)->field, OptionField::Alpha);
    controls.setText(OptionField::Alpha, "12");
    const std::optional<FieldError> range = takeValues(controls, taken);
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->field, OptionField::JpegQuality);
    EXPECT_EQ(range->message, "Please enter an integer between 0 and 100.");
    controls.setText(OptionField::JpegQuality, "90");
    EXPECT_EQ(takeValues(controls, taken), std::nullopt);
    EXPECT_EQ(taken.width, 640);
    EXPECT_EQ(taken.jpegQuality, 90);
}

}  // namespace
}  // namespace vantorra::testing
