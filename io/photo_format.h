#pragma once
// Which reader a photograph needs, told by the file's first bytes (a name may lie: a PNG saved
// as .jpg is still read as a PNG).

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vantorra {

enum class PhotoFormat { Jpeg, Png, Tiff, Heif, Unknown };

// The format whose signature `start` (the first `size` bytes of a file) begins with.
PhotoFormat formatOfSignature(const uint8_t* start, size_t size);

// The format of an open file, read from its start; the file is left at its start.
PhotoFormat formatOfFile(std::FILE* file);

const char* formatName(PhotoFormat format);

}  // namespace vantorra
