#include "pipeline/lens_groups.h"

#include <cmath>
#include <cstddef>

namespace vantorra {

namespace {

bool sameFocal(const std::vector<float>& focal, std::size_t i, std::size_t j) {
    if (i >= focal.size() || j >= focal.size() || focal[i] <= 0.0f || focal[j] <= 0.0f) return true;
    return std::fabs(focal[i] - focal[j]) <= 0.5f;
}

}  // namespace

std::vector<int32_t> lensGroups(const std::vector<ImageSize>& sizes, const std::vector<float>& focal35mm) {
    std::vector<int32_t> lens(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        lens[i] = static_cast<int32_t>(i);
        if (sizes[i].width <= 0 || sizes[i].height <= 0) continue;
        for (std::size_t j = 0; j < i; ++j)
            if (sizes[j].width == sizes[i].width && sizes[j].height == sizes[i].height && sameFocal(focal35mm, i, j)) {
                lens[i] = lens[j];
                break;
            }
    }
    return lens;
}

}  // namespace vantorra
