#pragma once
// The per-image preparation of the feature stage: decode, reduce to the working size, keep a
// thumbnail, choose the detector mode, convert to grey and extract the features.

#include <cstdint>
#include <string>

#include "core/image.h"
#include "core/image_size.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "features/feature.h"
#include "features/grey_raster.h"

namespace vantorra {

// Halvings that bring a rows x cols photograph to the feature image's size. Pixel mode: while
// both sides are >= 2 siftMinDim. Scale mode: while both full sides times 2 siftScale still fit
// in the current sides. Never halves a side below 1.
int featureReductionCount(int rows, int cols, const FeatureOptions& options);
// Halvings of the feature image for its thumbnail: while both sides are >= 2 thumbnailMinDim
// (0: the thumbnail is a copy).
int thumbnailReductionCount(int rows, int cols, int thumbnailMinDim);
// The detector mode for a feature image: detectorMode, 1 (doubled, doubled level not searched)
// below upsampleBelow pixels on the smaller side, 0 (doubled and searched) below upsampleBelow/sqrt 2.
int chooseDetectorMode(int rows, int cols, const FeatureOptions& options);
// True when a rows x cols feature image fits the per-image share of featureImageBudget.
bool keepsFeatureImage(int rows, int cols, int channels, int imageCount, int64_t featureImageBudget);
// The mean of the channels of every pixel, as a raster in pool 1; nullptr when the heap is exhausted.
GreyRaster* greyRaster(const FloatImage& image);

// A photograph decoded and reduced to its feature image, before any feature is looked for. Made
// without the feature library's pools, so several can be made at once on different threads.
struct DecodedFeatureImage {
    bool ok = false;
    std::string error;
    ImageSize size;  // the photograph's
    FloatImage image;
    int32_t level = 0;
};
DecodedFeatureImage decodeFeatureImage(const std::string& path, const FeatureOptions& options);

// A decoded photograph with its thumbnail and features (pool 4 of the workspace bound while they
// were looked for; feature_workspace.h). Made without logging or reporting, so several can be
// made at once on threads that each have a workspace bound.
struct DetectedFeatureImage {
    DecodedFeatureImage decoded;
    FloatImage thumbnail;
    int32_t thumbnailLevel = 0;
    Feature* features = nullptr;
    int32_t found = 0;    // features found before the strongest were kept (with a limit)
    bool failed = false;  // the feature library ran out of memory
};
DetectedFeatureImage detectFeatures(DecodedFeatureImage decoded, const FeatureOptions& options);

// The rest of prepareImage for a detected image, on the thread that logs and reports: logs
// "  Image i", reports progress and hands the results over (the feature image released when
// over budget).
bool takeDetectedImage(int i, int n, DetectedFeatureImage detected, const FeatureOptions& options,
                       ProgressReporter& reporter, ImageSize& size, FloatImage& featureImage,
                       int32_t& featureLevel, FloatImage& thumbnail, int32_t& thumbnailLevel,
                       int64_t& featureImageMemory, Feature*& features, std::string* error = nullptr);

// detectFeatures and takeDetectedImage in one, for an image decoded by decodeFeatureImage.
bool prepareDecodedImage(int i, int n, DecodedFeatureImage decoded, const FeatureOptions& options,
                         ProgressReporter& reporter, ImageSize& size, FloatImage& featureImage,
                         int32_t& featureLevel, FloatImage& thumbnail, int32_t& thumbnailLevel,
                         int64_t& featureImageMemory, Feature*& features, std::string* error = nullptr);

// Prepares image i of n (the file at `path`): logs "  Image i", reports progress, fills `size`,
// the feature image (its pixels released when over budget) and its level, the thumbnail and its
// level, adds the kept bytes to featureImageMemory and extracts `features` (pool 4; the
// strongest options.maxFeaturesPerImage when that is above 0). Releases
// pool 1. False with the reason in *error when the image cannot be read or the feature library
// runs out of memory.
bool prepareImage(int i, int n, const std::string& path, const FeatureOptions& options,
                  ProgressReporter& reporter, ImageSize& size, FloatImage& featureImage,
                  int32_t& featureLevel, FloatImage& thumbnail, int32_t& thumbnailLevel,
                  int64_t& featureImageMemory, Feature*& features, std::string* error = nullptr);

}  // namespace vantorra
