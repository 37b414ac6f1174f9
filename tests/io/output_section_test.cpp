// The output mapping's section of the parameter file: it reads back as written between the lens
// and panorama sections, the first readers stop at its marker, and a section that is not whole
// refuses the file.

#include "io/output_section.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "io/panorama_checksum.h"
#include "io/parameter_file.h"

namespace vantorra {
namespace {

std::vector<CameraRecord> twoRecords() {
    std::vector<CameraRecord> records(2);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].name = "/photos/" + std::to_string(i) + ".jpg";
        records[i].size = {400, 600, 3};
        records[i].camera.R = Mat3::identity().toMatrix();
        records[i].camera.imageTransform = Mat3::identity().toMatrix();
        records[i].camera.f = 500.0f + static_cast<float>(i);
    }
    return records;
}

OutputMapping sampleMapping() {
    OutputMapping m;
    m.projection = "transverse-mercator";
    m.width = 1890;
    m.height = 1002;
    m.scale = 475.78172763;
    m.centreColumn = 884.70775241;
    m.centreRow = -12.5;
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    m.rotation = Mat3::identity();
    m.rotation(1, 1) = m.rotation(2, 2) = c;
    m.rotation(1, 2) = -s;
    m.rotation(2, 1) = s;
    return m;
}

std::string fileWith(const OutputMapping& mapping, bool lens) {
    std::vector<CameraRecord> records = twoRecords();
    if (lens) records[1].camera.lens = {-0.06f, 0.0f};
    std::ostringstream out;
    const std::vector<int32_t> component{0, 1};
    writeParameterFile(out, records, component, false, &mapping);
    return out.str();
}

TEST(OutputSection, ReadsBackBetweenTheLensAndPanoramaSectionsAndOlderReadersStopAtIt) {
    const OutputMapping written = sampleMapping();
    const std::string panorama = panoramaSection(PanoramaChecksum{"pano.jpg", 1234, 0xabcdef01});
    for (const bool lens : {false, true}) {
        SCOPED_TRACE(lens ? "with a lens section" : "alone");
        const std::string text = fileWith(written, lens) + panorama;
        std::istringstream in(text);
        std::vector<CameraRecord> records;
        OutputMapping read;
        PanoramaChecksum checksum;
        std::string error;
        ASSERT_EQ(readParameterFile(in, records, &error, 100, &checksum, &read), 2) << error;
        EXPECT_EQ(read.projection, written.projection);
        EXPECT_EQ(read.width, written.width);
        EXPECT_EQ(read.height, written.height);
        EXPECT_NEAR(read.scale, written.scale, 1e-7);
        EXPECT_NEAR(read.centreColumn, written.centreColumn, 1e-7);
        EXPECT_EQ(read.centreRow, written.centreRow);
        for (size_t k = 0; k < 9; ++k) EXPECT_NEAR(read.rotation.m[k], written.rotation.m[k], 1e-9f);
        EXPECT_TRUE(checksum.known());
        EXPECT_EQ(records[1].camera.lens.k1, lens ? -0.06f : 0.0f);

        // The first readers: a name is a word, then numbers until one fails.
        std::istringstream old(text);
        int taken = 0;
        std::string name;
        for (float number = 0.0f; old >> name;) {
            int width = 0, height = 0;
            if (!(old >> width >> height)) break;
            for (int k = 0; k < 19; ++k) old >> number;
            ++taken;
        }
        EXPECT_EQ(taken, 2);
        EXPECT_EQ(name, lens ? "[lens" : "[output");
    }
}

TEST(OutputSection, ASectionThatIsNotWholeRefusesTheFile) {
    const std::string records = fileWith(OutputMapping{}, false);
    const std::string whole = outputSection(sampleMapping());
    const std::string marker = std::string(kOutputSection) + "\n";
    const struct {
        const char* what;
        std::string tail;
    } broken[] = {
        {"cut after the marker", marker},
        {"no output word", marker + "panini 10 10 1 0 0\n1 0 0\n0 1 0\n0 0 1\n"},
        {"a size below two", marker + "output panini 1 10 1 0 0\n1 0 0\n0 1 0\n0 0 1\n"},
        {"no scale", marker + "output panini 10 10 0 0 0\n1 0 0\n0 1 0\n0 0 1\n"},
        {"a centre not a number", marker + "output panini 10 10 1 x 0\n1 0 0\n0 1 0\n0 0 1\n"},
        {"a short rotation", marker + "output panini 10 10 1 0 0\n1 0 0\n0 1 0\n"},
        {"no rotation", marker + "output panini 10 10 1 0 0\n2 0 0\n0 1 0\n0 0 1\n"},
        {"a reflection", marker + "output panini 10 10 1 0 0\n-1 0 0\n0 1 0\n0 0 1\n"},
        {"twice", whole + whole},
        {"text after it", whole + "more\n"},
        {"before the lens section", whole + "[lens distortion k1 k2]\nlens 0 0\nlens 0 0\n"},
    };
    for (const auto& b : broken) {
        std::istringstream in(records + b.tail);
        std::vector<CameraRecord> read;
        OutputMapping mapping;
        std::string error;
        EXPECT_EQ(readParameterFile(in, read, &error, 100, nullptr, &mapping), -1) << b.what;
        EXPECT_TRUE(read.empty() && !mapping.known()) << b.what;
        EXPECT_FALSE(error.empty()) << b.what;
    }
}

}  // namespace
}  // namespace vantorra
