// The option table that the command line, the Options dialog and the stored settings are made
// from: its rows must be consistent, and every value must survive its own text.

#include "pipeline/option_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "render/compositor_registry.h"
#include "render/projection_registry.h"
#include "render/seam_registry.h"

namespace vantorra {
namespace {

TEST(OptionTable, RowsAreInFieldOrderWithUniqueNamesAndSelectionsThatExist) {
    std::set<std::string_view> keys, flags;
    const std::span<const OptionSpec> table = optionTable();
    ASSERT_EQ(table.size(), static_cast<size_t>(kOptionFieldCount));
    for (size_t i = 0; i < table.size(); ++i) {
        const OptionSpec& spec = table[i];
        SCOPED_TRACE(std::string(spec.key));
        EXPECT_EQ(static_cast<size_t>(spec.field), i);
        EXPECT_TRUE(keys.insert(spec.key).second) << "the key repeats";
        if (!spec.flag.empty()) {
            EXPECT_TRUE(flags.insert(spec.flag).second) << "the flag repeats";
        }
        EXPECT_EQ(findOptionByKey(spec.key), &spec);
        EXPECT_FALSE(spec.group.empty());
        EXPECT_EQ(spec.kind == OptionKind::Choice, !spec.choices.empty());
        std::set<std::string> names;
        for (const OptionChoice& choice : spec.choices) EXPECT_TRUE(names.insert(choice.name).second);
        // The rows a list option such as --crop covers follow it and have no flag of their own.
        for (int k = 1; k < spec.flagRows; ++k) EXPECT_TRUE(table[i + static_cast<size_t>(k)].flag.empty());
        if (spec.selects) {
            StitchOptions options;
            EXPECT_EQ(setOption(options, spec.selects->field, spec.selects->value), std::nullopt)
                << "selects a value its target does not have";
        }
    }
    EXPECT_EQ(findOptionByFlag("no-such-option"), nullptr);
}

// Every option's text reads back as the same value, for the defaults and for changed options,
// so what the dialog shows and the settings store is what the options hold.
TEST(OptionTable, EveryValueSurvivesItsText) {
    StitchOptions changed;
    changed.render.sizeMode = SizeMode::Height;
    changed.render.blendingMethod = "none";
    changed.render.imageRotation = ImageRotation::Anticlockwise;
    changed.render.width = 3001;
    changed.render.scale = 0.37f;
    changed.render.autoCrop = false;
    changed.render.thetaMin = -1.0f;
    changed.render.orientPsi = 0.25f;
    changed.render.gainSigma = 0.125f;
    changed.feature.siftScale = 0.5f;
    changed.ransac.beta = 0.3f;
    changed.bundle.refineRegistration = false;
    changed.systemMemory = int64_t{3} << 29;
    changed.threads = 3;
    for (const StitchOptions& options : {StitchOptions{}, changed}) {
        StitchOptions read;
        for (const OptionSpec& spec : optionTable()) {
            const std::string text = optionText(options, spec.field);
            ASSERT_EQ(setOption(read, spec.field, text), std::nullopt) << spec.key << " '" << text << "'";
            EXPECT_EQ(optionText(read, spec.field), text) << spec.key;
        }
        EXPECT_EQ(read.render.width, options.render.width);
        EXPECT_EQ(read.render.blendingMethod, options.render.blendingMethod);
        EXPECT_EQ(read.render.scale, options.render.scale);
        EXPECT_EQ(read.systemMemory, options.systemMemory);
        EXPECT_NEAR(read.render.thetaMin, options.render.thetaMin, 1e-6f);
    }
}

TEST(OptionTable, TextsThatAreNoValueAreRefusedAndChangeNothing) {
    using F = OptionField;
    const struct {
        F field;
        const char* text;
        OptionError error;
    } cases[] = {
        {F::Width, "wide", OptionError::NotInteger},      {F::Width, "1", OptionError::OutOfRange},
        {F::Width, "1048577", OptionError::OutOfRange},   {F::Threads, "257", OptionError::OutOfRange},
        {F::Alpha, "inf", OptionError::NotNumber},        {F::ScaleText, "-5%", OptionError::NotPositive},
        {F::ScaleText, "x%", OptionError::NotNumber},     {F::SystemMemoryText, "0", OptionError::NotPositive},
        {F::OrientPhi, "north", OptionError::NotNumber},  {F::Blending, "feather", OptionError::UnknownChoice},
        {F::Blending, "3", OptionError::UnknownChoice},   {F::AutoCrop, "yes", OptionError::NotCheck},
        {F::Projection, "globe", OptionError::UnknownChoice}, {F::Seam, "graph", OptionError::UnknownChoice},
    };
    for (const auto& c : cases) {
        StitchOptions options;
        EXPECT_EQ(setOption(options, c.field, c.text), c.error) << c.text;
        EXPECT_TRUE(options == StitchOptions{}) << c.text;
    }
    // A choice by the button number earlier versions stored, a one-digit percentage as a percentage.
    StitchOptions options;
    for (const auto& [number, name] : {std::pair{"0", "none"}, std::pair{"1", "linear"}, std::pair{"2", "multiband"}}) {
        EXPECT_EQ(setOption(options, F::Blending, number), std::nullopt);
        EXPECT_EQ(options.render.blendingMethod, name);
    }
    EXPECT_EQ(setOption(options, F::ScaleText, "5"), std::nullopt);
    EXPECT_FLOAT_EQ(options.render.scale, 0.05f);
}

// The options that name a render component offer the rows of the renderer's table, in its order,
// and start at its default.
TEST(OptionTable, ComponentOptionsOfferTheRowsOfTheRenderersTables) {
    auto names = [](const auto& table) {
        std::vector<std::string> all;
        for (const auto& row : table.rows()) all.emplace_back(row.name);
        return all;
    };
    const struct {
        OptionField field;
        std::vector<std::string> names;
        std::string defaultName;
    } cases[] = {
        {OptionField::Blending, names(compositors()), std::string(compositors().defaultRow().name)},
        {OptionField::Projection, names(projections()), std::string(projections().defaultRow().name)},
        {OptionField::Seam, names(seamFinders()), std::string(seamFinders().defaultRow().name)},
    };
    for (const auto& c : cases) {
        const OptionSpec& spec = optionSpec(c.field);
        SCOPED_TRACE(std::string(spec.key));
        std::vector<std::string> offered;
        for (const OptionChoice& choice : spec.choices) offered.push_back(choice.name);
        EXPECT_EQ(offered, c.names);
        EXPECT_EQ(optionText(StitchOptions{}, c.field), c.defaultName);
        for (size_t i = 0; i < c.names.size(); ++i) {
            StitchOptions options;
            ASSERT_EQ(setOption(options, c.field, c.names[i]), std::nullopt);
            EXPECT_EQ(choiceIndex(options, c.field), static_cast<int>(i));
            EXPECT_EQ(optionText(options, c.field), c.names[i]);
        }
    }
}

}  // namespace
}  // namespace vantorra
