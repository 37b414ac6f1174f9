#include "engine/image.h"

#include <algorithm>
#include <cmath>

#include "engine/jpeg.h"
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
void Image::pasteFrom(int row, int col, const FloatImage& source, int r0, int c0, int r1, int c1) {
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
        uint8_t* to = &data[(static_cast<size_t>(row + r) * cols + col) * channels];
        for (int c = 0; c < width; ++c) {
            for (int j = 0; j < k; ++j) {
                const float v = from[c * source.channels + j];
                const float clamped = v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f;
                to[c * channels + j] = static_cast<uint8_t>(clamped);
            }
        }
    }
}

bool Image::writeJpeg(const std::string& path, int quality, std::string* error) const {
    if (channels != 3 || data.size() != static_cast<size_t>(rows) * cols * 3) {
        if (error) *error = path + ": only a 3-channel image can be written as JPEG";
        return false;
    }
    return vantorra::writeJpeg(path, data.data(), cols, rows, quality, error);
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

namespace {

// Starts `image` with no rows; rows are appended as they are decoded (see reserveNextRow).
bool beginGrowing(FloatImage& image, int rows, int cols) {
    image.release();
    if (rows < 0 || cols < 0 || int64_t{rows} * cols * 3 >= FloatImage::kMaxSamples) return false;
    image.cols = cols;
    image.channels = 3;
    return true;
}

// Appends one row and returns where its samples go.
float* appendRow(FloatImage& image, int totalRows) {
    const size_t rowSamples = static_cast<size_t>(image.cols) * 3;
    reserveNextRow(image.data, rowSamples, totalRows);
    image.data.resize(image.data.size() + rowSamples);
    ++image.rows;
    return image.data.data() + image.data.size() - rowSamples;
}

// Converts each decoded row straight into float samples: no byte copy of the whole image.
class FloatSink : public JpegRowSink {
public:
    explicit FloatSink(FloatImage& image) : image_(image) {}
    bool begin(int width, int height) override {
        height_ = height;
        return beginGrowing(image_, height, width);
    }
    void row(int, const uint8_t* rgb) override {
        float* to = appendRow(image_, height_);
        for (int i = 0; i < image_.cols * 3; ++i) to[i] = static_cast<float>(rgb[i]);
    }

private:
    FloatImage& image_;
    int height_ = 0;
};

// Averages every 2 x 2 block of decoded pixels as it arrives, in the same single-precision sums
// as halfSize, and halves the result again as often as asked the same way, holding one row per
// halving: neither the full-resolution float image nor any of the larger halvings ever exists.
class HalvingSink : public JpegRowSink {
public:
    HalvingSink(FloatImage& image, int halvings) : image_(image), halvings_(std::max(halvings, 1)) {}
    bool begin(int width, int height) override {
        fullRows = height;
        fullCols = width;
        top_.assign(static_cast<size_t>(width) * 3, 0);
        // levels_[k] holds a pending row of the image halved k + 1 times.
        levels_.assign(static_cast<size_t>(halvings_), Level{});
        int rows = height, cols = width;
        for (Level& level : levels_) {
            rows /= 2;
            cols /= 2;
            level.rows = rows;
            level.cols = cols;
            level.pending.assign(static_cast<size_t>(cols) * 3, 0.0f);
            level.next.assign(static_cast<size_t>(cols / 2) * 3, 0.0f);
        }
        halved_.assign(static_cast<size_t>(levels_.front().cols) * 3, 0.0f);
        return beginGrowing(image_, rows, cols);
    }
    void row(int index, const uint8_t* rgb) override {
        if (index % 2 == 0) {
            std::copy(rgb, rgb + top_.size(), top_.begin());
            return;
        }
        if (index / 2 >= fullRows / 2) return;
        Level& first = levels_.front();
        float* to = halvings_ == 1 ? appendRow(image_, first.rows) : halved_.data();
        const uint8_t* top = top_.data();
        // Four bytes add up exactly in floats as in integers, so the sum is taken in integers.
        for (int c = 0; c < first.cols; ++c)
            for (int k = 0; k < 3; ++k) {
                const int left = 6 * c + k, right = left + 3;
                to[3 * c + k] = 0.25f * static_cast<float>(top[left] + top[right] + rgb[left] + rgb[right]);
            }
        if (halvings_ > 1) pass(0, halved_.data());
    }
    int fullRows = 0;
    int fullCols = 0;

private:
    struct Level {
        int rows = 0, cols = 0, arrived = 0;
        std::vector<float> pending;  // the even row waiting for its partner
        std::vector<float> next;     // scratch for the row this level makes
    };

    // Row `samples` of the image halved k + 1 times goes on to the next halving.
    void pass(int k, const float* samples) {
        Level& level = levels_[static_cast<size_t>(k)];
        const int index = level.arrived++;
        if (index % 2 == 0) {
            std::copy(samples, samples + level.pending.size(), level.pending.begin());
            return;
        }
        Level& below = levels_[static_cast<size_t>(k + 1)];
        const bool last = k + 2 == halvings_;
        float* to = last ? appendRow(image_, below.rows) : level.next.data();
        const float* top = level.pending.data();
        for (int c = 0; c < below.cols; ++c) {
            const int left = 2 * c * 3, right = left + 3;
            for (int ch = 0; ch < 3; ++ch)
                to[c * 3 + ch] = 0.25f * (top[left + ch] + top[right + ch] + samples[left + ch] + samples[right + ch]);
        }
        if (!last) pass(k + 1, to);
    }

    FloatImage& image_;
    int halvings_;
    std::vector<uint8_t> top_;
    std::vector<float> halved_;  // a row of the first halving on its way to the next
    std::vector<Level> levels_;
};

// Keeps the top-left rows x cols of `image` (no larger than it), in place.
void cropTo(FloatImage& image, int rows, int cols) {
    rows = std::min(rows, image.rows);
    cols = std::min(cols, image.cols);
    const size_t from = static_cast<size_t>(image.cols) * 3, to = static_cast<size_t>(cols) * 3;
    for (int r = 0; r < rows; ++r)
        std::copy_n(image.data.begin() + static_cast<std::ptrdiff_t>(r * from), to,
                    image.data.begin() + static_cast<std::ptrdiff_t>(r * to));
    image.data.resize(static_cast<size_t>(rows) * to);
    image.rows = rows;
    image.cols = cols;
}

}  // namespace

bool FloatImage::readJpeg(const std::string& path, std::string* error) {
    release();
    FloatSink sink(*this);
    if (readJpegRows(path, sink, error)) return true;
    release();
    return false;
}

bool FloatImage::readJpegHalved(const std::string& path, int& fullRows, int& fullCols,
                                std::string* error, int halvings) {
    release();
    HalvingSink sink(*this, halvings);
    const bool ok = readJpegRows(path, sink, error);
    fullRows = ok ? sink.fullRows : 0;
    fullCols = ok ? sink.fullCols : 0;
    if (!ok) release();
    return ok;
}

bool FloatImage::readJpegReduced(const std::string& path, int fullRows, int fullCols, int halvings,
                                 std::string* error) {
    halvings = std::max(halvings, 0);
    const int byDecoder = std::min(halvings, 1);
    HalvingSink halving(*this, halvings - byDecoder);
    FloatSink whole(*this);
    JpegRowSink& sink = halvings > byDecoder ? static_cast<JpegRowSink&>(halving) : whole;
    const bool ok = readJpegRowsScaled(path, 1 << byDecoder, sink, error);
    // The decoder rounds its reduced sizes up where halving rounds down: at most a row and a
    // column more than the photograph's own halvings.
    if (ok) cropTo(*this, fullRows >> halvings, fullCols >> halvings);
    if (!ok || rows != fullRows >> halvings || cols != fullCols >> halvings) {
        if (ok && error != nullptr) *error = path + ": decoded size differs from its header";
        release();
        return false;
    }
    return true;
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
