#include "pipeline/render_progress_share.h"

#include <algorithm>
#include <cmath>

#include "io/photo_reader.h"
#include "io/jpeg.h"
#include "core/progress_reporter.h"

namespace vantorra {
namespace {

constexpr double kDefaultWidth = 1400.0;
constexpr double kOverlapKept = 0.6;  // of the photographs' pixels, what a panorama shows once

double widthModePixels(double width) { return width * width / 3.0; }

}  // namespace

double expectedOutputPixels(const RenderOptions& options, std::span<const ImageSize> photographs) {
    switch (options.sizeMode) {
        case SizeMode::Width: return widthModePixels(options.width);
        case SizeMode::Height: return 3.0 * static_cast<double>(options.height) * options.height;
        case SizeMode::Scale: {
            double pixels = 0.0;
            for (const ImageSize& size : photographs) pixels += static_cast<double>(size.width) * size.height;
            return static_cast<double>(options.scale) * options.scale * pixels * kOverlapKept;
        }
    }
    return widthModePixels(options.width);
}

int renderProgressShare(const RenderOptions& options, std::span<const ImageSize> photographs) {
    const double ratio = expectedOutputPixels(options, photographs) / widthModePixels(kDefaultWidth);
    if (!(ratio > 1.0)) return ProgressReporter::kDefaultRenderShare;
    // Past the reporter's own ceiling the weight is clamped there anyway.
    return static_cast<int>(std::min(1.0e6, ProgressReporter::kDefaultRenderShare * ratio));
}

std::vector<ImageSize> headerSizesForShare(const RenderOptions& options, const std::string& directory,
                                            const std::vector<std::string>& names) {
    std::vector<ImageSize> sizes;
    if (options.sizeMode != SizeMode::Scale) return sizes;
    sizes.reserve(names.size());
    for (const std::string& name : names) {
        PhotoHeader header;
        if (readPhotoHeader(directory + name, header)) sizes.push_back({header.height, header.width, 3});
        else sizes.push_back({});
    }
    return sizes;
}

}  // namespace vantorra
