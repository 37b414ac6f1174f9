// Panoramas written row by row: the JPEG streamed during the render is the file an image in
// memory would give, a failing or abandoned sink leaves no file, and an output too large for a
// JPEG is refused before anything is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/jpeg.h"
#include "core/image.h"
#include "io/panorama_sink.h"
#include "render/block_plan.h"
#include "pipeline/stitcher.h"
#include "core/thread_pool.h"
#include "render/renderer.h"
#include "support/pipeline_support.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

TEST(StreamedRender, StreamedJpegEqualsTheImageWrittenWholeForManyBlocks) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration()) << row.report.message;
    test::TempDir dir;
    for (const char* blending : {"none", "multiband"}) {
        Stitcher& s = row.stitcher;
        const StitchOptions saved = s.options;
        s.options.render.blendingMethod = blending;
        s.options.render.minBlockSize = 64;  // many rows of blocks
        s.options.render.maxBlockSize = 64;
        Image whole;
        RunReport report;
        {
            test::LogCapture log;
            report = s.render(whole, log);
        }
        ASSERT_FALSE(whole.empty()) << report.message;
        EXPECT_LT(report.render.blockSize, whole.cols);
        const std::string expected = dir.file("whole.jpg"), streamed = dir.file("streamed.jpg");
        ASSERT_TRUE(writeJpeg(expected, whole, s.options.render.jpegQuality));
        JpegFileSink sink(streamed, s.options.render.jpegQuality);
        {
            test::LogCapture log;
            report = s.render(sink, log);
            ASSERT_TRUE(report.stitched()) << report.message;
        }
        // The same coded image; the streamed file also carries the photographs' metadata.
        std::vector<uint8_t> wholePixels, streamedPixels;
        int w = 0, h = 0;
        ASSERT_TRUE(readJpeg(expected, wholePixels, w, h));
        ASSERT_TRUE(readJpeg(streamed, streamedPixels, w, h));
        EXPECT_EQ(wholePixels, streamedPixels) << "blending " << blending;
        s.options = saved;
    }
}

// With a budget that cannot hold the decoded photographs, each row of blocks decodes only the
// rows it samples; on the same blocks, the panorama is that of whole sources.
TEST(StreamedRender, RowBandDecodingGivesThePanoramaOfWholeSources) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration()) << row.report.message;
    std::vector<Photograph> photographs = row.stitcher.photographs();
    for (Photograph& photograph : photographs) photograph.featureImage.release();  // every source is decoded from its file
    RenderScene scene = row.stitcher.renderScene();
    scene.sources.photographs = photographs;
    ProgressReporter progress;
    for (const char* blending : {"none", "multiband"}) {
        RenderOptions options = row.stitcher.options.render;
        options.blendingMethod = blending;
        options.seam = "none";  // cut seams are found on a grid that depends on the budget
        options.width = 1200;
        // The same blocks for both budgets: the smallest, which the small budget is given anyway.
        options.minBlockSize = kSmallestBlock;
        options.maxBlockSize = kSmallestBlock;
        Image whole, banded;
        std::string log;
        {
            test::LogCapture capture;
            Renderer(options, int64_t{1} << 30).render(whole, scene, Gains{}, progress, capture);
            // Less than twice the decoded photographs.
            Renderer(options, 3000000).render(banded, scene, Gains{}, progress, capture);
            log = capture.text();
        }
        EXPECT_NE(log.find("decoding rows per block row"), std::string::npos);
        ASSERT_EQ(whole.rows, banded.rows);
        ASSERT_EQ(whole.cols, banded.cols);
        int worst = 0;
        for (size_t i = 0; i < whole.data.size(); ++i)
            worst = std::max(worst, std::abs(whole.data[i] - banded.data[i]));
        EXPECT_EQ(worst, 0) << "blending " << blending;
    }
}

// A sink that refuses its third row of blocks: the render stops with the sink's reason whether
// rows are written on the render's thread or beside the composing of the next row, and rows
// reach the sink in order, each whole.
class RefusingSink : public PanoramaSink {
public:
    bool begin(int width, int) override {
        width_ = width;
        return true;
    }
    bool writeRows(const uint8_t* rgb, int count) override {
        if (++calls == 3) {
            error_ = "disk full";
            return false;
        }
        rows += count;
        // Reads the whole band, so the sanitizer build sees a band freed or reused too early.
        for (size_t k = 0; k < static_cast<size_t>(count) * width_ * 3; ++k) checksum += rgb[k];
        return true;
    }
    bool finish() override { return true; }
    bool holdsWholePanorama() const override { return false; }
    int calls = 0, rows = 0, width_ = 0;
    long checksum = 0;
};

TEST(StreamedRender, ASinkThatRefusesARowStopsTheRenderWithItsReason) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration()) << row.report.message;
    const RenderScene scene = row.stitcher.renderScene();
    for (const int threads : {1, 2, 3}) {
        RenderOptions options = row.stitcher.options.render;
        options.minBlockSize = 64;  // many rows of blocks
        options.maxBlockSize = 64;
        ThreadPool pool(threads);
        RefusingSink sink;
        RenderResult result;
        {
            test::LogCapture log;
            result = Renderer(options, kTestRenderBudget).render(sink, scene, Gains{}, row.stitcher.progress, log, &pool);
        }
        EXPECT_FALSE(result.rendered) << threads;
        EXPECT_EQ(result.error, "disk full") << threads;
        EXPECT_EQ(sink.calls, 3) << threads;
        EXPECT_EQ(sink.rows, 2 * 64) << threads;
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
    s.options.render.sizeMode = SizeMode::Scale;
    s.options.render.scale = 200.0f;  // 200 times the photographs' resolution
    test::TempDir dir;
    const std::string path = dir.file("pano.jpg");
    JpegFileSink sink(path, 75);
    RunReport report;
    {
        test::LogCapture log;
        report = s.render(sink, log);
    }
    EXPECT_EQ(report.outcome, StitchOutcome::Failed);
    EXPECT_NE(report.message.find("larger than a JPEG can hold (65500 pixels a side)"), std::string::npos)
        << report.message;
    EXPECT_FALSE(std::filesystem::exists(path));
    s.options = saved;
}

}  // namespace
}  // namespace vantorra
