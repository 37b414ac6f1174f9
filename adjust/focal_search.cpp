#include "adjust/focal_search.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <Eigen/LU>
#include <Eigen/SVD>

namespace vantorra {

namespace {

Eigen::Vector3d ray(float x, float y, double f) { return Eigen::Vector3d(x / f, y / f, 1.0).normalized(); }

// U diag(1, 1, det(U V^T)) V^T of the SVD U S V^T of the cross-covariance (Kabsch): the proper
// rotation nearest to it.
Eigen::Matrix3d kabsch(const Eigen::Matrix3d& covariance) {
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(covariance, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Matrix3d d = Eigen::Matrix3d::Identity();
    d(2, 2) = (svd.matrixU() * svd.matrixV().transpose()).determinant() < 0.0 ? -1.0 : 1.0;
    return svd.matrixU() * d * svd.matrixV().transpose();
}

// The rotation carrying rays `a` onto rays `b` in the least-squares sense.
Eigen::Matrix3d bestRotation(const std::vector<Eigen::Vector3d>& a, const std::vector<Eigen::Vector3d>& b,
                             const std::vector<uint8_t>& use) {
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
    for (size_t k = 0; k < a.size(); ++k)
        if (use[k]) covariance += b[k] * a[k].transpose();
    return kabsch(covariance);
}

// Median error in the second image of the matches under the best rotation at f, fitted twice:
// on all, then on those within `outlier` of the first fit. The median, not a mean: a few strays
// of a verified pair would otherwise decide. Infinite when fewer than three agree.
double errorAt(const MatchPoints& p, int32_t count, double f, double outlier) {
    std::vector<Eigen::Vector3d> a, b;
    for (int32_t k = 0; k < count; ++k) {
        a.push_back(ray(p.first.at(0, k), p.first.at(1, k), f));
        b.push_back(ray(p.second.at(0, k), p.second.at(1, k), f));
    }
    std::vector<uint8_t> use(a.size(), 1);
    std::vector<double> errors(a.size());
    for (int pass = 0; pass < 2; ++pass) {
        const Eigen::Matrix3d r = bestRotation(a, b, use);
        int32_t used = 0;
        for (size_t k = 0; k < a.size(); ++k) {
            const Eigen::Vector3d q = r * a[k];
            const int col = static_cast<int>(k);
            errors[k] = q.z() > 0.0 ? std::hypot(f * q.x() / q.z() - p.second.at(0, col), f * q.y() / q.z() - p.second.at(1, col))
                                    : INFINITY;
            use[k] = errors[k] < outlier;
            used += use[k];
        }
        if (used < 3) return INFINITY;
    }
    const auto middle = errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2);
    std::nth_element(errors.begin(), middle, errors.end());
    return *middle;
}

}  // namespace

Mat3 rotationFromCovariance(const std::array<double, 9>& covariance) {
    Eigen::Matrix3d c;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) c(row, col) = covariance[static_cast<size_t>(3 * row + col)];
    const Eigen::Matrix3d r = kabsch(c);
    Mat3 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) out(row, col) = static_cast<float>(r(row, col));
    return out;
}

FocalFit searchFocal(const MatchPoints& points, int32_t count, float seed, float imageSide) {
    FocalFit fit;
    if (count < 3 || !(seed > 0.0f)) return fit;
    const double outlier = 0.2 * imageSide;
    constexpr int kLow = -4, kHigh = 16;
    std::vector<double> errors;
    for (int k = kLow; k <= kHigh; ++k) errors.push_back(errorAt(points, count, seed * std::exp2(k / 4.0), outlier));
    const size_t best = static_cast<size_t>(std::min_element(errors.begin(), errors.end()) - errors.begin());
    double step = 0.0;  // in ladder steps, from the parabola through the best and its neighbours
    if (best > 0 && best + 1 < errors.size() && std::isfinite(errors[best - 1]) && std::isfinite(errors[best + 1])) {
        const double curve = errors[best - 1] - 2.0 * errors[best] + errors[best + 1];
        if (curve > 0.0) step = std::clamp(0.5 * (errors[best - 1] - errors[best + 1]) / curve, -0.5, 0.5);
    }
    const double focal = seed * std::exp2((static_cast<double>(best) + kLow + step) / 4.0);
    fit.focal = static_cast<float>(focal);
    fit.rms = static_cast<float>(std::min(errorAt(points, count, focal, outlier), errors[best]));
    fit.seedRms = static_cast<float>(errors[static_cast<size_t>(-kLow)]);
    return fit;
}

bool clearlyBetter(const FocalFit& fit, float seed) {
    if (!(fit.focal > 0.0f) || !std::isfinite(fit.rms) || !(seed > 0.0f)) return false;
    const float ratio = std::max(fit.focal / seed, seed / fit.focal);
    return ratio > kFarFromSeed && (!std::isfinite(fit.seedRms) || 2.0f * fit.rms <= fit.seedRms);
}

}  // namespace vantorra
