#include "features/feature_image.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <utility>

#include "features/arena_pools.h"
#include "io/photo_reader.h"
#include "io/jpeg.h"
#include "features/extract_features.h"
#include "features/sift_state.h"
#include "features/strongest_features.h"
#include "io/photo_image.h"

namespace vantorra {

int featureReductionCount(int rows, int cols, const FeatureOptions& options) {
    const int fullRows = rows;
    const int fullCols = cols;
    const float twiceScale = 2 * options.siftScale;
    auto shouldHalve = [&] {
        // A side of 1 cannot be halved; without this a zero scale or size would never stop.
        if (rows < 2 || cols < 2) return false;
        if (options.siftSizeMode == SiftSizeMode::Scale)
            return fullRows * twiceScale <= static_cast<float>(rows) &&
                   fullCols * twiceScale <= static_cast<float>(cols);
        return rows >= 2 * options.siftMinDim && cols >= 2 * options.siftMinDim;
    };
    int level = 0;
    while (shouldHalve()) {
        rows /= 2;
        cols /= 2;
        ++level;
    }
    return level;
}

int thumbnailReductionCount(int rows, int cols, int thumbnailMinDim) {
    const int limit = std::max(2, 2 * thumbnailMinDim);
    int count = 0;
    while (rows >= limit && cols >= limit) {
        rows /= 2;
        cols /= 2;
        ++count;
    }
    return count;
}

int chooseDetectorMode(int rows, int cols, const FeatureOptions& options) {
    const int smaller = std::min(rows, cols);
    int mode = modeValue(options.detectorMode);
    if (smaller < options.upsampleBelow) mode = 1;
    if (static_cast<float>(smaller) < static_cast<float>(options.upsampleBelow) / std::sqrt(2.0f)) mode = 0;
    return mode;
}

bool keepsFeatureImage(int rows, int cols, int channels, int imageCount, int64_t featureImageBudget) {
    const int64_t perPixel = int64_t{channels} * imageCount * 4;
    if (perPixel <= 0) return false;
    const int64_t share = featureImageBudget / perPixel;
    return int64_t{rows} * cols <= share;
}

GreyRaster* greyRaster(const FloatImage& image) {
    GreyRaster* grey = allocGreyRaster(image.rows, image.cols, kScratchPool);
    if (grey == nullptr) return nullptr;
    const int channels = image.channels;
    const float* sample = image.data.data();
    for (int r = 0; r < image.rows; ++r) {
        float* line = grey->data[r];
        for (int c = 0; c < image.cols; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < channels; ++k) sum += sample[k];
            line[c] = sum / static_cast<float>(channels);
            sample += channels;
        }
    }
    return grey;
}

namespace {

FloatImage halved(FloatImage image, int times) {
    for (int t = 0; t < times; ++t) image = halfSize(image);
    return image;
}

// Decodes the photograph and reduces it to the feature image. When it is to be halved at all,
// every halving happens while decoding, so neither the full-resolution float image (12 bytes
// per pixel) nor any larger halving is held; the samples are the same as halving the decoded
// image.
bool decodeReduced(const std::string& path, const FeatureOptions& options, FloatImage& image,
                   ImageSize& size, int32_t& level, std::string* error) {
    PhotoHeader header;
    if (!readPhotoHeader(path, header, error)) return false;
    level = featureReductionCount(header.height, header.width, options);
    if (level == 0) {
        if (!readPhoto(path, image, error)) return false;
        size = {image.rows, image.cols, image.channels};
        return true;
    }
    if (!readPhotoReduced(path, image, header.height, header.width, level, error)) return false;
    size = {header.height, header.width, image.channels};
    return true;
}

int64_t imageBytes(const FloatImage& image) {
    return int64_t{image.rows} * image.cols * image.channels * 4;
}

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

}  // namespace

DecodedFeatureImage decodeFeatureImage(const std::string& path, const FeatureOptions& options) {
    DecodedFeatureImage decoded;
    decoded.ok = decodeReduced(path, options, decoded.image, decoded.size, decoded.level, &decoded.error);
    if (!decoded.ok) decoded.image.release();
    return decoded;
}

DetectedFeatureImage detectFeatures(DecodedFeatureImage decoded, const FeatureOptions& options,
                                    const FeatureBudget& budget) {
    DetectedFeatureImage d;
    d.decoded = std::move(decoded);
    if (!d.decoded.ok) return d;
    const FloatImage& image = d.decoded.image;
    const int thumbnailHalvings = thumbnailReductionCount(image.rows, image.cols, options.thumbnailMinDim);
    // Halving straight from the feature image spares a copy of it.
    d.thumbnail = thumbnailHalvings > 0 ? halved(halfSize(image), thumbnailHalvings - 1) : image;
    d.thumbnailLevel = d.decoded.level + thumbnailHalvings;
    sift::State& state = sift::state();
    const bool quiet = state.quietFailures;
    state.quietFailures = true;  // the failure is logged with the image, in its order
    const int mode = chooseDetectorMode(image.rows, image.cols, options);
    const GreyRaster* grey = greyRaster(image);
    d.failed = grey == nullptr;
    const PoolMark before = poolMark(kFeaturePool);
    if (!d.failed) d.features = extractFeatures(*grey, mode, &d.failed);
    if (!d.failed && budget.featuresPerImage > 0) {
        d.found = featureCount(d.features);
        if (d.found > budget.featuresPerImage)
            d.features = keepStrongest(d.features, budget.featuresPerImage, before, d.failed);
    }
    poolRelease(kScratchPool);
    state.quietFailures = quiet;
    return d;
}

bool takeDetectedImage(DetectedFeatureImage detected, const FeatureBudget& budget, int imageCount, std::ostream& log,
                       Photograph& photograph, int64_t& featureImageMemory, Feature*& features,
                       std::string* error) {
    features = nullptr;
    DecodedFeatureImage& decoded = detected.decoded;
    if (!decoded.ok) return fail(error, decoded.error);
    if (!detected.failed && budget.featuresPerImage > 0 && detected.found > budget.featuresPerImage)
        log << "  Kept the " << budget.featuresPerImage << " strongest of " << detected.found << " features"
            << std::endl;
    photograph.size = decoded.size;
    photograph.featureImage = std::move(decoded.image);
    photograph.featureLevel = decoded.level;
    photograph.thumbnail = std::move(detected.thumbnail);
    photograph.thumbnailLevel = detected.thumbnailLevel;
    featureImageMemory += imageBytes(photograph.thumbnail);
    const FloatImage& kept = photograph.featureImage;
    if (!keepsFeatureImage(kept.rows, kept.cols, photograph.size.channels, imageCount, budget.featureImageBytes))
        photograph.featureImage.release();
    else
        featureImageMemory += imageBytes(kept);
    if (detected.failed) {
        log << "SIFT - Failed to allocate memory" << std::endl;
        return fail(error, "SIFT - Failed to allocate memory");
    }
    features = detected.features;
    return true;
}

bool prepareImage(const std::string& path, const FeatureOptions& options, const FeatureBudget& budget,
                  int imageCount, std::ostream& log, Photograph& photograph, int64_t& featureImageMemory,
                  Feature*& features, std::string* error) {
    return takeDetectedImage(detectFeatures(decodeFeatureImage(path, options), options, budget), budget, imageCount,
                             log, photograph, featureImageMemory, features, error);
}

}  // namespace vantorra
