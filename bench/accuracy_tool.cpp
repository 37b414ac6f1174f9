// Registration accuracy on a folder of views with known cameras (truth.txt):
//   accuracy_tool [--no-refine] [FOLDER...]
// For each folder it runs the pipeline up to the final adjustment (no rendering) and prints the
// images registered of those expected, the images wrongly registered, the relative rotation
// error between every two registered views (the panorama's global orientation does not count)
// and the focal length error at full resolution.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pipeline/stitcher.h"
#include "numerics/matrix.h"
#include "bench/view_truth.h"

namespace {

using vantorra::Matrix;
using vantorra::bench::readTruth;

// Rotation angle in degrees of a 3x3 rotation matrix, from its skew part and trace: the arc
// cosine of a float trace alone resolves no better than a few hundredths of a degree, the size
// of the errors being measured.
double angleDegrees(const Matrix& r) {
    const double sx = r.at(2, 1) - r.at(1, 2), sy = r.at(0, 2) - r.at(2, 0), sz = r.at(1, 0) - r.at(0, 1);
    const double sine = 0.5 * std::sqrt(sx * sx + sy * sy + sz * sz);
    const double cosine = 0.5 * (static_cast<double>(r.at(0, 0)) + r.at(1, 1) + r.at(2, 2) - 1.0);
    return std::atan2(sine, cosine) * 180.0 / M_PI;
}

struct Figures {
    int expected = 0, registered = 0, wrong = 0;
    double meanRotation = 0, maxRotation = 0, meanFocal = 0, maxFocal = 0;
    double k1 = 0, k2 = 0;  // mean lens coefficients of the registered cameras
    double seconds = 0;
};

Figures measure(const std::filesystem::path& folder, bool refine) {
    const auto truth = readTruth(folder / "truth.txt");
    std::vector<std::string> names;
    for (const auto& [name, camera] : truth) names.push_back((folder / name).string());

    vantorra::Stitcher stitcher;
    stitcher.options.render.renderEnabled = false;
    stitcher.options.bundle.refineRegistration = refine;
    if (const char* v = std::getenv("VANTORRA_LENS_COEFFICIENTS")) stitcher.options.bundle.lensCoefficients = std::atoi(v);
    if (const char* v = std::getenv("VANTORRA_LENS_SIGMA")) stitcher.options.bundle.lensSigma = std::atof(v);
    if (const char* v = std::getenv("VANTORRA_SIFT_MIN_DIM")) stitcher.options.feature.siftMinDim = std::atoi(v);
    if (const char* v = std::getenv("VANTORRA_THREADS")) stitcher.options.threads = std::atoi(v);
    vantorra::Image output;
    const auto start = std::chrono::steady_clock::now();
    std::ostringstream log;  // the engine log is not part of the table
    stitcher.stitch("", names, output, log);
    // VANTORRA_ACCURACY_LOG=DIR keeps each set's engine log as DIR/SET.log.
    if (const char* dir = std::getenv("VANTORRA_ACCURACY_LOG"))
        std::ofstream(std::filesystem::path(dir) / (folder.filename().string() + ".log")) << log.str();
    Figures fig;
    fig.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::vector<int> good;
    for (const auto& [name, camera] : truth) fig.expected += camera.focal > 0 ? 1 : 0;
    for (const int i : stitcher.component()) {
        const auto& t = truth.at(std::filesystem::path(names[i]).filename().string());
        if (t.focal > 0) {
            ++fig.registered;
            good.push_back(i);
        } else {
            ++fig.wrong;
        }
    }
    int pairs = 0;
    // VANTORRA_ACCURACY_DETAIL=1 prints, per registered view, its worst and mean error against the others.
    const bool detail = std::getenv("VANTORRA_ACCURACY_DETAIL") != nullptr;
    // VANTORRA_ACCURACY_PAIRS=FILE writes every pair's error (image numbers, degrees).
    std::ofstream pairFile;
    if (const char* file = std::getenv("VANTORRA_ACCURACY_PAIRS")) pairFile.open(file);
    std::vector<double> worst(good.size(), 0.0), sum(good.size(), 0.0);
    std::vector<size_t> worstWith(good.size(), 0);
    std::vector<double> focalErrors(good.size(), 0.0);
    for (size_t a = 0; a < good.size(); ++a) {
        const auto& ca = stitcher.cameras()[good[a]];
        const auto& ta = truth.at(std::filesystem::path(names[good[a]]).filename().string());
        const double fullFocal = static_cast<double>(ca.f) * ca.imageTransform.at(0, 0);
        const double focalError = std::abs(fullFocal - ta.focal) / ta.focal * 100.0;
        focalErrors[a] = (fullFocal - ta.focal) / ta.focal * 100.0;
        fig.meanFocal += focalError;
        fig.maxFocal = std::max(fig.maxFocal, focalError);
        fig.k1 += ca.lens.k1;
        fig.k2 += ca.lens.k2;
        for (size_t b = a + 1; b < good.size(); ++b) {
            const auto& cb = stitcher.cameras()[good[b]];
            const auto& tb = truth.at(std::filesystem::path(names[good[b]]).filename().string());
            using vantorra::multiply;
            using vantorra::transpose;
            const Matrix estimated = multiply(ca.R, transpose(cb.R));
            const Matrix expected = multiply(ta.R, transpose(tb.R));
            const double err = angleDegrees(multiply(estimated, transpose(expected)));
            fig.meanRotation += err;
            fig.maxRotation = std::max(fig.maxRotation, err);
            if (pairFile) pairFile << good[a] << ' ' << good[b] << ' ' << err << '\n';
            for (const size_t k : {a, b}) {
                sum[k] += err;
                if (err > worst[k]) worst[k] = err, worstWith[k] = k == a ? b : a;
            }
            ++pairs;
        }
    }
    if (pairs > 0) fig.meanRotation /= pairs;
    for (size_t k = 0; detail && k < good.size(); ++k)
        std::printf("view %3d %s mean %.4f worst %.4f focal %+.3f%% with %s\n", good[k],
                    std::filesystem::path(names[good[k]]).filename().c_str(),
                    good.size() > 1 ? sum[k] / static_cast<double>(good.size() - 1) : 0.0, worst[k],
                    focalErrors[k],
                    std::filesystem::path(names[good[worstWith[k]]]).filename().c_str());
    if (!good.empty()) {
        fig.meanFocal /= static_cast<double>(good.size());
        fig.k1 /= static_cast<double>(good.size());
        fig.k2 /= static_cast<double>(good.size());
    }
    return fig;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> folders(argv + 1, argv + argc);
    bool refine = true;
    if (!folders.empty() && folders.front() == "--no-refine") {
        refine = false;
        folders.erase(folders.begin());
    }
    if (folders.empty()) {
        for (const char* set : {"row6", "portrait4", "distractor", "pano360", "grid6", "unrelated", "lens5"})
            folders.push_back(std::string(VANTORRA_SHARED_DATA) + "/" + set);
    }
    std::printf("%-12s %10s %6s %12s %12s %11s %11s %9s %9s %8s\n", "set", "registered", "wrong",
                "mean rot deg", "max rot deg", "mean f %", "max f %", "k1", "k2", "time s");
    for (const auto& folder : folders) {
        if (!std::filesystem::exists(std::filesystem::path(folder) / "truth.txt")) {
            std::fprintf(stderr, "%s: no truth.txt\n", folder.c_str());
            continue;
        }
        const Figures f = measure(folder, refine);
        std::printf("%-12s %7d/%-2d %6d %12.4f %12.4f %11.3f %11.3f %9.5f %9.5f %8.3f\n",
                    std::filesystem::path(folder).filename().c_str(), f.registered, f.expected,
                    f.wrong, f.meanRotation, f.maxRotation, f.meanFocal, f.maxFocal, f.k1, f.k2, f.seconds);
    }
    return 0;
}
