#include <sstream>

#include "app/stitch_engine.h"
#include "io/output_files.h"
#include "pipeline/stitcher_records.h"

namespace vantorra {

StitchOutcome StitcherEngine::stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                                     Image& output) {
    const StitchOutcome outcome = engine.stitch(imageDirectory, imageNames, output);
    showRenderResult(engine.options.render, engine.lastRender);
    return outcome;
}

ParameterFileRun StitcherEngine::stitchFromParameterFile(const std::string& imageDirectory,
                                                         const std::string& parameterFile, Image& output) {
    const ParameterFileRun run = engine.stitchFromParameterFile(imageDirectory, parameterFile, output);
    showRenderResult(engine.options.render, engine.lastRender);
    return run;
}

// The Options dialog shows what the render decided (size, scale, crop), as the next run needs it.
void StitcherEngine::render(Image& output) {
    engine.render(output);
    showRenderResult(engine.options.render, engine.lastRender);
}

bool StitcherEngine::writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                                  const std::string& parameterPath, OutputFailure& failure) {
    std::ostringstream text;
    writeParameterFile(text, engine);
    failure = replaceOutputs(panoramaPath, parameterPath, panorama, quality, text.str());
    return !failure.failed();
}

}  // namespace vantorra
