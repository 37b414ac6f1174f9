#include "render/compositor_registry.h"

#include "render/linear_blend.h"
#include "render/multiband_blend.h"
#include "render/no_blend.h"

namespace vantorra {

const ComponentTable<Compositor>& compositors() {
    static const ComponentRow<Compositor> rows[] = {
        {"none", "None", "each photograph pasted over the ones before it", &instance<NoBlending>()},
        {"linear", "Linear", "photographs feathered towards their borders", &instance<LinearBlending>()},
        {"multiband", "Multi-Band", "fine detail switched sharply at the seams, coarse shading spread wide",
         &instance<MultiBandBlending>()},
    };
    static const ComponentTable<Compositor> table(rows, "multiband");
    return table;
}

}  // namespace vantorra
