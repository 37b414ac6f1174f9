#pragma once
// The true cameras of a folder of made views (truth.txt): per view its name, size, rotation and
// full-resolution focal length. Read by the tools that measure registration against them.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "numerics/matrix.h"

namespace vantorra::bench {

struct TruthCamera {
    Matrix R;
    double focal = 0;  // 0 or less: a view that belongs to no panorama
};

// By file name; reading stops at the first record that does not parse.
inline std::map<std::string, TruthCamera> readTruth(const std::filesystem::path& file) {
    std::map<std::string, TruthCamera> truth;
    std::ifstream in(file);
    std::string name;
    while (in >> name) {
        int width = 0, height = 0;
        TruthCamera camera;
        camera.R = Matrix(3, 3);
        in >> width >> height >> camera.R >> camera.focal;
        if (!in) break;
        truth[name] = camera;
    }
    return truth;
}

}  // namespace vantorra::bench
