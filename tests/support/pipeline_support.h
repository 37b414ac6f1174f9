#pragma once
// Shared pieces of the end-to-end tests: the view sets and their true cameras, a captured
// standard output, scratch directories, and rendering one image of a stitched panorama alone on
// the grid of the full render so that warped images can be compared pixel by pixel.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/null_stream.h"
#include "pipeline/stitcher.h"
#include "support/render_support.h"
#include "numerics/matrix.h"
#include "render/renderer.h"

namespace vantorra::test {

inline std::string testData(const std::string& set) {
    return std::string(VANTORRA_TEST_DATA) + "/" + set + "/";
}

struct TrueCamera {
    Matrix R;       // world to camera
    double F = 0;   // full-resolution pixels; 0 for a photograph outside every panorama
};

// truth.txt: name, width height, three rows of R, F; one record per image.
inline std::map<std::string, TrueCamera> readTruth(const std::string& directory) {
    std::ifstream in(directory + "truth.txt");
    std::map<std::string, TrueCamera> truth;
    std::string name;
    int width = 0, height = 0;
    while (in >> name >> width >> height) {
        TrueCamera& camera = truth[name];
        camera.R = Matrix(3, 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) in >> camera.R.at(r, c);
        in >> camera.F;
    }
    return truth;
}

inline std::vector<std::string> jpegNames(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.path().extension() == ".jpg") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Angle in degrees of the rotation taking relative rotation `b` onto `a`. From the skew part and
// the trace together: the arc cosine of a float trace alone cannot resolve a few hundredths of a
// degree, the size of the errors being measured.
inline double rotationAngleDegrees(const Matrix& a, const Matrix& b) {
    const Matrix d = multiply(a, transpose(b));
    const double sx = d.at(2, 1) - d.at(1, 2), sy = d.at(0, 2) - d.at(2, 0), sz = d.at(1, 0) - d.at(0, 1);
    const double sine = 0.5 * std::sqrt(sx * sx + sy * sy + sz * sz);
    const double cosine = 0.5 * (static_cast<double>(d.at(0, 0)) + d.at(1, 1) + d.at(2, 2) - 1.0);
    return std::atan2(sine, cosine) * 180.0 / 3.14159265358979;
}

// A run's log kept in a string: hand it to a run as its log stream.
class LogCapture {
public:
    LogCapture() = default;
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    operator std::ostream&() { return buffer; }
    std::ostream& stream() { return buffer; }
    std::string text() const { return buffer.str(); }
    // Lines that begin with `prefix`.
    int countLines(const std::string& prefix) const {
        std::istringstream in(buffer.str());
        int count = 0;
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0) ++count;
        return count;
    }
    bool hasLine(const std::string& line) const { return countExact(line) > 0; }
    int countExact(const std::string& wanted) const {
        std::istringstream in(buffer.str());
        int count = 0;
        for (std::string line; std::getline(in, line);)
            if (line == wanted) ++count;
        return count;
    }

private:
    std::ostringstream buffer;
};

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantorra-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Changes the working directory for its lifetime.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& directory)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path previous;
};

// Small, quick renders: the views are 400-600 pixels wide.
inline StitchOptions smallOptions(int renderWidth, const std::string& blendingMethod) {
    StitchOptions options;
    options.render.width = renderWidth;
    options.render.blendingMethod = blendingMethod;
    return options;
}

// Renders image `image` of an already rendered panorama alone, on the grid the full render chose
// (its crop and size, no auto-crop, no orientation step, no gains), so that pixel (r, c) looks
// along the same direction as in the full render. The stitcher is left as it was.
inline Image renderAlone(const Stitcher& stitcher, const RenderResult& rendered, int image) {
    RenderOptions options = optionsReproducing(stitcher.options.render, rendered);
    options.gainCompensation = false;
    RenderScene scene = stitcher.renderScene();
    const int32_t alone[] = {image};
    scene.component = alone;
    Image panorama;
    NullStream quiet;  // the block log of one image says nothing new
    ProgressReporter progress;
    Renderer(options, kTestRenderBudget).render(panorama, scene, Gains{}, progress, quiet);
    return panorama;
}

inline bool covered(const Image& image, int r, int c) {
    return image.at(r, c, 0) != 0 || image.at(r, c, 1) != 0 || image.at(r, c, 2) != 0;
}

inline double brightness(const Image& image, int r, int c) {
    return (image.at(r, c, 0) + image.at(r, c, 1) + image.at(r, c, 2)) / 3.0;
}

// Where two renders of the same grid are both covered: pixel count, mean absolute difference
// of the samples, and the mean brightness of each.
struct Overlap {
    long pixels = 0;
    double meanAbsDifference = 0;
    double meanA = 0, meanB = 0;
    // The same with b scaled to a's mean brightness: what is left once the exposures agree.
    double meanAbsDifferenceBalanced = 0;
};

inline Overlap compareOverlap(const Image& a, const Image& b) {
    Overlap o;
    if (a.rows != b.rows || a.cols != b.cols) return o;
    double diff = 0, sumA = 0, sumB = 0;
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c) {
            if (!covered(a, r, c) || !covered(b, r, c)) continue;
            ++o.pixels;
            for (int k = 0; k < 3; ++k) diff += std::abs(a.at(r, c, k) - b.at(r, c, k));
            sumA += brightness(a, r, c);
            sumB += brightness(b, r, c);
        }
    if (o.pixels == 0) return o;
    o.meanAbsDifference = diff / (3.0 * static_cast<double>(o.pixels));
    o.meanA = sumA / static_cast<double>(o.pixels);
    o.meanB = sumB / static_cast<double>(o.pixels);
    const double ratio = o.meanB > 0 ? o.meanA / o.meanB : 1.0;
    double balanced = 0;
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c) {
            if (!covered(a, r, c) || !covered(b, r, c)) continue;
            for (int k = 0; k < 3; ++k) balanced += std::abs(a.at(r, c, k) - ratio * b.at(r, c, k));
        }
    o.meanAbsDifferenceBalanced = balanced / (3.0 * static_cast<double>(o.pixels));
    return o;
}

}  // namespace vantorra::test

namespace vantorra::test {

// The small row of six stitched once per test program (no blending, 800 columns): accuracy,
// rendering and round-trip tests read it; a test that changes it puts it back.
struct StitchedSet {
    Stitcher stitcher;
    Image output;
    RunReport report;
    std::string log;
};

inline StitchedSet& stitchedRow6() {
    static StitchedSet set = [] {
        StitchedSet s;
        s.stitcher.options = smallOptions(800, "none");
        const std::string directory = testData("matching/row6");
        LogCapture capture;
        s.report = s.stitcher.stitch(directory, jpegNames(directory), s.output, capture);
        s.log = capture.text();
        return s;
    }();
    return set;
}

}  // namespace vantorra::test
