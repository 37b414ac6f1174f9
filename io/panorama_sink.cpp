#include "io/panorama_sink.h"

#include <algorithm>

namespace vantorra {

bool writeToSink(const Image& image, PanoramaSink& sink) {
    return sink.begin(image.cols, image.rows) && sink.writeRows(image.data.data(), image.rows) && sink.finish();
}

bool PanoramaSink::writeWideRows(const uint16_t*, int) {
    error_ = "this panorama keeps 8 bits a sample";
    return false;
}

bool ImageSink::begin(int width, int height) {
    image_.allocate(height, width, 3);
    row_ = 0;
    if (image_.empty()) {
        error_ = "a panorama of " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels cannot be held in memory";
        return false;
    }
    return true;
}

bool ImageSink::writeRows(const uint8_t* rgb, int count) {
    if (count <= 0) return true;
    if (row_ + count > image_.rows) {
        error_ = "more rows than the panorama has";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(image_.cols) * 3;
    std::copy(rgb, rgb + rowBytes * static_cast<size_t>(count),
              image_.data.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<size_t>(row_)));
    row_ += count;
    return true;
}

}  // namespace vantorra
