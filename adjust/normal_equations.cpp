#include "adjust/normal_equations.h"

#include <array>

#include "adjust/robust_error.h"

namespace vantorra {

std::vector<AdjustPair> adjustPairs(const MatchTable& matches, const std::vector<int32_t>& cameraList) {
    std::vector<AdjustPair> pairs;
    const int32_t n = static_cast<int32_t>(cameraList.size());
    for (int32_t a = 0; a < n; ++a)
        for (int32_t b = 0; b < n; ++b) {
            const int32_t count = matches.count(cameraList[a], cameraList[b]);
            if (a == b || count <= 0) continue;
            pairs.push_back({a, b, count, &matches.points(cameraList[a], cameraList[b])});
        }
    return pairs;
}

int32_t totalMatches(const std::vector<AdjustPair>& pairs) {
    int32_t total = 0;
    for (const AdjustPair& p : pairs) total += p.count;
    return total;
}

namespace {

struct Projected {
    Vec3 p;       // H (x, y, 1)
    float rx;     // observed minus predicted position
    float ry;
};

Projected project(const Mat3& h, const MatchPoints& points, int k) {
    const Vec3 x{points.first.at(0, k), points.first.at(1, k), 1.0f};
    Projected out;
    out.p = h * x;
    out.rx = points.second.at(0, k) - out.p.x / out.p.z;
    out.ry = points.second.at(1, k) - out.p.y / out.p.z;
    return out;
}

// Derivative sums of one pair: the 8 x 8 products of its parameter columns and their products
// with the residuals, each accumulated over the pair's matches before going into A and g.
struct PairSums {
    std::array<float, 64> jtj{};
    std::array<float, 8> jtr{};
    float residualSquares = 0.0f;
};

void addRow(PairSums& sums, const std::array<float, 8>& row, float residual) {
    for (int q = 0; q < 8; ++q) {
        for (int r = q; r < 8; ++r) sums.jtj[8 * q + r] += row[q] * row[r];
        sums.jtr[q] += row[q] * residual;
    }
    sums.residualSquares += residual * residual;
}

// residualSquares continues the running sum over the whole residual vector.
PairSums pairSums(const AdjustPair& pair, const std::vector<CameraState>& cameras,
                  int32_t robustMode, float threshold, float residualSquares) {
    const PairProjection proj = pairProjection(cameras[pair.first], cameras[pair.second]);
    PairSums sums;
    sums.residualSquares = residualSquares;
    std::array<float, 8> rowX{}, rowY{};
    for (int k = 0; k < pair.count; ++k) {
        const Projected m = project(proj.h, *pair.points, k);
        const RobustResidual r = robustResidual(m.rx, m.ry, robustMode, threshold);
        const Vec3 x{pair.points->first.at(0, k), pair.points->first.at(1, k), 1.0f};
        const float w = m.p.z, w2 = w * w;
        for (int q = 0; q < 8; ++q) {
            const Vec3 d = proj.derivatives[q] * x;
            rowX[q] = (d.x / w - m.p.x * d.z / w2) * r.weight;
            rowY[q] = (d.y / w - m.p.y * d.z / w2) * r.weight;
        }
        addRow(sums, rowX, r.x);
        addRow(sums, rowY, r.y);
    }
    // The products are symmetric; only the upper triangle was summed.
    for (int q = 0; q < 8; ++q)
        for (int r = 0; r < q; ++r) sums.jtj[8 * q + r] = sums.jtj[8 * r + q];
    return sums;
}

// Row in the 4n system of parameter q (0..7) of a pair.
int systemIndex(const AdjustPair& pair, int q) {
    return q < 4 ? 4 * pair.first + q : 4 * pair.second + (q - 4);
}

}  // namespace

ErrorSums errorSums(const std::vector<AdjustPair>& pairs, const std::vector<CameraState>& cameras,
                    int32_t robustMode, float threshold) {
    ErrorSums sums;
    for (const AdjustPair& pair : pairs) {
        const Mat3 h = pairHomography(cameras[pair.first], cameras[pair.second]);
        for (int k = 0; k < pair.count; ++k) {
            const Projected m = project(h, *pair.points, k);
            const RobustResidual r = robustResidual(m.rx, m.ry, robustMode, threshold);
            sums.plain += m.rx * m.rx;
            sums.plain += m.ry * m.ry;
            sums.robust += r.x * r.x;
            sums.robust += r.y * r.y;
        }
    }
    return sums;
}

NormalEquations linearise(const std::vector<AdjustPair>& pairs,
                          const std::vector<CameraState>& cameras, int32_t robustMode,
                          float threshold) {
    const int size = 4 * static_cast<int>(cameras.size());
    NormalEquations eq{Matrix(size, size), Matrix(size, 1), 0.0f};
    for (const AdjustPair& pair : pairs) {
        const PairSums sums =
            pairSums(pair, cameras, robustMode, threshold, eq.residualSquares);
        for (int q = 0; q < 8; ++q) {
            const int row = systemIndex(pair, q);
            for (int r = 0; r < 8; ++r) eq.a.at(row, systemIndex(pair, r)) += sums.jtj[8 * q + r];
            eq.g.at(row) += sums.jtr[q];
        }
        eq.residualSquares = sums.residualSquares;
    }
    return eq;
}

}  // namespace vantorra
