#pragma once
// The size of one input photograph, as every stage sees it.

#include <cstdint>

namespace vantorra {

struct ImageSize {
    int32_t height = 0;  // rows
    int32_t width = 0;   // columns
    int32_t channels = 0;
};

}  // namespace vantorra
