#include "render/block_plan.h"

#include <algorithm>
#include <cmath>

#include "options/option_ranges.h"

namespace vantorra {
namespace {

// At most the largest side the output format holds; also keeps the float-to-int conversions in range.
int side(float x, double& requested, float largest) {
    if (!(x >= 2.0f)) return 2;  // also catches NaN
    if (x > largest) requested = x;
    return static_cast<int>(std::fmin(x, largest));
}

}  // namespace

OutputSize outputSize(const RenderOptions& options, float dT, float dP,
                      const ImageFootprint& reference, int refRows, int refCols) {
    OutputSize size;
    const float largest = static_cast<float>(largestPanoramaSide(options.outputFormat));
    if (options.sizeMode == SizeMode::Height) {
        size.height = side(static_cast<float>(options.height), size.requestedHeight, largest);
        size.width = side(std::trunc(dT * static_cast<float>(size.height - 1) / dP) + 1.0f,
                          size.requestedWidth, largest);
        return size;
    }
    if (options.sizeMode == SizeMode::Scale) {
        const float a = options.scale * static_cast<float>(refRows);
        const float b = options.scale * static_cast<float>(refCols);
        const float w1 = dT * a / std::sqrt(reference.firstEdgeTheta * reference.firstEdgeTheta +
                                            reference.firstEdgePhi * reference.firstEdgePhi);
        const float w2 = dT * b / std::sqrt(reference.secondEdgeTheta * reference.secondEdgeTheta +
                                            reference.secondEdgePhi * reference.secondEdgePhi);
        size.width = side(std::trunc(std::fmax(w1, w2)), size.requestedWidth, largest);
    } else {
        size.width = side(static_cast<float>(options.width), size.requestedWidth, largest);
    }
    size.height = side(std::trunc(dP * static_cast<float>(size.width - 1) / dT) + 1.0f,
                       size.requestedHeight, largest);
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

int planBlockSize(int64_t budget, int64_t heldBytes, int width, int height, bool streamed,
                  int64_t pixelBytes, int margin, int minBlock, int maxBlock) {
    return planBlockSize(budget, [heldBytes](int) { return heldBytes; }, width, height, streamed, pixelBytes,
                         margin, minBlock, maxBlock);
}

int planBlockSize(int64_t budget, const std::function<int64_t(int)>& heldFor, int width, int height,
                  bool streamed, int64_t pixelBytes, int margin, int minBlock, int maxBlock) {
    auto fits = [&](int64_t b, int64_t allowance = 0) {
        const int64_t rows = streamed ? std::min<int64_t>(b, height) : height;
        // A block larger than the panorama costs only what the panorama covers.
        const int64_t blockRows = std::min<int64_t>(b, height) + 2 * int64_t{margin};
        const int64_t blockCols = std::min<int64_t>(b, width) + 2 * int64_t{margin};
        const int64_t need = heldFor(static_cast<int>(b)) + 3 * int64_t{width} * rows + pixelBytes * blockRows * blockCols;
        return need <= budget + allowance;
    };
    const int lowest = std::max(minBlock, 1);
    int best = 0;  // none found yet
    for (int64_t b = 1; b <= maxBlock; b *= 2)
        if (b >= lowest && fits(b)) best = static_cast<int>(b);
    // Below the preferred size rather than over the budget. When even the smallest block does
    // not fit, the largest block within the allowance over the budget (the renderer refuses a
    // budget that not even the smallest comes that near): never more memory than that, and not
    // the thousands of tiny blocks the smallest would be.
    for (int64_t b = lowest / 2; best == 0 && b >= kSmallestBlock; b /= 2)
        if (fits(b)) best = static_cast<int>(b);
    for (int64_t b = lowest; best == 0 && b >= kSmallestBlock; b /= 2)
        if (fits(b, kBudgetAllowance)) best = static_cast<int>(b);
    if (best == 0) best = std::min(lowest, kSmallestBlock);
    return std::max(std::min(best, maxBlock), 1);
}

namespace {

// Working bytes of one block of side `block` with its margin; its columns are the band's even
// share (evenBlockSide).
int64_t blockBytes(int width, int height, int64_t pixelBytes, int margin, int block) {
    const int64_t b = std::max(block, 1);
    return pixelBytes * (std::min<int64_t>(b, height) + 2 * int64_t{margin}) *
           (std::min<int64_t>(evenBlockSide(width, block), width) + 2 * int64_t{margin});
}

}  // namespace

int concurrentBlocks(int64_t budget, int64_t heldBytes, int width, int height, bool streamed,
                     int64_t pixelBytes, int margin, int block, int limit) {
    const int64_t b = std::max(block, 1);
    const int64_t rows = streamed ? std::min<int64_t>(b, height) : height;
    const int64_t shared = heldBytes + 3 * int64_t{width} * rows;
    const int64_t perBlock = blockBytes(width, height, pixelBytes, margin, block);
    if (perBlock <= 0 || limit <= 1) return 1;
    const int64_t fit = (budget - shared) / perBlock;
    return static_cast<int>(std::clamp<int64_t>(fit, 1, limit));
}

bool secondBandFits(int64_t budget, int64_t heldBytes, int width, int height, int64_t pixelBytes, int margin,
                    int block, int blocksAtOnce) {
    const int64_t rows = std::min<int64_t>(std::max(block, 1), height);
    const int64_t need = heldBytes + 2 * 3 * int64_t{width} * rows +
                         int64_t{std::max(blocksAtOnce, 1)} * blockBytes(width, height, pixelBytes, margin, block);
    return need <= budget;
}

int64_t smallestBlockBytes(const std::function<int64_t(int)>& heldFor, int width, int64_t pixelBytes, int margin) {
    const int64_t side = kSmallestBlock + 2 * int64_t{margin};
    return heldFor(kSmallestBlock) + 3 * int64_t{width} * kSmallestBlock + pixelBytes * side * side;
}

BlockBounds blockBounds(int blockRow, int blockCol, int rowSide, int colSide, int width, int height) {
    BlockBounds b;
    b.rowStart = blockRow * rowSide;
    b.rowEnd = std::min(height - 1, b.rowStart + rowSide - 1);
    b.colStart = blockCol * colSide;
    b.colEnd = std::min(width - 1, b.colStart + colSide - 1);
    return b;
}

int blockCount(int extent, int block) {
    return static_cast<int>(std::ceil(static_cast<float>(extent) / static_cast<float>(block)));
}

int evenBlockSide(int extent, int block) {
    if (extent <= 0 || block <= 0) return std::max(block, 1);
    int count = blockCount(extent, block);
    // An even count, so that the blocks of a band split evenly over two threads (a count fixed by
    // the panorama alone: the panorama never depends on the thread count).
    if (count > 1 && count % 2 != 0 && count < extent) ++count;
    return (extent + count - 1) / count;
}

}  // namespace vantorra
