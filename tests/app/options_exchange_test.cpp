// Showing the options in the Options dialog's controls, taking them back, and the checks on OK.

#include "app/options_exchange.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace vantorra::testing {
namespace {

using F = OptionField;

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

TableControls shown(const StitchOptions& options, bool degrees = true) {
    TableControls controls;
    showOptions(options, degrees, controls);
    return controls;
}

TEST(OptionsShowTest, DefaultsAreShownInDisplayUnits) {
    const TableControls c = shown(StitchOptions{});
    const struct {
        F field;
        const char* text;
    } texts[] = {{F::Width, "1400"},         {F::Height, "1400"},         {F::ScaleText, "10%"},
                 {F::FeatureScaleText, "25%"}, {F::SystemMemoryText, "0.25"}, {F::MinDim, "400"},
                 {F::BlendingBands, "2"},     {F::MaxIterations, "500"},   {F::JpegQuality, "75"},
                 {F::ThetaMin, "-180"},       {F::PhiMax, "90"},           {F::Beta, "0.2"}};
    for (const auto& t : texts) EXPECT_EQ(c.text(t.field), t.text) << static_cast<int>(t.field);
    EXPECT_EQ(c.choice(F::OutputSize), 0);
    EXPECT_EQ(c.choice(F::Blending), 2);
    EXPECT_EQ(c.choice(F::FeatureSize), 0);
    EXPECT_TRUE(c.checked(F::AutoCrop));
    EXPECT_TRUE(c.checked(F::AutoStraighten));
    EXPECT_FALSE(c.checked(F::GainCompensation));
    EXPECT_TRUE(c.checked(F::RefineRegistration));
    // Radians are shown as stored when degrees are off.
    EXPECT_EQ(shown(StitchOptions{}, false).text(F::ThetaMin), "-3.14159");
}

TEST(OptionsTakeTest, ShownOptionsTakenBackAreTheSameAndNeedNoRegistration) {
    StitchOptions options;
    options.render.sizeMode = SizeMode::Scale;
    options.render.imageRotation = ImageRotation::UpsideDown;
    options.render.blendingMethod = "linear";
    options.render.orientPsi = 0.5f;
    for (const bool degrees : {true, false}) {
        StitchOptions taken = options;
        EXPECT_EQ(takeOptions(shown(options, degrees), degrees, taken), std::nullopt);
        EXPECT_FALSE(needsRegistration(options, taken));
        for (const OptionSpec& spec : optionTable()) {
            if (spec.kind != OptionKind::Angle) {
                EXPECT_EQ(optionText(taken, spec.field), optionText(options, spec.field)) << spec.key;
            } else if (degrees) {  // radians are shown with six digits, as stored: a few seconds of arc
                EXPECT_EQ(optionText(taken, spec.field), optionText(options, spec.field)) << spec.key;
            } else {
                EXPECT_NEAR(std::get<double>(spec.get(taken)), std::get<double>(spec.get(options)), 1e-5) << spec.key;
            }
        }
    }
}

TEST(OptionsTakeTest, AnUnlistedButtonKeepsTheChoice) {
    StitchOptions options;
    options.render.sizeMode = SizeMode::Scale;
    options.render.blendingMethod = "linear";
    TableControls c = shown(options);
    c.setChoice(F::OutputSize, 7);
    c.setChoice(F::Blending, -1);
    c.setChoice(F::Rotation, 3);
    ASSERT_EQ(takeOptions(c, true, options), std::nullopt);
    EXPECT_EQ(options.render.sizeMode, SizeMode::Scale);
    EXPECT_EQ(options.render.blendingMethod, "linear");
    EXPECT_EQ(options.render.imageRotation, ImageRotation::UpsideDown);
}

TEST(OptionsTakeTest, OnlyMatchingFieldsAskForRegistration) {
    const struct {
        const char* what;
        F field;
        const char* text;  // nullptr: the choice or check below
        int choice;
        bool registration;
    } cases[] = {
        {"SIFT scale 50%", F::FeatureScaleText, "50%", 0, true},
        {"one-character SIFT scale", F::FeatureScaleText, "5", 0, true},  // 5 %, not ignored
        {"min dim", F::MinDim, "401", 0, true},
        {"size mode", F::FeatureSize, nullptr, 1, true},
        {"alpha", F::Alpha, "11", 0, true},
        {"beta", F::Beta, "0.3", 0, true},
        {"iterations", F::MaxIterations, "501", 0, true},
        {"refinement off", F::RefineRegistration, nullptr, 0, true},
        {"gain sigma", F::GainSigma, "0.2", 0, false},
        {"width", F::Width, "800", 0, false},
        {"memory", F::SystemMemoryText, "2.0", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StitchOptions options;
        TableControls controls = shown(options);
        if (c.text != nullptr) controls.setText(c.field, c.text);
        else if (optionSpec(c.field).kind == OptionKind::Check) controls.setChecked(c.field, false);
        else controls.setChoice(c.field, c.choice);
        StitchOptions taken = options;
        ASSERT_EQ(takeOptions(controls, true, taken), std::nullopt);
        EXPECT_EQ(needsRegistration(options, taken), c.registration);
    }
}

TEST(OptionsTakeTest, ConvertsTextsAndAngles) {
    StitchOptions options;
    TableControls c = shown(options);
    c.setText(F::ScaleText, "5%");
    c.setText(F::FeatureScaleText, "50");
    c.setText(F::SystemMemoryText, "2.0");
    c.setText(F::OrientPsi, "90");
    c.setChoice(F::Rotation, 3);
    ASSERT_EQ(takeOptions(c, true, options), std::nullopt);
    EXPECT_FLOAT_EQ(options.render.scale, 0.05f);
    EXPECT_FLOAT_EQ(options.feature.siftScale, 0.5f);
    EXPECT_EQ(options.systemMemory, int64_t{2147483648});
    EXPECT_NEAR(options.render.orientPsi, 1.5707964f, 1e-6f);
    EXPECT_EQ(options.render.imageRotation, ImageRotation::UpsideDown);
}

TEST(OptionsTakeTest, EveryKindOfBadTextHasItsMessage) {
    const struct {
        F field;
        const char* text;
        const char* message;
    } cases[] = {
        {F::MinDim, "12.5", "Please enter an integer."},
        {F::MinDim, "", "Please enter an integer."},
        {F::MinDim, "200000", "Please enter an integer between 0 and 100000."},
        {F::BlendingBands, "1", "Please enter an integer between 2 and 100000."},
        {F::JpegQuality, "-1", "Please enter an integer between 0 and 100."},
        {F::Alpha, "1,5", "Please enter a number."},
        {F::Beta, "", "Please enter a number."},
        {F::GainMean, "nan", "Please enter a number."},
        {F::ThetaMin, "east", "Please enter a number."},
        {F::ScaleText, "0%", "Please enter a number greater than 0."},
        {F::SystemMemoryText, "-1", "Please enter a number greater than 0."},
    };
    for (const auto& c : cases) {
        StitchOptions options;
        TableControls controls = shown(options);
        controls.setText(c.field, c.text);
        const std::optional<FieldError> failure = takeOptions(controls, true, options);
        ASSERT_TRUE(failure.has_value()) << c.text;
        EXPECT_EQ(failure->field, c.field);
        EXPECT_EQ(failure->message, c.message) << c.text;
        EXPECT_TRUE(options == StitchOptions{}) << "a refused OK changed an option";
    }
    StitchOptions options;
    TableControls controls = shown(options);
    controls.setText(F::Alpha, "-1e2");
    controls.setText(F::MinDim, " 7 ");
    ASSERT_EQ(takeOptions(controls, true, options), std::nullopt);
    EXPECT_EQ(options.ransac.alpha, -100.0f);
    EXPECT_EQ(options.feature.siftMinDim, 7);
}

TEST(OptionsTakeTest, FirstFailureInTableOrderWinsAndNothingIsTaken) {
    StitchOptions options;
    TableControls controls = shown(options);
    controls.setText(F::JpegQuality, "101");
    controls.setText(F::Alpha, "ten");
    controls.setText(F::Height, "x");
    controls.setText(F::Width, "640");
    const std::optional<FieldError> failure = takeOptions(controls, true, options);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->field, F::Height);
    EXPECT_EQ(options.render.width, 1400);

    controls.setText(F::Height, "480");
    EXPECT_EQ(takeOptions(controls, true, options)->field, F::Alpha);
    controls.setText(F::Alpha, "12");
    EXPECT_EQ(takeOptions(controls, true, options)->field, F::JpegQuality);
    controls.setText(F::JpegQuality, "90");
    EXPECT_EQ(takeOptions(controls, true, options), std::nullopt);
    EXPECT_EQ(options.render.width, 640);
    EXPECT_EQ(options.render.jpegQuality, 90);
}

}  // namespace
}  // namespace vantorra::testing
