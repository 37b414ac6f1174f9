#include "app/image_selection.h"

#include <algorithm>
#include <fstream>

namespace vantorra {

bool canOpenForReading(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file.is_open();
}

std::vector<std::string> keptImages(std::vector<std::string> chosen, const std::string& outputPath) {
    if (!chosen.empty()) std::rotate(chosen.begin(), chosen.begin() + 1, chosen.end());
    std::vector<std::string> kept;
    for (const std::string& path : selectPhotographs(chosen, outputPath).photographs) {
        if (canOpenForReading(path)) kept.push_back(path);
    }
    return kept;
}

std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected) {
    std::sort(selected.begin(), selected.end(),
              [](const std::string& a, const std::string& b) { return fileNamePart(a) < fileNamePart(b); });
    if (!selected.empty()) std::rotate(selected.begin(), selected.end() - 1, selected.end());
    return selected;
}

}  // namespace vantorra
