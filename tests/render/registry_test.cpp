// The render's component tables: every row found by its own name, the default a row and the one
// the options start with, and a render naming a component no table holds refused before any work.

#include "render/registry.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "render/compositor_registry.h"
#include "render/projection_registry.h"
#include "render/seam_registry.h"
#include "support/render_support.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

template <typename Component>
void expectSoundTable(const ComponentTable<Component>& table, const std::string& optionsDefault) {
    ASSERT_FALSE(table.rows().empty());
    std::set<std::string_view> names;
    for (const ComponentRow<Component>& row : table.rows()) {
        SCOPED_TRACE(std::string(row.name));
        EXPECT_TRUE(names.insert(row.name).second) << "a second row of this name";
        EXPECT_EQ(table.find(row.name), &row);
        EXPECT_NE(row.component, nullptr);
        EXPECT_FALSE(row.caption.empty());
        EXPECT_FALSE(row.help.empty());
        // Typed on a command line and listed in its help as "a|b|c".
        EXPECT_FALSE(row.name.empty());
        EXPECT_EQ(row.name.find_first_of(" |,"), std::string_view::npos);
    }
    EXPECT_EQ(table.defaultRow().name, optionsDefault) << "the options start elsewhere than the table's default";
    EXPECT_EQ(table.find(std::string(table.rows().front().name) + " "), nullptr);  // exact names only
    EXPECT_EQ(table.indexOf("no such component"), -1);
}

TEST(RenderRegistries, EveryRowIsFoundByItsNameAndTheOptionsStartAtTheDefault) {
    const RenderOptions defaults;
    expectSoundTable(compositors(), defaults.blendingMethod);
    expectSoundTable(projections(), defaults.projection);
    expectSoundTable(seamFinders(), defaults.seam);
}

TEST(RenderRegistries, TheDefaultIsTheRowItNamesAndNamesAreListedInOrder) {
    struct Thing {};
    const Thing a, b, c;
    const ComponentRow<Thing> rows[] = {{"a", "A", "first", &a}, {"b", "B", "second", &b}, {"c", "C", "third", &c}};
    const ComponentTable<Thing> table(rows, "b");
    EXPECT_EQ(table.defaultRow().component, &b);
    EXPECT_EQ(table.indexOf("c"), 2);
    EXPECT_EQ(table.names(), "a, b, c");
    EXPECT_EQ(table.names("|"), "a|b|c");
}

TEST(RenderRegistries, ARenderNamingAnUnknownComponentIsRefusedSayingWhichAreKnown) {
    struct Case {
        std::string RenderOptions::*field;
        const char* what;
        std::string known;
    };
    const Case cases[] = {{&RenderOptions::blendingMethod, "blending method", compositors().names()},
                          {&RenderOptions::projection, "projection", projections().names()},
                          {&RenderOptions::seam, "seam finder", seamFinders().names()}};
    testing::Scene scene;
    testing::buildScene(scene, {{-0.3f, 0.0f}, {0.3f, 0.0f}}, 150, 120, 160);
    for (const Case& c : cases) {
        RenderOptions options;
        options.width = 100;
        options.*c.field = "Multiband";  // names are exact
        Image panorama;
        panorama.allocate(4, 4, 3);
        std::ostringstream log;
        const RenderResult result = renderScene(scene.view(), options, panorama, log);
        EXPECT_FALSE(result.rendered) << c.what;
        EXPECT_TRUE(panorama.empty());
        EXPECT_NE(result.error.find(c.what), std::string::npos) << result.error;
        EXPECT_NE(result.error.find("'Multiband'"), std::string::npos) << result.error;
        EXPECT_NE(result.error.find(c.known), std::string::npos) << result.error;
        EXPECT_EQ(log.str().find("Render Block Size"), std::string::npos) << "planned after all";
    }
}

}  // namespace
}  // namespace vantorra
