#include "adjust/camera_verification.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "adjust/focal_search.h"
#include "adjust/match_reselection.h"
#include "matching/guided_matches.h"
#include "matching/random.h"
#include "matching/ransac.h"
#include "numerics/pair_projection.h"

namespace vantorra {

namespace {

CameraState stateOf(const Camera& c) { return {Mat3::fromMatrix(c.R), c.f}; }

Vec3 unit(const Vec3& v) { return v / norm(v); }

// Columns `keep` of `points`, in order.
MatchPoints columns(const MatchPoints& points, const std::vector<int32_t>& keep) {
    const int32_t n = static_cast<int32_t>(keep.size());
    MatchPoints kept{Matrix(2, n), Matrix(2, n)};
    for (int32_t k = 0; k < n; ++k)
        for (int r = 0; r < 2; ++r) {
            kept.first.at(r, k) = points.first.at(r, keep[static_cast<size_t>(k)]);
            kept.second.at(r, k) = points.second.at(r, keep[static_cast<size_t>(k)]);
        }
    return kept;
}

}  // namespace

CameraCheck checkUnderCameras(const MatchPoints& raw, int32_t count, int32_t i, int32_t j, const Camera& ci,
                              const Camera& cj, const ImageSize& sizeI, const ImageSize& sizeJ,
                              const RansacOptions& acceptance, std::vector<int32_t>& inliers) {
    CameraCheck check{i, j, count, 0, 0, 0};
    inliers.clear();
    const PairTransfer transfer(ci, cj);
    const Mat3 forward = pairHomography(stateOf(ci), stateOf(cj));
    const Mat3 backward = pairHomography(stateOf(cj), stateOf(ci));
    // A feature's matches into one image are neighbouring columns, and at most one of them is its
    // partner: the rule counts features, not matches, both inside the overlap and among the inliers.
    bool featureInOverlap = false, featureAgrees = false;
    for (int32_t k = 0; k < count; ++k) {
        const float x = raw.first.at(0, k), y = raw.first.at(1, k);
        const float u = raw.second.at(0, k), v = raw.second.at(1, k);
        if (k == 0 || x != raw.first.at(0, k - 1) || y != raw.first.at(1, k - 1))
            featureInOverlap = featureAgrees = false;
        float pu = 0.0f, pv = 0.0f, px = 0.0f, py = 0.0f;
        if (!featureInOverlap && carry(forward, ci, cj, x, y, pu, pv) && carry(backward, cj, ci, u, v, px, py) &&
            insideCentred(pu, pv, sizeJ.height, sizeJ.width, 0.0f) &&
            insideCentred(px, py, sizeI.height, sizeI.width, 0.0f))
            ++check.overlap, featureInOverlap = true;
        const TransferError e = transfer(raw, k);
        if (!(std::max(e.forward, e.backward) < acceptance.inlierThreshold)) continue;
        inliers.push_back(k);
        if (!featureAgrees) ++check.inliers, featureAgrees = true;
    }
    check.needed = minInliersFor(check.overlap, acceptance);
    return check;
}

bool rotationFromTwoRays(const Vec3& a1, const Vec3& a2, const Vec3& b1, const Vec3& b2, Mat3& r) {
    // Below this sine the second direction fixes the roll about the first too loosely.
    constexpr float kMinSine = 1e-3f;
    const Vec3 an = cross(a1, a2), bn = cross(b1, b2);
    if (!(norm(an) > kMinSine) || !(norm(bn) > kMinSine)) return false;
    const Vec3 a[3] = {a1, unit(an), cross(a1, unit(an))};
    const Vec3 b[3] = {b1, unit(bn), cross(b1, unit(bn))};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const auto part = [](const Vec3& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; };
            float sum = 0.0f;
            for (int t = 0; t < 3; ++t) sum += part(b[t], row) * part(a[t], col);
            r(row, col) = sum;
        }
    return true;
}

namespace {

// A position of the image being placed and the world direction its partner sees there.
struct RayMatch {
    float x = 0.0f, y = 0.0f;
    Vec3 world;
};

// The raw or verified matches of u with a registered partner r, in the direction they are held.
struct PartnerPair {
    int32_t first = 0, second = 0;
    bool fromUnaccepted = false;
};

Vec3 worldDirection(const Camera& c, float x, float y) {
    undistortPosition(c.lens, c.f, x, y);
    return unit(transposed(Mat3::fromMatrix(c.R)) * Vec3{x / c.f, y / c.f, 1.0f});
}

// The pairs of u with registered images, with every match as a ray; the focal length of the
// partner with the most matches.
std::vector<PartnerPair> partnersOf(int32_t u, const MatchTable& matches, const MatchTable& unaccepted,
                                    const std::vector<Camera>& cameras, std::vector<RayMatch>& rays, float& focal) {
    std::vector<PartnerPair> pairs;
    rays.clear();
    int32_t most = 0;
    for (int32_t r = 0; r < matches.size(); ++r) {
        if (r == u || !isRegistered(cameras[static_cast<size_t>(r)])) continue;
        int32_t withR = 0;
        for (const auto& [a, b] : {std::pair{u, r}, std::pair{r, u}})
            for (const MatchTable* table : {&matches, &unaccepted}) {
                const int32_t count = table->count(a, b);
                if (count <= 0) continue;
                pairs.push_back({a, b, table == &unaccepted});
                const MatchPoints& p = table->points(a, b);
                const Matrix& own = a == u ? p.first : p.second;
                const Matrix& other = a == u ? p.second : p.first;
                for (int32_t k = 0; k < count; ++k)
                    rays.push_back({own.at(0, k), own.at(1, k),
                                    worldDirection(cameras[static_cast<size_t>(r)], other.at(0, k), other.at(1, k))});
                withR += count;
            }
        if (withR > most) most = withR, focal = cameras[static_cast<size_t>(r)].f;
    }
    return pairs;
}

int32_t countRayInliers(const std::vector<RayMatch>& rays, const Mat3& r, float f, float threshold) {
    int32_t inliers = 0;
    for (const RayMatch& m : rays) {
        const Vec3 p = r * m.world;
        if (p.z > 0.0f && std::hypot(f * p.x / p.z - m.x, f * p.y / p.z - m.y) < threshold) ++inliers;
    }
    return inliers;
}

// The rotation that carries the world directions of the rays within `threshold` closest onto
// their camera directions (least squares over the unit vectors); false without three of them.
bool fitInliers(const std::vector<RayMatch>& rays, float f, float threshold, Mat3& r) {
    std::array<double, 9> covariance{};
    int32_t used = 0;
    for (const RayMatch& m : rays) {
        const Vec3 p = r * m.world;
        if (!(p.z > 0.0f) || !(std::hypot(f * p.x / p.z - m.x, f * p.y / p.z - m.y) < threshold)) continue;
        const Vec3 b = unit({m.x / f, m.y / f, 1.0f});
        const float bs[3] = {b.x, b.y, b.z}, as[3] = {m.world.x, m.world.y, m.world.z};
        for (size_t k = 0; k < 9; ++k) covariance[k] += static_cast<double>(bs[k / 3]) * as[k % 3];
        ++used;
    }
    if (used < 3) return false;
    r = rotationFromCovariance(covariance);
    return true;
}

// The rotation most rays agree with, from `iterations` two-ray samples of a stream of u's own.
bool placeByRays(const std::vector<RayMatch>& rays, float f, int32_t u, const RansacOptions& acceptance, Mat3& best) {
    const size_t n = rays.size();
    if (n < 2 || !(f > 0.0f)) return false;
    RandomStream random(static_cast<uint32_t>(u) + 1u);
    int32_t most = 0;
    for (int32_t it = 0; it < acceptance.ransacIterations; ++it) {
        const auto draw = [&] { return (static_cast<size_t>(random.next()) << 15 | static_cast<size_t>(random.next())) % n; };
        const size_t s = draw(), t = draw();
        if (s == t) continue;
        const RayMatch& a = rays[s];
        const RayMatch& b = rays[t];
        Mat3 r;
        if (!rotationFromTwoRays(a.world, b.world, unit({a.x / f, a.y / f, 1.0f}), unit({b.x / f, b.y / f, 1.0f}), r))
            continue;
        const int32_t inliers = countRayInliers(rays, r, f, acceptance.inlierThreshold);
        if (inliers > most) most = inliers, best = r;
    }
    // Two rays place the camera only as well as those two are measured; the fit to all that
    // agree places it better, and may then gather more.
    for (int round = 0; round < 3 && most > 0; ++round) {
        Mat3 r = best;
        if (!fitInliers(rays, f, acceptance.inlierThreshold, r)) break;
        const int32_t inliers = countRayInliers(rays, r, f, acceptance.inlierThreshold);
        if (inliers < most) break;
        most = inliers, best = r;
    }
    return most > 0;
}

}  // namespace

bool CameraVerification::changed() const {
    return !placed.empty() || std::any_of(pairs.begin(), pairs.end(), [](const CameraCheck& c) { return c.accepted(); });
}

namespace {

struct Tables {
    MatchTable& matches;
    MatchTable& unaccepted;
    std::vector<Camera>& cameras;
    const std::vector<ImageSize>& sizes;
    const RansacOptions& acceptance;
};

// Checks (i, j) of the unaccepted table and, when it passes (or `take`), moves its inliers into
// `matches`.
CameraCheck checkAndTake(Tables& t, int32_t i, int32_t j, bool take) {
    std::vector<int32_t> inliers;
    const CameraCheck check = checkUnderCameras(t.unaccepted.points(i, j), t.unaccepted.count(i, j), i, j,
                                                t.cameras[static_cast<size_t>(i)], t.cameras[static_cast<size_t>(j)],
                                                t.sizes[static_cast<size_t>(i)], t.sizes[static_cast<size_t>(j)],
                                                t.acceptance, inliers);
    if (check.accepted() || (take && check.inliers > 0)) {
        t.matches.place(i, j) = columns(t.unaccepted.points(i, j), inliers);
        t.matches.count(i, j) = check.inliers;
        t.unaccepted.clear(i, j);
    }
    return check;
}

// Tries to place u; true when a pair passed in the place its rays give. `best` is its closest check.
bool placeImage(Tables& t, int32_t u, CameraVerification& out, CameraCheck& best) {
    std::vector<RayMatch> rays;
    float focal = 0.0f;
    const std::vector<PartnerPair> partners = partnersOf(u, t.matches, t.unaccepted, t.cameras, rays, focal);
    Mat3 r;
    if (!placeByRays(rays, focal, u, t.acceptance, r)) return false;
    Camera& camera = t.cameras[static_cast<size_t>(u)];
    camera.R = r.toMatrix();
    camera.f = focal;
    std::vector<int32_t> inliers;
    bool held = false;
    CameraCheck together{u, -1, 0, 0, 0, 0};
    for (const PartnerPair& p : partners) {
        const MatchTable& table = p.fromUnaccepted ? t.unaccepted : t.matches;
        const CameraCheck check = checkUnderCameras(table.points(p.first, p.second), table.count(p.first, p.second),
                                                    p.first, p.second, t.cameras[static_cast<size_t>(p.first)],
                                                    t.cameras[static_cast<size_t>(p.second)],
                                                    t.sizes[static_cast<size_t>(p.first)],
                                                    t.sizes[static_cast<size_t>(p.second)], t.acceptance, inliers);
        if (best.first < 0 || check.inliers - check.needed > best.inliers - best.needed) best = check;
        held = held || check.accepted();
        together.raw += check.raw, together.inliers += check.inliers, together.overlap += check.overlap;
    }
    // The image's one rotation is fitted to all its partners at once: chance agreement with it is
    // guarded once (alpha), and the matches in all the overlaps together share beta.
    together.needed = minInliersFor(together.overlap, t.acceptance);
    if (!held && together.accepted()) {
        held = true;
        out.together.push_back(together);
    }
    if (held) {
        out.placed.push_back(u);
        return true;
    }
    camera.R = Matrix();
    camera.f = 0.0f;
    return false;
}

}  // namespace

CameraVerification verifyUnderCameras(MatchTable& matches, MatchTable& unaccepted, std::vector<Camera>& cameras,
                                      const std::vector<int32_t>& component, const std::vector<ImageSize>& sizes,
                                      const RansacOptions& acceptance) {
    CameraVerification out;
    const int32_t n = matches.size();
    if (unaccepted.size() != n) unaccepted.reset(n);
    Tables t{matches, unaccepted, cameras, sizes, acceptance};
    // A pair verified the other way round holds its features already, and its matches this way
    // would weigh the same features twice, unless it is weak (guided_matches.h: fewer than half
    // the matches of the median pair).
    const std::vector<int32_t> heldBefore = pairCounts(matches);
    const int32_t median = medianSupport(matches, component);
    std::vector<uint8_t> in(static_cast<size_t>(n), 0);
    for (const int32_t i : component) in[static_cast<size_t>(i)] = 1;
    // An image placed may hold the next: passes until one places nothing.
    std::vector<CameraCheck> closest(static_cast<size_t>(n), CameraCheck{-1, -1, 0, 0, 0, 0});
    for (bool placedAny = true; placedAny;) {
        placedAny = false;
        for (int32_t u = 0; u < n; ++u)
            if (!in[static_cast<size_t>(u)] && placeImage(t, u, out, closest[static_cast<size_t>(u)]))
                in[static_cast<size_t>(u)] = 1, placedAny = true;
    }
    for (int32_t i = 0; i < n; ++i) {
        if (in[static_cast<size_t>(i)]) out.component.push_back(i);
        else if (closest[static_cast<size_t>(i)].first >= 0) out.unplaced.push_back({i, closest[static_cast<size_t>(i)]});
    }
    // Every unaccepted pair between registered images, the placed images' included; an image
    // placed by its pairs together keeps every match that agrees with its place.
    // The cameras solved from the verified pairs carry their matches within a few deviations: a
    // pair between registered images keeps the raw matches within twice the keep threshold of
    // re-selection (room for the cameras to move once it joins), not the loose threshold that
    // the similarity needed; an image just placed has no solved camera yet and keeps that one.
    RansacOptions solved = acceptance;
    solved.inlierThreshold = std::min(
        acceptance.inlierThreshold,
        2.0f * std::max(kKeepDeviations * transferSigma(matches, cameras, out.component), kMinKeepThreshold));
    Tables underSolved{matches, unaccepted, cameras, sizes, solved};
    const auto placedNow = [&](int32_t i) { return std::find(out.placed.begin(), out.placed.end(), i) != out.placed.end(); };
    const auto joint = [&](int32_t i) {
        return std::any_of(out.together.begin(), out.together.end(), [&](const CameraCheck& c) { return c.first == i; });
    };
    for (const int32_t i : out.component)
        for (const int32_t j : out.component)
            if (i != j && unaccepted.count(i, j) > 0 && (2 * heldBefore[static_cast<size_t>(j * n + i)] < median || joint(i) || joint(j)))
                out.pairs.push_back(checkAndTake(placedNow(i) || placedNow(j) ? t : underSolved, i, j, joint(i) || joint(j)));
    unaccepted.reset(0);
    return out;
}

}  // namespace vantorra
