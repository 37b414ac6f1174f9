#include "adjust/bundle_adjuster.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "adjust/normal_equations.h"

namespace vantorra {

int32_t parameterCount(int32_t cameraCount) { return 4 * cameraCount - 3; }

std::vector<float> priorPrecision(const std::vector<CameraState>& cameras,
                                  const BundleAdjustOptions& options) {
    float total = 0.0f;
    for (const CameraState& c : cameras) total += c.f;
    const float meanFocal = total / static_cast<float>(cameras.size());
    const float sigmaF = options.focalSigma * meanFocal;
    const float sigmaR = options.rotationSigma;
    const float focalPrecision = 1.0f / (sigmaF * sigmaF);
    const float rotationPrecision = 1.0f / (sigmaR * sigmaR);
    std::vector<float> d{focalPrecision};
    for (size_t k = 1; k < cameras.size(); ++k)
        d.insert(d.end(), {rotationPrecision, rotationPrecision, rotationPrecision, focalPrecision});
    return d;
}

namespace {

bool validPoints(const MatchPoints& p, int32_t count) {
    return p.first.rows >= 2 && p.second.rows >= 2 && p.first.cols >= count &&
           p.second.cols >= count;
}

}  // namespace

bool adjustableInput(const MatchTable& matches, const std::vector<int32_t>& cameraList,
                     const std::vector<Camera>& cameras) {
    if (cameraList.size() < 2) return false;
    const int32_t limit = std::min(static_cast<int32_t>(cameras.size()), matches.size());
    for (size_t a = 0; a < cameraList.size(); ++a) {
        const int32_t i = cameraList[a];
        if (i < 0 || i >= limit || !isRegistered(cameras[i])) return false;
        for (size_t b = 0; b < a; ++b)
            if (cameraList[b] == i) return false;
    }
    bool anyMatch = false;
    for (int32_t i : cameraList)
        for (int32_t j : cameraList) {
            const int32_t count = matches.count(i, j);
            if (i == j || count <= 0) continue;
            if (!validPoints(matches.points(i, j), count)) return false;
            anyMatch = true;
        }
    return anyMatch;
}

namespace {

std::vector<CameraState> listedStates(const std::vector<Camera>& cameras,
                                      const std::vector<int32_t>& cameraList) {
    std::vector<CameraState> states;
    for (int32_t i : cameraList) states.push_back({Mat3::fromMatrix(cameras[i].R), cameras[i].f});
    return states;
}

void storeStates(const std::vector<CameraState>& states, const std::vector<int32_t>& cameraList,
                 std::vector<Camera>& cameras) {
    for (size_t k = 0; k < cameraList.size(); ++k) {
        Camera& c = cameras[cameraList[k]];
        c.R = states[k].R.toMatrix();
        c.f = states[k].f;
    }
}

void logError(float e) { std::cout << "  error = " << e << std::endl; }

// Solves (A + alpha^2 D) delta = g for the P reduced parameters.
Matrix dampedStep(const Matrix& a, const Matrix& g, const std::vector<float>& prior, float alpha) {
    Matrix system = a;
    Matrix rhs = g;
    const float alpha2 = alpha * alpha;
    for (int p = 0; p < system.rows; ++p) system.at(p, p) += alpha2 * prior[static_cast<size_t>(p)];
    return solve(system, rhs);
}

// Cameras moved by the reduced step: R <- R Rot(delta), f <- f + delta. The reference camera
// keeps its rotation, so the reduced vector starts with its focal length.
void applyStep(const std::vector<CameraState>& current, const Matrix& delta,
               std::vector<CameraState>& moved) {
    moved[0].R = current[0].R;
    moved[0].f = current[0].f + delta.at(0);
    for (size_t k = 1; k < current.size(); ++k) {
        const int base = 4 * static_cast<int>(k) - 3;
        const Vec3 turn{delta.at(base), delta.at(base + 1), delta.at(base + 2)};
        moved[k].R = current[k].R * rotationFromVector(turn);
        moved[k].f = current[k].f + delta.at(base + 3);
    }
}

}  // namespace

void BundleAdjuster::BundleAdjust(const MatchTable& matches, std::vector<int32_t> cameraList,
                                  std::vector<Camera>& cameras, int32_t robustMode, float sigma,
                                  int32_t sigmaIsRelative) const {
    if (!adjustableInput(matches, cameraList, cameras)) return;
    const std::vector<AdjustPair> pairs = adjustPairs(matches, cameraList);
    const float matchCount = static_cast<float>(totalMatches(pairs));
    const int size = 4 * static_cast<int>(cameraList.size());

    std::vector<CameraState> current = listedStates(cameras, cameraList);
    std::vector<CameraState> moved = current;
    const std::vector<float> prior = priorPrecision(current, options_);

    const float e0 = std::sqrt(errorSums(pairs, current, RobustNone, 0.0f).plain / matchCount);
    float threshold = sigmaIsRelative == 1 ? e0 * sigma : sigma;
    float alpha = options_.alphaStart;
    float lastError = e0;

    for (int32_t iteration = 0; iteration < options_.maxIterations; ++iteration) {
        const NormalEquations eq = linearise(pairs, current, robustMode, threshold);
        const float e = std::sqrt(eq.residualSquares) / std::sqrt(matchCount);
        logError(e);
        const Matrix a = eq.a.subMatrix(3, size - 1, 3, size - 1);
        const Matrix g = eq.g.subMatrix(3, size - 1, 0, 0);

        int32_t trials = 0;
        bool trialLimit = false;
        float plainError = e;
        for (;;) {
            ++trials;
            applyStep(current, dampedStep(a, g, prior, alpha), moved);
            const ErrorSums sums = errorSums(pairs, moved, robustMode, threshold);
            plainError = std::sqrt(sums.plain / matchCount);
            lastError = std::sqrt(sums.robust / matchCount);
            // A step whose error is not a number fails this test too.
            const bool accepted = lastError < e;
            if (accepted) {
                alpha /= options_.alphaFactor;
                current = moved;
                storeStates(current, cameraList, cameras);
            } else {
                alpha *= options_.alphaFactor;
            }
            if (trials > options_.maxTrials) {
                std::cout << "  BundleAdjust: maximum LM iterations reached " << std::endl;
                trialLimit = true;
            }
            if (accepted || trialLimit) break;
        }
        if (sigmaIsRelative == 1) threshold = plainError * sigma;
        if (trialLimit) break;
        if (lastError < options_.errorThreshold && e - lastError < options_.minImprovement) break;
    }
    logError(lastError);
}

}  // namespace vantorra
