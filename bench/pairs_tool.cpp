// The verified pairs of a folder of views with known cameras (truth.txt), measured against the
// true cameras:
//   pairs_tool FOLDER [PIXELS]
// Runs the matching stage alone and prints, for every pair verification accepted, its match count
// and the median distance of its matches from where the true cameras put them (full-resolution
// pixels), marking as false a pair whose median is over PIXELS (default 3); then the count of
// true and false pairs. A false pair is one registration must not rely on.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/thread_pool.h"
#include "matching/feature_matcher.h"
#include "options/stitch_options.h"
#include "pipeline/run_budget.h"
#include "bench/view_truth.h"

namespace {

using vantorra::bench::readTruth;
using vantorra::bench::TruthCamera;

// Image j's position of image i's centred full-resolution position (x, y) under the true cameras.
bool transfer(const TruthCamera& a, const TruthCamera& b, double x, double y, double& u, double& v) {
    const double ray[3] = {x / a.focal, y / a.focal, 1.0};
    double world[3] = {}, seen[3] = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) world[r] += a.R.at(c, r) * ray[c];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) seen[r] += b.R.at(r, c) * world[c];
    if (!(seen[2] > 0)) return false;
    u = b.focal * seen[0] / seen[2];
    v = b.focal * seen[1] / seen[2];
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pairs_tool FOLDER [PIXELS]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const double limit = argc > 2 ? std::atof(argv[2]) : 3.0;
    const auto truth = readTruth(folder / "truth.txt");
    std::vector<std::string> names;
    std::vector<const TruthCamera*> cameras;
    for (const auto& [name, camera] : truth) {
        names.push_back((folder / name).string());
        cameras.push_back(&camera);
    }
    vantorra::StitchOptions options;
    const int n = static_cast<int>(names.size());
    const vantorra::FeatureMatcher matcher(vantorra::runFeatureOptions(options, n), options.ransac,
                                           vantorra::featureBudget(options, n));
    vantorra::ThreadPool pool(options.threads);
    vantorra::ProgressReporter progress;
    std::ostringstream log;
    const vantorra::MatchingResult m = matcher.matchingStage("", names, progress, log, &pool);
    int good = 0, bad = 0;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            const int count = m.matches.count(i, j);
            if (count <= 0 || cameras[i]->focal <= 0 || cameras[j]->focal <= 0) continue;
            const vantorra::Photograph& pi = m.photographs[static_cast<size_t>(i)];
            const vantorra::Photograph& pj = m.photographs[static_cast<size_t>(j)];
            const vantorra::ImageSize si = vantorra::featureImageSize(pi), sj = vantorra::featureImageSize(pj);
            const double ki = std::ldexp(1.0, pi.featureLevel), kj = std::ldexp(1.0, pj.featureLevel);
            const vantorra::MatchPoints& p = m.matches.points(i, j);
            std::vector<double> errors;
            for (int k = 0; k < count; ++k) {
                const double x = (p.first.at(0, k) - (si.height - 1) / 2.0) * ki;
                const double y = (p.first.at(1, k) - (si.width - 1) / 2.0) * ki;
                double u = 0, v = 0;
                if (!transfer(*cameras[i], *cameras[j], x, y, u, v)) {
                    errors.push_back(1e9);
                    continue;
                }
                errors.push_back(std::hypot(u - (p.second.at(0, k) - (sj.height - 1) / 2.0) * kj,
                                            v - (p.second.at(1, k) - (sj.width - 1) / 2.0) * kj));
            }
            std::nth_element(errors.begin(), errors.begin() + count / 2, errors.end());
            const double median = errors[static_cast<size_t>(count / 2)];
            const bool wrong = median > limit;
            (wrong ? bad : good) += 1;
            std::printf("%d %d %s %s %d %.3f%s\n", i, j, std::filesystem::path(names[i]).filename().c_str(),
                        std::filesystem::path(names[j]).filename().c_str(), count, median, wrong ? " FALSE" : "");
        }
    std::printf("pairs %d true %d false %d\n", good + bad, good, bad);
    return 0;
}
