#include "app/panorama_cameras.h"

#include <sstream>

#include "io/record_names.h"

namespace vantorra {

PanoramaCameras::PanoramaCameras(const Stitcher& stitcher)
    : records_(stitcher.cameraRecords()),
      component_(stitcher.component()),
      matrices_(stitcher.options.parameterFileMatrices),
      mapping_(stitcher.mapping()) {
    for (CameraRecord& record : records_) record.name = stitcher.directory() + record.name;
}

std::string PanoramaCameras::parameterText(const std::string& folder) const {
    std::vector<CameraRecord> named = records_;
    for (CameraRecord& record : named) record.name = recordedName(record.name, folder);
    std::ostringstream text;
    writeParameterFile(text, named, component_, matrices_, &mapping_);
    return text.str();
}

std::vector<std::string> PanoramaCameras::photographs() const {
    std::vector<std::string> paths;
    for (const CameraRecord& record : records_) paths.push_back(record.name);
    return paths;
}

}  // namespace vantorra
