// A stitch carries the first photograph's colour profile and camera fields into every output
// format, at the depth asked for, with the photo-sphere fields of an equirectangular panorama.

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/output_files.h"
#include "io/photo_metadata.h"
#include "io/photo_reader.h"
#include "pipeline/panorama_encoding.h"
#include "pipeline/stitcher.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// The smallest profile the ICC rules allow: a header (size, 'mntr', 'RGB ', 'XYZ ', 'acsp',
// the D50 illuminant) and an empty tag table, with a marker byte to recognise it by.
std::vector<uint8_t> smallProfile() {
    std::vector<uint8_t> p(132, 0);
    const auto put = [&](size_t at, const char* text) { std::copy(text, text + 4, p.begin() + static_cast<ptrdiff_t>(at)); };
    const auto word = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) p[at + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
    };
    word(0, 132);
    word(8, 0x02100000);
    put(12, "mntr");
    put(16, "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    word(68, 0x0000F6D6);
    word(72, 0x00010000);
    word(76, 0x0000D32D);
    p[100] = 0x5A;  // in the profile's id, which may hold anything
    return p;
}

void stamp(const std::string& path, const std::vector<uint8_t>& profile) {
    std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(path).release());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = "Makers";
    exif["Exif.Image.Model"] = "Model 7";
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:01 12:34:56";
    Exiv2::DataBuf buffer(profile.data(), static_cast<long>(profile.size()));
    image->setIccProfile(buffer);
    image->writeMetadata();
}

TEST(CarriedMetadata, EveryFormatCarriesTheProfileTheCameraFieldsAndItsPlaceInTheSphere) {
    const fs::path folder = fs::temp_directory_path() / "vantorra_carried_metadata";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::vector<std::string> names = {"DSC_0100.jpg", "DSC_0107.jpg", "DSC_0114.jpg"};
    for (const std::string& name : names)
        fs::copy_file(std::string(VANTORRA_TEST_DATA) + "/matching/row6/" + name, folder / name);
    const std::vector<uint8_t> profile = smallProfile();
    stamp((folder / names[0]).string(), profile);

    struct Case {
        const char* format;
        int depth;
    };
    for (const Case c : {Case{"jpeg", 8}, Case{"tiff", 16}, Case{"png", 16}, Case{"tiff", 8}}) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.depth));
        Stitcher stitcher;
        stitcher.options.render.sizeMode = SizeMode::Width;
        stitcher.options.render.width = 600;
        stitcher.options.render.outputFormat = c.format;
        stitcher.options.render.outputDepth = c.depth;
        const PanoramaEncoding encoding = panoramaEncoding(stitcher.options.render);
        StagedOutputs outputs(folder.string(), encoding);
        ASSERT_EQ(outputs.open(), "");
        std::ostringstream log;
        const RunReport report = stitcher.stitch(folder.string() + "/", names, outputs.panorama(), log);
        ASSERT_TRUE(report.stitched()) << report.message;
        ASSERT_EQ(outputs.commit("# parameters\n"), "");

        const std::string written = (folder / panoramaFileName(encoding.format)).string();
        PhotoHeader header;
        ASSERT_TRUE(readPhotoHeader(written, header));
        EXPECT_EQ(header.bits, c.depth);
        EXPECT_EQ(header.width, report.render.width);
        std::string why;
        const std::optional<ReadMetadata> read = readMetadata(written, &why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(read->icc, profile);
        EXPECT_EQ(read->field("Exif.Image.Make"), "Makers");
        EXPECT_EQ(read->field("Exif.Image.Model"), "Model 7");
        const std::string taken = encoding.format == PanoramaFormat::Tiff ? read->field("Exif.Image.DateTime")
                                                                           : read->field("Exif.Photo.DateTimeOriginal");
        EXPECT_EQ(taken, "2024:05:01 12:34:56");
        EXPECT_EQ(read->field("Xmp.GPano.ProjectionType"), "equirectangular");
        EXPECT_EQ(read->field("Xmp.GPano.CroppedAreaImageWidthPixels"), std::to_string(header.width));
        EXPECT_EQ(read->field("Xmp.GPano.CroppedAreaImageHeightPixels"), std::to_string(header.height));
        const long full = std::atol(read->field("Xmp.GPano.FullPanoWidthPixels").c_str());
        const long half = std::atol(read->field("Xmp.GPano.FullPanoHeightPixels").c_str());
        EXPECT_LE(std::abs(full - 2 * half), 1);
        EXPECT_GE(full, header.width);  // a row of three views covers less than a full turn
        const long left = std::atol(read->field("Xmp.GPano.CroppedAreaLeftPixels").c_str());
        EXPECT_TRUE(left >= 0 && left + header.width <= full) << left;
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace vantorra
