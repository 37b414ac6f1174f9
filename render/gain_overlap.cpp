#include "render/gain_overlap.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "numerics/mat3.h"
#include "render/warp.h"
#include "io/photo_image.h"

namespace vantorra {

namespace {

// The pixel matrix of a camera for its gain image, halved `level` times.
Mat3 gainPixelMatrix(const Camera& camera, int level) {
    return Mat3::fromMatrix(reductionMatrix(-level)) * Mat3::fromMatrix(camera.imageTransform);
}

}  // namespace

bool prepareGainImage(const PhotoSources& sources, int image, int gainImageSize,
                      FloatImage& thumbnail, int32_t& level, std::string* error) {
    if (thumbnail.rows == 0) {
        if (const FloatImage* kept = sources.featureImage(image)) {
            thumbnail = *kept;
            level = sources.featureLevel(image);
        } else {
            level = 0;
            if (!readPhoto(sources.path(image), thumbnail, error)) {
                thumbnail.release();
                return false;
            }
        }
    }
    // At least 2 so that a gain image size of 0 cannot halve forever.
    const int limit = std::max(2, 2 * gainImageSize);
    while (thumbnail.rows >= limit && thumbnail.cols >= limit) {
        thumbnail = halfSize(thumbnail);
        ++level;
    }
    return true;
}

GainOverlap measureOverlap(const FloatImage& imageI, int levelI, const Camera& cameraI,
                           const FloatImage& imageJ, int levelJ, const Camera& cameraJ) {
    GainOverlap overlap;
    if (imageI.empty() || imageJ.empty() || !isRegistered(cameraI) || !isRegistered(cameraJ)) return overlap;
    const Mat3 H = gainPixelMatrix(cameraI, levelI) * focalMatrix(cameraI.f) *
                   Mat3::fromMatrix(cameraI.R) * transposed(Mat3::fromMatrix(cameraJ.R)) *
                   focalMatrix(1.0f / cameraJ.f) * invertPixelMatrix(gainPixelMatrix(cameraJ, levelJ));
    const bool bent = !cameraI.lens.none() || !cameraJ.lens.none();
    // Through a bent lens the corners go the long way: J's made ideal, then bent by I's lens.
    Camera gainI = cameraI, gainJ = cameraJ;
    gainI.imageTransform = gainPixelMatrix(cameraI, levelI).toMatrix();
    gainJ.imageTransform = gainPixelMatrix(cameraJ, levelJ).toMatrix();
    const PixelProjection intoI = pixelProjection(gainI);

    const float lastRowJ = static_cast<float>(imageJ.rows - 1);
    const float lastColJ = static_cast<float>(imageJ.cols - 1);
    const Vec3 corners[4] = {{0, 0, 1}, {lastRowJ, 0, 1}, {0, lastColJ, 1}, {lastRowJ, lastColJ, 1}};
    float rowMin = INFINITY, rowMax = -INFINITY, colMin = INFINITY, colMax = -INFINITY;
    for (const Vec3& corner : corners) {
        float row, col;
        if (bent) {
            projectBent(intoI, rayOf(gainJ, corner.x, corner.y), row, col);
        } else {
            const Vec3 p = H * corner;
            // Behind camera i (or on its image plane's horizon): no box can be drawn.
            if (!(p.z > 0.0f)) return overlap;
            row = p.x / p.z;
            col = p.y / p.z;
        }
        if (!std::isfinite(row) || !std::isfinite(col)) return overlap;
        rowMin = std::min(rowMin, row);
        rowMax = std::max(rowMax, row);
        colMin = std::min(colMin, col);
        colMax = std::max(colMax, col);
    }
    // Clamped while still float: a corner near camera i's horizon lands far outside any int.
    const float lastRowI = static_cast<float>(imageI.rows - 1);
    const float lastColI = static_cast<float>(imageI.cols - 1);
    const int rowLo = static_cast<int>(std::clamp(std::floor(rowMin), 0.0f, lastRowI));
    const int rowHi = static_cast<int>(std::clamp(std::ceil(rowMax), 0.0f, lastRowI));
    const int colLo = static_cast<int>(std::clamp(std::floor(colMin), 0.0f, lastColI));
    const int colHi = static_cast<int>(std::clamp(std::ceil(colMax), 0.0f, lastColI));
    if (!(rowLo < rowHi && colLo < colHi)) return overlap;

    overlap.count = static_cast<float>(colHi - colLo + 1) * static_cast<float>(rowHi - rowLo + 1);
    std::array<float, 3> sums{};
    const int channels = imageI.channels;
    for (int r = rowLo; r <= rowHi; ++r) {
        for (int c = colLo; c <= colHi; ++c) {
            const float* pixel = &imageI.data[(static_cast<size_t>(r) * imageI.cols + c) * channels];
            for (int k = 0; k < 3; ++k) sums[k] += pixel[channels >= 3 ? k : 0];
        }
    }
    for (int k = 0; k < 3; ++k) overlap.mean[k] = sums[k] / overlap.count;
    return overlap;
}

}  // namespace vantorra
