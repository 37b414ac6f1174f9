#include "adjust/registration_refinement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>

#include "adjust/bundle_adjuster.h"
#include "matching/guided_matches.h"
#include "matching/position_refinement.h"

namespace vantorra {

namespace {

void logPair(std::ostream& log, const PairSelection& p) {
    log << "  Pair " << p.first << "-" << p.second << ": kept " << p.kept << " of "
              << p.before << ", sigma = " << p.sigma << ", threshold = " << p.threshold
              << ", rms = " << p.rmsKept << (p.accepted ? "" : p.weak ? " - WEAK, the last link" : " - REJECT")
              << std::endl;
}

// Every round names what it dropped; the pairs that settled are listed once, after the last.
void logRound(std::ostream& log, int32_t round, const Reselection& r, std::span<const Photograph> photographs) {
    log << " Re-selection round " << round << ": " << r.removedMatches
              << " matches dropped" << std::endl;
    for (const PairSelection& p : r.pairs)  // a pair measured only for its verified matches, unused, is not news
        if (!p.accepted && (p.before > 0 || p.kept > 0)) logPair(log, p);
    for (size_t k = 0; k < r.leftOut.size(); ++k) {
        const size_t i = static_cast<size_t>(r.leftOut[k]);
        log << "  Image " << i;
        if (i < photographs.size()) log << " (" << photographs[i].name << ")";
        log << " left out: " << r.leftOutWhy[k] << std::endl;
    }
}

float keptRms(const Reselection& r) {
    double squares = 0.0;
    int64_t count = 0;
    for (const PairSelection& p : r.pairs) {
        squares += static_cast<double>(p.rmsKept) * p.rmsKept * p.kept;
        count += p.kept;
    }
    return count > 0 ? static_cast<float>(std::sqrt(squares / static_cast<double>(count))) : 0.0f;
}

void unregister(Camera& camera) {
    camera.R = Matrix();
    camera.f = 0.0f;
}

}  // namespace

BundleAdjustOptions settlingOptions(const BundleAdjustOptions& bundle, float error) {
    BundleAdjustOptions settling = bundle;
    settling.minImprovement = kRelativeImprovement * error;
    return settling;
}

ReselectionRounds reselectAndAdjust(MatchTable& matches, const std::vector<int32_t>& verified,
                                    std::vector<Camera>& cameras,
                                    const std::vector<int32_t>& component,
                                    const BundleAdjustOptions& bundle,
                                    const RansacOptions& acceptance,
                                    std::ostream& log, const std::vector<int32_t>* lensOf, ThreadPool* pool,
                                    std::span<const Photograph> photographs, const WeakBasis& basis) {
    ReselectionRounds out;
    out.component = component;
    while (out.rounds < kMaxReselectionRounds && out.component.size() >= 2) {
        ++out.rounds;
        out.last = reselectMatches(matches, verified, cameras, out.component, acceptance, basis);
        logRound(log, out.rounds, out.last, photographs);
        for (const int32_t i : out.last.leftOut) {
            unregister(cameras[i]);
            out.leftOut.push_back(i);
        }
        out.component = out.last.component;
        if (!out.last.changed() || out.component.size() < 2) break;
        const BundleAdjuster adjuster(settlingOptions(bundle, keptRms(out.last)), log, pool);
        adjuster.BundleAdjust(matches, out.component, cameras, RobustNone, 0.0f, 0, lensOf);
    }
    for (const PairSelection& p : out.last.pairs)
        if (p.accepted || p.weak) logPair(log, p);
    std::sort(out.leftOut.begin(), out.leftOut.end());
    return out;
}

namespace {

// A sample this close to the top of the 0-255 scale is taken as clipped (JPEG ringing keeps a
// clipped area a level or two below 255).
constexpr float kClippedLevel = 250.0f;
// A channel clipped in more than this share of the samples is left out of the patches: a few
// clipped highlights leave the other patches alone, while a channel clipped over one sample in
// twenty blanks whole patches in the views exposed brighter.
constexpr float kClippedChannelShare = 0.05f;

// Feature-image pixels per pixel of the coarse patches: a 9 x 9 patch then covers 27 x 27, the
// size at which the soft shared sets hold detail (blocks of 2 and 4 were measured worse).
constexpr int kCoarseGuideFactor = 3;

std::vector<RefinementLimits> limitsOf(const Reselection& r, int32_t n) {
    std::vector<RefinementLimits> limits(static_cast<size_t>(n) * static_cast<size_t>(n));
    for (const PairSelection& p : r.pairs)
        if (p.accepted || p.weak) limits[static_cast<size_t>(p.first * n + p.second)] = {p.sigma, p.threshold};
    return limits;
}

AlignmentRaster alignmentRaster(const RegistrationImages& images, int32_t i, uint32_t channels, std::string& error) {
    const Photograph& photograph = images.photographs[static_cast<size_t>(i)];
    if (!photograph.featureImage.empty()) return greyRaster(photograph.featureImage, 1.0f, channels);
    return decodeGreyRaster(images.directory + photograph.name, photograph.featureLevel, &error, channels);
}

// The channels the patches compare: a channel clipped over a large share of the photographs is
// flat where it is clipped in one view while the other, exposed differently, still shows its
// detail there, so the grey of the two differs by more than an exposure; left out, it cannot
// pull the patches. Measured on the thumbnails (bit k: channel k; all bits when every channel
// stays).
uint32_t unclippedChannels(std::span<const Photograph> photographs, const std::vector<int32_t>& component) {
    std::array<int64_t, 3> clipped{}, samples{};
    for (const int32_t i : component) {
        const FloatImage& t = photographs[static_cast<size_t>(i)].thumbnail;
        if (t.channels != 3) continue;
        for (size_t s = 0; s < t.data.size(); ++s) {
            clipped[s % 3] += t.data[s] >= kClippedLevel;
            ++samples[s % 3];
        }
    }
    uint32_t channels = ~0u;
    for (size_t k = 0; k < 3; ++k)
        if (samples[k] > 0 && static_cast<float>(clipped[k]) > kClippedChannelShare * static_cast<float>(samples[k]))
            channels &= ~(1u << k);
    // Leaving out every channel would leave nothing to compare.
    return (channels & 7u) == 0 ? ~0u : channels;
}

// The rasters of the component's images, made on the pool's threads; a failure is logged in
// image order.
std::vector<AlignmentRaster> alignmentRasters(const RegistrationImages& images,
                                              const std::vector<int32_t>& component, std::ostream& log,
                                              ThreadPool* pool) {
    std::vector<AlignmentRaster> rasters(images.photographs.size());
    std::vector<std::string> errors(component.size());
    std::vector<uint8_t> fits(component.size(), 1);
    int64_t used = 0;
    for (size_t k = 0; k < component.size(); ++k) {
        const ImageSize size = featureImageSize(images.photographs[static_cast<size_t>(component[k])]);
        used += int64_t{4} * size.height * size.width;
        if (used > images.memoryBudget) {
            fits[k] = 0;
            errors[k] = "its pixels do not fit in what the memory budget leaves";
        }
    }
    const uint32_t channels = unclippedChannels(images.photographs, component);
    if (channels != ~0u)
        for (int k = 0; k < 3; ++k)
            if (!((channels >> k) & 1u))
                log << "  Channel " << k << " left out of the patches: clipped in more than "
                    << kClippedChannelShare * 100.0f << " % of the samples" << std::endl;
    auto make = [&](size_t k, int) {
        if (fits[k]) rasters[component[k]] = alignmentRaster(images, component[k], channels, errors[k]);
    };
    if (pool != nullptr) pool->parallelFor(component.size(), make);
    else
        for (size_t k = 0; k < component.size(); ++k) make(k, 0);
    for (size_t k = 0; k < component.size(); ++k)
        if (rasters[component[k]].empty())
            log << "  Image " << component[k] << " not refined: " << errors[k] << std::endl;
    return rasters;
}

// The robust scale of each ordered pair's matches (transferSigma of the pair alone).
std::vector<float> pairSigmas(const MatchTable& matches, const std::vector<Camera>& cameras,
                              const std::vector<int32_t>& component) {
    const size_t n = static_cast<size_t>(matches.size());
    std::vector<float> sigmas(n * n, 0.0f);
    for (const int32_t i : component)
        for (const int32_t j : component)
            if (i != j && matches.count(i, j) > 0)
                sigmas[static_cast<size_t>(i) * n + static_cast<size_t>(j)] =
                    transferSigma(matches, cameras, std::vector<int32_t>{std::min(i, j), std::max(i, j)});
    return sigmas;
}

void logRefinement(std::ostream& log, const std::vector<PairRefinement>& pairs) {
    for (const PairRefinement& p : pairs)
        log << "  Pair " << p.first << "-" << p.second << ": refined " << p.refined << ", kept at feature position "
            << p.refused << ", mean shift = " << p.meanMove << std::endl;
}

void logGuided(std::ostream& log, const std::vector<GuidedPair>& pairs) {
    for (const GuidedPair& p : pairs)
        log << "  Pair " << p.first << "-" << p.second << ": " << p.candidates << " grid patches in the overlap, "
                  << p.added << " added" << std::endl;
}

// Grid patches of the coarse rasters for the pairs still weak: such patches need be only as
// precise as the pair's own matches, which re-selection then keeps within their own deviations
// (up to kKeepDeviations times the panorama's).
std::vector<GuidedPair> addCoarsePatches(MatchTable& matches, const std::vector<Camera>& cameras,
                                         const std::vector<int32_t>& component,
                                         const std::vector<AlignmentRaster>& coarse, float sigma,
                                         const RansacOptions& acceptance, ThreadPool* pool, std::ostream& log) {
    const std::vector<float> own = pairSigmas(matches, cameras, component);
    std::vector<GuidedPair> added =
        addGuidedMatches(matches, cameras, component, coarse, sigma, acceptance, pool, &own, kKeepDeviations * sigma);
    logGuided(log, added);
    return added;
}

bool anyAdded(const std::vector<GuidedPair>& guided) {
    return std::any_of(guided.begin(), guided.end(), [](const GuidedPair& g) { return g.added > 0; });
}

// A pair's patches are part of its support from here on.
void countAsSupport(const std::vector<GuidedPair>& guided, const MatchTable& matches, std::vector<int32_t>& verified) {
    for (const GuidedPair& g : guided)
        if (g.added > 0) {
            int32_t& support = verified[static_cast<size_t>(g.first * matches.size() + g.second)];
            support = std::max(support, matches.count(g.first, g.second));
        }
}

}  // namespace

RegistrationRefinement refineRegistration(MatchTable& matches, std::vector<Camera>& cameras,
                                          const std::vector<int32_t>& component,
                                          const RegistrationImages& images,
                                          const BundleAdjustOptions& bundle,
                                          const RansacOptions& acceptance, std::ostream& log,
                                          const std::vector<int32_t>* lensOf, ThreadPool* pool) {
    std::vector<int32_t> verified = pairCounts(matches);
    // A last link is judged on what verification gave it, at the scale of the cameras it was
    // verified under, however precise the other pairs become.
    const MatchTable verifiedMatches = matches;
    const WeakBasis basis{&verifiedMatches,
                          std::max(kKeepDeviations * transferSigma(matches, cameras, component), kMinKeepThreshold)};
    log << "[ Match Re-selection ]" << std::endl;
    ReselectionRounds rounds = reselectAndAdjust(matches, verified, cameras, component, bundle, acceptance, log,
                                                 lensOf, pool, images.photographs, basis);
    RegistrationRefinement out{rounds.component, rounds.leftOut};
    if (out.component.size() < 2) return out;

    log << "[ Match Position Refinement ]" << std::endl;
    std::vector<AlignmentRaster> rasters = alignmentRasters(images, out.component, log, pool);
    logRefinement(log, refinePositions(matches, cameras, out.component, rasters,
                                  limitsOf(rounds.last, matches.size()), pool));
    const float sigma = transferSigma(matches, cameras, out.component);
    std::vector<GuidedPair> guided = addGuidedMatches(matches, cameras, out.component, rasters, sigma, acceptance, pool);
    logGuided(log, guided);
    // Soft photographs hold their detail at a scale the patches of the feature image do not
    // cover: the pairs still weak try patches of blocks of the feature image's pixels.
    for (AlignmentRaster& r : rasters) r = reducedRaster(r, kCoarseGuideFactor);
    const std::vector<GuidedPair> coarse =
        addCoarsePatches(matches, cameras, out.component, rasters, sigma, acceptance, pool, log);
    guided.insert(guided.end(), coarse.begin(), coarse.end());
    countAsSupport(guided, matches, verified);
    // A patch is aligned to where the picture is, not to where the cameras put it: a camera held
    // by a few matches in one corner is off, and its patches show by how much. Judged before the
    // cameras have seen them, they would all be dropped as disagreeing.
    if (anyAdded(guided)) {
        const BundleAdjuster adjuster(settlingOptions(bundle, sigma), log, pool);
        adjuster.BundleAdjust(matches, out.component, cameras, RobustHuber, kKeepDeviations * sigma, 0, lensOf);
        // A camera that far off is too far from most of its patches for the search to reach
        // them; the few it reached have moved it, and from there its pairs still weak are tried
        // once more. (Further tries were measured no closer.)
        const std::vector<GuidedPair> again =
            addCoarsePatches(matches, cameras, out.component, rasters, sigma, acceptance, pool, log);
        countAsSupport(again, matches, verified);
        if (anyAdded(again))
            adjuster.BundleAdjust(matches, out.component, cameras, RobustHuber, kKeepDeviations * sigma, 0, lensOf);
    }
    rasters.clear();

    log << "[ Match Re-selection ]" << std::endl;
    rounds = reselectAndAdjust(matches, verified, cameras, out.component, bundle, acceptance, log, lensOf, pool,
                               images.photographs, basis);
    out.component = rounds.component;
    out.leftOut.insert(out.leftOut.end(), rounds.leftOut.begin(), rounds.leftOut.end());
    std::sort(out.leftOut.begin(), out.leftOut.end());
    return out;
}

}  // namespace vantorra
