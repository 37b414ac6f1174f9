#include "engine/parameter_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <istream>
#include <ostream>

#include "engine/stitcher.h"
#include "numerics/mat3.h"

namespace vantorra {

namespace {

// The stream's default notation with six significant digits, whatever the caller set before.
class DefaultNumberFormat {
public:
    explicit DefaultNumberFormat(std::ostream& out) : out_(out), flags_(out.flags()), precision_(out.precision()) {
        out_.flags(std::ios_base::dec);
        out_.precision(6);
    }
    ~DefaultNumberFormat() {
        out_.flags(flags_);
        out_.precision(precision_);
    }
    DefaultNumberFormat(const DefaultNumberFormat&) = delete;
    DefaultNumberFormat& operator=(const DefaultNumberFormat&) = delete;

private:
    std::ostream& out_;
    std::ios_base::fmtflags flags_;
    std::streamsize precision_;
};

bool isThreeByThree(const Matrix& m) { return m.rows == 3 && m.cols == 3 && m.data.size() == 9; }

// A matrix that was never set (an unregistered camera) is written as zeros so the file stays
// readable.
Mat3 asMat3(const Matrix& m) { return isThreeByThree(m) ? Mat3::fromMatrix(m) : Mat3{}; }

void writeMatrix(std::ostream& out, const Mat3& m) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out << m(r, c) << ' ';
        out << '\n';
    }
}

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The next line that is not blank, with surrounding white space (and a carriage return left by
// a file written on another system) removed.
bool readName(std::istream& in, std::string& name) {
    std::string line;
    while (std::getline(in, line)) {
        const auto first = std::find_if_not(line.begin(), line.end(), isWhiteSpace);
        const auto last = std::find_if_not(line.rbegin(), line.rend(), isWhiteSpace).base();
        if (first < last) {
            name.assign(first, last);
            return true;
        }
    }
    return false;
}

bool readMatrix(std::istream& in, Matrix& m) {
    m.resize(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            float value = 0.0f;
            if (!(in >> value) || !std::isfinite(value)) return false;
            m.at(r, c) = value;
        }
    return true;
}

bool readRecordNumbers(std::istream& in, ImageSize& size, Camera& camera) {
    if (!(in >> size.width >> size.height) || size.width <= 0 || size.height <= 0) return false;
    size.channels = 3;  // the JPEG reader always delivers three channels
    if (!readMatrix(in, camera.imageTransform) || !readMatrix(in, camera.R)) return false;
    return static_cast<bool>(in >> camera.f) && std::isfinite(camera.f);
}

}  // namespace

std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher) {
    const DefaultNumberFormat format(out);
    const size_t count = stitcher.imageNames.size();
    std::vector<bool> inPanorama(count, false);
    for (const int32_t i : stitcher.component)
        if (i >= 0 && static_cast<size_t>(i) < count) inPanorama[static_cast<size_t>(i)] = true;

    for (size_t i = 0; i < count; ++i) {
        const ImageSize size = i < stitcher.imageSizes.size() ? stitcher.imageSizes[i] : ImageSize{};
        const Camera camera = i < stitcher.cameras.size() ? stitcher.cameras[i] : Camera{};
        const bool registered = inPanorama[i] && isRegistered(camera);
        out << stitcher.imageNames[i] << '\n' << size.width << ' ' << size.height << '\n';
        if (stitcher.options.parameterFileMatrices) {
            const Mat3 projection = registered
                                        ? asMat3(camera.imageTransform) * focalMatrix(camera.f) * asMat3(camera.R)
                                        : Mat3{};
            writeMatrix(out, projection);
            out << '\n';
        } else if (registered) {
            out << '\n';
            writeMatrix(out, asMat3(camera.imageTransform));
            writeMatrix(out, asMat3(camera.R));
            out << camera.f << '\n' << '\n';
        } else {
            writeMatrix(out, asMat3(camera.imageTransform));
            writeMatrix(out, Mat3{});
            out << 0 << '\n' << '\n';
        }
    }
    return out;
}

int readParameterFile(std::istream& in, Stitcher& stitcher) {
    int records = 0;
    std::string name;
    while (readName(in, name)) {
        ImageSize size;
        Camera camera;
        if (!readRecordNumbers(in, size, camera)) break;
        stitcher.imageNames.push_back(name);
        stitcher.imageSizes.push_back(size);
        stitcher.cameras.push_back(std::move(camera));
        ++records;
    }
    return records;
}

int loadParameterFile(const std::string& path, Stitcher& stitcher) {
    stitcher.clearRunResults();
    stitcher.imageNames.clear();
    stitcher.imagesSelected = true;
    stitcher.needsRegistration = true;

    std::ifstream in(path);
    if (!in.is_open()) return -1;
    const int records = readParameterFile(in, stitcher);

    const size_t n = stitcher.imageNames.size();
    stitcher.featureImages.assign(n, FloatImage());
    stitcher.thumbnails.assign(n, FloatImage());
    stitcher.featureLevels.assign(n, 0);
    stitcher.thumbnailLevels.assign(n, 0);
    for (size_t i = 0; i < n; ++i)
        if (isRegistered(stitcher.cameras[i])) stitcher.component.push_back(static_cast<int32_t>(i));
    return records;
}

}  // namespace vantorra
