#pragma once
// Every tunable value of the engine. Four plain blocks, each copied by value into the stage that
// uses it, then three engine-level values. Angles are radians, sizes pixels, byte counts 64-bit.
// Nothing is saved: every start begins with these defaults.

#include <cstdint>

#include "numerics/angles.h"

namespace vantorra {

struct FeatureOptions {
    int32_t maxMatchesPerFeature = 5;  // clamped to n - 1 images at the start of every run
    int32_t nearestNeighbours = 9;
    int32_t reservedFeatureCount = 5000;  // travels with the block; no stage reads it
    float reservedFeatureRatio = 0.9f;    // travels with the block; no stage reads it
    float distanceRatio = 0.8f;
    int32_t siftSizeMode = 0;  // 0: siftMinDim pixels, 1: siftScale
    int32_t siftMinDim = 400;
    int32_t thumbnailMinDim = 50;
    float siftScale = 0.25f;
    int32_t upsampleBelow = 300;
    int32_t detectorMode = 2;
    int64_t featureImageBudget = 268435456;  // recomputed by the driver at every run
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
    int32_t registerRobustMode = RobustNone;
    float registerSigma = 3.0f;
    int32_t registerSigmaRelative = 1;
    int32_t finalRobustMode = RobustHuber;
    float finalSigma = 1.0f;
    int32_t finalSigmaRelative = 0;
};

struct RenderOptions {
    bool renderEnabled = true;
    float thetaMin = -kPi;
    float thetaMax = kPi;
    float phiMin = -kHalfPi;
    float phiMax = kHalfPi;
    int32_t sizeMode = 0;  // 0 width, 1 height, 2 scale
    int32_t width = 1400;
    int32_t height = 1400;
    float scale = 0.1f;
    float antiAliasFactor = 0.375f;
    int32_t blendingBands = 2;
    float blendingSigma = 5.0f;
    int32_t imageRotation = 0;   // 0 none, 1 clockwise, 2 anticlockwise, 3 upside down
    int32_t blendingMethod = 2;  // 0 none, 1 linear, 2 multi-band
    bool autoStraighten = true;
    bool autoCrop = true;
    bool reservedRenderFlag = true;  // travels with the block; no stage reads it
    int32_t maxBlockSize = 8192;
    int32_t minBlockSize = 512;
    int64_t renderMemoryBudget = 805306368;  // recomputed before every render
    bool debugSnapshots = false;
    bool edgeFillBlur = true;
    int32_t jpegQuality = 75;
    bool blockMargin = true;
    float orientTheta = 0.0f;
    float orientPhi = 0.0f;
    float orientPsi = 0.0f;
    bool gainCompensation = false;
    float gainSigma = 0.1f;
    float gainMean = 1.0f;
    int32_t gainImageSize = 50;
};

struct StitchOptions {
    FeatureOptions feature;
    RansacOptions ransac;
    BundleAdjustOptions bundle;
    RenderOptions render;
    int64_t systemMemory = 268435456;  // 2^28 bytes, shown as 0.25 GB
    float featureMemoryFraction = 0.25f;
    bool parameterFileMatrices = false;
};

}  // namespace vantorra
