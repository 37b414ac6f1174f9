#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/stitch_engine.h"
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
    return panorama.writeJpeg(path, quality, &error);
}

bool StitcherEngine::writeParameters(const std::string& path, std::string& error) {
    errno = 0;
    std::ofstream file(path);
    if (!file) {
        error = errno != 0 ? std::strerror(errno) : "cannot be opened for writing";
        return false;
    }
    writeParameterFile(file, engine);
    file.close();
    if (file.fail()) {
        error = errno != 0 ? std::strerror(errno) : "write failed";
        return false;
    }
    return true;
}

}  // namespace vantorra
