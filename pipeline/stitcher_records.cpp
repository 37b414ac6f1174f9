#include "pipeline/stitcher_records.h"

#include <ostream>

namespace vantorra {

std::vector<CameraRecord> cameraRecords(const Stitcher& stitcher) {
    std::vector<CameraRecord> records(stitcher.imageNames.size());
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].name = stitcher.imageNames[i];
        if (i < stitcher.imageSizes.size()) records[i].size = stitcher.imageSizes[i];
        if (i < stitcher.cameras.size()) records[i].camera = stitcher.cameras[i];
    }
    return records;
}

std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher) {
    return writeParameterFile(out, cameraRecords(stitcher), stitcher.component, stitcher.options.parameterFileMatrices);
}

}  // namespace vantorra
