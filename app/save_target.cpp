#include "app/save_target.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "core/lower_case.h"
#include "app/result_summary.h"
#include "io/parameter_file.h"
#include "io/photo_selection.h"

namespace vantorra {

namespace {

namespace fs = std::filesystem;

const SaveFormat* formatNamed(const std::string& name) {
    for (const SaveFormat& format : panoramaFormats())
        if (format.name == name) return &format;
    return &panoramaFormats().front();
}

const SaveFormat* formatOfExtension(const std::string& extension) {
    for (const SaveFormat& format : panoramaFormats())
        if (std::find(format.extensions.begin(), format.extensions.end(), extension) != format.extensions.end())
            return &format;
    return nullptr;
}

std::string extensionList() {
    std::string list;
    for (const SaveFormat& format : panoramaFormats())
        for (const std::string& extension : format.extensions) list += (list.empty() ? "." : ", .") + extension;
    return list;
}

SaveTarget refused(std::string why) { return SaveTarget{{}, {}, std::move(why)}; }

// A file that is there and cannot be read as a parameter file is someone's other text.
bool holdsSomethingElse(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) return false;
    std::vector<CameraRecord> records;
    return loadParameterFile(path, int64_t{1} << 30, records) < 0;
}

}  // namespace

const std::vector<SaveFormat>& panoramaFormats() {
    static const std::vector<SaveFormat> formats = {
        {"JPEG", {"jpg", "jpeg", "jpe"}}, {"TIFF", {"tif", "tiff"}}, {"PNG", {"png"}}};
    return formats;
}

SaveTarget saveTarget(const SaveChoice& choice, const std::vector<std::string>& photographs) {
    std::error_code error;
    fs::path path = fs::absolute(choice.path, error).lexically_normal();
    if (path.filename().empty()) return refused("Please give the panorama a file name.");
    std::string extension = lowerCase(path.extension().string());
    if (extension.empty()) {
        path += "." + formatNamed(choice.format)->extensions.front();
        extension = path.extension().string();
    }
    extension = extension.substr(1);
    const std::string name = path.filename().string();
    if (isParameterFileName(name) || extension == "txt" || extension == "ast")
        return refused(name + " is a parameter file's name: the panorama would replace the parameter file that goes "
                       "beside it. Please choose a name ending in " + extensionList() + ".");
    if (formatOfExtension(extension) == nullptr)
        return refused("A panorama cannot be saved as ." + extension + ": Vantorra writes " + formatNamed(choice.format)->name +
                       " files. Please choose a name ending in " + extensionList() + ".");
    SaveTarget target{path.string(), parameterPathFor(path.string()), {}};
    for (const std::string& photograph : photographs)
        if (isSameFile(photograph, target.panorama) || isSameFile(photograph, target.parameters))
            return refused(fileNamePart(photograph) + " is one of the photographs: please choose another name.");
    if (holdsSomethingElse(target.parameters))
        return refused(fileNamePart(target.parameters) + " is already there and is not a parameter file; saving would "
                       "replace it. Please choose another name.");
    return target;
}

}  // namespace vantorra
