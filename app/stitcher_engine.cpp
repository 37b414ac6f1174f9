#include <sstream>

#include "app/stitch_engine.h"
#include "engine/output_files.h"
#include "engine/parameter_file.h"

namespace vantorra {

void StitcherEngine::stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                            Image& output) {
    engine.stitch(imageDirectory, imageNames, output);
    showRenderResult(engine.options.render, engine.lastRender);
}

void StitcherEngine::stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                             Image& output) {
    engine.stitchFromParameterFile(imageDirectory, parameterFile, output);
    showRenderResult(engine.options.render, engine.lastRender);
}

// The Options dialog shows what the render decided (size, scale, crop), as the next run needs it.
void StitcherEngine::render(Image& output) {
    engine.render(output);
    showRenderResult(engine.options.render, engine.lastRender);
}

bool StitcherEngine::writePanorama(const Image& panorama, const std::string& path, int quality,
                                   std::string& error) {
    error = writeJpegWhole(path, panorama, quality);
    return error.empty();
}

bool StitcherEngine::writeParameters(const std::string& path, std::string& error) {
    std::ostringstream text;
    writeParameterFile(text, engine);
    error = writeFileWhole(path, text.str());
    return error.empty();
}

}  // namespace vantorra
