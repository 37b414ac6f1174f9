#include "adjust/normal_equations.h"

#include <algorithm>
#include <array>

#include "adjust/robust_error.h"
#include "numerics/wide_vectors.h"

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

// A match position made ideal through its camera's lens, with the seen position it came from and
// how the ideal one moves with the focal length and the coefficients.
struct IdealPoint {
    float seenX = 0.0f, seenY = 0.0f;
    float x = 0.0f, y = 0.0f;
    Undistortion change;
};

// Whether the camera's positions are used as seen: no lens, and none being estimated.
bool asSeen(const CameraState& c) { return c.lens.none() && c.lensSlot < 0; }

IdealPoint idealPoint(const CameraState& c, const Matrix& positions, int k) {
    IdealPoint p;
    p.seenX = p.x = positions.at(0, k);
    p.seenY = p.y = positions.at(1, k);
    if (asSeen(c)) return p;
    p.change = undistortion(c.lens, c.f, p.x, p.y);
    p.x *= p.change.scale;
    p.y *= p.change.scale;
    return p;
}

struct Projected {
    Vec3 p;       // H (x, y, 1)
    float rx;     // ideal minus predicted position
    float ry;
};

Projected project(const Mat3& h, const IdealPoint& from, const IdealPoint& to) {
    Projected out;
    out.p = h * Vec3{from.x, from.y, 1.0f};
    out.rx = to.x - out.p.x / out.p.z;
    out.ry = to.y - out.p.y / out.p.z;
    return out;
}

constexpr int kMaxColumns = 12;  // two cameras' 4, and two lenses' 2 coefficients each

// The parameters one pair's residuals depend on: the two cameras', then the estimated
// coefficients of the first camera's lens and, when it is another one, of the second's.
struct PairColumns {
    int count = 8;
    std::array<int, kMaxColumns> index{};  // row in the whole system
    int firstLens = -1;   // column of the first camera's first coefficient, or -1
    int secondLens = -1;  // the same for the second camera (equal to firstLens for one lens)
};

PairColumns pairColumns(const AdjustPair& pair, const std::vector<CameraState>& cameras,
                        const LensParameters& lenses) {
    PairColumns c;
    for (int q = 0; q < 4; ++q) {
        c.index[static_cast<size_t>(q)] = 4 * pair.first + q;
        c.index[static_cast<size_t>(4 + q)] = 4 * pair.second + q;
    }
    if (lenses.slots == 0) return c;
    const int base = 4 * static_cast<int>(cameras.size());
    auto addLens = [&](int slot) {
        const int column = c.count;
        for (int e = 0; e < lenses.coefficients; ++e)
            c.index[static_cast<size_t>(c.count++)] = base + lenses.coefficients * slot + e;
        return column;
    };
    const int si = cameras[static_cast<size_t>(pair.first)].lensSlot;
    const int sj = cameras[static_cast<size_t>(pair.second)].lensSlot;
    if (si >= 0) c.firstLens = addLens(si);
    if (sj >= 0) c.secondLens = sj == si ? c.firstLens : addLens(sj);
    return c;
}

float coefficientChange(const Undistortion& u, int e) { return e == 0 ? u.dScaleDk1 : u.dScaleDk2; }

// Derivative sums of one pair: the products of its parameter columns and their products with
// the residuals, each accumulated over the pair's matches before going into A and g.
struct PairSums {
    std::array<float, kMaxColumns * kMaxColumns> jtj{};
    std::array<float, kMaxColumns> jtr{};
};

void addRow(PairSums& sums, const std::array<float, kMaxColumns>& row, int columns, float residual) {
    for (int q = 0; q < columns; ++q) {
        for (int r = q; r < columns; ++r) sums.jtj[kMaxColumns * q + r] += row[q] * row[r];
        sums.jtr[q] += row[q] * residual;
    }
}

// The same for the eight columns of two cameras without lens terms, the common case: with the
// count known the compiler unrolls and vectorises it (each sum still gets its products in turn).
void addCameraRow(PairSums& sums, const std::array<float, kMaxColumns>& row, float residual) {
    for (int q = 0; q < 8; ++q) {
        for (int r = q; r < 8; ++r) sums.jtj[kMaxColumns * q + r] += row[q] * row[r];
        sums.jtr[q] += row[q] * residual;
    }
}

// The derivative rows of the predicted position less the ideal partner, for the parts that come
// from the lenses: the first camera's ideal position moves the prediction through H, the second
// one's moves the partner itself.
void addLensTerms(const PairColumns& columns, const CameraState& ci, const CameraState& cj,
                  const Mat3& h, const Projected& m, const IdealPoint& a, const IdealPoint& b,
                  int coefficients, std::array<float, kMaxColumns>& rowX,
                  std::array<float, kMaxColumns>& rowY) {
    const float w = m.p.z;
    const float px = m.p.x / w, py = m.p.y / w;
    // d(prediction) / d(ideal position in image i)
    const float jxx = (h(0, 0) - px * h(2, 0)) / w, jxy = (h(0, 1) - px * h(2, 1)) / w;
    const float jyx = (h(1, 0) - py * h(2, 0)) / w, jyy = (h(1, 1) - py * h(2, 1)) / w;
    auto throughFirst = [&](int column, float dScale) {
        const float dx = a.seenX * dScale, dy = a.seenY * dScale;
        rowX[static_cast<size_t>(column)] += jxx * dx + jxy * dy;
        rowY[static_cast<size_t>(column)] += jyx * dx + jyy * dy;
    };
    auto throughSecond = [&](int column, float dScale) {
        rowX[static_cast<size_t>(column)] -= b.seenX * dScale;
        rowY[static_cast<size_t>(column)] -= b.seenY * dScale;
    };
    if (!asSeen(ci)) throughFirst(3, a.change.dScaleDf);
    if (!asSeen(cj)) throughSecond(7, b.change.dScaleDf);
    for (int e = 0; e < coefficients; ++e) {
        if (columns.firstLens >= 0) throughFirst(columns.firstLens + e, coefficientChange(a.change, e));
        if (columns.secondLens >= 0) throughSecond(columns.secondLens + e, coefficientChange(b.change, e));
    }
}

// The eight derivative matrices of a pair, element e of matrix q at a[e][q], so that the eight
// camera columns of a match are worked out side by side.
struct DerivativeLanes {
    alignas(32) float a[9][8];
};

DerivativeLanes derivativeLanes(const PairProjection& proj) {
    DerivativeLanes lanes;
    for (int q = 0; q < 8; ++q)
        for (int e = 0; e < 9; ++e) lanes.a[e][q] = proj.derivatives[static_cast<size_t>(q)](e / 3, e % 3);
    return lanes;
}

// The camera columns of one match, d(prediction)/d(parameter q) for q = 0 .. 7: the operations of
// proj.derivatives[q] * (x, y, 1) and of the quotient rule, column by column, for eight at once.
VANTORRA_WIDE_VECTORS
void cameraColumns(const DerivativeLanes& d, float x, float y, const Vec3& p, float* rowX, float* rowY) {
    const float w = p.z, w2 = w * w;
    for (int q = 0; q < 8; ++q) {
        const float dx = 0.0f + d.a[0][q] * x + d.a[1][q] * y + d.a[2][q] * 1.0f;
        const float dy = 0.0f + d.a[3][q] * x + d.a[4][q] * y + d.a[5][q] * 1.0f;
        const float dz = 0.0f + d.a[6][q] * x + d.a[7][q] * y + d.a[8][q] * 1.0f;
        rowX[q] = dx / w - p.x * dz / w2;
        rowY[q] = dy / w - p.y * dz / w2;
    }
}

// squares[2k] and squares[2k + 1] receive the squares of match k's robust residuals, for the
// running sum over the whole residual vector.
PairSums pairSums(const AdjustPair& pair, const std::vector<CameraState>& cameras,
                  int32_t robustMode, float threshold, float* squares,
                  const PairColumns& columns, const LensParameters& lenses) {
    const CameraState& ci = cameras[static_cast<size_t>(pair.first)];
    const CameraState& cj = cameras[static_cast<size_t>(pair.second)];
    const PairProjection proj = pairProjection(ci, cj);
    const DerivativeLanes lanes = derivativeLanes(proj);
    const bool lensTerms = !asSeen(ci) || !asSeen(cj);
    PairSums sums;
    std::array<float, kMaxColumns> rowX{}, rowY{};
    for (int k = 0; k < pair.count; ++k) {
        const IdealPoint a = idealPoint(ci, pair.points->first, k);
        const IdealPoint b = idealPoint(cj, pair.points->second, k);
        const Projected m = project(proj.h, a, b);
        const RobustResidual r = robustResidual(m.rx, m.ry, robustMode, threshold);
        cameraColumns(lanes, a.x, a.y, m.p, rowX.data(), rowY.data());
        for (int q = 8; q < columns.count; ++q) rowX[q] = rowY[q] = 0.0f;
        if (lensTerms) addLensTerms(columns, ci, cj, proj.h, m, a, b, lenses.coefficients, rowX, rowY);
        for (int q = 0; q < columns.count; ++q) {
            rowX[q] *= r.weight;
            rowY[q] *= r.weight;
        }
        if (columns.count == 8) {
            addCameraRow(sums, rowX, r.x);
            addCameraRow(sums, rowY, r.y);
        } else {
            addRow(sums, rowX, columns.count, r.x);
            addRow(sums, rowY, columns.count, r.y);
        }
        squares[2 * k] = r.x * r.x;
        squares[2 * k + 1] = r.y * r.y;
    }
    // The products are symmetric; only the upper triangle was summed.
    for (int q = 0; q < columns.count; ++q)
        for (int r = 0; r < q; ++r) sums.jtj[kMaxColumns * q + r] = sums.jtj[kMaxColumns * r + q];
    return sums;
}

// Runs work(p) for every pair, on the pool's threads when there is one.
template <typename Work>
void forEachPair(size_t pairs, ThreadPool* pool, Work work) {
    if (pool != nullptr && pairs > 1) pool->parallelFor(pairs, [&](size_t p, int) { work(p); });
    else
        for (size_t p = 0; p < pairs; ++p) work(p);
}

// Where each pair's entries start in a list of `perMatch` entries per match, pair after pair.
std::vector<size_t> entryStarts(const std::vector<AdjustPair>& pairs, size_t perMatch) {
    std::vector<size_t> starts(pairs.size() + 1, 0);
    for (size_t p = 0; p < pairs.size(); ++p)
        starts[p + 1] = starts[p] + perMatch * static_cast<size_t>(std::max(pairs[p].count, 0));
    return starts;
}

}  // namespace

// The pairs are worked on apart (on the pool's threads when there is one), each keeping the
// squares of its residuals one by one; the running sums then add them in pair and match order,
// exactly as one pass over the pairs would.
ErrorSums errorSums(const std::vector<AdjustPair>& pairs, const std::vector<CameraState>& cameras,
                    int32_t robustMode, float threshold, ThreadPool* pool) {
    const std::vector<size_t> starts = entryStarts(pairs, 4);
    std::vector<float> squares(starts.back());
    forEachPair(pairs.size(), pool, [&](size_t p) {
        const AdjustPair& pair = pairs[p];
        const CameraState& ci = cameras[static_cast<size_t>(pair.first)];
        const CameraState& cj = cameras[static_cast<size_t>(pair.second)];
        const Mat3 h = pairHomography(ci, cj);
        float* out = &squares[starts[p]];
        for (int k = 0; k < pair.count; ++k, out += 4) {
            const Projected m =
                project(h, idealPoint(ci, pair.points->first, k), idealPoint(cj, pair.points->second, k));
            const RobustResidual r = robustResidual(m.rx, m.ry, robustMode, threshold);
            out[0] = m.rx * m.rx;
            out[1] = m.ry * m.ry;
            out[2] = r.x * r.x;
            out[3] = r.y * r.y;
        }
    });
    ErrorSums sums;
    for (size_t k = 0; k < squares.size(); k += 4) {
        sums.plain += squares[k];
        sums.plain += squares[k + 1];
        sums.robust += squares[k + 2];
        sums.robust += squares[k + 3];
    }
    return sums;
}

NormalEquations linearise(const std::vector<AdjustPair>& pairs,
                          const std::vector<CameraState>& cameras, int32_t robustMode,
                          float threshold, const LensParameters& lenses, ThreadPool* pool) {
    const int size = 4 * static_cast<int>(cameras.size()) + lenses.count();
    NormalEquations eq{Matrix(size, size), Matrix(size, 1), 0.0f};
    const std::vector<size_t> starts = entryStarts(pairs, 2);
    std::vector<float> squares(starts.back());
    std::vector<PairColumns> columns(pairs.size());
    std::vector<PairSums> sums(pairs.size());
    forEachPair(pairs.size(), pool, [&](size_t p) {
        columns[p] = pairColumns(pairs[p], cameras, lenses);
        sums[p] = pairSums(pairs[p], cameras, robustMode, threshold, &squares[starts[p]], columns[p], lenses);
    });
    // Added up in pair order, as one pass over the pairs adds them.
    for (size_t p = 0; p < pairs.size(); ++p) {
        const PairColumns& c = columns[p];
        for (int q = 0; q < c.count; ++q) {
            const int row = c.index[static_cast<size_t>(q)];
            for (int r = 0; r < c.count; ++r)
                eq.a.at(row, c.index[static_cast<size_t>(r)]) += sums[p].jtj[kMaxColumns * q + r];
            eq.g.at(row) += sums[p].jtr[q];
        }
        for (size_t k = starts[p]; k < starts[p + 1]; ++k) eq.residualSquares += squares[k];
    }
    return eq;
}

}  // namespace vantorra
