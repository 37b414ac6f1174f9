// Panoramas written row by row: the JPEG streamed during the render is the file an image in
// memory would give, a failing or abandoned sink leaves no file, and an output too large for a
// JPEG is refused before anything is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/panorama_sink.h"
#include "engine/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

std::vector<char> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StreamedRender, StreamedJpegEqualsTheImageWrittenWholeForManyBlocks) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration) << row.stitcher.lastError;
    test::TempDir dir;
    for (const int blending : {0, 2}) {
        Stitcher& s = row.stitcher;
        const StitchOptions saved = s.options;
        s.options.render.blendingMethod = blending;
        s.options.render.minBlockSize = 64;  // a budget of a few blocks: many rows of blocks
        s.options.systemMemory = s.featureImageMemory + 6000000;
        Image whole;
        {
            test::CoutCapture log;
            s.render(whole);
        }
        ASSERT_FALSE(whole.empty()) << s.lastError;
        EXPECT_LT(s.lastRender.blockSize, whole.cols);
        const std::string expected = dir.file("whole.jpg"), streamed = dir.file("streamed.jpg");
        ASSERT_TRUE(whole.writeJpeg(expected, s.options.render.jpegQuality));
        JpegFileSink sink(streamed, s.options.render.jpegQuality);
        {
            test::CoutCapture log;
            ASSERT_TRUE(s.render(sink)) << s.lastError;
        }
        EXPECT_EQ(bytesOf(expected), bytesOf(streamed)) << "blending " << blending;
        s.options = saved;
    }
}

TEST(StreamedRender, AFailingOrAbandonedSinkLeavesNoFile) {
    test::TempDir dir;
    JpegFileSink nowhere(dir.file("missing/pano.jpg"), 75);
    EXPECT_FALSE(nowhere.begin(10, 10));
    EXPECT_NE(nowhere.error().find("can't open"), std::string::npos) << nowhere.error();

    const std::string path = dir.file("half.jpg");
    {
        JpegFileSink half(path, 75);
        ASSERT_TRUE(half.begin(16, 16));
        const std::vector<uint8_t> rows(16 * 3 * 4, 128);
        ASSERT_TRUE(half.writeRows(rows.data(), 4));
        EXPECT_TRUE(std::filesystem::exists(path));
    }  // destroyed before finish: a cancelled or failed render
    EXPECT_FALSE(std::filesystem::exists(path));

    JpegFileSink huge(dir.file("huge.jpg"), 75);
    EXPECT_FALSE(huge.begin(70000, 10));
    EXPECT_FALSE(std::filesystem::exists(dir.file("huge.jpg")));
}

TEST(StreamedRender, AnOutputLargerThanAJpegIsRefusedBeforeAnyRow) {
    test::StitchedSet& row = test::stitchedRow6();
    Stitcher& s = row.stitcher;
    const StitchOptions saved = s.options;
    s.options.render.sizeMode = 2;
    s.options.render.scale = 200.0f;  // 200 times the photographs' resolution
    test::TempDir dir;
    const std::string path = dir.file("pano.jpg");
    JpegFileSink sink(path, 75);
    bool ok = true;
    {
        test::CoutCapture log;
        ok = s.render(sink);
    }
    EXPECT_FALSE(ok);
    EXPECT_NE(s.lastError.find("larger than a JPEG can hold (65535 pixels a side)"), std::string::npos)
        << s.lastError;
    EXPECT_FALSE(std::filesystem::exists(path));
    s.options = saved;
}

}  // namespace
}  // namespace vantorra
