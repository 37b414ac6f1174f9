#include "adjust/registration_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "adjust/match_reselection.h"

namespace vantorra {

namespace {

bool registered(const Camera& c) { return c.R.rows == 3 && c.R.cols == 3 && c.f > 0.0f; }

std::string errorText(float pixels) {
    char text[32];
    std::snprintf(text, sizeof text, pixels >= 1.0f ? "%.1f" : "%.2g", static_cast<double>(pixels));
    return text;
}

}  // namespace

RegistrationSummary summariseRegistration(const MatchTable& matches,
                                          const std::vector<Camera>& cameras,
                                          const std::vector<int32_t>& component,
                                          const std::vector<std::string>& names) {
    RegistrationSummary summary;
    summary.total = static_cast<int32_t>(names.size());
    summary.registered = static_cast<int32_t>(component.size());
    for (size_t i = 0; i < names.size(); ++i)
        if (!std::binary_search(component.begin(), component.end(), static_cast<int32_t>(i)))
            summary.leftOut.push_back(std::filesystem::path(names[i]).filename().string());
    double squares = 0.0;
    int64_t count = 0;
    for (const int32_t i : component)
        for (const int32_t j : component) {
            const int32_t n = matches.count(i, j);
            if (i == j || n <= 0 || !registered(cameras[i]) || !registered(cameras[j])) continue;
            const Matrix& toFull = cameras[j].imageTransform;
            const double scale = toFull.rows == 3 ? static_cast<double>(toFull.at(0, 0)) : 1.0;
            const PairTransfer transfer(cameras[i], cameras[j]);
            double pairSquares = 0.0;
            for (int k = 0; k < n; ++k) {
                const double e = transfer(matches.points(i, j), k).forward;
                pairSquares += e * e * scale * scale;
            }
            summary.pairs.push_back({i, j, n, static_cast<float>(std::sqrt(pairSquares / n))});
            squares += pairSquares;
            count += n;
        }
    summary.rmsFullResolution = count > 0 ? static_cast<float>(std::sqrt(squares / count)) : 0.0f;
    return summary;
}

std::string summaryLine(const RegistrationSummary& summary) {
    std::string line = std::to_string(summary.registered) + " of " + std::to_string(summary.total) +
                       " photographs registered; RMS error " +
                       errorText(summary.rmsFullResolution) + " px (full resolution)";
    for (size_t k = 0; k < summary.leftOut.size(); ++k)
        line += (k == 0 ? "; left out: " : ", ") + summary.leftOut[k];
    return line;
}

void logPairErrors(const RegistrationSummary& summary, std::ostream& log) {
    for (const PairError& p : summary.pairs)
        log << "  Pair " << p.first << "-" << p.second << ": " << p.matches
                  << " matches, RMS error " << errorText(p.rmsFullResolution)
                  << " px (full resolution)" << std::endl;
}

}  // namespace vantorra
