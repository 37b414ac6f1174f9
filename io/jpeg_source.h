#pragma once
// The decoder's source of compressed data: the file read 64 KiB at a time. The decoder takes its
// fast Huffman path only while a few kilobytes are buffered ahead (512 bytes per block of a
// unit), which the standard 4 KiB buffer of a file source gives only a quarter of the time; the
// data, the warnings and the errors are those of the standard file source. A read of a
// cancelled run gives up at its next block of data, however large the file.

#include <cstddef>
#include <cstdio>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace vantorra::jpeg_detail {

constexpr size_t kSourceBufferBytes = size_t{64} << 10;
constexpr size_t kHeaderBufferBytes = size_t{4} << 10;  // enough for a header alone

struct FileSource {
    jpeg_source_mgr pub;
    FILE* file;
    JOCTET* buffer;
    size_t capacity;
    bool startOfFile;
};

// `source` and `buffer` (at least 2 bytes) belong to the caller and outlive the decoder, whose
// error manager must be an ErrorManager.
void useFileSource(jpeg_decompress_struct& cinfo, FileSource& source, FILE* file, std::vector<JOCTET>& buffer);

}  // namespace vantorra::jpeg_detail
