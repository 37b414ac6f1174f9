#include "cli/input_selection.h"

#include <filesystem>
#include <fstream>

#include "cli/exit_codes.h"
#include "io/jpeg.h"

namespace vantorra {
namespace {

InputSelection rejected(int exitCode, std::string message) {
    InputSelection selection;
    selection.kind = InputSelection::Rejected;
    selection.exitCode = exitCode;
    selection.message = std::move(message);
    return selection;
}

}  // namespace

InputSelection selectInputs(const std::vector<std::string>& arguments, const std::string& outputPanorama) {
    if (arguments.size() == 1) {
        const std::string& path = arguments.front();
        if (!isParameterFileName(path)) return rejected(ExitUsage, "Please select 2 or more images");
        std::ifstream probe(path);
        if (!probe || std::filesystem::is_directory(path)) return rejected(ExitFileError, "File does not exist");
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
    if (selection.paths.size() < 2) {
        InputSelection tooFew = rejected(ExitUsage, "Please select 2 or more images");
        tooFew.skipped = selection.skipped;
        return tooFew;
    }
    return selection;
}

}  // namespace vantorra
