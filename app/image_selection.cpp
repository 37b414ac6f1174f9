#include "app/image_selection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "io/output_files.h"

namespace vantorra {

namespace {

namespace fs = std::filesystem;

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The photographs of a folder by their names, in name order.
std::vector<std::string> photographsIn(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        if (isPhotographName(entry.path().string()) && !entry.is_directory(error)) found.push_back(entry.path().string());
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return fileNamePart(a) < fileNamePart(b); });
    return found;
}

std::string folderOf(const std::string& path) { return fs::path(path).parent_path().string(); }

// The outputs' folder: the first photograph's that is not itself an earlier panorama.
std::string outputFolder(const std::vector<std::string>& photographs) {
    for (const std::string& path : photographs)
        if (fileNamePart(path) != OutputFiles::kPanoramaName) return folderOf(path);
    return photographs.empty() ? std::string() : folderOf(photographs.front());
}

}  // namespace

std::string inputProblem(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    // Without waiting: a regular file opens at once, but the check must never hang.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return std::strerror(errno);
    close(descriptor);
    return std::string();
}

ImageChoice chooseImages(std::vector<std::string> chosen) {
    if (!chosen.empty()) std::rotate(chosen.begin(), chosen.begin() + 1, chosen.end());
    ImageChoice choice;
    std::vector<std::string> readable;
    for (const std::string& path : chosen) {
        if (isFolder(path)) {
            const std::vector<std::string> inside = photographsIn(path);
            if (inside.empty()) choice.leftOut.push_back({path, "a folder without photographs"});
            for (const std::string& photograph : inside) {
                if (std::string why = inputProblem(photograph); !why.empty()) choice.leftOut.push_back({photograph, why});
                else readable.push_back(photograph);
            }
        } else if (std::string why = inputProblem(path); !why.empty()) {
            choice.leftOut.push_back({path, why});
        } else if (!isPhotographName(path)) {
            choice.leftOut.push_back({path, isParameterFileName(path) ? "a parameter file is opened alone, not with photographs"
                                                                      : kNotAPhotograph});
        } else {
            readable.push_back(path);
        }
    }
    choice.folder = outputFolder(readable);
    const PhotoSelection selection = selectPhotographs(readable, (fs::path(choice.folder) / OutputFiles::kPanoramaName).string());
    choice.photographs = selection.photographs;
    choice.leftOut.insert(choice.leftOut.end(), selection.skipped.begin(), selection.skipped.end());
    return choice;
}

std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected) {
    std::sort(selected.begin(), selected.end(),
              [](const std::string& a, const std::string& b) { return fileNamePart(a) < fileNamePart(b); });
    if (!selected.empty()) std::rotate(selected.begin(), selected.end() - 1, selected.end());
    return selected;
}

}  // namespace vantorra
