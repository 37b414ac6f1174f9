#pragma once
// The per-image preparation of the feature stage: decode, reduce to the working size, keep a
// thumbnail, choose the detector mode, convert to grey and extract the features.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/image.h"
#include "core/image_size.h"
#include "core/photograph.h"
#include "options/stitch_options.h"
#include "features/feature.h"
#include "features/grey_raster.h"

namespace vantorra {

// What the memory budget of a run allows the feature stage, worked out by the driver from the
// options and the number of photographs.
struct FeatureBudget {
    int64_t featureImageBytes = 268435456;  // the kept feature images of all photographs together
    int32_t featuresPerImage = 0;           // the strongest kept per photograph (0: all)
};

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
// True when a rows x cols feature image fits the per-image share of featureImageBudget bytes.
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
DetectedFeatureImage detectFeatures(DecodedFeatureImage decoded, const FeatureOptions& options,
                                    const FeatureBudget& budget);

// Hands a detected image over to its photograph record (size, feature image and level, thumbnail
// and level; the feature image's pixels released when over the per-image share of the budget)
// on the thread that logs, adding the kept bytes to featureImageMemory. Logs when only the
// strongest features were kept, or when the feature library ran out of memory (false, the
// reason in *error, as when the photograph could not be read).
bool takeDetectedImage(DetectedFeatureImage detected, const FeatureBudget& budget, int imageCount, std::ostream& log,
                       Photograph& photograph, int64_t& featureImageMemory, Feature*& features,
                       std::string* error = nullptr);

// decodeFeatureImage, detectFeatures and takeDetectedImage in one, for the file at `path`:
// `features` in pool 4 (the strongest budget.featuresPerImage when that is above 0); pool 1
// released.
bool prepareImage(const std::string& path, const FeatureOptions& options, const FeatureBudget& budget,
                  int imageCount, std::ostream& log,
                  Photograph& photograph, int64_t& featureImageMemory, Feature*& features,
                  std::string* error = nullptr);

}  // namespace vantorra
