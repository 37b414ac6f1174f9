#include "io/parameter_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <fstream>
#include <istream>
#include <ostream>

#include "io/photo_reader.h"
#include "io/input_files.h"
#include "io/jpeg.h"
#include "io/output_section.h"
#include "io/parameter_lines.h"
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

// A whole word as a number, as the stream would read it: a leading '+' is allowed.
template <typename T>
bool readNumber(ParameterLines& in, T& value) {
    std::string word;
    if (!in.nextWord(word)) return false;
    const char* first = word.data();
    const char* const end = word.data() + word.size();
    if (first != end && *first == '+' && end - first > 1 && first[1] != '-') ++first;
    const auto [stop, failure] = std::from_chars(first, end, value);
    // The stream never read "inf" or "nan" as numbers: such a record stays "not a number".
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(value)) return false;
    return failure == std::errc() && stop == end;
}

// The reasons a record is refused; empty when it can be used.
std::string readMatrix(ParameterLines& in, Matrix& m, const char* what) {
    m.resize(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            float value = 0.0f;
            if (!readNumber(in, value)) return std::string("cut short or not a number in its ") + what;
            if (!std::isfinite(value)) return std::string("a value of its ") + what + " is not finite";
            m.at(r, c) = value;
        }
    return std::string();
}

// Saved with six significant digits, a true rotation keeps R * R^T within about 1e-6 of the
// identity; 1e-3 leaves room for hand-edited files and refuses anything that is not a rotation.
constexpr float kRotationTolerance = 1e-3f;

bool isRotation(const Matrix& R) {
    const Mat3 m = Mat3::fromMatrix(R);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float dot = 0.0f;
            for (int k = 0; k < 3; ++k) dot += m(i, k) * m(j, k);
            if (std::fabs(dot - (i == j ? 1.0f : 0.0f)) > kRotationTolerance) return false;
        }
    const float det = m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
                      m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
                      m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
    return det > 0.0f;  // a reflection is orthonormal but no camera
}

std::string readRecordNumbers(ParameterLines& in, ImageSize& size, Camera& camera) {
    if (!readNumber(in, size.width) || !readNumber(in, size.height)) return "its size is cut short or not a whole number";
    if (size.width < 0 || size.height < 0) return "its size is negative";
    size.channels = 3;  // the JPEG reader always delivers three channels
    if (std::string why = readMatrix(in, camera.imageTransform, "image transform"); !why.empty()) return why;
    if (std::string why = readMatrix(in, camera.R, "rotation"); !why.empty()) return why;
    if (!readNumber(in, camera.f)) return "its focal length is cut short or not a number";
    if (!std::isfinite(camera.f)) return "its focal length is not finite";
    // f = 0 marks an image outside the panorama: its rotation is not used, and a photograph that
    // could not be read at all is recorded there with the size 0 x 0.
    if (camera.f == 0.0f) return std::string();
    if (size.width == 0 || size.height == 0) return "its size is not positive";
    if (!isRotation(camera.R)) return "its rotation is not orthonormal";
    return std::string();
}

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

bool anyDistortion(std::span<const CameraRecord> records, const std::vector<bool>& inPanorama) {
    for (size_t i = 0; i < inPanorama.size(); ++i)
        if (inPanorama[i] && !records[i].camera.lens.none()) return true;
    return false;
}

// After the records: the marker line, then one "lens K1 K2" line per record in record order.
void writeDistortion(std::ostream& out, std::span<const CameraRecord> records, const std::vector<bool>& inPanorama) {
    out << kDistortionSection << '\n';
    for (size_t i = 0; i < inPanorama.size(); ++i) {
        const bool bent = inPanorama[i] && isRegistered(records[i].camera);
        const LensDistortion lens = bent ? records[i].camera.lens : LensDistortion{};
        out << "lens " << lens.k1 << ' ' << lens.k2 << '\n';
    }
}

// A lens that bends an ideal position at the normalised radius 1 by more than this is no lens.
constexpr float kMaxCoefficient = 2.0f;

// Reads the lines after the marker into the cameras; empty when they fit, or the reason, naming
// the record as every refusal of the file does.
std::string readDistortion(ParameterLines& in, std::vector<CameraRecord>& records) {
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string where = "record " + std::to_string(i + 1) + " (" + records[i].name + "): its lens distortion ";
        std::string word;
        LensDistortion lens;
        if (!in.nextWord(word) || word != "lens") return where + "is missing";
        if (!readNumber(in, lens.k1) || !readNumber(in, lens.k2)) return where + "is cut short or not a number";
        if (!std::isfinite(lens.k1) || !std::isfinite(lens.k2) || std::fabs(lens.k1) > kMaxCoefficient ||
            std::fabs(lens.k2) > kMaxCoefficient)
            return where + "is no lens";
        records[i].camera.lens = lens;
    }
    return std::string();
}

// The sections after the records, each known one at most once and in its order (lens, output
// mapping, panorama); empty when they are whole and end the text, else why not.
std::string readSections(ParameterLines& in, std::string marker, std::vector<CameraRecord>& records,
                         PanoramaChecksum* panorama, OutputMapping* mapping) {
    const std::string after = "record " + std::to_string(records.size() + 1) + ": text after the ";
    if (marker == kDistortionSection) {
        if (std::string why = readDistortion(in, records); !why.empty()) return why;
        if (!in.nextName(marker)) return std::string();
        if (marker != kOutputSection && marker != kPanoramaSection) return after + "lens distortion";
    }
    // All or nothing: what the sections hold is given out only once every one of them is whole.
    OutputMapping readMapping;
    if (marker == kOutputSection) {
        if (std::string why = readOutputSection(in, readMapping); !why.empty()) return why;
        if (!in.nextName(marker)) {
            if (mapping) *mapping = std::move(readMapping);
            return std::string();
        }
        if (marker != kPanoramaSection) return after + "output mapping";
    }
    PanoramaChecksum read;
    if (std::string why = readPanoramaSection(in, read); !why.empty()) return why;
    if (panorama) *panorama = std::move(read);
    if (mapping) *mapping = std::move(readMapping);
    return std::string();
}

bool isSectionMarker(const std::string& name) {
    return name == kDistortionSection || name == kOutputSection || name == kPanoramaSection;
}

}  // namespace

std::ostream& writeParameterFile(std::ostream& out, std::span<const CameraRecord> records,
                                 std::span<const int32_t> component, bool matrices, const OutputMapping* mapping) {
    const DefaultNumberFormat format(out);
    const size_t count = records.size();
    std::vector<bool> inPanorama(count, false);
    for (const int32_t i : component)
        if (i >= 0 && static_cast<size_t>(i) < count) inPanorama[static_cast<size_t>(i)] = true;

    for (size_t i = 0; i < count; ++i) {
        const ImageSize& size = records[i].size;
        const Camera& camera = records[i].camera;
        const bool registered = inPanorama[i] && isRegistered(camera);
        out << records[i].name << '\n' << size.width << ' ' << size.height << '\n';
        if (matrices) {
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
    // Only a lens that bends anything is recorded, so files without distortion stay as they were.
    if (anyDistortion(records, inPanorama)) writeDistortion(out, records, inPanorama);
    if (mapping != nullptr && mapping->known()) out << outputSection(*mapping);
    return out;
}

int readParameterFile(std::istream& in, std::vector<CameraRecord>& records, std::string* error, int maxRecords,
                      PanoramaChecksum* panorama, OutputMapping* mapping) {
    ParameterLines lines(in);
    std::vector<CameraRecord> read;
    CameraRecord record;
    // A line too long for any name or number ends the file at once, whatever was read before.
    const auto refused = [&](std::string why) {
        setError(error, lines.failed() ? lines.error() : std::move(why));
        if (mapping) *mapping = OutputMapping{};
        return -1;
    };
    while (lines.nextName(record.name)) {
        if (isSectionMarker(record.name)) {
            if (std::string why = readSections(lines, record.name, read, panorama, mapping); !why.empty() || lines.failed())
                return refused(why);
            break;
        }
        const int number = static_cast<int>(read.size()) + 1;
        if (number > maxRecords)
            return refused("more than " + std::to_string(maxRecords) + " records, the most the memory budget can render");
        record.camera = Camera{};
        if (const std::string why = readRecordNumbers(lines, record.size, record.camera); !why.empty())
            return refused("record " + std::to_string(number) + " (" + record.name + "): " + why);
        read.push_back(std::move(record));
        record = CameraRecord{};
    }
    if (lines.failed()) return refused(std::string());
    records.insert(records.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    return static_cast<int>(read.size());
}

int maxParameterFileRecords(int64_t memoryBudget) {
    const int64_t records = memoryBudget / kBytesPerRenderedImage;
    return static_cast<int>(std::clamp<int64_t>(records, 2, std::numeric_limits<int>::max()));
}

int loadParameterFile(const std::string& path, int64_t memoryBudget, std::vector<CameraRecord>& records,
                      std::string* error, PanoramaChecksum* panorama, OutputMapping* mapping) {
    records.clear();
    if (std::string why = inputFileProblem(path); !why.empty()) {
        // The reason alone: the caller names the file.
        for (const std::string& prefix : {std::string(kOpenVerb) + path + ": ", path + ": "})
            if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
        setError(error, why);
        return -1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        setError(error, std::strerror(errno));
        return -1;
    }
    const int count = readParameterFile(in, records, error, maxParameterFileRecords(memoryBudget), panorama, mapping);
    if (count < 0) records.clear();
    return count;
}

std::vector<int32_t> registeredRecords(std::span<const CameraRecord> records) {
    std::vector<int32_t> component;
    for (size_t i = 0; i < records.size(); ++i)
        if (isRegistered(records[i].camera)) component.push_back(static_cast<int32_t>(i));
    return component;
}

std::string checkParameterFilePhotographs(const std::string& directory, std::span<const CameraRecord> records,
                                          std::span<const int32_t> component) {
    for (const int32_t i : component) {
        const size_t k = static_cast<size_t>(i);
        if (k >= records.size()) continue;
        const std::string path = directory + records[k].name;
        PhotoHeader header;
        std::string why;
        if (!readPhotoHeader(path, header, &why)) return "record " + std::to_string(i + 1) + ": " + why;
        const ImageSize& recorded = records[k].size;
        if (header.width != recorded.width || header.height != recorded.height)
            return "record " + std::to_string(i + 1) + ": " + path + " is " + std::to_string(header.width) +
                   " x " + std::to_string(header.height) + " pixels, the file records " +
                   std::to_string(recorded.width) + " x " + std::to_string(recorded.height);
    }
    return std::string();
}

}  // namespace vantorra
