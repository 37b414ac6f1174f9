#include "io/photo_selection.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/lower_case.h"

namespace vantorra {

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Relative paths are taken against the current directory and "." or ".." resolved, without
// requiring the file to exist (the output usually does not yet).
std::filesystem::path normalised(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return std::filesystem::path(path).lexically_normal();
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

}  // namespace

std::string fileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isPhotographName(const std::string& path) {
    const std::string name = lowerCase(fileNamePart(path));
    for (const char* extension : {".jpg", ".jpeg", ".jpe", ".png", ".tif", ".tiff", ".heic", ".heif"}) {
        if (name.size() > std::char_traits<char>::length(extension) && endsWith(name, extension)) return true;
    }
    return false;
}

// The name alone decides: a folder called "x.txt" must not make the files inside it parameter files.
bool isParameterFileName(const std::string& path) {
    const std::string name = fileNamePart(path);
    for (const char* part : {".txt", ".TXT", ".ast", ".AST"}) {
        if (name.find(part) != std::string::npos) return true;
    }
    return false;
}

bool isSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    return normalised(a) == normalised(b);
}

namespace {

// Why a name is not taken as a photograph's, in the rule's own terms.
std::string notPhotographReason(const std::string& path) {
    const size_t end = path.find_last_not_of(" \t");
    if (end != std::string::npos && end + 1 < path.size() && isPhotographName(path.substr(0, end + 1)))
        return std::string(kNotAPhotograph) + ": the name goes on with white space after its extension";
    return kNotAPhotograph;
}

}  // namespace

PhotoSelection selectPhotographs(const std::vector<std::string>& paths, const std::string& outputPath) {
    PhotoSelection selection;
    for (const std::string& path : paths) {
        if (!isPhotographName(path)) {
            selection.skipped.push_back({path, notPhotographReason(path)});
        } else if (isSameFile(path, outputPath)) {
            selection.skipped.push_back({path, "the panorama about to be written"});
        } else {
            selection.photographs.push_back(path);
        }
    }
    return selection;
}

}  // namespace vantorra
