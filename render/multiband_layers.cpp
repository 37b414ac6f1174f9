#include "render/multiband_layers.h"

#include <algorithm>
#include <cstddef>

#include "core/row_ranges.h"
#include "numerics/weighted_sum.h"

namespace vantorra {

namespace {

// Sample (r, c, k) of a region image whose channel count may be 1 (grey) or 3.
inline float channelSample(const FloatImage& image, size_t pixel, int k) {
    const int channel = image.channels == 1 ? 0 : k;
    return image.data[pixel * image.channels + channel];
}

}  // namespace

void blurInPlace(FloatImage& image, const std::vector<float>& kernel, int radius,
                 BlurBuffers& buffers, ThreadPool* pool) {
    if (radius <= 0 || image.empty()) return;
    const int rows = image.rows;
    const int channels = image.channels;
    const size_t rowLength = static_cast<size_t>(image.cols) * channels;
    const size_t edge = static_cast<size_t>(radius) * channels;
    const int taps = 2 * radius + 1;
    const size_t slots = static_cast<size_t>(pool != nullptr ? pool->size() : 1);
    if (buffers.extendedRows.size() < slots) buffers.extendedRows.resize(slots);
    for (std::vector<float>& row : buffers.extendedRows) row.resize(rowLength + 2 * edge);
    buffers.rowPass.clear();  // storage that must grow is replaced, not copied
    buffers.rowPass.resize(rowLength * rows);

    // Rows: each output sample sums kernel[2 * radius - t] * extended[c + t] for t = 0 .. 2 * radius
    // in that order, the order separableFilter uses, so both blurs give the same floats.
    forRowRanges(pool, rows, [&](int first, int end, int slot) {
        float* extended = buffers.extendedRows[static_cast<size_t>(slot)].data();
        for (int r = first; r < end; ++r) {
            const float* source = image.data.data() + r * rowLength;
            for (size_t e = 0; e < edge; e += channels) {
                std::copy(source, source + channels, extended + e);
                std::copy(source + rowLength - channels, source + rowLength,
                          extended + edge + rowLength + e);
            }
            std::copy(source, source + rowLength, extended + edge);
            weightedSum(buffers.rowPass.data() + r * rowLength, rowLength, kernel.data(), taps,
                        [&](int t) { return extended + static_cast<size_t>(t) * channels; });
        }
    });
    // Columns, a whole output row at a time; the row pass holds every input row, so the
    // result can go straight back into the image.
    if (buffers.tapRows.size() < slots) buffers.tapRows.resize(slots);
    for (std::vector<const float*>& rowsOfTaps : buffers.tapRows) rowsOfTaps.resize(static_cast<size_t>(taps));
    forRowRanges(pool, rows, [&](int first, int end, int slot) {
        const float** tapRow = buffers.tapRows[static_cast<size_t>(slot)].data();
        for (int r = first; r < end; ++r) {
            for (int t = 0; t < taps; ++t)
                tapRow[t] = buffers.rowPass.data() + static_cast<size_t>(std::clamp(r + t - radius, 0, rows - 1)) * rowLength;
            weightedSum(image.data.data() + r * rowLength, rowLength, kernel.data(), taps,
                        [&](int t) { return tapRow[t]; });
        }
    });
}

void computeValidExtents(RenderRegion& region, ThreadPool* pool) {
    const FloatImage& weight = region.weight;
    const int rows = weight.rows;
    const int cols = weight.cols;
    region.rowValidFirst.resize(static_cast<size_t>(rows));
    region.rowValidLast.resize(static_cast<size_t>(rows));
    region.colValidFirst.resize(static_cast<size_t>(cols));
    region.colValidLast.resize(static_cast<size_t>(cols));
    // As in the blend: a weight that is not <= 0 counts (a NaN would too).
    auto valid = [&](int r, int c) { return !(weight.data[static_cast<size_t>(r) * cols + c] <= 0.0f); };
    forRowRanges(pool, rows, [&](int first, int end, int) {
        for (int r = first; r < end; ++r) {
            int lo = 0, hi = cols - 1;
            while (lo < cols && !valid(r, lo)) ++lo;
            while (hi > lo && !valid(r, hi)) --hi;
            const bool any = lo < cols;
            region.rowValidFirst[static_cast<size_t>(r)] = any ? lo : cols - 1;
            region.rowValidLast[static_cast<size_t>(r)] = any ? hi : cols - 1;
        }
    });
    // Columns a range at a time, each scanning the rows in turn: the reads stay along rows.
    forRowRanges(pool, cols, [&](int first, int end, int) {
        for (int c = first; c < end; ++c) region.colValidFirst[static_cast<size_t>(c)] = -1;
        for (int r = 0; r < rows; ++r)
            for (int c = first; c < end; ++c)
                if (valid(r, c)) {
                    if (region.colValidFirst[static_cast<size_t>(c)] < 0) region.colValidFirst[static_cast<size_t>(c)] = r;
                    region.colValidLast[static_cast<size_t>(c)] = r;
                }
        for (int c = first; c < end; ++c)
            if (region.colValidFirst[static_cast<size_t>(c)] < 0) {
                region.colValidFirst[static_cast<size_t>(c)] = rows - 1;
                region.colValidLast[static_cast<size_t>(c)] = rows - 1;
            }
    });
}

void edgeFilledBlur(const FloatImage& source, FloatImage& image, const RenderRegion& region,
                    const std::vector<float>& kernel, int radius, BlurBuffers& buffers,
                    ThreadPool* pool) {
    const int rows = source.rows;
    const int cols = source.cols;
    const int channels = source.channels;
    image.reshape(rows, cols, channels);  // every sample written by the row fill
    auto pixel = [&](int r, int c) { return image.data.data() + (static_cast<size_t>(r) * cols + c) * channels; };

    // Row by row: the source inside the valid extent, half its edge samples outside it.
    forRowRanges(pool, rows, [&](int firstRow, int endRow, int) {
        for (int r = firstRow; r < endRow; ++r) {
            const int first = region.rowValidFirst[r];
            const int last = region.rowValidLast[r];
            const float* in = source.data.data() + static_cast<size_t>(r) * cols * channels;
            const float* left = in + static_cast<size_t>(first) * channels;
            const float* right = in + static_cast<size_t>(last) * channels;
            for (int c = 0; c < first; ++c)
                for (int k = 0; k < channels; ++k) pixel(r, c)[k] = 0.5f * left[k];
            std::copy(left, right + channels, pixel(r, first));
            for (int c = last + 1; c < cols; ++c)
                for (int k = 0; k < channels; ++k) pixel(r, c)[k] = 0.5f * right[k];
        }
    });
    // The column fill reads only each column's edge pixels, which lie inside the valid extents
    // and so were not changed by the row fill and are never written here; walking row by row
    // (cache order, in any split) gives the same result as walking column by column.
    forRowRanges(pool, rows, [&](int firstRow, int endRow, int) {
    for (int r = firstRow; r < endRow; ++r) {
        for (int c = 0; c < cols; ++c) {
            int edgeRow;
            if (r < region.colValidFirst[c]) {
                edgeRow = region.colValidFirst[c];
            } else if (r > region.colValidLast[c]) {
                edgeRow = region.colValidLast[c];
            } else {
                continue;
            }
            const float* from = pixel(edgeRow, c);
            float* to = pixel(r, c);
            for (int k = 0; k < channels; ++k) to[k] += 0.5f * from[k];
        }
    }
    });
    blurInPlace(image, kernel, radius, buffers, pool);
    forRowRanges(pool, rows, [&](int firstRow, int endRow, int) {
        for (int r = firstRow; r < endRow; ++r) {
            for (int c = 0; c < cols; ++c) {
                const bool outside = c < region.rowValidFirst[r] || c > region.rowValidLast[r] ||
                                     r < region.colValidFirst[c] || r > region.colValidLast[c];
                if (!outside) continue;
                float* p = pixel(r, c);
                std::fill(p, p + channels, 0.0f);
            }
        }
    });
}

namespace {

// Adds sampleAt(pixel, k) x w to the colour sum and w to the weight sum at every region pixel
// with positive weight; the one loop behind both accumulations.
template <typename Sample>
void accumulateWeighted(const FloatImage& w, const RenderRegion& region, FloatImage& colourSum,
                        FloatImage& weightSum, ThreadPool* pool, Sample sampleAt) {
    // Region rows land on distinct block rows, so ranges of rows never add to the same sums.
    forRowRanges(pool, w.rows, [&](int first, int end, int) {
    for (int r = first; r < end; ++r) {
        const size_t blockRow = static_cast<size_t>(region.rowFirst + r) * weightSum.cols;
        for (int c = 0; c < w.cols; ++c) {
            const size_t pixel = static_cast<size_t>(r) * w.cols + c;
            const float weight = w.data[pixel];
            if (weight <= 0.0f) continue;
            const size_t target = blockRow + region.colFirst + c;
            float* colour = colourSum.data.data() + target * 3;
            for (int k = 0; k < 3; ++k) colour[k] += sampleAt(pixel, k) * weight;
            weightSum.data[target] += weight;
        }
    }
    });
}

}  // namespace

void accumulate(const FloatImage& image, const FloatImage& w, const RenderRegion& region,
                FloatImage& colourSum, FloatImage& weightSum, ThreadPool* pool) {
    if (image.channels == 3) {  // the usual case, without the channel test per sample
        const float* a = image.data.data();
        accumulateWeighted(w, region, colourSum, weightSum, pool,
                           [a](size_t pixel, int k) { return a[pixel * 3 + static_cast<size_t>(k)]; });
        return;
    }
    accumulateWeighted(w, region, colourSum, weightSum, pool,
                       [&](size_t pixel, int k) { return channelSample(image, pixel, k); });
}

void accumulateDifference(const FloatImage& image, const FloatImage& low, const FloatImage& w,
                          const RenderRegion& region, FloatImage& colourSum,
                          FloatImage& weightSum, ThreadPool* pool) {
    if (image.channels == 3 && low.channels == 3) {
        const float* a = image.data.data();
        const float* b = low.data.data();
        accumulateWeighted(w, region, colourSum, weightSum, pool, [a, b](size_t pixel, int k) {
            const size_t at = pixel * 3 + static_cast<size_t>(k);
            return a[at] - b[at];
        });
        return;
    }
    accumulateWeighted(w, region, colourSum, weightSum, pool, [&](size_t pixel, int k) {
        return channelSample(image, pixel, k) - channelSample(low, pixel, k);
    });
}

void normaliseInto(FloatImage& block, const FloatImage& colourSum, const FloatImage& weightSum,
                   ThreadPool* pool) {
    const size_t cols = static_cast<size_t>(weightSum.cols);
    forRowRanges(pool, weightSum.rows, [&](int first, int end, int) {
        for (size_t p = static_cast<size_t>(first) * cols; p < static_cast<size_t>(end) * cols; ++p) {
            const float weight = weightSum.data[p];
            if (weight <= 0.0f) continue;
            for (int k = 0; k < 3; ++k) block.data[p * 3 + k] += colourSum.data[p * 3 + k] / weight;
        }
    });
}

void keepWhereSeen(RenderRegion& region, ThreadPool* pool) {
    const FloatImage& weight = region.weight;
    forRowRanges(pool, weight.rows, [&](int first, int end, int) {
        const size_t from = static_cast<size_t>(first) * weight.cols, to = static_cast<size_t>(end) * weight.cols;
        for (size_t p = from; p < to; ++p)
            if (!(weight.data[p] > 0.0f)) region.mask.data[p] = 0.0f;
    });
}

}  // namespace vantorra
