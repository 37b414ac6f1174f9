#include "io/heif_reader.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include <libheif/heif.h>

namespace vantorra {
namespace {

// libheif reads through these callbacks from the caller's FILE (and so through its change checks).
struct FileReader {
    std::FILE* file;
    int64_t size;
};

int64_t positionOf(void* user) { return ftello(static_cast<FileReader*>(user)->file); }

int readInto(void* data, size_t size, void* user) {
    return std::fread(data, 1, size, static_cast<FileReader*>(user)->file) == size ? 0 : -1;
}

int seekTo(int64_t position, void* user) {
    return fseeko(static_cast<FileReader*>(user)->file, static_cast<off_t>(position), SEEK_SET) == 0 ? 0 : -1;
}

heif_reader_grow_status waitFor(int64_t target, void* user) {
    return target <= static_cast<FileReader*>(user)->size ? heif_reader_grow_status_size_reached
                                                          : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader kReader = {1, positionOf, readInto, seekTo, waitFor};

constexpr int kMaxSide = 16384;

// The file's context and its primary image.
struct HeifFile {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    FileReader reader{};
    ~HeifFile() {
        if (handle) heif_image_handle_release(handle);
        if (context) heif_context_free(context);
    }

    bool open(std::FILE* file, std::string& error) {
        struct stat facts {};
        reader = {file, fstat(fileno(file), &facts) == 0 ? static_cast<int64_t>(facts.st_size) : 0};
        std::rewind(file);
        if (!context) return fail(error, "out of memory");
        heif_context_set_max_decoding_threads(context, 1);  // the run's threads decode photographs in parallel
        // The library sizes a tiled image from its grid before any check of ours can see it; a
        // forged grid must not cost gigabytes. No camera writes a HEIF image beyond 16384 a side.
        heif_context_set_maximum_image_size_limit(context, kMaxSide + 1);
        heif_error status = heif_context_read_from_reader(context, &kReader, &reader, nullptr);
        if (status.code == heif_error_Ok) status = heif_context_get_primary_image_handle(context, &handle);
        if (status.code != heif_error_Ok) return fail(error, status.message);
        const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
        if (width <= 0 || height <= 0 || int64_t{width} * height * 4 >= (int64_t{1} << 30))
            return fail(error, "no usable image size");
        return true;
    }
    // libheif's messages may end in a line break; a reason is one line.
    static bool fail(std::string& error, const char* why) {
        error = why && *why ? why : "not a HEIF file";
        for (char& c : error)
            if (c == '\n' || c == '\r') c = ' ';
        while (!error.empty() && error.back() == ' ') error.pop_back();
        return false;
    }
    int bits() const { return std::clamp(heif_image_handle_get_luma_bits_per_pixel(handle), 8, 16); }
};

// The EXIF block of the primary image: 4 bytes giving the offset of its TIFF header, then the block.
ExifFacts exifOf(const HeifFile& file, int width, int height) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(file.handle, "Exif", &id, 1) < 1) return {};
    const size_t size = heif_image_handle_get_metadata_size(file.handle, id);
    if (size < 4 || size > (size_t{1} << 20)) return {};
    std::vector<uint8_t> block(size);
    if (heif_image_handle_get_metadata(file.handle, id, block.data()).code != heif_error_Ok) return {};
    const size_t offset = 4 + ((size_t{block[0]} << 24) | (size_t{block[1]} << 16) | (size_t{block[2]} << 8) | block[3]);
    if (offset >= size) return {};
    std::vector<uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), block.begin() + static_cast<ptrdiff_t>(offset), block.end());
    ExifFacts facts = readExifFacts(payload.data(), payload.size(), width, height);
    facts.orientation = 1;
    return facts;
}

// The decoded primary image, interleaved RGB or RGBA at 8 bits, or at its own depth in 16-bit words.
class HeifRows : public StoredRows {
public:
    ~HeifRows() override {
        if (image_) heif_image_release(image_);
    }
    bool open(std::FILE* file, std::string& error) {
        if (!file_.open(file, error)) return false;
        alpha_ = heif_image_handle_has_alpha_channel(file_.handle) != 0;
        bits_ = file_.bits();
        const heif_chroma chroma = bits_ > 8 ? (alpha_ ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                             : (alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        const heif_error status = heif_decode_image(file_.handle, &image_, heif_colorspace_RGB, chroma, nullptr);
        if (status.code != heif_error_Ok) return HeifFile::fail(error, status.message);
        plane_ = heif_image_get_plane_readonly(image_, heif_channel_interleaved, &stride_);
        width_ = heif_image_get_width(image_, heif_channel_interleaved);
        height_ = heif_image_get_height(image_, heif_channel_interleaved);
        if (!plane_ || width_ <= 0 || height_ <= 0) return HeifFile::fail(error, "the image has no colour plane");
        // A damaged file may decode to another size than its header gives; every stage sized its
        // buffers from the header.
        if (width_ != heif_image_handle_get_width(file_.handle) || height_ != heif_image_handle_get_height(file_.handle))
            return HeifFile::fail(error, "the decoded image is not the size its header gives");
        return true;
    }
    int width() const override { return width_; }
    int height() const override { return height_; }
    bool hasAlpha() const override { return alpha_; }
    bool next(uint16_t* rgb, uint8_t* cover, std::string& error) override {
        if (row_ >= height_) {
            error = "the image has no more rows";
            return false;
        }
        const uint8_t* from = plane_ + static_cast<ptrdiff_t>(row_++) * stride_;
        const int channels = alpha_ ? 4 : 3;
        const uint32_t top = (1u << bits_) - 1;
        for (int x = 0; x < width_; ++x) {
            for (int k = 0; k <= (alpha_ ? 3 : 2); ++k) {
                uint32_t value = from[channels * x + k];
                if (bits_ > 8) {
                    uint16_t word;
                    std::memcpy(&word, from + 2 * (channels * x + k), 2);
                    value = (std::min<uint32_t>(word, top) * 65535u + top / 2) / top;
                } else {
                    value *= 257;
                }
                if (k < 3) rgb[3 * x + k] = static_cast<uint16_t>(value);
                else cover[x] = static_cast<uint8_t>(value >> 8);
            }
        }
        return true;
    }

private:
    HeifFile file_;
    heif_image* image_ = nullptr;
    const uint8_t* plane_ = nullptr;
    int stride_ = 0, width_ = 0, height_ = 0, bits_ = 8, row_ = 0;
    bool alpha_ = false;
};

}  // namespace

bool readHeifFacts(std::FILE* file, HeifFacts& facts, std::string& error) {
    HeifFile heif;
    if (!heif.open(file, error)) return false;
    facts.width = heif_image_handle_get_width(heif.handle);
    facts.height = heif_image_handle_get_height(heif.handle);
    facts.bits = heif.bits();
    facts.alpha = heif_image_handle_has_alpha_channel(heif.handle) != 0;
    facts.exif = exifOf(heif, facts.width, facts.height);
    return true;
}

std::unique_ptr<StoredRows> openHeifRows(std::FILE* file, std::string& error) {
    auto rows = std::make_unique<HeifRows>();
    if (!rows->open(file, error)) return nullptr;
    return rows;
}

}  // namespace vantorra
