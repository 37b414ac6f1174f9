#pragma once
// The command line of vantorra-cli: every field the Options dialog edits, with the dialog's
// ranges, units and conversions, plus the front end's own switches.

#include <string>
#include <vector>

#include "io/log_destination.h"
#include "options/stitch_options.h"

namespace vantorra {

struct CliOptions {
    std::vector<std::string> inputs;    // image paths, or one parameter file
    std::string outputDirectory = ".";  // where pano.jpg, pano.txt and log.txt go
    LogDestination::Mode logMode = LogDestination::None;
    bool quiet = false;                 // no progress display and no closing line
    StitchOptions stitch;
};

struct ParseOutcome {
    enum Action { Run, ShowHelp, ShowVersion, UsageError };
    Action action = Run;
    std::string text;  // the help or version text, or the one-line usage error
    CliOptions options;
    // For a run: what the command line gave that the run does not do as written (two options
    // that choose one mode differently: the last one given is used), one line each.
    std::vector<std::string> notes;
};

// Parses the arguments after the program name. Never throws and never exits: a bad command
// line comes back as UsageError with a message naming the option and its accepted range.
ParseOutcome parseCommandLine(const std::vector<std::string>& arguments);

// The version line printed by --version.
std::string versionText();

}  // namespace vantorra
