#include "core/image.h"

#include <algorithm>
#include <cmath>

#include "numerics/angles.h"
#include "numerics/weighted_sum.h"

namespace vantorra {

void Image::clear() {
    rows = cols = channels = 0;
    data.clear();
    data.shrink_to_fit();
}

void Image::allocate(int newRows, int newCols, int newChannels) {
    clear();
    if (newRows <= 0 || newCols <= 0 || newChannels <= 0) return;
    data.assign(static_cast<size_t>(newRows) * newCols * newChannels, 0);
    rows = newRows;
    cols = newCols;
    channels = newChannels;
}

// The block is clipped to both images, so a caller's off-by-one never writes past the panorama.
// Samples are clamped as well as truncated: converting a float outside 0-255 (or a NaN) to a byte
// is undefined, and a stray value must not corrupt the output.
namespace {

// Copies source rows r0..r1, columns c0..c1 into `data` (rows x cols x channels) at (row, col),
// each sample through `convert`, clipped to both images.
template <typename T, typename Convert>
void pasteSamples(std::vector<T>& data, int rows, int cols, int channels, int row, int col, const FloatImage& source,
                  int r0, int c0, int r1, int c1, Convert convert) {
    if (r1 < r0 || c1 < c0) return;
    const int k = std::min(channels, source.channels);
    // Shift the block so it starts inside both the source and the target.
    const int skipRows = std::max({0, -r0, -row});
    const int skipCols = std::max({0, -c0, -col});
    r0 += skipRows;
    row += skipRows;
    c0 += skipCols;
    col += skipCols;
    const int height = std::min({r1 - r0 + 1, source.rows - r0, rows - row});
    const int width = std::min({c1 - c0 + 1, source.cols - c0, cols - col});
    if (height <= 0 || width <= 0 || k <= 0) return;
    for (int r = 0; r < height; ++r) {
        const float* from = &source.data[(static_cast<size_t>(r0 + r) * source.cols + c0) * source.channels];
        T* to = &data[(static_cast<size_t>(row + r) * cols + col) * channels];
        for (int c = 0; c < width; ++c)
            for (int j = 0; j < k; ++j) to[c * channels + j] = convert(from[c * source.channels + j]);
    }
}

}  // namespace

void Image::pasteFrom(int row, int col, const FloatImage& source, int r0, int c0, int r1, int c1) {
    pasteSamples(data, rows, cols, channels, row, col, source, r0, c0, r1, c1, [](float v) {
        const float clamped = v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f;
        return static_cast<uint8_t>(clamped);
    });
}

void WideImage::allocate(int r, int c, int ch) {
    rows = r;
    cols = c;
    channels = ch;
    data.assign(static_cast<size_t>(std::max(r, 0)) * std::max(c, 0) * std::max(ch, 0), 0);
}

void WideImage::pasteFrom(int row, int col, const FloatImage& source, int r0, int c0, int r1, int c1) {
    pasteSamples(data, rows, cols, channels, row, col, source, r0, c0, r1, c1, [](float v) {
        const float scaled = v * 257.0f + 0.5f;
        return static_cast<uint16_t>(scaled > 0.0f ? (scaled < 65535.0f ? scaled : 65535.0f) : 0.0f);
    });
}

FloatImage::FloatImage(int newRows, int newCols, int newChannels) {
    allocate(newRows, newCols, newChannels);
}

bool FloatImage::allocate(int newRows, int newCols, int newChannels) {
    const int64_t samples = int64_t{newRows} * newCols * newChannels;
    if (newRows < 0 || newCols < 0 || newChannels < 0 || samples >= kMaxSamples) {
        release();
        return false;
    }
    // The storage is kept: work images made again for every block then reuse their pages
    // instead of faulting fresh ones in.
    data.assign(static_cast<size_t>(samples), 0.0f);
    rows = newRows;
    cols = newCols;
    channels = newChannels;
    return true;
}

bool FloatImage::reshape(int newRows, int newCols, int newChannels) {
    const int64_t samples = int64_t{newRows} * newCols * newChannels;
    if (newRows < 0 || newCols < 0 || newChannels < 0 || samples >= kMaxSamples) {
        release();
        return false;
    }
    // Emptied first: storage that must grow is then replaced, not copied over.
    data.clear();
    data.resize(static_cast<size_t>(samples));
    rows = newRows;
    cols = newCols;
    channels = newChannels;
    return true;
}

void FloatImage::release() {
    rows = cols = channels = 0;
    data.clear();
    data.shrink_to_fit();
}

void FloatImage::clampTo255() {
    for (float& v : data) {
        if (v >= 255.0f) v = 255.0f;
        else if (v < 0.0f) v = 0.0f;
    }
}

// Tiled so that both the reads and the writes stay within a few cache lines at a time.
FloatImage transpose(const FloatImage& source) {
    FloatImage result;
    result.reshape(source.cols, source.rows, source.channels);  // every sample is written
    if (source.data.empty()) return result;
    constexpr int kTile = 32;
    const int ch = source.channels;
    for (int r0 = 0; r0 < source.rows; r0 += kTile) {
        const int r1 = std::min(r0 + kTile, source.rows);
        for (int c0 = 0; c0 < source.cols; c0 += kTile) {
            const int c1 = std::min(c0 + kTile, source.cols);
            for (int r = r0; r < r1; ++r) {
                const float* from = &source.data[static_cast<size_t>(r) * source.cols * ch];
                for (int c = c0; c < c1; ++c) {
                    float* to = &result.data[(static_cast<size_t>(c) * result.cols + r) * ch];
                    for (int k = 0; k < ch; ++k) to[k] = from[c * ch + k];
                }
            }
        }
    }
    return result;
}

FloatImage difference(const FloatImage& a, const FloatImage& b) {
    if (a.rows != b.rows || a.cols != b.cols || a.channels != b.channels) return FloatImage();
    FloatImage result;
    result.reshape(a.rows, a.cols, a.channels);  // every sample is written
    for (size_t i = 0; i < a.data.size(); ++i) result.data[i] = a.data[i] - b.data[i];
    return result;
}

FloatImage halfSize(const FloatImage& source) {
    FloatImage result;
    result.reshape(source.rows / 2, source.cols / 2, source.channels);  // every sample is written
    if (result.data.empty()) return result;
    const int ch = source.channels;
    const size_t sourceRow = static_cast<size_t>(source.cols) * ch;
    for (int r = 0; r < result.rows; ++r) {
        const float* top = &source.data[2 * static_cast<size_t>(r) * sourceRow];
        const float* bottom = top + sourceRow;
        float* to = &result.data[static_cast<size_t>(r) * result.cols * ch];
        for (int c = 0; c < result.cols; ++c) {
            const int left = 2 * c * ch;
            const int right = left + ch;
            for (int k = 0; k < ch; ++k) {
                to[c * ch + k] =
                    0.25f * (top[left + k] + top[right + k] + bottom[left + k] + bottom[right + k]);
            }
        }
    }
    return result;
}

std::vector<float> gaussianKernel(float sigma, int radius) {
    if (radius < 0) return {};
    std::vector<float> kernel(2 * static_cast<size_t>(radius) + 1);
    const float centre = 1.0f / (std::sqrt(2.0f * kPi) * sigma);
    kernel[radius] = centre;
    float sum = centre;
    for (int i = 1; i <= radius; ++i) {
        const float value = std::exp(-0.5f * static_cast<float>(i * i) / (sigma * sigma)) * centre;
        kernel[radius + i] = value;
        kernel[radius - i] = value;
        sum += value;
        sum += value;
    }
    for (float& k : kernel) k /= sum;
    return kernel;
}

namespace {

// Output row r of the row pass: source row r extended by its edge pixels into `extended` (reused
// from row to row), each sample summed tap by tap in the order t = 0 ... 2 * radius
// (weightedSum), the same float sums as a per-pixel loop.
void convolveRow(const FloatImage& source, int r, const std::vector<float>& kernel, int radius,
                 FloatSamples& extended, float* out) {
    const int ch = source.channels;
    const size_t rowSamples = static_cast<size_t>(source.cols) * ch;
    const float* from = &source.data[static_cast<size_t>(r) * rowSamples];
    for (int e = 0; e < radius; ++e) {
        std::copy(from, from + ch, &extended[static_cast<size_t>(e) * ch]);
        std::copy(from + rowSamples - ch, from + rowSamples,
                  &extended[rowSamples + static_cast<size_t>(radius + e) * ch]);
    }
    std::copy(from, from + rowSamples, &extended[static_cast<size_t>(radius) * ch]);
    weightedSum(out, rowSamples, kernel.data(), 2 * radius + 1,
                [&](int t) { return &extended[static_cast<size_t>(t) * ch]; });
}

FloatSamples extensionBuffer(const FloatImage& source, int radius) {
    return FloatSamples((static_cast<size_t>(source.cols) + 2 * static_cast<size_t>(radius)) * source.channels);
}

bool kernelFits(const std::vector<float>& kernel, int radius) {
    return radius >= 0 && kernel.size() >= 2 * static_cast<size_t>(radius) + 1;
}

}  // namespace

FloatImage convolveRows(const FloatImage& source, const std::vector<float>& kernel, int radius) {
    if (!kernelFits(kernel, radius)) return FloatImage();
    FloatImage result;
    result.reshape(source.rows, source.cols, source.channels);  // every sample is written
    if (source.data.empty()) return result;
    const size_t rowSamples = static_cast<size_t>(source.cols) * source.channels;
    FloatSamples extended = extensionBuffer(source, radius);
    for (int r = 0; r < source.rows; ++r)
        convolveRow(source, r, kernel, radius, extended, &result.data[static_cast<size_t>(r) * rowSamples]);
    return result;
}

// The row pass is kept only for the rows the column pass still needs, in a ring of 2 * radius + 1
// rows (or all rows of a shorter image), instead of as a whole image: output row r sums row-pass
// rows r - radius ... r + radius, clamped to the image, in tap order, the same floats as
// filtering the whole image by rows and then by columns.
FloatImage separableFilter(const FloatImage& source, const std::vector<float>& kernel, int radius) {
    if (!kernelFits(kernel, radius)) return FloatImage();
    FloatImage result;
    result.reshape(source.rows, source.cols, source.channels);  // every sample is written
    const size_t rowSamples = static_cast<size_t>(source.cols) * source.channels;
    if (rowSamples == 0 || source.rows == 0) return result;
    const int window = std::min(2 * radius + 1, source.rows);
    FloatSamples ring(static_cast<size_t>(window) * rowSamples);
    FloatSamples extended = extensionBuffer(source, radius);
    auto slot = [&](int row) { return &ring[static_cast<size_t>(row % window) * rowSamples]; };
    int made = 0;  // rows of the row pass in the ring so far
    for (int r = 0; r < source.rows; ++r) {
        for (const int needed = std::min(r + radius, source.rows - 1); made <= needed; ++made)
            convolveRow(source, made, kernel, radius, extended, slot(made));
        weightedSum(&result.data[static_cast<size_t>(r) * rowSamples], rowSamples, kernel.data(), 2 * radius + 1,
                    [&](int t) { return slot(std::clamp(r + t - radius, 0, source.rows - 1)); });
    }
    return result;
}

}  // namespace vantorra
