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
#include "pipeline/panorama_encoding.h"
#include "pipeline/stitcher.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// Made and checked before the run so that a long stitch never ends in an output folder it
// cannot use.
std::string prepareOutputFolder(const fs::path& folder, LogDestination::Mode logMode, const std::string& panoramaName) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder)) {
        return "cannot create the output folder " + folder.string() + (error ? ": " + error.message() : "");
    }
    if (logMode == LogDestination::File)
        if (std::string why = outputPathProblem((folder / LogDestination::kLogFileName).string(), false); !why.empty())
            return why;
    return checkOutputsWritable(folder.string(), panoramaName);
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

// What a run talks to besides its options.
struct Terminal {
    TerminalProgressView* progress;
    std::ostream& messages;
    std::ostream& errors;
    const CancelFlag* cancel;
};

// The exit code of a step that ends the run, or kGoOn.
constexpr int kGoOn = -1;

int ended(std::ostream& errors, const std::string& message, int exitCode) {
    errors << message << std::endl;
    return exitCode;
}

// Everything that can be refused before any work: the crop, the inputs, the output folder.
int checkBeforeRun(const CliOptions& options, const InputSelection& selection, std::ostream& errors) {
    if (const std::string problem = cropProblem(options.stitch.render); !problem.empty())
        return ended(errors, problem, ExitUsage);
    if (const std::string problem = encodingProblem(options.stitch.render); !problem.empty())
        return ended(errors, "vantorra-cli: " + problem, ExitUsage);
    if (!options.quiet)
        for (const SkippedFile& file : selection.skipped) errors << "skipping " << file.path << ": " << file.reason << std::endl;
    if (selection.kind == InputSelection::Rejected) return ended(errors, selection.message, selection.exitCode);
    const std::string panoramaName = panoramaFileName(panoramaEncoding(options.stitch.render).format);
    if (const std::string problem = prepareOutputFolder(options.outputDirectory, options.logMode, panoramaName);
        !problem.empty())
        return ended(errors, problem, ExitFileError);
    return kGoOn;
}

// The stitch, with its log open for as long as it runs.
int stitchLogged(const CliOptions& options, const InputSelection& selection, const PipelineCalls& calls,
                 Stitcher& stitcher, PanoramaSink& panorama, const Terminal& terminal, RunReport& report) {
    const fs::path folder(options.outputDirectory);
    LogDestination log(options.logMode, false, folder / LogDestination::kLogFileName);
    if (!log.ok()) return ended(terminal.errors, log.error(), ExitFileError);
    stitcher.progress.cancel = terminal.cancel;
    stitcher.progress.attach(terminal.progress);
    report = runPipeline(selection, calls, stitcher, panorama, log.stream());
    stitcher.progress.attach(nullptr);
    if (terminal.progress) terminal.progress->finish();
    log.close();
    return kGoOn;
}

// What the report says about the run, said on the errors: kGoOn when there is a panorama to commit.
int judged(const RunReport& report, const StagedOutputs& outputs, const InputSelection& selection,
           const Terminal& terminal) {
    std::ostream& errors = terminal.errors;
    // Also a request that came after the last report: nothing is written once cancelled.
    if (report.outcome == StitchOutcome::Cancelled || (terminal.cancel != nullptr && terminal.cancel->requested()))
        return ended(errors, "Stitching cancelled", ExitInterrupted);
    if (report.outcome == StitchOutcome::Unreadable) return ended(errors, report.message, ExitFileError);
    reportSkipped(report, errors);
    for (const std::string& warning : report.warnings) errors << warning << std::endl;
    // A full disk, say; then a photograph that failed to decode part-way.
    if (const std::string problem = outputs.panoramaError(); !problem.empty()) return ended(errors, problem, ExitFileError);
    if (report.outcome == StitchOutcome::Failed) return ended(errors, "cannot stitch: " + report.message, ExitFileError);
    if (report.outcome == StitchOutcome::NoMatches) return ended(errors, "No image matches found", ExitNoMatches);
    if (!outputs.panoramaWritten())
        return ended(errors, "nothing was rendered from " + selection.paths.front(), ExitFileError);
    return kGoOn;
}

}  // namespace

int runCli(const CliOptions& options, const PipelineCalls& calls, TerminalProgressView* progress, std::ostream& messages,
           std::ostream& errors, const CancelFlag* cancel) {
    const Terminal terminal{progress, messages, errors, cancel};
    const fs::path folder(options.outputDirectory);
    const PanoramaEncoding encoding = panoramaEncoding(options.stitch.render);
    const fs::path panoramaPath = folder / panoramaFileName(encoding.format);
    const InputSelection selection = selectInputs(options.inputs, panoramaPath.string());
    if (const int code = checkBeforeRun(options, selection, errors); code != kGoOn) return code;

    Stitcher stitcher;
    stitcher.options = options.stitch;
    // The panorama streams into a temporary beside the earlier one while it renders.
    StagedOutputs outputs(folder.string(), encoding);
    if (const std::string problem = outputs.open(); !problem.empty()) return ended(errors, problem, ExitFileError);
    RunReport report;
    if (const int code = stitchLogged(options, selection, calls, stitcher, outputs.panorama(), terminal, report);
        code != kGoOn)
        return code;
    if (const int code = judged(report, outputs, selection, terminal); code != kGoOn) return code;

    std::ostringstream parameters;
    writeParameterFile(parameters, stitcher, folder.string());
    if (const std::string problem = outputs.commit(parameters.str(), cancel); !problem.empty()) {
        if (cancel != nullptr && cancel->requested()) return ended(errors, "Stitching cancelled", ExitInterrupted);
        return ended(errors, problem, ExitFileError);
    }
    // Only now: a reader of the standard output that is gone can no longer cost the outputs, and
    // a failed write of these lines leaves the run's success as it is.
    if (!options.quiet && !report.registration.empty()) messages << summaryLine(report.registration) << std::endl;
    if (!options.quiet) messages << "Panorama written to " << panoramaPath.string() << std::endl;
    return ExitSuccess;
}

}  // namespace vantorra
