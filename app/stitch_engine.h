#pragma once
// The engine as the main window's commands use it: the one Stitcher (its options, flags and
// stored names), the three kinds of run and the two output files. StitcherEngine is the real
// one; tests substitute runs that only change the Stitcher's state, so every command path can
// be exercised without photographs.

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
    // The three runs of Stitcher, same contracts.
    virtual StitchOutcome stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                                 Image& output) = 0;
    virtual ParameterFileRun stitchFromParameterFile(const std::string& imageDirectory,
                                                     const std::string& parameterFile, Image& output) = 0;
    virtual void render(Image& output) = 0;
    // Writes the panorama and the parameter file of the current cameras, replacing both together
    // or neither; false with the file it failed on and the reason.
    virtual bool writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                              const std::string& parameterPath, OutputFailure& failure) = 0;
};

// The production engine: a Stitcher with its defaults, JPEG writing and the parameter file.
class StitcherEngine : public StitchEngine {
public:
    Stitcher& stitcher() override { return engine; }
    StitchOutcome stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                         Image& output) override;
    ParameterFileRun stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                             Image& output) override;
    void render(Image& output) override;
    bool writeOutputs(const Image& panorama, const std::string& panoramaPath, int quality,
                      const std::string& parameterPath, OutputFailure& failure) override;

private:
    Stitcher engine;
};

}  // namespace vantorra
