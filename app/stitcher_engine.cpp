#include <sstream>

#include "app/stitch_engine.h"
#include "io/output_files.h"

namespace vantorra {

bool StitcherEngine::writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                                  const std::string& parameterPath, OutputFailure& failure) {
    std::ostringstream text;
    writeParameterFile(text, engine);
    failure = replaceOutputs(panoramaPath, parameterPath, panorama, quality, text.str());
    return !failure.failed();
}

}  // namespace vantorra
