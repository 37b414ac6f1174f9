#include "io/jpeg_source.h"

#include <csetjmp>

#include <jerror.h>

#include "io/input_files.h"
#include "io/jpeg_errors.h"

namespace vantorra::jpeg_detail {
namespace {

void initSource(j_decompress_ptr cinfo) { reinterpret_cast<FileSource*>(cinfo->src)->startOfFile = true; }

// A read of a cancelled run gives up here, at its next block of data, however large the file.
[[noreturn]] void stopCancelled(j_decompress_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    manager->pub.msg_code = 0;
    std::snprintf(manager->message, sizeof manager->message, "the read was cancelled");
    longjmp(manager->jump, 1);
}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    if (InputWatch::readCancelled()) stopCancelled(cinfo);
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    size_t bytes = std::fread(source->buffer, 1, source->capacity, source->file);
    if (bytes == 0) {
        if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An end-of-image marker ends the data, as the standard file source does.
        source->buffer[0] = static_cast<JOCTET>(0xFF);
        source->buffer[1] = static_cast<JOCTET>(JPEG_EOI);
        bytes = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = bytes;
    source->startOfFile = false;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* source = cinfo->src;
    if (count <= 0) return;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        (void)(*source->fill_input_buffer)(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

}  // namespace

void useFileSource(jpeg_decompress_struct& cinfo, FileSource& source, FILE* file, std::vector<JOCTET>& buffer) {
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillInputBuffer;
    source.pub.skip_input_data = skipInputData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
    source.file = file;
    source.buffer = buffer.data();
    source.capacity = buffer.size();
    source.startOfFile = true;
    cinfo.src = &source.pub;
}

}  // namespace vantorra::jpeg_detail
