#include "app/image_selection.h"

#include <algorithm>
#include <fstream>

namespace vantorra {

namespace {

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

std::string fileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool canOpenForReading(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file.is_open();
}

// The name tests look at the file name only: a folder called "pano.jpg.d" or "x.txt" must not
// decide what the files inside it are.
std::vector<std::string> keptImages(std::vector<std::string> chosen) {
    if (!chosen.empty()) std::rotate(chosen.begin(), chosen.begin() + 1, chosen.end());
    std::vector<std::string> kept;
    for (const std::string& path : chosen) {
        const std::string name = fileNamePart(path);
        const bool jpeg = contains(name, ".jpg") || contains(name, ".JPG");
        if (jpeg && !contains(name, "pano.jpg") && canOpenForReading(path)) kept.push_back(path);
    }
    return kept;
}

bool isParameterFileName(const std::string& path) {
    const std::string name = fileNamePart(path);
    return contains(name, ".ast") || contains(name, ".AST") || contains(name, ".txt") || contains(name, ".TXT");
}

std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected) {
    std::sort(selected.begin(), selected.end(),
              [](const std::string& a, const std::string& b) { return fileNamePart(a) < fileNamePart(b); });
    if (!selected.empty()) std::rotate(selected.begin(), selected.end() - 1, selected.end());
    return selected;
}

}  // namespace vantorra
