#pragma once
// The engine as the main window's commands use it: the one Stitcher (its options, state and
// stored names) and the three kinds of run, each rendering into a sink as the rows are finished
// (the output file and the preview). StitcherEngine is the real one; tests substitute runs that
// only change the Stitcher's state, so every command path can be exercised without photographs.

#include <iosfwd>
#include <string>
#include <vector>

#include "io/panorama_sink.h"
#include "pipeline/stitcher.h"

namespace vantorra {

class StitchEngine {
public:
    virtual ~StitchEngine() = default;

    virtual Stitcher& stitcher() = 0;
    // The three runs of Stitcher, same contracts; render() with the render options given.
    virtual RunReport stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                             PanoramaSink& output, std::ostream& log) = 0;
    virtual RunReport stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                              PanoramaSink& output, std::ostream& log) = 0;
    virtual RunReport render(PanoramaSink& output, const RenderOptions& options, std::ostream& log) = 0;
};

// The production engine: a Stitcher with its defaults.
class StitcherEngine : public StitchEngine {
public:
    Stitcher& stitcher() override { return engine; }
    RunReport stitch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                     PanoramaSink& output, std::ostream& log) override {
        return engine.stitch(imageDirectory, imageNames, output, log);
    }
    RunReport stitchFromParameterFile(const std::string& imageDirectory, const std::string& parameterFile,
                                      PanoramaSink& output, std::ostream& log) override {
        return engine.stitchFromParameterFile(imageDirectory, parameterFile, output, log);
    }
    RunReport render(PanoramaSink& output, const RenderOptions& options, std::ostream& log) override {
        return engine.render(output, options, log);
    }

private:
    Stitcher engine;
};

}  // namespace vantorra
