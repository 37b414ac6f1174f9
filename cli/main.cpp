// vantorra-cli: stitches photographs named on the command line into pano.jpg and pano.txt.

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cancel_signals.h"
#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/run.h"
#include "cli/terminal_progress.h"
#include "pipeline/stitcher.h"

namespace {

// Each stage of a run frees most of what it allocated (feature pyramids, match lists, scratch
// images) just before the next allocates as much again. Kept in the process rather than handed
// back to the system, that memory is reused without the kernel mapping and zeroing fresh pages,
// a tenth of a small run's time. One arena for all threads, so that what one thread frees serves
// the next allocation of any other: kept memory is never dead weight, and the peak is lower than
// with an arena per thread (43 photographs of the shared sets: 167 -> 127 MB). This process ends
// after one run, so nothing is held for long.
void keepFreedMemory() {
    mallopt(M_ARENA_MAX, 1);  // before any thread starts
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc allows; larger blocks are still mapped
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// A standard stream the caller closed would otherwise be the lowest free descriptor, and the
// first file opened (a photograph, the temporary panorama) would take its number: log lines
// written "to the console" would go into pano.jpg. /dev/null holds the place instead.
void holdClosedStandardStreams() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
        const int null = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != descriptor) {
            dup2(null, descriptor);
            close(null);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vantorra;
    holdClosedStandardStreams();
    // A reader of the standard output that went away (`| head`) must not end the run before its
    // outputs are committed: the write fails instead, and a finished run still succeeds.
    std::signal(SIGPIPE, SIG_IGN);
    keepFreedMemory();
    const ParseOutcome parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.action) {
        case ParseOutcome::ShowHelp:
        case ParseOutcome::ShowVersion:
            std::cout << parsed.text << std::endl;
            return ExitSuccess;
        case ParseOutcome::UsageError:
            std::cerr << "vantorra-cli: " << parsed.text << " (see --help)" << std::endl;
            return ExitUsage;
        case ParseOutcome::Run:
            break;
    }
    if (!parsed.options.quiet)
        for (const std::string& note : parsed.notes) std::cerr << "vantorra-cli: " << note << std::endl;

    const PipelineCalls calls{
        [](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
            return stitcher.stitch(std::string(), names, output, log);
        },
        [](Stitcher& stitcher, const std::string& path, PanoramaSink& output, std::ostream& log) {
            return stitcher.stitchFromParameterFile(std::string(), path, output, log);
        },
    };
    // The live display only makes sense on a terminal; redirected output stays clean.
    std::optional<TerminalProgressView> progress;
    if (!parsed.options.quiet && isatty(STDERR_FILENO)) progress.emplace(stderr);
    static CancelFlag cancel;
    installCancelSignals(cancel);
    const int status = runCli(parsed.options, calls, progress ? &*progress : nullptr, std::cout, std::cerr, &cancel);
    return status == ExitInterrupted ? cancelledExitStatus() : status;
}
