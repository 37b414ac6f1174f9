#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pipeline/option_table.h"
#include "render/compositor_registry.h"
#include "render/projection_registry.h"
#include "render/seam_registry.h"

namespace vantorra {
namespace {

ParseOutcome parse(std::vector<std::string> arguments) { return parseCommandLine(arguments); }

TEST(CliOptionsTest, DefaultsMatchTheEngineAndImagesAreKeptInOrder) {
    const ParseOutcome outcome = parse({"b.jpg", "a.jpg", "c.JPG"});
    ASSERT_EQ(outcome.action, ParseOutcome::Run) << outcome.text;
    EXPECT_EQ(outcome.options.inputs, (std::vector<std::string>{"b.jpg", "a.jpg", "c.JPG"}));
    EXPECT_EQ(outcome.options.outputDirectory, ".");
    EXPECT_EQ(outcome.options.logMode, LogDestination::None);
    EXPECT_FALSE(outcome.options.quiet);
    const StitchOptions defaults;
    EXPECT_EQ(outcome.options.stitch.render.width, defaults.render.width);
    EXPECT_EQ(modeValue(outcome.options.stitch.render.sizeMode), modeValue(defaults.render.sizeMode));
    EXPECT_EQ(outcome.options.stitch.systemMemory, defaults.systemMemory);
    EXPECT_EQ(outcome.options.stitch.render.autoCrop, defaults.render.autoCrop);
    EXPECT_TRUE(outcome.options.stitch.bundle.refineRegistration);
}

TEST(CliOptionsTest, ValuesAreConvertedLikeTheOptionsDialog) {
    const ParseOutcome outcome =
        parse({"--height", "900", "--blend", "linear", "--rotate", "ccw", "--memory", "2.0", "--quality", "100",
               "--alpha", "12.5", "--beta", "0.3", "--iterations", "0", "--sift-min-dim", "300", "--no-straighten",
               "--gain", "--no-refine", "--log", "file", "-o", "out", "--quiet", "x.jpg", "y.jpg"});
    ASSERT_EQ(outcome.action, ParseOutcome::Run) << outcome.text;
    const CliOptions& o = outcome.options;
    EXPECT_EQ(o.stitch.render.height, 900);
    EXPECT_EQ(modeValue(o.stitch.render.sizeMode), 1);
    EXPECT_EQ(o.stitch.render.blendingMethod, "linear");
    EXPECT_EQ(modeValue(o.stitch.render.imageRotation), 2);
    EXPECT_EQ(o.stitch.systemMemory, int64_t{2147483648});
    EXPECT_EQ(o.stitch.render.jpegQuality, 100);
    EXPECT_FLOAT_EQ(o.stitch.ransac.alpha, 12.5f);
    EXPECT_FLOAT_EQ(o.stitch.ransac.beta, 0.3f);
    EXPECT_EQ(o.stitch.ransac.ransacIterations, 0);
    EXPECT_EQ(o.stitch.feature.siftMinDim, 300);
    EXPECT_EQ(modeValue(o.stitch.feature.siftSizeMode), 0);
    EXPECT_FALSE(o.stitch.render.autoStraighten);
    EXPECT_TRUE(o.stitch.render.gainCompensation);
    EXPECT_FALSE(o.stitch.bundle.refineRegistration);
    EXPECT_EQ(o.logMode, LogDestination::File);
    EXPECT_EQ(o.outputDirectory, "out");
    EXPECT_TRUE(o.quiet);
}

TEST(CliOptionsTest, PercentagesAndAngles) {
    struct Case {
        const char* text;
        float expected;
    };
    for (const Case& test : {Case{"50", 0.5f}, Case{"5%", 0.05f}, Case{"5", 0.05f}, Case{"100%", 1.0f}}) {
        const ParseOutcome outcome = parse({"--scale", test.text, "--sift-scale", test.text});
        ASSERT_EQ(outcome.action, ParseOutcome::Run) << test.text << ": " << outcome.text;
        EXPECT_FLOAT_EQ(outcome.options.stitch.render.scale, test.expected) << test.text;
        EXPECT_EQ(modeValue(outcome.options.stitch.render.sizeMode), 2);
        EXPECT_FLOAT_EQ(outcome.options.stitch.feature.siftScale, test.expected) << test.text;
        EXPECT_EQ(modeValue(outcome.options.stitch.feature.siftSizeMode), 1);
    }

    const ParseOutcome angles = parse({"--crop=-180,180,-45,30", "--orient", "10,0,-90"});
    ASSERT_EQ(angles.action, ParseOutcome::Run) << angles.text;
    const RenderOptions& r = angles.options.stitch.render;
    EXPECT_NEAR(r.thetaMin, -3.14159265f, 1e-6f);
    EXPECT_NEAR(r.thetaMax, 3.14159265f, 1e-6f);
    EXPECT_NEAR(r.phiMin, -0.78539816f, 1e-6f);
    EXPECT_NEAR(r.phiMax, 0.52359878f, 1e-6f);
    EXPECT_FALSE(r.autoCrop);
    EXPECT_NEAR(r.orientTheta, 0.17453293f, 1e-6f);
    EXPECT_EQ(r.orientPhi, 0.0f);
    EXPECT_NEAR(r.orientPsi, -1.5707963f, 1e-6f);

    // The crop's word: the covered rectangle, which is an automatic crop.
    for (const auto& [arguments, inside, automatic] :
         {std::tuple{std::vector<std::string>{"--crop", "inside"}, true, true},
          std::tuple{std::vector<std::string>{"--crop=inside", "--projection", "panini"}, true, true},
          std::tuple{std::vector<std::string>{"--crop", "-90,90,-30,30"}, false, false}}) {
        const ParseOutcome crop = parse(arguments);
        ASSERT_EQ(crop.action, ParseOutcome::Run) << crop.text;
        EXPECT_EQ(crop.options.stitch.render.cropInside, inside) << arguments[1];
        EXPECT_EQ(crop.options.stitch.render.autoCrop, automatic) << arguments[1];
    }
    EXPECT_EQ(parse({"--crop", "outside"}).action, ParseOutcome::UsageError);

    // A value starting with a minus sign after a space is still the option's value.
    const ParseOutcome spaced = parse({"--crop", "-90,90,-30,30", "--orient", "-10,0,0", "a.jpg", "b.jpg"});
    ASSERT_EQ(spaced.action, ParseOutcome::Run) << spaced.text;
    EXPECT_NEAR(spaced.options.stitch.render.thetaMin, -1.5707963f, 1e-6f);
    EXPECT_NEAR(spaced.options.stitch.render.orientTheta, -0.17453293f, 1e-6f);
    EXPECT_EQ(spaced.options.inputs.size(), 2u);
}

TEST(CliOptionsTest, TheLastSizeOptionSetsTheMode) {
    struct Case {
        std::vector<std::string> arguments;
        int sizeMode;
        int siftSizeMode;
        bool contradicted;  // said in a note naming both options, the last as the one used
    };
    const Case cases[] = {
        {{"--width", "800", "--height", "600"}, 1, 0, true},
        {{"--height", "600", "--width", "800"}, 0, 0, true},
        {{"--width", "800", "--scale", "25%"}, 2, 0, true},
        {{"--scale", "25%", "--height", "10"}, 1, 0, true},
        {{"--sift-scale", "50%", "--sift-min-dim", "200"}, 0, 0, true},
        {{"--sift-min-dim", "200", "--sift-scale", "50%"}, 0, 1, true},
        {{"--width", "800", "--sift-scale", "50%", "--crop", "-90,90,-30,30"}, 0, 1, false},
    };
    for (const Case& test : cases) {
        const ParseOutcome outcome = parse(test.arguments);
        ASSERT_EQ(outcome.action, ParseOutcome::Run) << outcome.text;
        ASSERT_EQ(outcome.notes.size(), test.contradicted ? 1u : 0u) << test.arguments[0];
        if (test.contradicted) {
            const std::string& note = outcome.notes.front();
            const std::string last = test.arguments[2];
            EXPECT_NE(note.find(test.arguments[0]), std::string::npos) << note;
            EXPECT_EQ(note.substr(note.rfind(':') + 2, last.size()), last) << note;
        }
        EXPECT_EQ(modeValue(outcome.options.stitch.render.sizeMode), modeValue(test.sizeMode)) << test.arguments[0];
        EXPECT_EQ(modeValue(outcome.options.stitch.feature.siftSizeMode), modeValue(test.siftSizeMode)) << test.arguments[0];
    }
    const ParseOutcome both = parse({"--width", "800", "--height", "600"});
    EXPECT_EQ(both.options.stitch.render.width, 800);
    EXPECT_EQ(both.options.stitch.render.height, 600);
}

TEST(CliOptionsTest, CoupledFieldsFollowTheDialog) {
    EXPECT_EQ(parse({"--blend", "none", "--bands", "4"}).options.stitch.render.blendingMethod, "none");
    const ParseOutcome bands = parse({"--bands", "4", "--blend-sigma", "2.5"});
    EXPECT_EQ(bands.options.stitch.render.blendingMethod, "multiband");
    EXPECT_EQ(bands.options.stitch.render.blendingBands, 4);
    EXPECT_FLOAT_EQ(bands.options.stitch.render.blendingSigma, 2.5f);
    const ParseOutcome gain = parse({"--gain-sigma", "0.2", "--gain-mean", "1.1"});
    EXPECT_TRUE(gain.options.stitch.render.gainCompensation);
    EXPECT_FLOAT_EQ(gain.options.stitch.render.gainSigma, 0.2f);
    EXPECT_FLOAT_EQ(gain.options.stitch.render.gainMean, 1.1f);
    EXPECT_FALSE(parse({"a.jpg"}).options.stitch.render.gainCompensation);
}

TEST(CliOptionsTest, BadValuesAreUsageErrorsNamingTheOptionAndRange) {
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        // Below 2 pixels or above what a JPEG file holds, with the reason.
        {{"--width", "2000000"}, {"--width", "2 to 1048576", "JPEG", "(got '2000000')"}},
        {{"--width", "1048577"}, {"--width", "2 to 1048576"}},
        {{"--width", "0"}, {"--width", "2 to 1048576", "at least 2 pixels"}},
        {{"--width", "1"}, {"--width", "2 to 1048576"}},
        {{"--height", "-1"}, {"--height", "2 to 1048576"}},
        {{"--height", "0"}, {"--height", "2 to 1048576"}},
        {{"--width", "12px"}, {"--width", "integer"}},
        {{"--bands", "1"}, {"--bands", "2", "100000"}},
        {{"--quality", "101"}, {"--quality", "0", "100"}},
        {{"--iterations", "100001"}, {"--iterations", "100000"}},
        {{"--sift-min-dim", "x"}, {"--sift-min-dim", "100000"}},
        {{"--scale", "0"}, {"--scale", "greater than 0"}},
        {{"--sift-scale", "abc"}, {"--sift-scale"}},
        {{"--memory", "-1"}, {"--memory", "gigabytes"}},
        {{"--alpha", "ten"}, {"--alpha", "number"}},
        {{"--gain-mean", "nan"}, {"--gain-mean", "number"}},
        {{"--crop", "1,2,3"}, {"--crop", "THETA_MIN"}},
        {{"--crop", "1,2,3,4,"}, {"--crop"}},
        {{"--orient", "1,x,3"}, {"--orient", "degrees"}},
        {{"--rotate", "left"}, {"--rotate", "cw", "ccw", "180"}},
        {{"--blend", "feather"}, {"--blend", "multiband"}},
        {{"--projection", "globe"}, {"--projection", "equirectangular"}},
        {{"--seam", "graph"}, {"--seam", "none"}},
        {{"--log", "syslog"}, {"--log", "console", "file", "none"}},
        {{"--no-such-option"}, {"--no-such-option"}},
        {{"--width"}, {"--width"}},
    };
    for (const Case& test : cases) {
        const ParseOutcome outcome = parse(test.arguments);
        EXPECT_EQ(outcome.action, ParseOutcome::UsageError) << test.arguments[0];
        for (const std::string& word : test.mentions) {
            EXPECT_NE(outcome.text.find(word), std::string::npos) << outcome.text;
        }
        EXPECT_EQ(outcome.text.find('\n'), std::string::npos) << outcome.text;
    }
}

// Every row of the renderer's tables is a value of its option, named in the help with what it
// does and the default.
TEST(CliOptionsTest, ComponentOptionsTakeEveryNameOfTheirTable) {
    struct Case {
        const char* option;
        std::vector<std::pair<std::string, std::string>> rows;  // name, help
        std::string defaultName;
        std::string RenderOptions::*field;
    };
    auto rowsOf = [](const auto& table) {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const auto& row : table.rows()) rows.emplace_back(row.name, row.help);
        return rows;
    };
    const Case cases[] = {
        {"--blend", rowsOf(compositors()), std::string(compositors().defaultRow().name), &RenderOptions::blendingMethod},
        {"--projection", rowsOf(projections()), std::string(projections().defaultRow().name), &RenderOptions::projection},
        {"--seam", rowsOf(seamFinders()), std::string(seamFinders().defaultRow().name), &RenderOptions::seam},
    };
    const std::string help = parse({"--help"}).text;
    for (const Case& c : cases) {
        for (const auto& [name, what] : c.rows) {
            const ParseOutcome outcome = parse({c.option, name});
            ASSERT_EQ(outcome.action, ParseOutcome::Run) << c.option << " " << name << ": " << outcome.text;
            EXPECT_EQ(outcome.options.stitch.render.*c.field, name);
            EXPECT_NE(help.find(name + " (" + what + ")"), std::string::npos) << name;
        }
        EXPECT_EQ(parse({"a.jpg"}).options.stitch.render.*c.field, c.defaultName) << c.option;
    }
}

TEST(CliOptionsTest, HelpAndVersion) {
    const ParseOutcome help = parse({"--help"});
    EXPECT_EQ(help.action, ParseOutcome::ShowHelp);
    for (const char* option : {"--log", "--output-dir", "--quiet"}) EXPECT_NE(help.text.find(option), std::string::npos);
    for (const OptionSpec& spec : optionTable()) {  // every option of the table, by its flag
        if (spec.flag.empty()) continue;
        EXPECT_NE(help.text.find("--" + std::string(spec.flag) + " "), std::string::npos) << spec.flag;
    }
    const ParseOutcome version = parse({"--version"});
    EXPECT_EQ(version.action, ParseOutcome::ShowVersion);
    EXPECT_EQ(version.text, versionText());
    EXPECT_NE(version.text.find(VANTORRA_VERSION), std::string::npos);
}

}  // namespace
}  // namespace vantorra
