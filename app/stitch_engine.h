#pragma once
// The engine as the main window's commands use it: the one Stitcher (its options, state and
// stored names), the three kinds of run and the two output files. StitcherEngine is the real
// one; tests substitute runs that only change the Stitcher's state, so every command path can
// be exercised without photographs.

#include <iosfwd>
#include <string>
#include <vector>

#include "core/image.h"
#include "io/output_files.h"
#include "pipeline/stitcher.h"

namespace vantorra {

class StitchEngine {
public:
    virtual ~StitchEngine() = default;

    virtual Stitcher& stitcher() = 0;
    // The three runs of Stitcher, same contracts; render() with the render options given.
    virtual RunReport stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                             Image& output, std::ostream& log) = 0;
    virtual RunReport stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                              Image& output, std::ostream& log) = 0;
    virtual RunReport render(Image& output, const RenderOptions& options, std::ostream& log) = 0;
    // Writes the panorama and the parameter file of the current cameras, replacing both together
    // or neither; false with the file it failed on and the reason.
    virtual bool writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                              const std::string& parameterPath, OutputFailure& failure) = 0;
};

// The production engine: a Stitcher with its defaults, JPEG writing and the parameter file.
class StitcherEngine : public StitchEngine {
public:
    Stitcher& stitcher() override { return engine; }
    RunReport stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames, Image& output,
                     std::ostream& log) override {
        return engine.stitch(imageDirectory, imageNames, output, log);
    }
    RunReport stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                      Image& output, std::ostream& log) override {
        return engine.stitchFromParameterFile(imageDirectory, parameterFile, output, log);
    }
    RunReport render(Image& output, const RenderOptions& options, std::ostream& log) override {
        return engine.render(output, options, log);
    }
    bool writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                      const std::string& parameterPath, OutputFailure& failure) override;

private:
    Stitcher engine;
};

}  // namespace vantorra
