#include "render/prepared_source.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "io/photo_reader.h"
#include "io/jpeg.h"
#include "render/warp.h"
#include "render/wide_source.h"
#include "numerics/weighted_sum.h"

namespace vantorra {
namespace {

void chooseReduction(int rows, int cols, float ratio, float antiAliasFactor, SourcePlan& plan) {
    const Reduction reduction = reductionFor(rows, cols, ratio, antiAliasFactor);
    plan.halvings = reduction.halvings;
    plan.sigma = reduction.sigma;
}

// Collects decoded rows into an 8-bit image.
class BytesSink : public PhotoRowSink {
public:
    BytesSink(Image& image, SourceCover& cover) : image_(image), cover_(cover) {}
    void cover(int index, const uint8_t* c) override { cover_.takeRow(index, c, image_.rows, image_.cols); }
    bool begin(int width, int height) override {
        image_.allocate(height, width, 3);
        return !image_.empty();
    }
    void row(int index, const uint8_t* rgb) override {
        std::copy(rgb, rgb + static_cast<size_t>(image_.cols) * 3,
                  &image_.data[static_cast<size_t>(index) * image_.cols * 3]);
    }

private:
    Image& image_;
    SourceCover& cover_;
};

// The nearest byte: floor(v + 0.5) within 0 .. 255. Clamped first, the sum is never negative,
// so truncation is the floor, and the loops that use this need no call to floor.
uint8_t roundedByte(float v) {
    return static_cast<uint8_t>(static_cast<int>(std::clamp(v + 0.5f, 0.0f, 255.0f)));
}

// The halvings after the decoder's own scaling.
int extraHalvings(const SourcePlan& plan) { return plan.halvings - std::min(plan.halvings, 3); }

// Cuts the decoded rows top .. bottom of `image` (a member of source: its bytes or its floats,
// and its cover alike) to the band firstRow .. lastRow. The band's own rows are exact; the
// blur's reach beyond them is kept only at a real edge.
template <typename Container>
PreparedSource cutBand(PreparedSource source, Container PreparedSource::*image, const PhotoSources& sources,
                       const SourcePlan& plan, int number, const Camera& camera, int top, int bottom, int firstRow,
                       int lastRow) {
    Container& decoded = source.*image;
    const int keepTop = top == 0 ? 0 : std::min(firstRow, plan.rows - 1);
    const int keepBottom = bottom == plan.rows - 1 ? bottom : std::max(lastRow, keepTop);
    const int skip = keepTop - top;
    const int keep = std::min(keepBottom - keepTop + 1, decoded.rows - skip);
    if (keep <= 0) {
        decoded = Container{};
        source.error = sources.path(number) + ": no rows of the band could be decoded";
        return source;
    }
    if (skip > 0 || keep < decoded.rows) {
        const size_t rowSamples = static_cast<size_t>(decoded.cols) * decoded.channels;
        std::copy(decoded.data.begin() + static_cast<std::ptrdiff_t>(rowSamples * skip),
                  decoded.data.begin() + static_cast<std::ptrdiff_t>(rowSamples * (skip + keep)), decoded.data.begin());
        decoded.data.resize(rowSamples * static_cast<size_t>(keep));
        decoded.rows = keep;
        source.cover.keepRows(skip, keep);
    }
    source.rowOffset = keepTop;
    source.fullRows = plan.rows;
    Camera moved = camera;
    moved.imageTransform = multiply(reductionMatrix(-plan.halvings), camera.imageTransform);
    source.projection = pixelProjection(moved);
    return source;
}

}  // namespace

SourcePlan planSource(const PhotoSources& sources, float antiAliasFactor, int image,
                      const ImageFootprint& footprint, bool wideSamples) {
    SourcePlan plan;
    const float p = footprint.firstEdgePixels, q = footprint.secondEdgePixels;
    PhotoHeader header;
    const bool read = readPhotoHeader(sources.path(image), header);
    // The kept feature image has no alpha: a photograph with it is decoded with its cover.
    if (const FloatImage* cached = header.alpha ? nullptr : sources.featureImage(image)) {
        const float ratio = outputRatio(cached->rows, cached->cols, p, q);
        // The kept copy serves while it still has a pixel per output pixel.
        if (ratio >= 1.0f || sources.featureLevel(image) == 0) {
            plan.fromFeatureImage = true;
            plan.copy = ratio > 1.0f;
            plan.rows = cached->rows;
            plan.cols = cached->cols;
            if (plan.copy) {
                chooseReduction(cached->rows, cached->cols, ratio, antiAliasFactor, plan);
                plan.rows >>= plan.halvings;
                plan.cols >>= plan.halvings;
                plan.bytes = int64_t{plan.rows} * plan.cols * cached->channels * 4;
            }
            return plan;
        }
    }
    const ImageSize size = sources.size(image);
    const float ratio = outputRatio(size.height, size.width, p, q);
    if (ratio > 1.0f) chooseReduction(size.height, size.width, ratio, antiAliasFactor, plan);
    plan.decoderScale = 1 << std::min(plan.halvings, 3);
    const int scaled = plan.decoderScale;
    plan.rows = (size.height + scaled - 1) / scaled;
    plan.cols = (size.width + scaled - 1) / scaled;
    for (int h = std::min(plan.halvings, 3); h < plan.halvings; ++h) {
        plan.rows /= 2;
        plan.cols /= 2;
    }
    plan.wide = wideSamples && read && header.bits > 8;
    plan.bytes = int64_t{plan.rows} * plan.cols * 3 * (plan.wide ? 4 : 1);
    return plan;
}

namespace {

template <typename Container>
SourceView sizedView(const Container& image) {
    SourceView v;
    v.rows = image.rows;
    v.cols = image.cols;
    v.channels = image.channels;
    return v;
}

}  // namespace

SourceView viewOf(const FloatImage& image) {
    SourceView v = sizedView(image);
    if (!image.empty()) v.floats = image.data.data();
    return v;
}

SourceView viewOf(const Image& image) {
    SourceView v = sizedView(image);
    if (!image.empty()) v.bytes = image.data.data();
    return v;
}

SourceView PreparedSource::view() const {
    SourceView v = kept != nullptr ? viewOf(*kept) : (!floats.empty() ? viewOf(floats) : viewOf(bytes));
    v.gain = gain;
    if (!cover.empty()) v.cover = cover.covered.data();
    v.rowOffset = rowOffset;
    v.fullRows = fullRows;
    return v;
}

PreparedSource prepareSourceRows(const PhotoSources& sources, const SourcePlan& plan, int image,
                                 const Camera& camera, const Gains& gains, int firstRow, int lastRow) {
    PreparedSource source;
    if (image >= 0 && static_cast<size_t>(image) < gains.size())
        source.gain = gains[static_cast<size_t>(image)];
    const int radius = plan.sigma > 0.0f ? static_cast<int>(std::floor(3.0f * plan.sigma + 0.5f)) : 0;
    // Rows of the reduced source to make: the band with the blur's reach on either side, so the
    // blur inside the band sees the same rows as on the whole source.
    const int top = std::clamp(firstRow - radius, 0, plan.rows - 1);
    const int bottom = std::clamp(lastRow + radius, 0, plan.rows - 1);
    if (top > bottom) return source;
    if (plan.wide) {
        if (!decodeWideSource(sources.path(image), plan.decoderScale, extraHalvings(plan), plan.sigma, source.floats,
                              source.cover, source.error, top, bottom - top + 1))
            return source;
        return cutBand(std::move(source), &PreparedSource::floats, sources, plan, image, camera, top, bottom, firstRow,
                       lastRow);
    }
    const int extra = extraHalvings(plan);
    const int step = 1 << extra;
    BytesSink sink(source.bytes, source.cover);
    if (!readPhotoRowsScaled(sources.path(image), plan.decoderScale, sink, &source.error, top * step,
                             (bottom - top + 1) * step)) {
        source.bytes.clear();
        return source;
    }
    for (int h = 0; h < extra; ++h) {
        source.cover.halve(source.bytes.rows);
        source.bytes = halveBytes(source.bytes);
    }
    if (plan.sigma > 0.0f) blurBytes(source.bytes, plan.sigma);
    return cutBand(std::move(source), &PreparedSource::bytes, sources, plan, image, camera, top, bottom, firstRow,
                   lastRow);
}

PreparedSource prepareSource(const PhotoSources& sources, const SourcePlan& plan, int image,
                             const Camera& camera, const Gains& gains) {
    PreparedSource source;
    if (image >= 0 && static_cast<size_t>(image) < gains.size())
        source.gain = gains[static_cast<size_t>(image)];
    Matrix transform = camera.imageTransform;
    if (plan.fromFeatureImage) {
        const FloatImage& cached = *sources.featureImage(image);
        transform = multiply(reductionMatrix(-sources.featureLevel(image)), transform);
        if (!plan.copy) {
            source.kept = &cached;
        } else {
            source.floats = reduceBy(cached, Reduction{plan.halvings, plan.sigma});
            transform = multiply(reductionMatrix(-plan.halvings), transform);
        }
    } else if (plan.wide) {
        if (!decodeWideSource(sources.path(image), plan.decoderScale, extraHalvings(plan), plan.sigma, source.floats,
                              source.cover, source.error))
            return source;
        transform = multiply(reductionMatrix(-plan.halvings), transform);
    } else {
        BytesSink sink(source.bytes, source.cover);
        if (!readPhotoRowsScaled(sources.path(image), plan.decoderScale, sink, &source.error)) {
            source.bytes.clear();
            return source;
        }
        for (int h = std::min(plan.halvings, 3); h < plan.halvings; ++h) {
            source.cover.halve(source.bytes.rows);
            source.bytes = halveBytes(source.bytes);
        }
        if (plan.halvings > 0 || plan.sigma > 0.0f) blurBytes(source.bytes, plan.sigma);
        transform = multiply(reductionMatrix(-plan.halvings), transform);
    }
    Camera moved = camera;
    moved.imageTransform = transform;
    source.projection = pixelProjection(moved);
    return source;
}

std::vector<PreparedSource> prepareSources(const RenderOptions& options, const RenderScene& scene,
                                           const Gains& gains,
                                           const std::vector<ImageFootprint>& footprints,
                                           ThreadPool* pool) {
    std::vector<PreparedSource> sources(scene.component.size());
    const Gains none;
    const size_t count = std::min(scene.component.size(), footprints.size());
    auto prepare = [&](size_t p, int) {
        const int image = scene.component[p];
        if (footprints[p].regions.empty()) return;  // nothing of it can be drawn
        const SourcePlan plan = planSource(scene.sources, options.antiAliasFactor, image, footprints[p], options.outputDepth == 16);
        sources[p] = prepareSource(scene.sources, plan, image, scene.cameras[static_cast<size_t>(image)],
                                   options.gainCompensation ? gains : none);
    };
    if (pool != nullptr) {
        pool->parallelFor(count, prepare);
    } else {
        for (size_t p = 0; p < count; ++p) prepare(p, 0);
    }
    return sources;
}

Image halveBytes(const Image& image) {
    Image half;
    half.allocate(image.rows / 2, image.cols / 2, image.channels);
    if (half.empty()) return half;
    const int ch = image.channels;
    const size_t row = static_cast<size_t>(image.cols) * ch;
    for (int r = 0; r < half.rows; ++r) {
        const uint8_t* top = &image.data[2 * static_cast<size_t>(r) * row];
        const uint8_t* bottom = top + row;
        uint8_t* to = &half.data[static_cast<size_t>(r) * half.cols * ch];
        for (int c = 0; c < half.cols; ++c)
            for (int k = 0; k < ch; ++k) {
                const int i = 2 * c * ch + k;
                to[c * ch + k] = static_cast<uint8_t>((top[i] + top[i + ch] + bottom[i] + bottom[i + ch] + 2) / 4);
            }
    }
    return half;
}

void blurBytes(Image& image, float sigma) {
    const int radius = static_cast<int>(std::floor(3.0f * sigma + 0.5f));
    if (radius <= 0 || image.empty()) return;
    const std::vector<float> kernel = gaussianKernel(sigma, radius);
    const int ch = image.channels;
    const size_t rowSamples = static_cast<size_t>(image.cols) * ch;
    const int span = 2 * radius + 1;
    // Row-pass results of the rows around the one being written, row m in slot m % span.
    std::vector<float> ring(rowSamples * static_cast<size_t>(span));
    std::vector<float> extended(rowSamples + 2 * static_cast<size_t>(radius) * ch);
    std::vector<float> out(rowSamples);
    auto rowPass = [&](int m) {
        const uint8_t* from = &image.data[static_cast<size_t>(m) * rowSamples];
        for (int e = 0; e < radius; ++e)
            for (int k = 0; k < ch; ++k) {
                extended[static_cast<size_t>(e) * ch + k] = from[k];
                extended[rowSamples + static_cast<size_t>(radius + e) * ch + k] = from[rowSamples - ch + k];
            }
        for (size_t i = 0; i < rowSamples; ++i) extended[static_cast<size_t>(radius) * ch + i] = from[i];
        weightedSum(&ring[static_cast<size_t>(m % span) * rowSamples], rowSamples, kernel.data(), span,
                    [&](int t) { return &extended[static_cast<size_t>(t) * ch]; });
    };
    std::vector<const float*> tapRows(static_cast<size_t>(span));
    const int last = image.rows - 1;
    int passed = -1;  // rows whose row pass is in the ring: up to this one
    for (int r = 0; r <= last; ++r) {
        // Row r needs rows r - radius .. r + radius; the rows above r are overwritten already,
        // but their row passes are still in the ring.
        while (passed < std::min(r + radius, last)) rowPass(++passed);
        for (int t = 0; t < span; ++t)
            tapRows[static_cast<size_t>(t)] = &ring[static_cast<size_t>(std::clamp(r + t - radius, 0, last) % span) * rowSamples];
        weightedSum(out.data(), rowSamples, kernel.data(), span, [&](int t) { return tapRows[static_cast<size_t>(t)]; });
        uint8_t* to = &image.data[static_cast<size_t>(r) * rowSamples];
        for (size_t i = 0; i < rowSamples; ++i) to[i] = roundedByte(out[i]);
    }
}

}  // namespace vantorra
