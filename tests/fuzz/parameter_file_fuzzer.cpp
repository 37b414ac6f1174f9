// Feeds arbitrary text to the parameter-file reader. Beyond not crashing: a refused file appends
// nothing and says which record is bad; an accepted one holds only usable records (sizes positive
// in the panorama, finite numbers) and reads back the same after being written out, so what the
// reader accepts the writer can save.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "io/parameter_file.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool finite(const vantorra::Matrix& m) {
    if (m.rows != 3 || m.cols != 3 || m.data.size() != 9) return false;
    for (const float v : m.data)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantorra;
    // A small limit, so the refusal of long files is exercised too.
    constexpr int kMaxRecords = 64;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<CameraRecord> read;
    std::string error;
    PanoramaChecksum panorama;
    const int records = readParameterFile(in, read, &error, kMaxRecords, &panorama);
    if (records < 0) {
        require(read.empty());
        // A bad record is named; a bad panorama section, output mapping or a line too long for
        // any path says so.
        require(error.rfind("record ", 0) == 0 || error.rfind("more than ", 0) == 0 ||
                error.rfind("line ", 0) == 0 || error.find("panorama section") != std::string::npos ||
                error.rfind("the output mapping ", 0) == 0);
        require(error.size() < 2 * ParameterLines::kMaxLineBytes + 200);
        return 0;
    }
    require(records <= kMaxRecords);
    require(read.size() == static_cast<size_t>(records));
    for (const CameraRecord& record : read) {
        const Camera& camera = record.camera;
        require(!record.name.empty());
        const ImageSize& size = record.size;
        require(size.width >= 0 && size.height >= 0);
        require(camera.f == 0.0f || (size.width > 0 && size.height > 0));
        require(finite(camera.imageTransform) && finite(camera.R) && std::isfinite(camera.f));
        require(std::isfinite(camera.lens.k1) && std::isfinite(camera.lens.k2));
    }

    std::ostringstream out;
    writeParameterFile(out, read, registeredRecords(read));
    if (panorama.known()) out << panoramaSection(panorama);
    std::istringstream back(out.str());
    std::vector<CameraRecord> again;
    std::string againError;
    PanoramaChecksum panoramaAgain;
    // Six significant digits may round a focal length of about 1e-39 to 0, which only moves
    // that image out of the panorama; every other record must come back as it was.
    require(readParameterFile(back, again, &againError, kMaxRecords, &panoramaAgain) == records);
    require(panoramaAgain.known() == panorama.known() && panoramaAgain.sameFile(panorama));
    for (size_t i = 0; i < again.size(); ++i) {
        require(again[i].name == read[i].name);
        require(again[i].size.width == read[i].size.width);
        require(again[i].size.height == read[i].size.height);
    }
    return 0;
}
