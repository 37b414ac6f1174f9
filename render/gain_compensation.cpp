#include "render/gain_compensation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "core/progress_reporter.h"
#include "numerics/matrix.h"
#include "render/gain_overlap.h"

namespace vantorra {

namespace {

// Noise of an overlap mean, in intensity levels squared (sigma 8.5 on the 0-255 scale).
constexpr float kNoiseVariance = 72.25f;

// Overlap statistics of every ordered pair of component positions, (p, q) at p * n + q.
struct OverlapTable {
    int n = 0;
    std::vector<GainOverlap> pairs;
    const GainOverlap& at(int p, int q) const { return pairs[static_cast<size_t>(p) * n + q]; }
    // Both directions measured: the only pairs that enter the system.
    bool usable(int p, int q) const { return at(p, q).count > 0 && at(q, p).count > 0; }
};

void prepareGainImages(const RenderScene& scene, int gainImageSize,
                       std::vector<FloatImage>& thumbnails, std::vector<int32_t>& levels,
                       ProgressReporter& progress, std::ostream& log) {
    const int n = static_cast<int>(scene.component.size());
    for (int p = 0; p < n; ++p) {
        const int image = scene.component[p];
        log << "  Image " << image << std::endl;
        progress.report(ProgressReporter::GainCompensation, p, n - 1);
        const size_t needed = static_cast<size_t>(image) + 1;
        if (thumbnails.size() < needed) thumbnails.resize(needed);
        if (levels.size() < needed) levels.resize(needed, 0);
        std::string error;
        // An unreadable photograph keeps an empty gain image, so it overlaps nothing.
        if (!prepareGainImage(scene.sources, image, gainImageSize, thumbnails[image],
                              levels[image], &error))
            log << "  Image " << image << " has no gain image: " << error << std::endl;
    }
}

OverlapTable measureOverlaps(const RenderScene& scene, const std::vector<FloatImage>& thumbnails,
                             const std::vector<int32_t>& levels) {
    OverlapTable table;
    table.n = static_cast<int>(scene.component.size());
    table.pairs.resize(static_cast<size_t>(table.n) * table.n);
    const size_t known = std::min({scene.cameras.size(), thumbnails.size(), levels.size()});
    for (int p = 0; p < table.n; ++p) {
        const int i = scene.component[p];
        for (int q = 0; q < table.n; ++q) {
            if (p == q) continue;
            const int j = scene.component[q];
            if (static_cast<size_t>(i) >= known || static_cast<size_t>(j) >= known) continue;
            table.pairs[static_cast<size_t>(p) * table.n + q] =
                measureOverlap(thumbnails[i], levels[i], scene.cameras[i], thumbnails[j],
                               levels[j], scene.cameras[j]);
        }
    }
    return table;
}

// Row p: the overlap means of p and its neighbours should agree after gain, and the gain is
// pulled towards 1. A position without any usable pair would leave an all-zero row; it gets
// the prior alone (g = 1) so the others still solve, and the caller gives it gainMean.
Matrix solveChannel(const OverlapTable& table, const std::vector<bool>& overlaps, int channel,
                    float gainVariance) {
    const int n = table.n;
    Matrix a(n, n);
    Matrix b(n, 1);
    for (int p = 0; p < n; ++p) {
        if (!overlaps[p]) {
            a.at(p, p) = -1.0f;
            b.at(p) = -1.0f;
            continue;
        }
        for (int q = 0; q < n; ++q) {
            if (p == q || !table.usable(p, q)) continue;
            const GainOverlap& pq = table.at(p, q);
            const GainOverlap& qp = table.at(q, p);
            a.at(p, q) += pq.count * pq.mean[channel] * qp.mean[channel] / kNoiseVariance;
            a.at(p, p) -= pq.count * pq.mean[channel] * pq.mean[channel] / kNoiseVariance;
            a.at(p, p) -= pq.count / gainVariance;
            b.at(p) -= pq.count / gainVariance;
        }
    }
    return solve(a, b);
}

void logChannel(std::ostream& log, int channel, const Matrix& g, float mean) {
    log << std::endl;
    log << " band = " << channel << std::endl;
    log << std::endl;
    log << " g = " << std::endl;
    log << g;
    log << std::endl;
    log << " g mean = " << std::endl;
    log << mean << std::endl;
    log << std::endl;
}

}  // namespace

Gains computeGains(const RenderOptions& options, const RenderScene& scene, ProgressReporter& progress,
                   std::ostream& log) {
    log << "[ Compute Image Gain ]" << std::endl;
    const std::span<const int32_t> component = scene.component;
    const int n = static_cast<int>(component.size());
    size_t images = std::max(scene.cameras.size(), scene.sources.photographs.size());
    for (int image : component) images = std::max(images, static_cast<size_t>(image) + 1);
    Gains gains(images, {0.0f, 0.0f, 0.0f});

    // The kept thumbnails, reduced here to the gain image's size; missing ones are read.
    std::vector<FloatImage> thumbnails;
    std::vector<int32_t> thumbnailLevels;
    for (const Photograph& photograph : scene.sources.photographs) {
        thumbnails.push_back(photograph.thumbnail);
        thumbnailLevels.push_back(photograph.thumbnailLevel);
    }
    prepareGainImages(scene, options.gainImageSize, thumbnails, thumbnailLevels, progress, log);
    const OverlapTable table = measureOverlaps(scene, thumbnails, thumbnailLevels);
    std::vector<bool> overlaps(n, false);
    for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q)
            if (p != q && table.usable(p, q)) overlaps[p] = true;

    const float gainVariance = options.gainSigma * options.gainSigma;
    for (int channel = 0; channel < 3; ++channel) {
        const Matrix g = solveChannel(table, overlaps, channel, gainVariance);
        // The mean runs over the images the system actually measured; the others are set apart.
        float total = 0.0f;
        int counted = 0;
        for (int p = 0; p < n; ++p) {
            if (!overlaps[p]) continue;
            total += g.at(p);
            ++counted;
        }
        const float mean = counted > 0 ? total / static_cast<float>(counted) : 1.0f;
        logChannel(log, channel, g, mean);
        const bool meanUsable = std::isfinite(mean) && mean > 0.0f;
        for (int p = 0; p < n; ++p) {
            const float value = options.gainMean * g.at(p) / mean;
            const bool measured = overlaps[p] && meanUsable && std::isfinite(value);
            gains[component[p]][channel] = measured ? value : options.gainMean;
        }
    }
    return gains;
}

}  // namespace vantorra
