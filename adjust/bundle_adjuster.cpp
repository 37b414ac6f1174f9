#include "adjust/bundle_adjuster.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "adjust/damped_solver.h"
#include "adjust/normal_equations.h"

namespace vantorra {

int32_t parameterCount(int32_t cameraCount, int32_t lensParameters) {
    return 4 * cameraCount - 3 + lensParameters;
}

int64_t adjustmentBytes(int32_t cameraCount, int32_t lensParameters) {
    // The full normal equations while the reduced ones are copied out of them, then the reduced
    // ones and the damped copy that is solved: two square matrices of floats either way.
    const int64_t full = 4 * static_cast<int64_t>(cameraCount) + lensParameters;
    return 2 * full * full * static_cast<int64_t>(sizeof(float));
}

namespace {

// The prior deviation of lens coefficient e (k1, k2): a k2 of the same size bends the corners
// about twice as much as k1 does.
float coefficientSigma(const BundleAdjustOptions& options, int e) {
    return e == 0 ? options.lensSigma : 0.5f * options.lensSigma;
}

}  // namespace

std::vector<float> priorPrecision(const std::vector<CameraState>& cameras,
                                  const BundleAdjustOptions& options, int32_t lensSlots) {
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
    for (int32_t l = 0; l < lensSlots; ++l)
        for (int e = 0; e < options.lensCoefficients; ++e) {
            const float sigma = coefficientSigma(options, e);
            d.push_back(1.0f / (sigma * sigma));
        }
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

// The listed cameras' states; with `lensOf`, each lens met gets the next slot in list order and
// its cameras start from the first one's coefficients.
std::vector<CameraState> listedStates(const std::vector<Camera>& cameras, const std::vector<int32_t>& cameraList,
                                      const std::vector<int32_t>* lensOf, int32_t& slots) {
    std::vector<CameraState> states;
    std::vector<int32_t> slotLens;  // the lens number of each slot
    slots = 0;
    for (int32_t i : cameraList) {
        CameraState state{Mat3::fromMatrix(cameras[i].R), cameras[i].f, cameras[i].lens, -1};
        if (lensOf != nullptr && static_cast<size_t>(i) < lensOf->size()) {
            const int32_t lens = (*lensOf)[static_cast<size_t>(i)];
            const auto found = std::find(slotLens.begin(), slotLens.end(), lens);
            state.lensSlot = static_cast<int32_t>(found - slotLens.begin());
            if (found == slotLens.end()) slotLens.push_back(lens);
            else state.lens = states[static_cast<size_t>(std::find_if(states.begin(), states.end(),
                                                                      [&](const CameraState& s) {
                                                                          return s.lensSlot == state.lensSlot;
                                                                      }) - states.begin())].lens;
        }
        states.push_back(state);
    }
    slots = static_cast<int32_t>(slotLens.size());
    return states;
}

void storeStates(const std::vector<CameraState>& states, const std::vector<int32_t>& cameraList,
                 std::vector<Camera>& cameras) {
    for (size_t k = 0; k < cameraList.size(); ++k) {
        Camera& c = cameras[cameraList[k]];
        c.R = states[k].R.toMatrix();
        c.f = states[k].f;
        c.lens = states[k].lens;
    }
}

// The prior that keeps lens coefficients small: (k / sigma)^2 square pixels per coefficient are
// added to the squared residuals, as much as one match a pixel off. It keeps a lens the matches
// say nothing about near zero, and any visible bend outweighs it.
constexpr float kPriorPixels = 1.0f;

struct LensPrior {
    std::vector<float> lambda;  // per coefficient of a slot
};

LensPrior lensPrior(const BundleAdjustOptions& options, const LensParameters& lenses) {
    LensPrior prior;
    for (int e = 0; e < lenses.coefficients; ++e) {
        const float sigma = coefficientSigma(options, e);
        prior.lambda.push_back(kPriorPixels * kPriorPixels / (sigma * sigma));
    }
    return prior;
}

// The lens coefficients of the states, slot by slot.
float coefficientOf(const LensDistortion& lens, int e) { return e == 0 ? lens.k1 : lens.k2; }

std::vector<LensDistortion> slotLenses(const std::vector<CameraState>& states, int32_t slots) {
    std::vector<LensDistortion> lenses(static_cast<size_t>(slots));
    for (const CameraState& s : states)
        if (s.lensSlot >= 0) lenses[static_cast<size_t>(s.lensSlot)] = s.lens;
    return lenses;
}

float priorCost(const LensPrior& prior, const std::vector<CameraState>& states, const LensParameters& lenses) {
    float cost = 0.0f;
    for (const LensDistortion& lens : slotLenses(states, lenses.slots))
        for (int e = 0; e < lenses.coefficients; ++e) {
            const float k = coefficientOf(lens, e);
            cost += prior.lambda[static_cast<size_t>(e)] * k * k;
        }
    return cost;
}

// Adds the prior's curvature and pull to the reduced system (lens parameters last).
void addPrior(const LensPrior& prior, const std::vector<CameraState>& states, const LensParameters& lenses,
              Matrix& a, Matrix& g) {
    const int first = a.rows - lenses.count();
    const std::vector<LensDistortion> slots = slotLenses(states, lenses.slots);
    for (int l = 0; l < lenses.slots; ++l)
        for (int e = 0; e < lenses.coefficients; ++e) {
            const int p = first + lenses.coefficients * l + e;
            const float lambda = prior.lambda[static_cast<size_t>(e)];
            a.at(p, p) += lambda;
            g.at(p) -= lambda * coefficientOf(slots[static_cast<size_t>(l)], e);
        }
}

void logError(std::ostream& log, float e) { log << "  error = " << e << std::endl; }

// Cameras moved by the reduced step: R <- R Rot(delta), f <- f + delta. The reference camera
// keeps its rotation, so the reduced vector starts with its focal length.
void applyStep(const std::vector<CameraState>& current, const Matrix& delta, const LensParameters& lenses,
               std::vector<CameraState>& moved) {
    moved[0].R = current[0].R;
    moved[0].f = current[0].f + delta.at(0);
    for (size_t k = 1; k < current.size(); ++k) {
        const int base = 4 * static_cast<int>(k) - 3;
        const Vec3 turn{delta.at(base), delta.at(base + 1), delta.at(base + 2)};
        moved[k].R = current[k].R * rotationFromVector(turn);
        moved[k].f = current[k].f + delta.at(base + 3);
    }
    const int lensBase = 4 * static_cast<int>(current.size()) - 3;
    for (size_t k = 0; k < current.size(); ++k) {
        const int slot = current[k].lensSlot;
        if (slot < 0) continue;
        const int p = lensBase + lenses.coefficients * slot;
        moved[k].lens.k1 = current[k].lens.k1 + delta.at(p);
        if (lenses.coefficients > 1) moved[k].lens.k2 = current[k].lens.k2 + delta.at(p + 1);
    }
}

// The fixed parts of one adjustment's error: its pairs, robust transform and lens prior.
struct ErrorMeasure {
    const std::vector<AdjustPair>& pairs;
    int32_t robustMode;
    const LensParameters& lenses;
    const LensPrior& lensCost;
    float matchCount;
    ThreadPool* pool;
};

// The RMS errors of `current` moved by `delta` into `moved`: plain, and robust with the lens prior.
struct StepErrors {
    float plain = 0.0f;
    float total = 0.0f;
};
StepErrors stepErrors(const ErrorMeasure& m, float threshold, const std::vector<CameraState>& current,
                      const Matrix& delta, std::vector<CameraState>& moved) {
    applyStep(current, delta, m.lenses, moved);
    const ErrorSums sums = errorSums(m.pairs, moved, m.robustMode, threshold, m.pool);
    return {std::sqrt(sums.plain / m.matchCount),
            std::sqrt((sums.robust + priorCost(m.lensCost, moved, m.lenses)) / m.matchCount)};
}

// One trial of a damped step from cameras of error e. Along a weakly held direction the error
// is a long, bent valley (the common scale of a telephoto grid's focal lengths): the full step
// overshoots its bend, and more damping shortens that direction far more than the others, so
// the cameras would crawl along it. Half the same step keeps its direction; only when that
// fails too does the caller raise the damping. (Halving again crawled as well.)
StepErrors trialStep(const ErrorMeasure& m, float threshold, Matrix delta, float e,
                     const std::vector<CameraState>& current, std::vector<CameraState>& moved) {
    const StepErrors full = stepErrors(m, threshold, current, delta, moved);
    if (full.total < e) return full;
    for (float& d : delta.data) d *= 0.5f;
    return stepErrors(m, threshold, current, delta, moved);
}

}  // namespace

void BundleAdjuster::BundleAdjust(const MatchTable& matches, std::vector<int32_t> cameraList,
                                  std::vector<Camera>& cameras, int32_t robustMode, float sigma,
                                  int32_t sigmaIsRelative, const std::vector<int32_t>* lensOf) const {
    if (!adjustableInput(matches, cameraList, cameras)) return;
    const std::vector<AdjustPair> pairs = adjustPairs(matches, cameraList);
    const float matchCount = static_cast<float>(totalMatches(pairs));

    LensParameters lenses;
    std::vector<CameraState> current =
        listedStates(cameras, cameraList, options_.lensCoefficients > 0 ? lensOf : nullptr, lenses.slots);
    lenses.coefficients = lenses.slots > 0 ? std::min(options_.lensCoefficients, 2) : 0;
    const int size = 4 * static_cast<int>(cameraList.size()) + lenses.count();
    std::vector<CameraState> moved = current;
    const std::vector<float> prior = priorPrecision(current, options_, lenses.slots);
    const LensPrior lensCost = lensPrior(options_, lenses);
    const ErrorMeasure measure{pairs, robustMode, lenses, lensCost, matchCount, pool_};

    const float e0 = std::sqrt(errorSums(pairs, current, RobustNone, 0.0f, pool_).plain / matchCount);
    float threshold = sigmaIsRelative == 1 ? e0 * sigma : sigma;
    float alpha = options_.alphaStart;
    float lastError = e0;
    Matrix gradient;
    for (int32_t iteration = 0; iteration < options_.maxIterations; ++iteration) {
        float e = 0.0f;
        const DampedSolver solver = [&] {  // the full system is released before the damped copy is made
            const NormalEquations eq = linearise(pairs, current, robustMode, threshold, lenses, pool_);
            e = std::sqrt(eq.residualSquares + priorCost(lensCost, current, lenses)) / std::sqrt(matchCount);
            Matrix a = eq.a.subMatrix(3, size - 1, 3, size - 1), g = eq.g.subMatrix(3, size - 1, 0, 0);
            addPrior(lensCost, current, lenses, a, g);
            gradient = std::move(g);
            return DampedSolver(a, prior);
        }();
        logError(*log_, e);

        int32_t trials = 0;
        bool trialLimit = false;  // ends the adjustment
        float plainError = e;
        for (;;) {
            ++trials;
            const StepErrors step = trialStep(measure, threshold, solver.solve(gradient, alpha), e, current, moved);
            plainError = step.plain;
            lastError = step.total;
            // A step whose error is not a number fails this test too.
            const bool accepted = lastError < e;
            if (accepted) {
                alpha /= options_.alphaFactor;
                current = moved;
                storeStates(current, cameraList, cameras);
            } else {
                alpha *= options_.alphaFactor;
            }
            trialLimit = trials > options_.maxTrials;
            if (trialLimit) *log_ << "  BundleAdjust: maximum LM iterations reached " << std::endl;
            if (accepted || trialLimit) break;
        }
        if (sigmaIsRelative == 1) threshold = plainError * sigma;
        if (trialLimit) break;
        if (lastError < options_.errorThreshold && e - lastError < options_.minImprovement) break;
    }
    logError(*log_, lastError);
}

}  // namespace vantorra
