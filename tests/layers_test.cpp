// The folders are layers: a file may include its own folder and the folders below it, never one
// above or beside it, and no chain of includes between the units of a folder (a header and its
// source) comes back to where it started. docs/architecture.md draws the same floors.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Floor of each folder, from the ground up. Folders on one floor may not include each other.
const std::map<std::string, int>& floors() {
    static const std::map<std::string, int> table = {
        {"numerics", 0}, {"core", 1},     {"options", 2}, {"io", 3},      {"features", 4}, {"matching", 5},
        {"adjust", 6},   {"render", 6},   {"pipeline", 7}, {"cli", 8},    {"app", 8},
    };
    return table;
}

struct Include {
    std::string from;  // "render/renderer.cpp"
    std::string to;    // "core/image.h"
};

std::vector<Include> projectIncludes(const fs::path& top) {
    static const std::regex quoted(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<Include> found;
    for (const auto& [folder, floor] : floors()) {
        if (!fs::is_directory(top / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(top / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            std::ifstream in(entry.path());
            std::smatch match;
            for (std::string line; std::getline(in, line);)
                if (std::regex_search(line, match, quoted))
                    found.push_back({fs::relative(entry.path(), top).generic_string(), match[1]});
        }
    }
    return found;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.find('/')); }

// "render/renderer.cpp" and "render/renderer.h" are one unit, "render/renderer".
std::string unitOf(const std::string& path) { return path.substr(0, path.rfind('.')); }

// A include that runs up or sideways, as "from -> to", or empty.
std::string layerBreak(const Include& include) {
    const std::string from = folderOf(include.from), to = folderOf(include.to);
    if (from == to) return {};
    const auto target = floors().find(to);
    if (target == floors().end()) return include.from + " -> " + include.to + " (no layer)";
    if (target->second >= floors().at(from)) return include.from + " -> " + include.to;
    return {};
}

// The first circle of includes among units, as "a -> b -> a", or empty.
std::string firstCircle(const std::vector<Include>& includes) {
    std::map<std::string, std::set<std::string>> edges;
    for (const Include& include : includes)
        if (unitOf(include.from) != unitOf(include.to)) edges[unitOf(include.from)].insert(unitOf(include.to));
    std::map<std::string, int> state;  // 1 on the path, 2 done
    std::vector<std::string> path;
    std::string circle;
    auto visit = [&](auto&& self, const std::string& unit) -> void {
        state[unit] = 1;
        path.push_back(unit);
        for (const std::string& next : edges[unit]) {
            if (!circle.empty()) break;
            if (state[next] == 1) {
                for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it) circle += *it + " -> ";
                circle += next;
            } else if (state[next] == 0) {
                self(self, next);
            }
        }
        path.pop_back();
        state[unit] = 2;
    };
    for (const auto& [unit, targets] : edges)
        if (circle.empty() && state[unit] == 0) visit(visit, unit);
    return circle;
}

TEST(Layers, NoIncludeRunsUpOrSidewaysAndNoneComesBackAround) {
    const std::vector<Include> includes = projectIncludes(VANTORRA_SOURCE_DIR);
    ASSERT_GT(includes.size(), 100u);  // the tree was found
    std::vector<std::string> breaks;
    for (const Include& include : includes)
        if (std::string why = layerBreak(include); !why.empty()) breaks.push_back(why);
    EXPECT_TRUE(breaks.empty()) << breaks.size() << " includes break the layers, the first " << breaks.front();
    EXPECT_EQ(firstCircle(includes), "");
}

// The checks themselves, on made-up includes: a check that never fires proves nothing.
TEST(Layers, TheChecksSeeABreakAndACircle) {
    struct Case {
        Include include;
        bool breaks;
    };
    const Case cases[] = {
        {{"render/renderer.cpp", "core/image.h"}, false},
        {{"render/renderer.cpp", "render/block_plan.h"}, false},
        {{"core/image.cpp", "io/jpeg.h"}, true},       // up
        {{"render/footprint.cpp", "adjust/x.h"}, true},  // sideways
        {{"pipeline/stitcher.cpp", "tests/x.h"}, true},  // no layer
    };
    for (const Case& c : cases) EXPECT_EQ(!layerBreak(c.include).empty(), c.breaks) << c.include.from;
    EXPECT_EQ(firstCircle({{"io/a.cpp", "io/b.h"}, {"io/b.cpp", "io/c.h"}, {"io/c.h", "io/a.h"}}),
              "io/a -> io/b -> io/c -> io/a");
    EXPECT_EQ(firstCircle({{"io/a.cpp", "io/b.h"}, {"io/b.cpp", "io/c.h"}, {"io/a.cpp", "io/a.h"}}), "");
}

}  // namespace
