#include "engine/lens_groups.h"

#include <cstddef>

namespace vantorra {

std::vector<int32_t> lensGroups(const std::vector<ImageSize>& sizes) {
    std::vector<int32_t> lens(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        lens[i] = static_cast<int32_t>(i);
        if (sizes[i].width <= 0 || sizes[i].height <= 0) continue;
        for (std::size_t j = 0; j < i; ++j)
            if (sizes[j].width == sizes[i].width && sizes[j].height == sizes[i].height) {
                lens[i] = lens[j];
                break;
            }
    }
    return lens;
}

}  // namespace vantorra
