#pragma once
// Exit statuses of vantorra-cli, so scripts can tell a failed match from a bad command line.

namespace vantorra {

enum CliExitCode : int {
    ExitSuccess = 0,
    ExitNoMatches = 1,   // "No image matches found"
    ExitUsage = 2,       // bad option, value out of range, too few images
    ExitFileError = 3,   // an input that cannot be read or an output that cannot be written
    // A run cancelled by a signal: 128 + the signal's number, as a shell reports a killed job.
    ExitInterrupted = 130,  // SIGINT (Ctrl-C)
    ExitTerminated = 143,   // SIGTERM
};

}  // namespace vantorra
