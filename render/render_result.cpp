#include "render/render_result.h"

namespace vantorra {

RenderOptions optionsReproducing(const RenderOptions& given, const RenderResult& result) {
    RenderOptions options = given;
    if (!result.rendered) return options;
    // The height follows from the width by the same formula that made it, except in height mode,
    // where the width was made from the height: that mode then gives both back.
    if (options.sizeMode != SizeMode::Height) options.sizeMode = SizeMode::Width;
    options.scale = result.scale;
    options.width = result.width;
    options.height = result.height;
    options.autoCrop = false;
    options.thetaMin = result.thetaMin;
    options.thetaMax = result.thetaMax;
    options.phiMin = result.phiMin;
    options.phiMax = result.phiMax;
    return options;
}

}  // namespace vantorra
