#pragma once
// Exit statuses of vantorra-cli, so scripts can tell a failed match from a bad command line.

namespace vantorra {

enum CliExitCode : int {
    ExitSuccess = 0,
    ExitNoMatches = 1,   // "No image matches found"
    ExitUsage = 2,       // bad option, value out of range, too few images
    ExitFileError = 3,   // an input that cannot be read or an output that cannot be written
};

}  // namespace vantorra
