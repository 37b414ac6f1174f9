#include "io/photo_exif.h"

#include <cmath>

#include "io/photo_reader.h"
#include "io/jpeg.h"
#include "core/image_size.h"

namespace vantorra {

std::vector<PhotoExif> readPhotoExif(const std::string& directory, const std::vector<std::string>& names,
                                     const std::vector<ImageSize>& sizes) {
    std::vector<PhotoExif> facts(names.size());
    for (size_t i = 0; i < names.size() && i < sizes.size(); ++i) {
        if (sizes[i].width <= 0 || sizes[i].height <= 0) continue;
        PhotoHeader header;
        if (!readPhotoHeader(directory + names[i], header)) continue;
        facts[i].ignored = header.exif.ignored;
        const float focal = focalInPixels(header.exif, header.width, header.height);
        if (!(focal > 0.0f) || !std::isfinite(focal)) continue;
        facts[i].focalPixels = focal;
        facts[i].focal35mm = header.exif.focal35mm;
    }
    return facts;
}

float seedFocal(const ImageSize& full, int32_t level, const PhotoExif& exif, const BundleAdjustOptions& options) {
    if (exif.focalPixels > 0.0f) return std::ldexp(exif.focalPixels, -level);
    if (!options.focalFromImage) return options.defaultFocal;
    const ImageSize reduced = reducedSizes({full}, {level}).front();
    return static_cast<float>(reduced.height > reduced.width ? reduced.height : reduced.width);
}

}  // namespace vantorra
