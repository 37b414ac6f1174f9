#include "io/exif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/exif_jpeg.h"

namespace vantorra {
namespace {

using tagged::ExifBlock;

ExifFacts read(const std::vector<uint8_t>& payload, int storedWidth = 640, int storedHeight = 480) {
    return readExifFacts(payload.data(), payload.size(), storedWidth, storedHeight);
}

// The 35-mm equivalent of `focalMm` on a sensor of the given size, by the diagonal.
double equivalent(double focalMm, double sensorWidthMm, double sensorHeightMm) {
    return focalMm * 43.27 / std::hypot(sensorWidthMm, sensorHeightMm);
}

// Records a sensor of sensorWidthMm x sensorHeightMm imaged onto width x height pixels, as a
// camera does: FocalPlaneX/YResolution in pixels per unit (2 inch, 3 cm, 4 mm).
ExifBlock& focalPlane(ExifBlock& block, int unit, double unitMm, int width, int height, double sensorWidthMm,
                      double sensorHeightMm) {
    constexpr uint32_t kDenominator = 1000;
    const auto perUnit = [&](int pixels, double sensorMm) {
        return static_cast<uint32_t>(std::lround(pixels / (sensorMm / unitMm) * kDenominator));
    };
    return block.integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, static_cast<uint32_t>(unit))
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, perUnit(width, sensorWidthMm), kDenominator)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION, perUnit(height, sensorHeightMm), kDenominator);
}

TEST(ExifFacts, OrientationIsReadInEitherByteOrder) {
    for (const ExifByteOrder order : {EXIF_BYTE_ORDER_MOTOROLA, EXIF_BYTE_ORDER_INTEL}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const ExifFacts facts = read(ExifBlock(order).orientation(orientation).bytes());
            EXPECT_EQ(facts.orientation, orientation) << "byte order " << order;
            EXPECT_EQ(facts.ignored, "");
            EXPECT_EQ(facts.focal35mm, 0);
        }
    }
}

TEST(ExifFacts, TheThumbnailsOrientationIsNotThePhotographs) {
    ExifBlock thumbnailOnly;
    thumbnailOnly.integer(EXIF_IFD_1, EXIF_TAG_ORIENTATION, 8);
    EXPECT_EQ(read(thumbnailOnly.bytes()).orientation, 1);

    ExifBlock both;
    both.orientation(6).integer(EXIF_IFD_1, EXIF_TAG_ORIENTATION, 8);
    EXPECT_EQ(read(both.bytes()).orientation, 6);
}

TEST(ExifFacts, OrientationOutsideOneToEightIsIgnoredWithAReason) {
    for (const int orientation : {0, 9, 65535}) {
        const ExifFacts facts = read(ExifBlock().orientation(orientation).bytes());
        EXPECT_EQ(facts.orientation, 1) << orientation;
        EXPECT_NE(facts.ignored.find("orientation " + std::to_string(orientation)), std::string::npos)
            << facts.ignored;
    }
}

TEST(ExifFacts, TheFocalLengthIn35mmTermsIsTakenAsRecorded) {
    ExifBlock block;
    block.integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 28)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 43, 10);
    // A focal plane that would give another equivalent: the camera's own 35-mm figure wins.
    focalPlane(block, 4, 1, 4000, 3000, 6.4, 4.8);
    const ExifFacts facts = read(block.bytes(), 4000, 3000);
    EXPECT_EQ(facts.focal35mm, 28);
    EXPECT_EQ(facts.ignored, "");
}

TEST(ExifFacts, TheFocalLengthIsConvertedThroughTheSensorSize) {
    struct Camera {
        const char* name;
        int unit;
        double unitMm;
        int width, height;
        double sensorWidthMm, sensorHeightMm, focalMm;
        bool recordsPixelSize;
    };
    const Camera cameras[] = {
        {"full frame, inches", 2, 25.4, 6000, 4000, 36, 24, 50, true},
        {"APS-C, centimetres", 3, 10, 6000, 4000, 23.6, 15.6, 35, true},
        {"phone, millimetres, pixel size from the frame", 4, 1, 4032, 3024, 5.6, 4.2, 4.25, false},
    };
    for (const Camera& camera : cameras) {
        ExifBlock block;
        block.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, static_cast<uint32_t>(camera.focalMm * 100), 100);
        focalPlane(block, camera.unit, camera.unitMm, camera.width, camera.height, camera.sensorWidthMm,
                   camera.sensorHeightMm);
        if (camera.recordsPixelSize) {
            block.integer(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, static_cast<uint32_t>(camera.width))
                .integer(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, static_cast<uint32_t>(camera.height));
        }
        // A recorded pixel size is the one the focal-plane resolution describes, whatever the
        // size of the frame in the file; without one the frame's own size stands in.
        const int storedWidth = camera.recordsPixelSize ? camera.width / 4 : camera.width;
        const int storedHeight = camera.recordsPixelSize ? camera.height / 4 : camera.height;
        const ExifFacts facts = read(block.bytes(), storedWidth, storedHeight);
        EXPECT_NEAR(facts.focal35mm, equivalent(camera.focalMm, camera.sensorWidthMm, camera.sensorHeightMm), 0.05)
            << camera.name;
        EXPECT_EQ(facts.ignored, "") << camera.name;
    }
}

TEST(ExifFacts, AZeroIn35mmTermsMeansUnknownAndTheSensorSizeIsUsed) {
    ExifBlock block;
    block.integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 0)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1);
    focalPlane(block, 2, 25.4, 6000, 4000, 36, 24);
    const ExifFacts facts = read(block.bytes(), 6000, 4000);
    EXPECT_NEAR(facts.focal35mm, 50, 0.05);
    EXPECT_EQ(facts.ignored, "");
}

TEST(ExifFacts, AFocalLengthWithoutSensorSizeIsUnknownButNotAnError) {
    const ExifFacts facts = read(ExifBlock().rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1).bytes());
    EXPECT_EQ(facts.focal35mm, 0);
    EXPECT_EQ(facts.ignored, "");
}

TEST(ExifFacts, ZeroDenominatorsAndImplausibleFocalLengthsAreIgnoredWithAReason) {
    struct Case {
        const char* name;
        ExifBlock block;
        const char* reason;  // a word the reason must hold
    };
    std::vector<Case> cases;
    cases.push_back({"focal length n/0", {}, "FocalLength has a zero denominator"});
    focalPlane(cases.back().block.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 0), 2, 25.4, 640, 480, 36, 24);
    cases.push_back({"focal-plane resolution n/0", {}, "FocalPlaneXResolution has a zero denominator"});
    cases.back()
        .block.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, 3000, 0);
    cases.push_back({"35-mm focal length 9000", {}, "9000"});
    cases.back().block.integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 9000);
    cases.push_back({"a 20 m lens on a phone sensor", {}, "implausible"});
    focalPlane(cases.back().block.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 20000, 1), 4, 1, 640, 480, 5.6, 4.2);
    cases.push_back({"focal-plane unit 'none'", {}, "unit"});
    focalPlane(cases.back().block.rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1), 1, 25.4, 640, 480, 36, 24);
    for (Case& c : cases) {
        const ExifFacts facts = read(c.block.orientation(3).bytes());
        EXPECT_EQ(facts.focal35mm, 0) << c.name;
        EXPECT_NE(facts.ignored.find(c.reason), std::string::npos) << c.name << ": " << facts.ignored;
        EXPECT_EQ(facts.orientation, 3) << c.name << ": a bad focal length must not cost the orientation";
    }
}

TEST(ExifFacts, DamagedBlocksAreIgnoredWithAReason) {
    const std::vector<uint8_t> whole = ExifBlock().orientation(6).bytes();
    std::vector<uint8_t> random(200);
    std::mt19937 generator(11);
    for (uint8_t& byte : random) byte = static_cast<uint8_t>(generator());
    std::copy_n("Exif\0\0", 6, random.begin());
    std::vector<uint8_t> notExif = whole;
    notExif[0] = 'X';
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> blocks = {
        {"empty", {}},
        {"the Exif header alone", {whole.begin(), whole.begin() + 6}},
        {"cut inside the TIFF header", {whole.begin(), whole.begin() + 11}},
        {"cut inside the first directory", {whole.begin(), whole.begin() + 20}},
        {"random bytes after the Exif header", random},
        {"another kind of APP1 payload", notExif},
    };
    for (const auto& [name, payload] : blocks) {
        const ExifFacts facts = read(payload);
        EXPECT_EQ(facts.orientation, 1) << name;
        EXPECT_EQ(facts.focal35mm, 0) << name;
        EXPECT_FALSE(facts.ignored.empty()) << name;
        EXPECT_EQ(facts.ignored.find('\n'), std::string::npos) << name;
    }
}

// Every cut and every corrupted byte of a full block: never a crash or an out-of-range value,
// and a lost orientation always comes with a reason.
TEST(ExifFacts, EveryPrefixAndEveryCorruptedByteIsReadSafely) {
    ExifBlock block(EXIF_BYTE_ORDER_INTEL);
    block.orientation(6).rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1)
        .integer(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, 6000)
        .integer(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, 4000);
    focalPlane(block, 2, 25.4, 6000, 4000, 36, 24);
    const std::vector<uint8_t> whole = block.bytes();
    ASSERT_NEAR(read(whole).focal35mm, 50, 0.05);

    const auto check = [](const ExifFacts& facts, const std::string& what) {
        EXPECT_TRUE(facts.orientation >= 1 && facts.orientation <= 8) << what;
        EXPECT_TRUE(facts.focal35mm == 0 || (facts.focal35mm >= 1 && facts.focal35mm <= 5000)) << what;
    };
    for (size_t size = 0; size < whole.size(); ++size) {
        const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
        const ExifFacts facts = read(prefix);
        check(facts, "prefix of " + std::to_string(size));
        EXPECT_TRUE(facts.orientation == 6 || !facts.ignored.empty()) << "prefix of " << size;
    }
    for (size_t at = 0; at < whole.size(); ++at) {
        for (const uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xff}}) {
            std::vector<uint8_t> corrupted = whole;
            corrupted[at] ^= flip;
            check(read(corrupted), "byte " + std::to_string(at) + " flipped");
        }
    }
}

TEST(FocalInPixels, FollowsTheSensorsPixelPitch) {
    // 50 mm on a 36 x 24 mm sensor of 6000 x 4000 pixels: 50 / (36 / 6000) pixels.
    ExifFacts facts;
    facts.focal35mm = 50;
    EXPECT_NEAR(focalInPixels(facts, 6000, 4000), 50.0 / (36.0 / 6000.0), 5);
    EXPECT_NEAR(focalInPixels(facts, 4000, 6000), focalInPixels(facts, 6000, 4000), 1e-3);
    EXPECT_NEAR(focalInPixels(facts, 3000, 2000), focalInPixels(facts, 6000, 4000) / 2, 1e-2);
}

TEST(FocalInPixels, IsZeroWhenTheFocalLengthOrTheSizeIsUnknown) {
    EXPECT_EQ(focalInPixels(ExifFacts{}, 6000, 4000), 0);
    ExifFacts facts;
    facts.focal35mm = 50;
    EXPECT_EQ(focalInPixels(facts, 0, 4000), 0);
    EXPECT_EQ(focalInPixels(facts, 6000, -1), 0);
}

}  // namespace
}  // namespace vantorra
