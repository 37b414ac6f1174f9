#include "matching/ransac.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ostream>
#include <utility>

#include "matching/random.h"
#include "numerics/wide_vectors.h"

namespace vantorra {

Similarity Similarity::fromMatrix(const Matrix& m) {
    return {m.at(0, 0), m.at(0, 1), m.at(0, 2), m.at(1, 2)};
}

Matrix Similarity::toMatrix() const {
    const float v[9] = {a, b, tx, -b, a, ty, 0, 0, 1};
    return Matrix::fromRowMajor(v, 3, 3);
}

float Similarity::squaredScale() const { return a * a - b * -b; }

// The 2x2 system [[dx, dy], [dy, x2 - x1]] (a, b) = (du, dv) solved exactly as the Matrix solver
// does it (partial pivoting, then back substitution, all in float), so a hypothesis here is
// bit-for-bit the one the camera model would give.
Similarity fitSimilarity(float x1, float y1, float u1, float v1, float x2, float y2, float u2,
                         float v2, float minSampleDistance) {
    const float dx = x1 - x2, dy = y1 - y2, du = u1 - u2, dv = v1 - v2;
    if (std::sqrt(dx * dx + dy * dy) < minSampleDistance ||
        std::sqrt(du * du + dv * dv) < minSampleDistance)
        return {};
    float m00 = dx, m01 = dy, m10 = dy, m11 = x2 - x1;
    float r0 = du, r1 = dv;
    if (std::fabs(m10) > std::fabs(m00)) {
        std::swap(m00, m10);
        std::swap(m01, m11);
        std::swap(r0, r1);
    }
    const float q = m10 / m00;
    m11 -= q * m01;
    r1 -= q * r0;
    const float sb = (r1 - 0.0f) / m11;
    float s = 0.0f;
    s += m01 * sb;
    const float sa = (r0 - s) / m00;
    return {sa, sb, u1 - sa * x1 - sb * y1, v1 + sb * x1 - sa * y1};
}

Similarity invertSimilarity(const Similarity& h) {
    const float s = h.a * h.a + h.b * h.b;
    return {h.a / s, -h.b / s, (h.b * h.ty - h.a * h.tx) / s, (-h.b * h.tx - h.a * h.ty) / s};
}

namespace {

struct Mapped {
    float x, y;
};

inline Mapped apply(const Similarity& h, float x, float y) {
    return {h.a * x + h.b * y + h.tx, h.a * y - h.b * x + h.ty};
}

inline bool strictlyInside(const Mapped& p, int32_t rows, int32_t cols) {
    return 0.0f < p.x && p.x < static_cast<float>(rows) && 0.0f < p.y &&
           p.y < static_cast<float>(cols);
}

}  // namespace

namespace {

// Flags the columns [first, end) that lie within sqrt(t2) of their partner under h and under its
// inverse; returns how many do not. Both directions are worked out for every column without a
// branch, so the compiler takes a vector of columns at a time; each column gets the operations
// it got alone, so the flags are the same.
VANTORRA_WIDE_VECTORS
int32_t markInliers(const float* p, const float* q, int32_t first, int32_t end, const Similarity& h,
                    const Similarity& back, float t2, uint8_t* flags) {
    const float a = h.a, b = h.b, tx = h.tx, ty = h.ty;
    const float ba = back.a, bb = back.b, btx = back.tx, bty = back.ty;
    int32_t outliers = 0;
    for (int32_t k = first; k < end; ++k) {
        const float px = p[2 * k], py = p[2 * k + 1], qx = q[2 * k], qy = q[2 * k + 1];
        const float fx = a * px + b * py + tx - qx, fy = a * py - b * px + ty - qy;
        const float bx = ba * qx + bb * qy + btx - px, by = ba * qy - bb * qx + bty - py;
        const bool far = (fx * fx + fy * fy > t2) | (bx * bx + by * by > t2);
        flags[k] = static_cast<uint8_t>(!far);
        outliers += far;
    }
    return outliers;
}

}  // namespace

int32_t countInliers(const MatchPoints& points, int32_t n, const Similarity& h, float threshold,
                     std::vector<uint8_t>& flags, int32_t toBeat) {
    flags.assign(static_cast<size_t>(n), 0);
    const float* p = points.first.data.data();
    const float* q = points.second.data.data();
    const float t2 = threshold * threshold;
    const Similarity back = invertSimilarity(h);
    // A block of columns at a time, so that the count can be given up early.
    constexpr int32_t kBlock = 64;
    const int32_t mostOutliers = n - toBeat;  // this many and the count cannot exceed toBeat
    int32_t outliers = 0;
    for (int32_t first = 0; first < n; first += kBlock) {
        outliers += markInliers(p, q, first, std::min(n, first + kBlock), h, back, t2, flags.data());
        if (toBeat >= 0 && outliers >= mostOutliers) return n - outliers;
    }
    return n - outliers;
}

int32_t countOverlap(const MatchPoints& points, int32_t n, const Similarity& h, int32_t rowsI,
                     int32_t colsI, int32_t rowsJ, int32_t colsJ) {
    const float* p = points.first.data.data();
    const float* q = points.second.data.data();
    const Similarity back = invertSimilarity(h);
    int32_t kept = 0;
    for (int32_t k = 0; k < n; ++k)
        if (strictlyInside(apply(h, p[2 * k], p[2 * k + 1]), rowsJ, colsJ) &&
            strictlyInside(apply(back, q[2 * k], q[2 * k + 1]), rowsI, colsI))
            ++kept;
    return kept;
}

uint64_t ransacDraws(int32_t n, const RansacOptions& options) {
    return n > 0 && options.ransacIterations > 0 ? 2 * static_cast<uint64_t>(options.ransacIterations) : 0;
}

std::vector<int32_t> ransacPair(const MatchPoints& points, int32_t n, const RansacOptions& options,
                                Matrix& model, RandomStream& random) {
    model.resize(3, 3);
    std::vector<int32_t> inliers;
    if (n <= 0) return inliers;
    const float* p = points.first.data.data();
    const float* q = points.second.data.data();
    const float maxScale2 = options.maxScaleRatio * options.maxScaleRatio;
    const float minScale2 = 1.0f / maxScale2;
    std::vector<uint8_t> flags;
    std::vector<uint8_t> bestFlags;
    int32_t best = 0;
    for (int32_t iteration = 0; iteration < options.ransacIterations; ++iteration) {
        const int32_t m1 = random.next() % n;
        const int32_t m2 = random.next() % n;
        const Similarity h =
            fitSimilarity(p[2 * m1], p[2 * m1 + 1], q[2 * m1], q[2 * m1 + 1], p[2 * m2],
                          p[2 * m2 + 1], q[2 * m2], q[2 * m2 + 1], options.minSampleDistance);
        const float s2 = h.squaredScale();
        if (!(minScale2 < s2 && s2 < maxScale2)) continue;
        const int32_t k = countInliers(points, n, h, options.inlierThreshold, flags, best);
        if (k > best) {
            best = k;
            std::swap(bestFlags, flags);
            model = h.toMatrix();
        }
    }
    for (int32_t k = 0; k < static_cast<int32_t>(bestFlags.size()); ++k)
        if (bestFlags[k]) inliers.push_back(k);
    return inliers;
}

int32_t minInliersFor(int32_t nOverlap, const RansacOptions& options) {
    return static_cast<int32_t>(static_cast<float>(nOverlap) * options.beta + options.alpha);
}

namespace {

// Keeps only the listed columns of both position lists, in their order.
void keepColumns(MatchPoints& points, const std::vector<int32_t>& columns) {
    const int32_t n = static_cast<int32_t>(columns.size());
    MatchPoints kept{Matrix(2, n), Matrix(2, n)};
    for (int32_t k = 0; k < n; ++k)
        for (int r = 0; r < 2; ++r) {
            kept.first.at(r, k) = points.first.at(r, columns[k]);
            kept.second.at(r, k) = points.second.at(r, columns[k]);
        }
    points = std::move(kept);
}

// Image numbers ordered by their raw count with image i, largest first; equal counts keep
// ascending image numbers.
std::vector<int32_t> partnersByCount(const MatchTable& matches, int32_t i) {
    std::vector<int32_t> partners(static_cast<size_t>(matches.size()));
    for (int32_t j = 0; j < matches.size(); ++j) partners[j] = j;
    std::stable_sort(partners.begin(), partners.end(), [&](int32_t x, int32_t y) {
        return matches.count(i, x) > matches.count(i, y);
    });
    return partners;
}

// One ordered pair to verify, with where its draws start in the run's random sequence.
struct PairCheck {
    int32_t i = 0, j = 0;
    uint64_t firstDraw = 0;
    std::vector<int32_t> inliers;
    int32_t nOverlap = 0;
};

// Every image's candidateImages best-matched partners, in the order one thread verifies them.
// Verifying a pair changes only its own count, so every list can be drawn up before the first.
std::vector<PairCheck> pairsToCheck(const MatchTable& matches, const RansacOptions& options,
                                    uint64_t& draws) {
    const int32_t n = matches.size();
    const int32_t m = std::min(options.candidateImages, n - 1);
    std::vector<PairCheck> checks;
    draws = 0;
    for (int32_t i = 0; i < n; ++i) {
        const std::vector<int32_t> partners = partnersByCount(matches, i);
        for (int32_t c = 0; c < m; ++c) {
            PairCheck check;
            check.i = i;
            check.j = partners[c];
            check.firstDraw = draws;
            draws += ransacDraws(matches.count(i, check.j), options);
            checks.push_back(std::move(check));
        }
    }
    return checks;
}

void runCheck(const MatchTable& matches, PairCheck& check, const std::vector<ImageSize>& sizes,
              const RansacOptions& options, const RandomStream& sequence) {
    const int32_t n = matches.count(check.i, check.j);
    if (n <= 0) return;  // an empty pair cannot be sampled: it is rejected with nothing counted
    const MatchPoints& points = matches.points(check.i, check.j);
    RandomStream random = sequence.ahead(check.firstDraw);
    Matrix model;
    check.inliers = ransacPair(points, n, options, model, random);
    const ImageSize& a = sizes[check.i];
    const ImageSize& b = sizes[check.j];
    check.nOverlap = countOverlap(points, n, Similarity::fromMatrix(model), a.height, a.width, b.height, b.width);
}

// Prints the pair's line; true when accepted (the pair then holds its inliers).
bool applyCheck(MatchTable& matches, const PairCheck& check, const RansacOptions& options, std::ostream& log) {
    const int32_t n = matches.count(check.i, check.j);
    const int32_t nInliers = static_cast<int32_t>(check.inliers.size());
    const int32_t minNInliers = minInliersFor(check.nOverlap, options);
    const bool accept = n > 0 && nInliers > minNInliers;
    log << " nInliers = " << nInliers << ", nOverlap = " << check.nOverlap << ", minNInliers = " << minNInliers
        << (accept ? " - ACCEPT" : " - REJECT") << std::endl;
    if (accept) {
        keepColumns(matches.points(check.i, check.j), check.inliers);
        matches.count(check.i, check.j) = nInliers;
    }
    return accept;
}

}  // namespace

namespace {

bool passes(const PairCheck& check, const MatchTable& matches, const RansacOptions& options) {
    return matches.count(check.i, check.j) > 0 &&
           static_cast<int32_t>(check.inliers.size()) > minInliersFor(check.nOverlap, options);
}

// Runs the checks from `first` on in the pool; only the first checks report progress.
void runChecks(const MatchTable& matches, std::vector<PairCheck>& checks, size_t first,
               const std::vector<ImageSize>& sizes, const RansacOptions& options, const RandomStream& random,
               ProgressReporter& progress, ThreadPool* pool) {
    const int32_t n = matches.size();
    const size_t count = checks.size() - first;
    std::atomic<size_t> done{0};
    auto check = [&](size_t k, int) {
        runCheck(matches, checks[first + k], sizes, options, random);
        ++done;
    };
    auto report = [&] {
        const size_t finished = done.load();
        if (count > 0 && first == 0)
            progress.report(ProgressReporter::Ransac, static_cast<int>(finished * static_cast<size_t>(n - 1) / count), n - 1);
    };
    if (pool != nullptr) pool->parallelFor(count, check, report);
    else
        for (size_t k = 0; k < count; ++k) {
            check(k, 0);
            report();
        }
}

// Images that no check passed, in either direction: with many photographs an image's best raw
// counts can come from views it does not overlap (a soft image's few features match anything a
// little), so its true neighbours were never among its first candidates.
std::vector<int32_t> unheldImages(const MatchTable& matches, const std::vector<PairCheck>& checks,
                                  const RansacOptions& options) {
    std::vector<uint8_t> held(static_cast<size_t>(matches.size()), 0);
    for (const PairCheck& c : checks)
        if (passes(c, matches, options)) held[static_cast<size_t>(c.i)] = held[static_cast<size_t>(c.j)] = 1;
    std::vector<int32_t> unheld;
    for (int32_t i = 0; i < matches.size(); ++i)
        if (!held[static_cast<size_t>(i)]) unheld.push_back(i);
    return unheld;
}

// The further checks of an unheld image u: every partner it has more raw matches with than any
// pair can be accepted with, in both directions, that was not checked yet; best raw count first.
void addFurtherChecks(const MatchTable& matches, int32_t u, const RansacOptions& options,
                      std::vector<uint8_t>& checked, std::vector<PairCheck>& checks, uint64_t& draws) {
    const int32_t n = matches.size();
    const int32_t floor = minInliersFor(0, options);
    for (const int32_t j : partnersByCount(matches, u))
        for (const auto& [a, b] : {std::pair{u, j}, std::pair{j, u}}) {
            uint8_t& seen = checked[static_cast<size_t>(a) * n + b];
            if (a == b || seen || matches.count(a, b) <= floor) continue;
            seen = 1;
            PairCheck check;
            check.i = a;
            check.j = b;
            check.firstDraw = draws;
            draws += ransacDraws(matches.count(a, b), options);
            checks.push_back(std::move(check));
        }
}

}  // namespace

std::vector<ClosestCheck> verifyPairs(MatchTable& matches, const std::vector<ImageSize>& reducedSizes,
                                      const RansacOptions& options, RandomStream& random,
                                      ProgressReporter& progress, std::ostream& log, ThreadPool* pool,
                                      MatchTable* unaccepted) {
    const int32_t n = matches.size();
    log << "[ Performing RANSAC ]" << std::endl;
    if (unaccepted != nullptr) unaccepted->reset(n);
    uint64_t draws = 0;
    std::vector<PairCheck> checks = pairsToCheck(matches, options, draws);
    // Each pair draws from its own place in the sequence, so the pairs may be verified in any
    // order on any thread and still see the draws one thread in order would give them.
    runChecks(matches, checks, 0, reducedSizes, options, random, progress, pool);
    const size_t firstFurther = checks.size();
    const std::vector<int32_t> unheld = unheldImages(matches, checks, options);
    if (!unheld.empty() && n > options.candidateImages + 1) {
        std::vector<uint8_t> checked(static_cast<size_t>(n) * n, 0);
        for (const PairCheck& c : checks) checked[static_cast<size_t>(c.i) * n + c.j] = 1;
        for (const int32_t u : unheld) addFurtherChecks(matches, u, options, checked, checks, draws);
        runChecks(matches, checks, firstFurther, reducedSizes, options, random, progress, pool);
    }
    random.skip(draws);
    // A row's pairs are decided from that row alone, so its unaccepted pairs are cleared as soon
    // as it is done. The further checks of unheld images follow the first ones of their row.
    std::stable_sort(checks.begin() + static_cast<std::ptrdiff_t>(firstFurther), checks.end(),
                     [](const PairCheck& x, const PairCheck& y) { return x.i < y.i; });
    std::vector<ClosestCheck> closest(static_cast<size_t>(n));
    for (const PairCheck& c : checks) {
        if (matches.count(c.i, c.j) <= 0) continue;  // nothing to verify
        const ClosestCheck candidate{c.j, static_cast<int32_t>(c.inliers.size()), minInliersFor(c.nOverlap, options)};
        ClosestCheck& best = closest[static_cast<size_t>(c.i)];
        if (best.j < 0 || candidate.inliers - candidate.needed > best.inliers - best.needed) best = candidate;
    }
    std::vector<uint8_t> accepted(static_cast<size_t>(n), 0);
    auto next = checks.cbegin();
    auto further = checks.cbegin() + static_cast<std::ptrdiff_t>(firstFurther);
    for (int32_t i = 0; i < n; ++i) {
        log << "  Image " << i << std::endl;
        std::fill(accepted.begin(), accepted.end(), 0);
        for (; next != checks.cbegin() + static_cast<std::ptrdiff_t>(firstFurther) && next->i == i; ++next)
            if (applyCheck(matches, *next, options, log)) accepted[static_cast<size_t>(next->j)] = 1;
        for (; further != checks.cend() && further->i == i; ++further)
            if (applyCheck(matches, *further, options, log)) accepted[static_cast<size_t>(further->j)] = 1;
        for (int32_t j = 0; j < n; ++j) {
            if (accepted[static_cast<size_t>(j)]) continue;
            if (unaccepted != nullptr && matches.count(i, j) > minInliersFor(0, options)) {
                unaccepted->place(i, j) = std::move(matches.points(i, j));
                unaccepted->count(i, j) = matches.count(i, j);
            }
            matches.clear(i, j);
        }
    }
    matches.dropEmpty();
    return closest;
}

}  // namespace vantorra
