#include "cli/input_selection.h"

#include <filesystem>

#include "cli/exit_codes.h"
#include "io/input_files.h"
#include "io/parameter_lines.h"

namespace vantorra {
namespace {

InputSelection rejected(int exitCode, std::string message) {
    InputSelection selection;
    selection.kind = InputSelection::Rejected;
    selection.exitCode = exitCode;
    selection.message = std::move(message);
    return selection;
}

// A name as the user can read it on one line.
std::string shown(const std::string& name) {
    std::string text;
    for (const char c : name) {
        if (c == '\n') text += "\\n";
        else if (c == '\r') text += "\\r";
        else text += c;
    }
    return "\"" + text + "\"";
}

}  // namespace

InputSelection selectInputs(const std::vector<std::string>& arguments, const std::string& outputPanorama) {
    if (arguments.size() == 1) {
        const std::string& path = arguments.front();
        if (!isParameterFileName(path)) return rejected(ExitUsage, "Please select 2 or more images");
        std::error_code missing;
        if (!std::filesystem::exists(path, missing)) return rejected(ExitFileError, "File does not exist");
        // Opened without waiting: a FIFO named like a parameter file is refused, not waited on.
        if (std::string why = inputFileProblem(path); !why.empty())
            return rejected(ExitFileError, "cannot read " + why.substr(why.rfind(kOpenVerb, 0) == 0 ? std::string(kOpenVerb).size() : 0));
        InputSelection selection;
        selection.kind = InputSelection::ParameterFile;
        selection.paths = {path};
        return selection;
    }
    PhotoSelection photographs = selectPhotographs(arguments, outputPanorama);
    InputSelection selection;
    selection.kind = InputSelection::Images;
    selection.paths = std::move(photographs.photographs);
    selection.skipped = std::move(photographs.skipped);
    // Refused before any work: pano.txt could not name it so that it reads back as itself.
    for (const std::string& path : selection.paths)
        if (std::string why = unrecordableName(path); !why.empty())
            return rejected(ExitUsage, "cannot take the photograph " + shown(path) + ": " + why);
    if (selection.paths.size() < 2) {
        InputSelection tooFew = rejected(ExitUsage, "Please select 2 or more images");
        tooFew.skipped = selection.skipped;
        return tooFew;
    }
    return selection;
}

}  // namespace vantorra
