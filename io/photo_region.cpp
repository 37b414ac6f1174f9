#include "io/photo_region.h"

#include <algorithm>
#include <cstring>

#include "io/photo_reader.h"

namespace vantorra {

namespace {

// Keeps the columns of the rectangle from each row of the band it is handed.
class RegionSink : public PhotoRowSink {
public:
    RegionSink(Image& region, int left, int width) : region_(region), left_(left), width_(width) {}

    bool begin(int, int height) override {
        region_.allocate(height, width_, 3);
        return !region_.empty();
    }
    void row(int index, const uint8_t* rgb) override {
        if (index < 0 || index >= region_.rows) return;
        std::memcpy(region_.data.data() + static_cast<size_t>(index) * width_ * 3, rgb + static_cast<size_t>(left_) * 3,
                    static_cast<size_t>(width_) * 3);
    }

private:
    Image& region_;
    int left_;
    int width_;
};

}  // namespace

bool readPhotoRegion(const std::string& path, int left, int top, int width, int height, Image& region,
                    std::string* error) {
    region.clear();
    PhotoHeader header;
    if (!readPhotoHeader(path, header, error)) return false;
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = std::min(header.width, left + std::max(width, 0));
    const int y1 = std::min(header.height, top + std::max(height, 0));
    if (x1 <= x0 || y1 <= y0) {
        if (error) *error = path + ": the rectangle lies outside the image";
        return false;
    }
    RegionSink sink(region, x0, x1 - x0);
    if (!readPhotoRowsScaled(path, 1, sink, error, y0, y1 - y0)) {
        region.clear();
        return false;
    }
    return true;
}

}  // namespace vantorra
