#include "cli/input_selection.h"

#include <filesystem>
#include <fstream>

#include "cli/exit_codes.h"
#include "engine/jpeg.h"

namespace vantorra {
namespace {

bool containsAny(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        if (text.find(part) != std::string::npos) return true;
    }
    return false;
}

InputSelection rejected(int exitCode, std::string message) {
    InputSelection selection;
    selection.kind = InputSelection::Rejected;
    selection.exitCode = exitCode;
    selection.message = std::move(message);
    return selection;
}

}  // namespace

bool isJpegName(const std::string& path) { return containsAny(path, {".jpg", ".JPG"}); }

bool isParameterFileName(const std::string& path) { return containsAny(path, {".txt", ".TXT", ".ast", ".AST"}); }

// Only the file name is compared: a photograph called "my-pano.jpg" or kept in a folder named
// "pano.jpg.d" is still a photograph.
bool isEarlierPanorama(const std::string& path) {
    return std::filesystem::path(path).filename() == "pano.jpg";
}

InputSelection selectInputs(const std::vector<std::string>& arguments) {
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
    InputSelection selection;
    selection.kind = InputSelection::Images;
    for (const std::string& path : arguments) {
        if (isJpegName(path) && !isEarlierPanorama(path)) {
            selection.paths.push_back(path);
        } else {
            selection.skipped.push_back(path);
        }
    }
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
