#include "matching/guided_matches.h"

#include <algorithm>
#include <cmath>

#include "matching/ransac.h"
#include "numerics/pair_projection.h"

namespace vantorra {

namespace {

bool registered(const Camera& c) { return c.R.rows == 3 && c.R.cols == 3 && c.f > 0.0f; }

CameraState stateOf(const Camera& c) { return {Mat3::fromMatrix(c.R), c.f}; }


// Half the diagonal field of view of a camera over its raster, radians.
float halfDiagonal(const Camera& c, const AlignmentRaster& r) {
    return std::atan(0.5f * std::hypot(static_cast<float>(r.rows), static_cast<float>(r.cols)) / (r.scale * c.f));
}

// False when the two views cannot overlap: their axes lie further apart than their half
// diagonals together. Spares the grid of the many pairs of a large panorama that see apart.
bool mayOverlap(const Camera& ci, const Camera& cj, const AlignmentRaster& a, const AlignmentRaster& b) {
    float dot = 0.0f;
    for (int k = 0; k < 3; ++k) dot += ci.R.at(2, k) * cj.R.at(2, k);
    return std::acos(std::clamp(dot, -1.0f, 1.0f)) < halfDiagonal(ci, a) + halfDiagonal(cj, b);
}

struct Work {
    int32_t i = 0, j = 0;
    std::vector<float> from, to;  // aligned positions, x y x y ...
    GuidedPair result;
};

// Aligns one grid patch into the other image and back; true with its partner in (u, v) when it
// lands within the limits and returns to its grid point within the panorama's error (a patch
// that does not has found something else than itself).
bool alignBothWays(const Mat3& h, const Mat3& back, float x, float y, float& u, float& v, const AlignmentRaster& a,
                   const AlignmentRaster& b, const RefinementLimits& limits) {
    const float aRow0 = 0.5f * static_cast<float>(a.rows - 1), aCol0 = 0.5f * static_cast<float>(a.cols - 1);
    const float bRow0 = 0.5f * static_cast<float>(b.rows - 1), bCol0 = 0.5f * static_cast<float>(b.cols - 1);
    float affine[4];
    localAffine(h, x, y, b.scale / a.scale, affine);
    const Alignment there =
        alignPatch(a, x * a.scale + aRow0, y * a.scale + aCol0, b, u * b.scale + bRow0, v * b.scale + bCol0, affine, limits,
                   SearchStart::Predicted);
    if (!there.accepted) return false;
    u = (there.row - bRow0) / b.scale;
    v = (there.col - bCol0) / b.scale;
    localAffine(back, u, v, a.scale / b.scale, affine);
    const Alignment home = alignPatch(b, there.row, there.col, a, x * a.scale + aRow0, y * a.scale + aCol0, affine,
                                      limits, SearchStart::Predicted);
    return home.accepted &&
           std::hypot(home.row - (x * a.scale + aRow0), home.col - (y * a.scale + aCol0)) < limits.sigma * a.scale;
}

void alignGrid(Work& w, const std::vector<Camera>& cameras, const std::vector<AlignmentRaster>& rasters,
               float sigma, int32_t target, const RansacOptions& acceptance) {
    const Camera& ci = cameras[w.i];
    const Camera& cj = cameras[w.j];
    const AlignmentRaster& a = rasters[w.i];
    const AlignmentRaster& b = rasters[w.j];
    std::vector<float> grid, predicted;
    guideGrid(ci, cj, static_cast<int>(static_cast<float>(a.rows) / a.scale),
              static_cast<int>(static_cast<float>(a.cols) / a.scale),
              static_cast<int>(static_cast<float>(b.rows) / b.scale),
              static_cast<int>(static_cast<float>(b.cols) / b.scale), grid, predicted);
    const Mat3 h = pairHomography(stateOf(ci), stateOf(cj));
    const Mat3 back = pairHomography(stateOf(cj), stateOf(ci));
    const RefinementLimits limits{sigma, 0.5f * acceptance.inlierThreshold};
    // Every stride-th point: a weak pair is brought to about the support of the median pair,
    // not beyond it, so that its patches do not outweigh the feature matches of the others.
    const size_t points = grid.size() / 2;
    const size_t stride = std::max<size_t>(1, points / static_cast<size_t>(std::max(target, 1)));
    w.result = {w.i, w.j, static_cast<int32_t>((points + stride - 1) / stride), 0};
    const int32_t needed = minInliersFor(w.result.candidates, acceptance);
    // A pair stops as soon as so many patches were refused that the rest cannot make it pass.
    int32_t refused = 0;
    for (size_t k = 0; k + 1 < grid.size() && w.result.candidates - refused > needed; k += 2 * stride) {
        float u = predicted[k], v = predicted[k + 1];
        if (!alignBothWays(h, back, grid[k], grid[k + 1], u, v, a, b, limits)) {
            ++refused;
            continue;
        }
        w.from.insert(w.from.end(), {grid[k], grid[k + 1]});
        w.to.insert(w.to.end(), {u, v});
    }
    const int32_t aligned = static_cast<int32_t>(w.from.size() / 2);
    if (aligned > needed) w.result.added = aligned;
}

// Appends the aligned patches of w to its pair's matches.
void append(MatchTable& matches, const Work& w) {
    MatchPoints& p = matches.placed(w.i, w.j) ? matches.points(w.i, w.j) : matches.place(w.i, w.j);
    const int32_t old = matches.count(w.i, w.j), added = w.result.added;
    MatchPoints grown{Matrix(2, old + added), Matrix(2, old + added)};
    std::copy(p.first.data.begin(), p.first.data.begin() + 2 * old, grown.first.data.begin());
    std::copy(p.second.data.begin(), p.second.data.begin() + 2 * old, grown.second.data.begin());
    std::copy(w.from.begin(), w.from.end(), grown.first.data.begin() + 2 * old);
    std::copy(w.to.begin(), w.to.end(), grown.second.data.begin() + 2 * old);
    p = std::move(grown);
    matches.count(w.i, w.j) = old + added;
}

}  // namespace

bool carry(const Mat3& h, const Camera& from, const Camera& to, float x, float y, float& u, float& v) {
    undistortPosition(from.lens, from.f, x, y);
    const Vec3 p = h * Vec3{x, y, 1.0f};
    if (!(p.z > 0.0f)) return false;
    u = p.x / p.z;
    v = p.y / p.z;
    distortPosition(to.lens, to.f, u, v);
    return true;
}

bool insideCentred(float x, float y, int rows, int cols, float margin) {
    return std::fabs(x) < 0.5f * static_cast<float>(rows - 1) - margin &&
           std::fabs(y) < 0.5f * static_cast<float>(cols - 1) - margin;
}

int32_t medianSupport(const MatchTable& matches, const std::vector<int32_t>& component) {
    std::vector<int32_t> counts;
    for (const int32_t i : component)
        for (const int32_t j : component)
            if (i != j && matches.count(i, j) > 0) counts.push_back(matches.count(i, j));
    if (counts.empty()) return 0;
    const auto middle = counts.begin() + static_cast<std::ptrdiff_t>(counts.size() / 2);
    std::nth_element(counts.begin(), middle, counts.end());
    return *middle;
}

std::vector<std::pair<int32_t, int32_t>> weakPairs(const MatchTable& matches, const std::vector<int32_t>& component,
                                                   int32_t floor) {
    const int32_t median = medianSupport(matches, component);
    std::vector<std::pair<int32_t, int32_t>> weak;
    for (const int32_t i : component)
        for (const int32_t j : component)
            if (i != j && (2 * matches.count(i, j) < median || matches.count(i, j) < floor)) weak.emplace_back(i, j);
    return weak;
}

void guideGrid(const Camera& ci, const Camera& cj, int rowsI, int colsI, int rowsJ, int colsJ,
               std::vector<float>& from, std::vector<float>& to) {
    from.clear();
    to.clear();
    const Mat3 h = pairHomography(stateOf(ci), stateOf(cj));
    const float margin = static_cast<float>(kPatchRadius + 2);
    const float halfRows = 0.5f * static_cast<float>(rowsI - 1), halfCols = 0.5f * static_cast<float>(colsI - 1);
    for (float x = -halfRows + margin; x < halfRows - margin; x += kGuideSpacing)
        for (float y = -halfCols + margin; y < halfCols - margin; y += kGuideSpacing) {
            float u = 0.0f, v = 0.0f;
            if (!carry(h, ci, cj, x, y, u, v) || !insideCentred(u, v, rowsJ, colsJ, 2.0f * margin)) continue;
            from.insert(from.end(), {x, y});
            to.insert(to.end(), {u, v});
        }
}

std::vector<GuidedPair> addGuidedMatches(MatchTable& matches, const std::vector<Camera>& cameras,
                                         const std::vector<int32_t>& component,
                                         const std::vector<AlignmentRaster>& rasters, float sigma,
                                         const RansacOptions& acceptance, ThreadPool* pool,
                                         const std::vector<float>* pairSigma, float widest) {
    std::vector<Work> work;
    if (!(sigma > 0.0f)) return {};
    for (const auto& [i, j] : weakPairs(matches, component, kWeakSupportAlphas * minInliersFor(0, acceptance)))
        if (registered(cameras[i]) && registered(cameras[j]) && !rasters[i].empty() && !rasters[j].empty() &&
            mayOverlap(cameras[i], cameras[j], rasters[i], rasters[j]))
            work.push_back(Work{i, j, {}, {}, {}});
    const int32_t target = medianSupport(matches, component);
    const auto limitOf = [&](const Work& w) {
        if (pairSigma == nullptr) return sigma;
        const float own = (*pairSigma)[static_cast<size_t>(w.i) * static_cast<size_t>(matches.size()) + static_cast<size_t>(w.j)];
        // A pair without matches has no precision of its own to keep.
        return own > 0.0f ? std::clamp(own, sigma, widest) : std::max(sigma, widest);
    };
    auto run = [&](size_t k, int) { alignGrid(work[k], cameras, rasters, limitOf(work[k]), target, acceptance); };
    if (pool != nullptr) pool->parallelFor(work.size(), run);
    else
        for (size_t k = 0; k < work.size(); ++k) run(k, 0);
    std::vector<GuidedPair> out;
    for (const Work& w : work) {
        if (w.result.candidates == 0) continue;
        if (w.result.added > 0) append(matches, w);
        out.push_back(w.result);
    }
    return out;
}

}  // namespace vantorra
