#include "cli/run.h"

#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "core/cancel_flag.h"
#include "cli/input_selection.h"
#include "cli/terminal_progress.h"
#include "core/image.h"
#include "io/jpeg.h"
#include "io/log_destination.h"
#include "io/output_commit.h"
#include "io/output_files.h"
#include "io/panorama_sink.h"
#include "pipeline/stitcher.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// Made and checked before the run so that a long stitch never ends in an output folder it
// cannot use.
std::string prepareOutputFolder(const fs::path& folder, LogDestination::Mode logMode) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder)) {
        return "cannot create the output folder " + folder.string() + (error ? ": " + error.message() : "");
    }
    if (logMode == LogDestination::File)
        if (std::string why = outputPathProblem((folder / LogDestination::kLogFileName).string(), false); !why.empty())
            return why;
    return checkOutputsWritable(folder.string());
}

// A crop that holds no angle renders nothing: a bad command line, said before any work.
std::string cropProblem(const RenderOptions& render) {
    if (render.autoCrop || (render.thetaMin < render.thetaMax && render.phiMin < render.phiMax)) return std::string();
    return "vantorra-cli: --crop needs THETA_MIN < THETA_MAX and PHI_MIN < PHI_MAX (see --help)";
}

// One line per photograph left out (unreadable, or a duplicate of another), then how many of
// how many.
void reportSkipped(const RunReport& report, std::ostream& errors) {
    for (const LeftOutPhotograph& photograph : report.leftOut) errors << "skipping " << photograph.reason << std::endl;
    if (!report.leftOut.empty())
        errors << report.leftOut.size() << " of " << report.records << " photographs were left out" << std::endl;
}

RunReport runPipeline(const InputSelection& selection, const PipelineCalls& calls, Stitcher& stitcher,
                      PanoramaSink& result, std::ostream& log) {
    if (selection.kind == InputSelection::ParameterFile)
        return calls.stitchFromParameterFile(stitcher, selection.paths.front(), result, log);
    return calls.stitch(stitcher, selection.paths, result, log);
}

}  // namespace

int runCli(const CliOptions& options, const PipelineCalls& calls, TerminalProgressView* progress, std::ostream& messages,
           std::ostream& errors, const CancelFlag* cancel) {
    if (const std::string problem = cropProblem(options.stitch.render); !problem.empty()) {
        errors << problem << std::endl;
        return ExitUsage;
    }
    const InputSelection selection =
        selectInputs(options.inputs, (fs::path(options.outputDirectory) / "pano.jpg").string());
    if (!options.quiet) {
        for (const SkippedFile& file : selection.skipped) {
            errors << "skipping " << file.path << ": " << file.reason << std::endl;
        }
    }
    if (selection.kind == InputSelection::Rejected) {
        errors << selection.message << std::endl;
        return selection.exitCode;
    }
    const fs::path folder(options.outputDirectory);
    if (const std::string problem = prepareOutputFolder(folder, options.logMode); !problem.empty()) {
        errors << problem << std::endl;
        return ExitFileError;
    }

    Stitcher stitcher;
    stitcher.options = options.stitch;
    // The panorama streams into a temporary beside the earlier one while it renders.
    StagedOutputs outputs(folder.string(), stitcher.options.render.jpegQuality);
    if (const std::string problem = outputs.open(); !problem.empty()) {
        errors << problem << std::endl;
        return ExitFileError;
    }
    RunReport report;
    {
        LogDestination log(options.logMode, false, folder / LogDestination::kLogFileName);
        if (!log.ok()) {
            errors << log.error() << std::endl;
            return ExitFileError;
        }
        stitcher.progress.cancel = cancel;
        stitcher.progress.attach(progress);
        report = runPipeline(selection, calls, stitcher, outputs.panorama(), log.stream());
        stitcher.progress.attach(nullptr);
        if (progress) progress->finish();
        log.close();
    }
    // Also a request that came after the last report: nothing is written once cancelled.
    if (report.outcome == StitchOutcome::Cancelled || (cancel != nullptr && cancel->requested())) {
        errors << "Stitching cancelled" << std::endl;
        return ExitInterrupted;
    }
    if (report.outcome == StitchOutcome::Unreadable) {  // refused whole, with its reason
        errors << report.message << std::endl;
        return ExitFileError;
    }
    reportSkipped(report, errors);
    for (const std::string& warning : report.warnings) errors << warning << std::endl;

    if (const std::string problem = outputs.panoramaError(); !problem.empty()) {  // a full disk, say
        errors << problem << std::endl;
        return ExitFileError;
    }
    if (report.outcome == StitchOutcome::Failed) {  // a photograph that failed to decode part-way, say
        errors << "cannot stitch: " << report.message << std::endl;
        return ExitFileError;
    }
    if (report.outcome == StitchOutcome::NoMatches) {
        errors << "No image matches found" << std::endl;
        return ExitNoMatches;
    }
    if (!outputs.panoramaWritten()) {
        errors << "nothing was rendered from " << selection.paths.front() << std::endl;
        return ExitFileError;
    }
    const fs::path panorama = folder / OutputFiles::kPanoramaName;
    std::ostringstream parameters;
    writeParameterFile(parameters, stitcher, folder.string());
    const std::string problem = outputs.commit(parameters.str(), cancel);
    if (!problem.empty()) {
        errors << problem << std::endl;
        return ExitFileError;
    }
    // Only now: a reader of the standard output that is gone can no longer cost the outputs, and
    // a failed write of these lines leaves the run's success as it is.
    if (!options.quiet && !report.registration.empty()) messages << summaryLine(report.registration) << std::endl;
    if (!options.quiet) messages << "Panorama written to " << panorama.string() << std::endl;
    return ExitSuccess;
}

}  // namespace vantorra
