#pragma once
// Every tunable value of the engine. Four plain blocks, each copied by value into the stage that
// uses it, then engine-level values. Angles are radians, sizes pixels, byte counts 64-bit.
// Nothing is saved: every start begins with these defaults.

#include <cstdint>
#include <string>

#include "core/output_mapping.h"
#include "options/option_modes.h"
#include "numerics/angles.h"

namespace vantorra {

struct FeatureOptions {
    int32_t maxMatchesPerFeature = 5;  // clamped to n - 1 images at the start of every run
    int32_t nearestNeighbours = 9;
    float distanceRatio = 0.8f;
    SiftSizeMode siftSizeMode = SiftSizeMode::MinDimension;  // siftMinDim pixels, or siftScale
    int32_t siftMinDim = 400;
    int32_t thumbnailMinDim = 50;
    float siftScale = 0.25f;
    int32_t upsampleBelow = 300;
    DetectorMode detectorMode = DetectorMode::AsIs;

    bool operator==(const FeatureOptions&) const = default;
};

struct RansacOptions {
    float minSampleDistance = 1.0f;
    float inlierThreshold = 10.0f;
    float alpha = 10.0f;
    bool autoAlpha = false;
    float alphaMax = 30.0f;
    float alphaMin = 10.0f;
    float beta = 0.2f;
    int32_t candidateImages = 5;
    int32_t ransacIterations = 500;
    float maxScaleRatio = 32.0f;

    bool operator==(const RansacOptions&) const = default;
};

// Robust error modes of the bundle adjuster.
enum RobustMode : int32_t { RobustNone = 0, RobustReject = 1, RobustHuber = 2 };

struct BundleAdjustOptions {
    int32_t maxIterations = 20;    // outer Levenberg-Marquardt iterations per call
    int32_t maxTrials = 20;        // step trials per outer iteration before giving up
    float alphaStart = 1.0f;       // damping factor at the start of each call
    float alphaFactor = 5.0f;      // divides alpha after an accepted step, multiplies after a rejected one
    float errorThreshold = 6.0f;   // convergence: error below this (pixels) ...
    float minImprovement = 0.1f;   // ... and last drop below this
    float defaultFocal = 500.0f;   // first focal length when not taken from the image
    bool focalFromImage = true;
    float focalSigma = 0.1f;               // prior deviation of f, fraction of the mean focal length
    float rotationSigma = 0.19634955f;     // prior deviation of a rotation increment, radians (pi / 16)
    RobustMode registerRobustMode = RobustNone;
    float registerSigma = 3.0f;
    int32_t registerSigmaRelative = 1;
    RobustMode finalRobustMode = RobustHuber;
    float finalSigma = 1.0f;
    int32_t finalSigmaRelative = 0;
    // Between the global and the final adjustment: re-select the matches under the solved
    // cameras, refine their positions to sub-pixel precision and adjust again.
    bool refineRegistration = true;
    // Radial lens distortion estimated per lens after the global adjustment: 0 none, 1 k1,
    // 2 k1 and k2. The prior keeps each coefficient within about lensSigma (k2: half of it)
    // unless the matches ask for more.
    int32_t lensCoefficients = 1;
    float lensSigma = 0.5f;

    bool operator==(const BundleAdjustOptions&) const = default;
};

struct RenderOptions {
    bool renderEnabled = true;
    float thetaMin = -kPi;
    float thetaMax = kPi;
    float phiMin = -kHalfPi;
    float phiMax = kHalfPi;
    SizeMode sizeMode = SizeMode::Width;
    int32_t width = 1400;
    int32_t height = 1400;
    float scale = 0.1f;
    float antiAliasFactor = 0.375f;
    int32_t blendingBands = 2;
    float blendingSigma = 5.0f;
    ImageRotation imageRotation = ImageRotation::None;
    // Render components by their names in the renderer's tables (render/*_registry.h): the
    // compositor, the projection of the output and the seam finder.
    std::string blendingMethod = "multiband";
    std::string projection = "equirectangular";
    std::string seam = "cut";
    bool autoStraighten = true;
    bool autoCrop = true;
    // With automatic cropping: to the largest rectangle every pixel of which is covered.
    bool cropInside = false;
    // Larger blocks would fit a large budget but cost more than they save: their work images
    // outgrow the caches and take long to fault in, and fewer blocks keep fewer threads busy.
    int32_t maxBlockSize = 1024;
    int32_t minBlockSize = 512;
    bool debugSnapshots = false;
    bool edgeFillBlur = true;
    int32_t jpegQuality = 75;
    // The panorama's file: "jpeg", "tiff" or "png", at 8 or 16 bits a sample (16: TIFF and PNG).
    std::string outputFormat = "jpeg";
    int32_t outputDepth = 8;
    bool blockMargin = true;
    float orientTheta = 0.0f;
    float orientPhi = 0.0f;
    float orientPsi = 0.0f;
    bool gainCompensation = false;
    float gainSigma = 0.1f;
    float gainMean = 1.0f;
    int32_t gainImageSize = 50;
    // A recorded output mapping to draw again exactly (its projection, size, scale and centre),
    // when it is known and names `projection`; the crop and size options are then not used.
    OutputMapping mapping;

    bool operator==(const RenderOptions&) const = default;
};

struct StitchOptions {
    FeatureOptions feature;
    RansacOptions ransac;
    BundleAdjustOptions bundle;
    RenderOptions render;
    int64_t systemMemory = 268435456;  // 2^28 bytes, shown as 0.25 GB
    float featureMemoryFraction = 0.25f;
    // Of systemMemory, what the features of all photographs may take while they are matched.
    float matchedFeatureFraction = 0.5f;
    bool parameterFileMatrices = false;
    int32_t threads = 0;  // threads of a run, the calling one included; 0: one per core

    bool operator==(const StitchOptions&) const = default;
};

}  // namespace vantorra
