#include "cli/input_selection.h"

#include <filesystem>
#include <fstream>

#include "cli/exit_codes.h"
#include "engine/jpeg.h"

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

std::string firstUnreadableImage(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        JpegHeader header;
        std::string error;
        if (std::filesystem::is_directory(path)) return path + ": is a folder, not a JPEG file";
        if (!readJpegHeader(path, header, &error)) {
            // The reader says "can't open PATH: reason"; the caller puts its own verb in front.
            const std::string openFailure = "can't open ";
            return error.rfind(openFailure, 0) == 0 ? error.substr(openFailure.size()) : error;
        }
    }
    return std::string();
}

}  // namespace vantorra
