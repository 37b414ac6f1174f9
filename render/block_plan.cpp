#include "render/block_plan.h"

#include <algorithm>
#include <cmath>

namespace vantorra {
namespace {

// Largest side a JPEG can hold; also keeps the float-to-int conversions in range.
constexpr float kMaxSide = 65535.0f;

int side(float x) {
    if (!(x >= 2.0f)) return 2;  // also catches NaN
    return static_cast<int>(std::fmin(x, kMaxSide));
}

}  // namespace

OutputSize outputSize(const RenderOptions& options, float dT, float dP,
                      const ImageFootprint& reference, int refRows, int refCols) {
    OutputSize size;
    if (options.sizeMode == 1) {
        size.height = side(static_cast<float>(options.height));
        size.width = side(std::trunc(dT * static_cast<float>(size.height - 1) / dP) + 1.0f);
        return size;
    }
    if (options.sizeMode == 2) {
        const float a = options.scale * static_cast<float>(refRows);
        const float b = options.scale * static_cast<float>(refCols);
        const float w1 = dT * a / std::sqrt(reference.firstEdgeTheta * reference.firstEdgeTheta +
                                            reference.firstEdgePhi * reference.firstEdgePhi);
        const float w2 = dT * b / std::sqrt(reference.secondEdgeTheta * reference.secondEdgeTheta +
                                            reference.secondEdgePhi * reference.secondEdgePhi);
        size.width = side(std::trunc(std::fmax(w1, w2)));
    } else {
        size.width = side(static_cast<float>(options.width));
    }
    size.height = side(std::trunc(dP * static_cast<float>(size.width - 1) / dT) + 1.0f);
    return size;
}

int renderBlockSize(int64_t budget, int width, int height, int minBlock, int maxBlock) {
    const int64_t q = (budget - int64_t{3} * width * height) / 52;
    // A block needs at least one pixel whatever the options say.
    if (q <= 0) return std::max(minBlock, 1);
    const int n = static_cast<int>(std::sqrt(static_cast<double>(q)));
    const int k = static_cast<int>(std::floor(std::log(static_cast<double>(n)) / std::log(2.0)));
    const int b = static_cast<int>(std::pow(2.0, k));
    return std::max(std::min(std::max(b, minBlock), maxBlock), 1);
}

int renderBlockMargin(const RenderOptions& options) {
    if (options.blendingMethod != 2 || !options.blockMargin) return 0;
    return options.blendingBands *
           static_cast<int>(std::floor(3.0f * options.blendingSigma + 0.5f));
}

BlockBounds blockBounds(int blockRow, int blockCol, int block, int width, int height) {
    BlockBounds b;
    b.rowStart = blockRow * block;
    b.rowEnd = std::min(height - 1, b.rowStart + block - 1);
    b.colStart = blockCol * block;
    b.colEnd = std::min(width - 1, b.colStart + block - 1);
    return b;
}

int blockCount(int extent, int block) {
    return static_cast<int>(std::ceil(static_cast<float>(extent) / static_cast<float>(block)));
}

}  // namespace vantorra
