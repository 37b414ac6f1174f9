#include "io/photo_image.h"

#include <algorithm>
#include <cstddef>

#include "io/jpeg.h"
#include "io/photo_reader.h"

namespace vantorra {

bool writeJpeg(const std::string& path, const Image& image, int quality, std::string* error) {
    if (image.channels != 3 || image.data.size() != static_cast<size_t>(image.rows) * image.cols * 3) {
        if (error) *error = path + ": only a 3-channel image can be written as JPEG";
        return false;
    }
    return writeJpeg(path, image.data.data(), image.cols, image.rows, quality, error);
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

bool readPhoto(const std::string& path, FloatImage& image, std::string* error) {
    image.release();
    FloatSink sink(image);
    if (readPhotoRows(path, sink, error)) return true;
    image.release();
    return false;
}

bool readPhotoHalved(const std::string& path, FloatImage& image, int& fullRows, int& fullCols, std::string* error,
                    int halvings) {
    image.release();
    HalvingSink sink(image, halvings);
    const bool ok = readPhotoRows(path, sink, error);
    fullRows = ok ? sink.fullRows : 0;
    fullCols = ok ? sink.fullCols : 0;
    if (!ok) image.release();
    return ok;
}

bool readPhotoReduced(const std::string& path, FloatImage& image, int fullRows, int fullCols, int halvings,
                     std::string* error) {
    halvings = std::max(halvings, 0);
    const int byDecoder = std::min(halvings, 1);
    HalvingSink halving(image, halvings - byDecoder);
    FloatSink whole(image);
    JpegRowSink& sink = halvings > byDecoder ? static_cast<JpegRowSink&>(halving) : whole;
    const bool ok = readPhotoRowsScaled(path, 1 << byDecoder, sink, error);
    // The decoder rounds its reduced sizes up where halving rounds down: at most a row and a
    // column more than the photograph's own halvings.
    if (ok) cropTo(image, fullRows >> halvings, fullCols >> halvings);
    if (!ok || image.rows != fullRows >> halvings || image.cols != fullCols >> halvings) {
        if (ok && error != nullptr) *error = path + ": decoded size differs from its header";
        image.release();
        return false;
    }
    return true;
}

}  // namespace vantorra
