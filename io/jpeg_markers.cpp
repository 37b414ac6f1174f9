#include "io/jpeg_markers.h"

#include <cstring>

namespace vantorra {
namespace {

constexpr char kExifHeader[] = "Exif\0";  // with its terminator: "Exif\0\0"

// The data source refills its buffer or ends the decode (a file cut short is an error there).
int nextByte(j_decompress_ptr cinfo) {
    jpeg_source_mgr* source = cinfo->src;
    if (source->bytes_in_buffer == 0) (void)(*source->fill_input_buffer)(cinfo);
    --source->bytes_in_buffer;
    return *source->next_input_byte++;
}

// Reads one APP1 segment's length and keeps or skips its data.
boolean keepFirstExif(j_decompress_ptr cinfo) {
    auto& kept = *static_cast<std::vector<uint8_t>*>(cinfo->client_data);
    const int high = nextByte(cinfo);
    long length = (high << 8) + nextByte(cinfo) - 2;
    if (length <= 0) return TRUE;
    if (!kept.empty() || length < static_cast<long>(sizeof kExifHeader)) {
        (*cinfo->src->skip_input_data)(cinfo, length);
        return TRUE;
    }
    uint8_t start[sizeof kExifHeader];
    for (uint8_t& byte : start) byte = static_cast<uint8_t>(nextByte(cinfo));
    length -= static_cast<long>(sizeof kExifHeader);
    if (std::memcmp(start, kExifHeader, sizeof kExifHeader) != 0) {
        (*cinfo->src->skip_input_data)(cinfo, length);
        return TRUE;
    }
    kept.reserve(sizeof kExifHeader + static_cast<size_t>(length));
    kept.assign(start, start + sizeof kExifHeader);
    while (length-- > 0) kept.push_back(static_cast<uint8_t>(nextByte(cinfo)));
    return TRUE;
}

}  // namespace

void keepFirstExifSegment(jpeg_decompress_struct& cinfo, std::vector<uint8_t>& kept) {
    kept.clear();
    cinfo.client_data = &kept;
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 1, keepFirstExif);
}

}  // namespace vantorra
