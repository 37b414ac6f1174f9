#include "io/png_reader.h"

#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <vector>

#include <png.h>

namespace vantorra {
namespace {

// libpng reports errors by longjmp; its state and the message live here, outside the frames it
// jumps across, and the functions that call setjmp hold no objects that need destroying.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = "";
    ~PngState() { png_destroy_read_struct(&png, &info, nullptr); }
};

[[noreturn]] void onError(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", text);
    std::longjmp(png_jmpbuf(png), 1);
}

void onWarning(png_structp, png_const_charp) {}

// No photograph has more rows or columns; a forged header must not cost more.
constexpr png_uint_32 kMaxSide = 1u << 18;

bool readInfo(PngState& state, std::FILE* file) {
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!state.png) return false;
    state.info = png_create_info_struct(state.png);
    if (!state.info) return false;
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_set_user_limits(state.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(state.png, 16u << 20);
    std::rewind(file);
    png_init_io(state.png, file);
    png_read_info(state.png, state.info);
    return true;
}

ExifFacts exifOf(PngState& state, int width, int height) {
#ifdef PNG_eXIf_SUPPORTED
    png_uint_32 size = 0;
    png_bytep block = nullptr;
    if (png_get_eXIf_1(state.png, state.info, &size, &block) && block && size > 0) {
        std::vector<uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
        payload.insert(payload.end(), block, block + size);
        return readExifFacts(payload.data(), payload.size(), width, height);
    }
#endif
    return {};
}

bool factsOf(PngState& state, PngFacts& facts) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    facts.width = static_cast<int>(png_get_image_width(state.png, state.info));
    facts.height = static_cast<int>(png_get_image_height(state.png, state.info));
    facts.bits = png_get_bit_depth(state.png, state.info);
    const int type = png_get_color_type(state.png, state.info);
    const bool transparency = png_get_valid(state.png, state.info, PNG_INFO_tRNS) != 0;
    facts.alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    facts.channels = ((type & PNG_COLOR_MASK_COLOR) ? 3 : 1) + (facts.alpha ? 1 : 0);
    return true;
}

// The rows of an open PNG, as 8- or 16-bit RGB or RGBA after libpng's expansions.
class PngRows : public StoredRows {
public:
    bool open(std::FILE* file, std::string& error) {
        PngFacts facts;
        if (!readInfo(state_, file) || !factsOf(state_, facts) || !configure(facts)) {
            error = state_.message[0] ? state_.message : "not a PNG file";
            return false;
        }
        width_ = facts.width;
        height_ = facts.height;
        alpha_ = facts.alpha;
        wide_ = facts.bits == 16;
        row_.resize(png_get_rowbytes(state_.png, state_.info));
        return true;
    }
    int width() const override { return width_; }
    int height() const override { return height_; }
    bool hasAlpha() const override { return alpha_; }
    bool next(uint16_t* rgb, uint8_t* cover, std::string& error) override {
        if (interlaced_ && image_.empty() && !readWhole()) {
            error = state_.message;
            return false;
        }
        const uint8_t* from = row_.data();
        if (interlaced_) from = image_.data() + static_cast<size_t>(nextRow_) * row_.size();
        else if (!readRow()) {
            error = state_.message;
            return false;
        }
        ++nextRow_;
        convert(from, rgb, cover);
        return true;
    }

private:
    bool configure(const PngFacts& facts) {
        if (setjmp(png_jmpbuf(state_.png))) return false;
        png_set_expand(state_.png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
        png_set_gray_to_rgb(state_.png);
        if (facts.bits == 16) png_set_swap(state_.png);  // stored big-endian; samples read natively
        interlaced_ = png_set_interlace_handling(state_.png) > 1;
        png_read_update_info(state_.png, state_.info);
        return true;
    }
    bool readRow() {
        if (setjmp(png_jmpbuf(state_.png))) return false;
        png_read_row(state_.png, row_.data(), nullptr);
        return true;
    }
    // An interlaced image comes in passes over the whole frame: it is held whole.
    bool readWhole() {
        if (static_cast<int64_t>(row_.size()) * height_ >= (int64_t{1} << 31)) {
            std::snprintf(state_.message, sizeof state_.message, "interlaced image too large");
            return false;
        }
        image_.resize(row_.size() * static_cast<size_t>(height_));
        rows_.resize(height_);
        for (int y = 0; y < height_; ++y) rows_[y] = image_.data() + static_cast<size_t>(y) * row_.size();
        if (setjmp(png_jmpbuf(state_.png))) return false;
        png_read_image(state_.png, rows_.data());
        return true;
    }
    void convert(const uint8_t* from, uint16_t* rgb, uint8_t* cover) const {
        const int channels = alpha_ ? 4 : 3;
        for (int x = 0; x < width_; ++x) {
            for (int k = 0; k < 3; ++k) rgb[3 * x + k] = sample(from, channels * x + k);
            if (alpha_) cover[x] = static_cast<uint8_t>(wide_ ? sample(from, channels * x + 3) >> 8 : from[channels * x + 3]);
        }
    }
    uint16_t sample(const uint8_t* from, int i) const {
        if (!wide_) return static_cast<uint16_t>(from[i] * 257);
        uint16_t value;
        std::memcpy(&value, from + 2 * i, 2);
        return value;
    }

    PngState state_;
    int width_ = 0, height_ = 0, nextRow_ = 0;
    bool alpha_ = false, wide_ = false, interlaced_ = false;
    std::vector<uint8_t> row_, image_;
    std::vector<png_bytep> rows_;
};

}  // namespace

bool readPngFacts(std::FILE* file, PngFacts& facts, std::string& error) {
    PngState state;
    if (!readInfo(state, file) || !factsOf(state, facts)) {
        error = state.message[0] ? state.message : "not a PNG file";
        return false;
    }
    facts.exif = exifOf(state, facts.width, facts.height);
    return true;
}

std::unique_ptr<StoredRows> openPngRows(std::FILE* file, std::string& error) {
    auto rows = std::make_unique<PngRows>();
    if (!rows->open(file, error)) return nullptr;
    return rows;
}

}  // namespace vantorra
