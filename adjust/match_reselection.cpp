#include "adjust/match_reselection.h"

#include "adjust/weak_pairs.h"

#include <algorithm>
#include <cmath>

#include "numerics/pair_projection.h"
#include "matching/ransac.h"
#include "numerics/mat3.h"

namespace vantorra {

namespace {

CameraState stateOf(const Camera& c) { return {Mat3::fromMatrix(c.R), c.f}; }

float median(std::vector<float>& values) {
    if (values.empty()) return 0.0f;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

bool registeredCamera(const Camera& c) { return c.R.rows == 3 && c.R.cols == 3 && c.f > 0.0f; }

// The larger of the two transfer errors of every match of (i, j).
void pairErrors(const Camera& ci, const Camera& cj, const MatchPoints& points, int32_t count,
                std::vector<float>& errors) {
    const PairTransfer transfer(ci, cj);
    errors.resize(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const TransferError e = transfer(points, k);
        errors[static_cast<size_t>(k)] = std::max(e.forward, e.backward);
    }
}

// Keeps the columns whose error is below the threshold, in order; returns their number.
int32_t keepColumns(MatchPoints& points, const std::vector<float>& errors, float threshold,
                    float& squares) {
    int32_t kept = 0;
    squares = 0.0f;
    for (int k = 0; k < static_cast<int>(errors.size()); ++k) {
        if (!(errors[static_cast<size_t>(k)] < threshold)) continue;
        squares += errors[static_cast<size_t>(k)] * errors[static_cast<size_t>(k)];
        for (int r = 0; r < 2; ++r) {
            points.first.at(r, kept) = points.first.at(r, k);
            points.second.at(r, kept) = points.second.at(r, k);
        }
        ++kept;
    }
    return kept;
}

// The pairs of registered images of `component` with matches, or with verified matches in
// `basis` (a pair emptied by an earlier round may be needed again once another link breaks),
// with the errors of their matches; `all` gathers every error.
void measurePairs(const MatchTable& matches, const std::vector<Camera>& cameras, const std::vector<int32_t>& component,
                  const WeakBasis& basis, std::vector<PairSelection>& pairs, std::vector<std::vector<float>>& errors,
                  std::vector<float>& all) {
    std::vector<float> scratch;
    for (const int32_t i : component)
        for (const int32_t j : component) {
            const int32_t count = matches.count(i, j);
            const bool inBasis = basis.verified != nullptr && i != j && basis.verified->count(i, j) > 0;
            if (i == j || (count <= 0 && !inBasis)) continue;
            if (!registeredCamera(cameras[i]) || !registeredCamera(cameras[j])) continue;
            PairSelection pair;
            pair.first = i;
            pair.second = j;
            pair.before = count;
            errors.emplace_back();
            if (count > 0) pairErrors(cameras[i], cameras[j], matches.points(i, j), count, errors.back());
            all.insert(all.end(), errors.back().begin(), errors.back().end());
            scratch = errors.back();
            pair.sigma = sigmaFromMedianLength(median(scratch));
            pairs.push_back(pair);
        }
}

// A failed pair whose kept matches could no longer hold an image as its last link is judged at
// the scale it was verified under: on what it holds when that still does (so the link that held
// an image keeps holding it, rather than two links taking turns from round to round), else on
// all it was verified with; `errors` and `measured` then become those of the verified matches.
// True in that last case.
bool judgeOnBasis(const std::vector<Camera>& cameras, const WeakBasis& basis, const RansacOptions& acceptance,
                  std::vector<float>& errors, MeasuredPair& measured) {
    if (holdsAsLastLink(errors, measured.tightThreshold, acceptance)) return false;
    measured.tightThreshold = std::max(measured.tightThreshold, basis.threshold);
    if (holdsAsLastLink(errors, measured.tightThreshold, acceptance)) return false;
    const int32_t original = basis.verified != nullptr ? basis.verified->count(measured.first, measured.second) : 0;
    if (original <= 0) return false;
    pairErrors(cameras[measured.first], cameras[measured.second], basis.verified->points(measured.first, measured.second),
               original, errors);
    return true;
}

// Sets the pair's threshold and whether it passes the acceptance rule (more than `needed` of its
// matches within the threshold): first at the panorama's scale, then, when it fails there, at
// its own up to kWeakWidening times the panorama's. The features of soft or low-contrast
// photographs lie a few times further from their partners than those of sharp ones; cut at the
// sharp pairs' scale, such a pair keeps only the share of its genuine matches that happens to
// agree with the cameras as they are, fails the rule and is dropped, and the cameras it held
// follow the few pairs left (the overlaps of a soft part of a scene go first). A cluster of
// matches on another point lies further out than the widened threshold, which never exceeds
// the verification's inlier threshold either.
void judgeAtScale(PairSelection& pair, const std::vector<float>& errors, float overallSigma, int32_t needed,
                  const RansacOptions& acceptance) {
    pair.threshold = std::max(kKeepDeviations * std::min(pair.sigma, overallSigma), kMinKeepThreshold);
    pair.accepted = countBelow(errors, pair.threshold) > needed;
    if (pair.accepted) return;
    const float own = std::max(pair.threshold, std::min(kKeepDeviations * std::min(pair.sigma, kWeakWidening * overallSigma),
                                                        acceptance.inlierThreshold));
    if (countBelow(errors, own) > needed) pair.accepted = true, pair.threshold = own;
}

// Pair (i, j) of `matches` holds its verified positions again.
void restore(MatchTable& matches, const MatchTable& verified, int32_t i, int32_t j) {
    (matches.placed(i, j) ? matches.points(i, j) : matches.place(i, j)) = verified.points(i, j);
}

}  // namespace

PairTransfer::PairTransfer(const Camera& ci, const Camera& cj)
    : forward_(pairHomography(stateOf(ci), stateOf(cj))),
      backward_(pairHomography(stateOf(cj), stateOf(ci))),
      first_{ci.lens, ci.f},
      second_{cj.lens, cj.f} {}

float PairTransfer::distance(const Mat3& h, const Side& from, const Side& to, float x, float y, float u,
                             float v) {
    undistortPosition(from.lens, from.f, x, y);
    const Vec3 p = h * Vec3{x, y, 1.0f};
    if (!(p.z > 0.0f)) return INFINITY;  // behind the camera: no partner can be close
    float pu = p.x / p.z, pv = p.y / p.z;
    distortPosition(to.lens, to.f, pu, pv);
    return std::hypot(u - pu, v - pv);
}

TransferError PairTransfer::operator()(const MatchPoints& points, int k) const {
    const float x = points.first.at(0, k), y = points.first.at(1, k);
    const float u = points.second.at(0, k), v = points.second.at(1, k);
    return {distance(forward_, first_, second_, x, y, u, v), distance(backward_, second_, first_, u, v, x, y)};
}

float sigmaFromMedianLength(float medianLength) {
    return medianLength / std::sqrt(2.0f * std::log(2.0f));
}

float transferSigma(const MatchTable& matches, const std::vector<Camera>& cameras,
                    const std::vector<int32_t>& component) {
    std::vector<float> all, pair;
    for (const int32_t i : component)
        for (const int32_t j : component) {
            const int32_t count = matches.count(i, j);
            if (i == j || count <= 0 || !registeredCamera(cameras[i]) || !registeredCamera(cameras[j])) continue;
            pairErrors(cameras[i], cameras[j], matches.points(i, j), count, pair);
            all.insert(all.end(), pair.begin(), pair.end());
        }
    return sigmaFromMedianLength(median(all));
}

std::vector<int32_t> pairCounts(const MatchTable& matches) {
    const int32_t n = matches.size();
    std::vector<int32_t> counts(static_cast<size_t>(n) * static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) counts[static_cast<size_t>(i * n + j)] = matches.count(i, j);
    return counts;
}

Reselection reselectMatches(MatchTable& matches, const std::vector<int32_t>& verified,
                            const std::vector<Camera>& cameras,
                            const std::vector<int32_t>& component, const RansacOptions& acceptance,
                            const WeakBasis& basis) {
    Reselection result;
    // Errors of every pair first: the threshold of each depends on the scale over all of them.
    std::vector<std::vector<float>> errors;
    std::vector<float> all;
    measurePairs(matches, cameras, component, basis, result.pairs, errors, all);
    const float overallSigma = sigmaFromMedianLength(median(all));

    const int32_t n = matches.size();
    std::vector<MeasuredPair> measured(result.pairs.size());
    std::vector<uint8_t> fromBasis(result.pairs.size(), 0);
    for (size_t p = 0; p < result.pairs.size(); ++p) {
        PairSelection& pair = result.pairs[p];
        const int32_t support = verified[static_cast<size_t>(pair.first * n + pair.second)];
        judgeAtScale(pair, errors[p], overallSigma, minInliersFor(support, acceptance), acceptance);
        measured[p] = {pair.first, pair.second, pair.accepted, &errors[p], pair.threshold};
        if (!pair.accepted) fromBasis[p] = measured[p].restored = judgeOnBasis(cameras, basis, acceptance, errors[p], measured[p]);
    }
    const WeakPairs held = holdWithWeakPairs(measured, component, acceptance);
    for (size_t p = 0; p < result.pairs.size(); ++p) {
        PairSelection& pair = result.pairs[p];
        pair.weak = held.weak[p] != 0;
        if (pair.weak) pair.threshold = held.threshold[p];
        float squares = 0.0f;
        if (pair.weak && fromBasis[p]) restore(matches, *basis.verified, pair.first, pair.second);
        if (pair.accepted || pair.weak) {
            pair.kept = keepColumns(matches.points(pair.first, pair.second), errors[p], pair.threshold, squares);
            matches.count(pair.first, pair.second) = pair.kept;
        } else {
            pair.kept = 0;
            matches.clear(pair.first, pair.second);
        }
        pair.rmsKept = pair.kept > 0 ? std::sqrt(squares / static_cast<float>(pair.kept)) : 0.0f;
        if (pair.kept > pair.before) result.restoredMatches += pair.kept - pair.before;
        else result.removedMatches += pair.before - pair.kept;
    }
    result.component = held.component;
    result.leftOut = held.leftOut;
    result.leftOutWhy = held.leftOutWhy;
    return result;
}

}  // namespace vantorra
