#include "pipeline/panorama_encoding.h"

namespace vantorra {

PanoramaEncoding panoramaEncoding(const RenderOptions& options) {
    PanoramaEncoding encoding;
    encoding.format = panoramaFormatNamed(options.outputFormat).value_or(PanoramaFormat::Jpeg);
    encoding.depth = options.outputDepth;
    encoding.quality = options.jpegQuality;
    return encoding;
}

std::string encodingProblem(const RenderOptions& options) {
    // Only a size given in pixels is known before the run; a scale's size is checked by the render.
    const int64_t width = options.sizeMode == SizeMode::Width ? options.width : 0;
    const int64_t height = options.sizeMode == SizeMode::Height ? options.height : 0;
    return panoramaEncodingProblem(panoramaEncoding(options), width, height);
}

}  // namespace vantorra
