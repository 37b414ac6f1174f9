#pragma once
// One command of vantorra-cli from parsed options to files and exit status. The two engine calls
// come in as functions so the run can be tested without the whole pipeline.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "pipeline/stitcher.h"

namespace vantorra {

class CancelFlag;
class PanoramaSink;
class TerminalProgressView;

// The runs, with the panorama going to a sink as it is rendered (the temporary pano.jpg).
struct PipelineCalls {
    std::function<RunReport(Stitcher&, const std::vector<std::string>&, PanoramaSink&, std::ostream& log)> stitch;
    std::function<RunReport(Stitcher&, const std::string&, PanoramaSink&, std::ostream& log)> stitchFromParameterFile;
};

// Selects and checks the inputs and that the outputs can be written, runs the pipeline with
// `progress` attached (may be null), replaces pano.jpg and pano.txt in the output folder
// together and returns a CliExitCode. Failures go to `errors` as one line, the earlier outputs
// untouched; photographs left out unread get a line each and a summary there. Success prints
// where the panorama was written unless quiet. A `cancel` requested before the outputs are
// replaced leaves the earlier ones; a cancel during the run prints "Stitching cancelled" and
// returns ExitInterrupted.
int runCli(const CliOptions& options, const PipelineCalls& calls, TerminalProgressView* progress,
           std::ostream& messages, std::ostream& errors, const CancelFlag* cancel = nullptr);

}  // namespace vantorra
