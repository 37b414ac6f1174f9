// Writes the JPEG seed corpus (corpus/jpeg_reader/): small files in each kind the reader must
// handle: baseline colour with 4:2:0 and 4:4:4 sampling, progressive, restart markers, greyscale,
// Adobe CMYK and plain CMYK, odd sizes, and one photograph stored on its side with an EXIF block
// (orientation 6, a focal length and a focal-plane resolution). Run once by hand when the corpus is to be rebuilt:
//   make_jpeg_seeds OUTPUT_FOLDER
// The seeds are kept small so the fuzzer's mutations stay cheap.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

struct Kind {
    const char* name;
    int width, height, components;
    J_COLOR_SPACE space;
    bool progressive, fullChroma, adobe;
    int restartRows;
    int orientation;  // 0: no EXIF block
};

void putWord(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putLong(std::vector<uint8_t>& out, unsigned value) {
    putWord(out, value >> 16);
    putWord(out, value & 0xffff);
}

// One big-endian directory entry whose value (or its offset) fits in the entry.
void putEntry(std::vector<uint8_t>& out, unsigned tag, unsigned format, unsigned value) {
    putWord(out, tag);
    putWord(out, format);
    putLong(out, 1);
    if (format == 3) {  // SHORT, left-aligned in the value field
        putWord(out, value);
        putWord(out, 0);
    } else {
        putLong(out, value);
    }
}

// An EXIF block written by hand, so the seeds need nothing beyond libjpeg: the first directory
// holds the orientation and the EXIF directory's offset; that directory holds FocalLength 50/1,
// FocalPlaneX/YResolution (a 36 x 24 mm sensor over the frame) and the unit, inch.
std::vector<uint8_t> exifBlock(int orientation, int width, int height) {
    constexpr unsigned kShort = 3, kLong = 4, kRational = 5;
    constexpr unsigned kExifDirectory = 8 + 2 + 2 * 12 + 4;
    constexpr unsigned kValues = kExifDirectory + 2 + 4 * 12 + 4;
    std::vector<uint8_t> out = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42};
    putLong(out, 8);
    putWord(out, 2);
    putEntry(out, 0x0112, kShort, static_cast<unsigned>(orientation));
    putEntry(out, 0x8769, kLong, kExifDirectory);
    putLong(out, 0);
    putWord(out, 4);
    putEntry(out, 0x920a, kRational, kValues);
    putEntry(out, 0xa20e, kRational, kValues + 8);
    putEntry(out, 0xa20f, kRational, kValues + 16);
    putEntry(out, 0xa210, kShort, 2);
    putLong(out, 0);
    const unsigned values[] = {50, 1, static_cast<unsigned>(width) * 254, 360,
                               static_cast<unsigned>(height) * 254, 240};
    for (const unsigned value : values) putLong(out, value);
    return out;
}

// A smooth gradient with a few sharp edges, so both DC and AC coefficients carry data.
uint8_t sample(int x, int y, int k) {
    const int edge = ((x / 5) + (y / 3)) % 2 ? 60 : 0;
    return static_cast<uint8_t>((x * 7 + y * 11 + k * 50 + edge) & 0xff);
}

bool write(const std::string& path, const Kind& kind) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(kind.width);
    cinfo.image_height = static_cast<JDIMENSION>(kind.height);
    cinfo.input_components = kind.components;
    cinfo.in_color_space = kind.space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    if (kind.space == JCS_CMYK) cinfo.write_Adobe_marker = kind.adobe ? TRUE : FALSE;
    if (kind.fullChroma)
        for (int c = 0; c < cinfo.num_components; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    if (kind.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = kind.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    if (kind.orientation != 0) {
        const std::vector<uint8_t> exif = exifBlock(kind.orientation, kind.width, kind.height);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    std::vector<uint8_t> row(static_cast<size_t>(kind.width) * kind.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < kind.width; ++x)
            for (int k = 0; k < kind.components; ++k) row[static_cast<size_t>(x * kind.components + k)] = sample(x, y, k);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_jpeg_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const Kind kinds[] = {
        {"baseline_420", 33, 21, 3, JCS_RGB, false, false, false, 0, 0},
        {"baseline_444", 16, 16, 3, JCS_RGB, false, true, false, 0, 0},
        {"baseline_restart", 24, 40, 3, JCS_RGB, false, false, false, 1, 0},
        {"progressive", 40, 24, 3, JCS_RGB, true, false, false, 0, 0},
        {"progressive_grey", 19, 13, 1, JCS_GRAYSCALE, true, false, false, 0, 0},
        {"greyscale", 17, 9, 1, JCS_GRAYSCALE, false, false, false, 0, 0},
        {"cmyk_adobe", 12, 10, 4, JCS_CMYK, false, true, true, 0, 0},
        {"cmyk_plain", 12, 10, 4, JCS_CMYK, false, true, false, 0, 0},
        {"one_pixel", 1, 1, 3, JCS_RGB, false, false, false, 0, 0},
        {"one_row", 31, 1, 3, JCS_RGB, false, false, false, 0, 0},
        {"exif_orientation_6", 12, 8, 3, JCS_RGB, false, false, false, 0, 6},
    };
    for (const Kind& kind : kinds) {
        const std::string path = std::string(argv[1]) + "/" + kind.name + ".jpg";
        if (!write(path, kind)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
