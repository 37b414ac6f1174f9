#pragma once
// Which of a JPEG file's markers are kept while its header is read: only the first APP1
// segment that holds an EXIF block, the only one read. A file may hold thousands of 64 KB
// segments, and keeping them all, as saving the markers would, costs their whole size in memory.

#include <cstdint>
#include <cstdio>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace vantorra {

// Before jpeg_read_header: every APP1 segment is read through here; the first that holds an
// EXIF block goes to `kept` (emptied first, owned by the caller, outliving the header read),
// the others are skipped. Uses the decompressor's client_data.
void keepFirstExifSegment(jpeg_decompress_struct& cinfo, std::vector<uint8_t>& kept);

}  // namespace vantorra
