#include "io/record_names.h"

#include <filesystem>

namespace vantorra {

namespace {

namespace fs = std::filesystem;

fs::path absoluteNormal(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? fs::path(path) : absolute).lexically_normal();
}

bool exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

}  // namespace

std::string folderOfFile(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string recordedName(const std::string& path, const std::string& folder) {
    if (folder.empty()) return path;
    const fs::path photograph = absoluteNormal(path);
    const fs::path relative = photograph.lexically_relative(absoluteNormal(folder));
    if (relative.empty() || *relative.begin() == "..") return photograph.string();
    return relative.string();
}

std::string resolvedName(const std::string& name, const std::string& folder) {
    if (name.empty() || name.front() == '/' || folder.empty()) return name;
    const std::string underFolder = (fs::path(folder) / name).string();
    if (!exists(underFolder) && exists(name)) return name;
    return underFolder;
}

}  // namespace vantorra
