#pragma once
// One command of vantorra-cli from parsed options to files and exit status. The two engine calls
// come in as functions so the run can be tested without the whole pipeline.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace vantorra {

class CancelFlag;
class Image;
class TerminalProgressView;
class Stitcher;

struct PipelineCalls {
    std::function<void(Stitcher&, const std::vector<std::string>&, Image&)> stitch;
    std::function<int(Stitcher&, const std::string&, Image&)> stitchFromParameterFile;
};

// Selects and checks the inputs, runs the pipeline with `progress` attached (may be null),
// writes pano.jpg and pano.txt into the output folder and returns a CliExitCode. Failures go to
// `errors` as one line; success prints where the panorama was written unless quiet. A request on
// `cancel` (may be null) stops the run: "Stitching cancelled", nothing written, ExitInterrupted.
int runCli(const CliOptions& options, const PipelineCalls& calls, TerminalProgressView* progress,
           std::ostream& messages, std::ostream& errors, const CancelFlag* cancel = nullptr);

}  // namespace vantorra
