#pragma once
// The file sink of a panorama encoding: JPEG, TIFF or PNG.

#include <cstdio>
#include <memory>
#include <string>

#include "io/panorama_format.h"
#include "io/panorama_sink.h"

namespace vantorra {

// Encodes into `file` (owned from here on); `name` is for messages only.
std::unique_ptr<FileSink> makeFileSink(std::FILE* file, std::string name, const PanoramaEncoding& encoding);

}  // namespace vantorra
