#include "render/gain_compensation.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/photograph.h"
#include "render/gain_overlap.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

constexpr float kPiF = 3.14159265f;
constexpr int kRows = 60;
constexpr int kCols = 80;
constexpr float kFocal = 70.0f;

Camera makeCamera(float yaw, int rows = kRows, int cols = kCols) {
    Camera camera;
    camera.R = rotationX(yaw);  // optical axis at longitude `yaw` on the horizon
    camera.f = kFocal;
    const float t[9] = {1, 0, (rows - 1) / 2.0f, 0, 1, (cols - 1) / 2.0f, 0, 0, 1};
    camera.imageTransform = Matrix::fromRowMajor(t, 3, 3);
    return camera;
}

// A gently textured world, different per channel, seen with the given exposure.
FloatImage view(const Camera& camera, float exposure) {
    FloatImage image(kRows, kCols, 3);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            const Vec3 d = rayOf(camera, static_cast<float>(r), static_cast<float>(c));
            const float theta = std::atan2(d.y, d.z);
            const float texture = 8.0f * std::sin(7.0f * theta) * std::cos(9.0f * d.x);
            const float base[3] = {120.0f, 100.0f, 140.0f};
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = exposure * (base[k] + texture);
        }
    return image;
}

// Mean of `image` (seen by camera a) over the pixels whose ray camera b also sees.
std::array<float, 3> trueOverlapMean(const FloatImage& image, const Camera& a, const Camera& b) {
    const Mat3 P = Mat3::fromMatrix(b.imageTransform) * focalMatrix(b.f) *
                   Mat3::fromMatrix(b.R);
    std::array<double, 3> sum{};
    int count = 0;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            const Vec3 p = P * rayOf(a, static_cast<float>(r), static_cast<float>(c));
            if (p.z <= 0) continue;
            const float u = p.x / p.z, v = p.y / p.z;
            if (u < 0 || u > kRows - 1 || v < 0 || v > kCols - 1) continue;
            ++count;
            for (int k = 0; k < 3; ++k) sum[k] += image.at(r, c, k);
        }
    std::array<float, 3> mean{};
    for (int k = 0; k < 3; ++k) mean[k] = static_cast<float>(sum[k] / std::max(count, 1));
    return mean;
}

// The photographs, cameras and component of a panorama, as a render reads them.
struct Scene {
    std::string directory;
    std::vector<Photograph> photographs;
    std::vector<Camera> cameras;
    std::vector<int32_t> component;

    RenderScene view() const {
        RenderScene scene;
        scene.cameras = cameras;
        scene.component = component;
        scene.sources = {directory, photographs};
        return scene;
    }
};

void addImage(Scene& scene, const Camera& camera, const FloatImage& thumbnail) {
    scene.cameras.push_back(camera);
    Photograph photograph{"none.jpg", {kRows, kCols, 3}};
    photograph.thumbnail = thumbnail;
    scene.photographs.push_back(std::move(photograph));
}

Gains quietGains(const Scene& scene, const RenderOptions& options, std::string* log = nullptr) {
    std::ostringstream text;
    ProgressReporter progress;
    Gains gains = computeGains(options, scene.view(), progress, text);
    if (log) *log = text.str();
    return gains;
}

TEST(GainCompensation, IdenticalFullyOverlappingImagesGetGainMean) {
    for (const float gainMean : {1.0f, 0.8f, 1.25f}) {
        SCOPED_TRACE(testing::Message() << "gainMean " << gainMean);
        Scene stitcher;
        const Camera camera = makeCamera(0.2f);
        const FloatImage image = view(camera, 1.0f);
        addImage(stitcher, camera, image);
        addImage(stitcher, camera, image);
        stitcher.component = {0, 1};
        RenderOptions options;
        options.gainMean = gainMean;
        const Gains gains = quietGains(stitcher, options);
        ASSERT_EQ(gains.size(), 2u);
        for (int i = 0; i < 2; ++i)
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(gains[i][k], gainMean, 1e-5f) << i << "," << k;
    }
}

TEST(GainCompensation, ImagesWithoutOverlapGetGainMean) {
    struct Case {
        std::vector<float> yaws;            // one camera per image number
        std::vector<int32_t> component;
        std::vector<int> isolated;          // image numbers with no usable overlap
    };
    const Case cases[] = {
        {{0.0f}, {0}, {0}},                                 // a component of one image
        {{0.0f, kPiF}, {0, 1}, {0, 1}},                     // back to back
        {{0.0f, 0.3f, 1.5f, kPiF}, {0, 1, 3}, {3}},         // image 2 outside the component
        {{0.0f, 0.3f, kPiF, 0.15f}, {0, 1, 2, 3}, {2}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << t.yaws.size() << " images, " << t.component.size()
                                        << " in the component");
        Scene stitcher;
        for (size_t i = 0; i < t.yaws.size(); ++i) {
            const Camera camera = makeCamera(t.yaws[i]);
            addImage(stitcher, camera, view(camera, 0.8f + 0.2f * static_cast<float>(i)));
        }
        stitcher.component = t.component;
        RenderOptions options;
        options.gainMean = 1.1f;
        const Gains gains = quietGains(stitcher, options);
        ASSERT_EQ(gains.size(), t.yaws.size());
        float measuredSum = 0.0f;
        int measured = 0;
        for (size_t i = 0; i < t.yaws.size(); ++i) {
            const bool inComponent =
                std::find(t.component.begin(), t.component.end(), static_cast<int>(i)) !=
                t.component.end();
            const bool isolated =
                std::find(t.isolated.begin(), t.isolated.end(), static_cast<int>(i)) !=
                t.isolated.end();
            for (int k = 0; k < 3; ++k) {
                ASSERT_TRUE(std::isfinite(gains[i][k])) << i;
                if (!inComponent) {
                    EXPECT_EQ(gains[i][k], 0.0f) << i;
                } else if (isolated) {
                    EXPECT_EQ(gains[i][k], 1.1f) << i;
                } else {
                    EXPECT_GT(gains[i][k], 0.0f) << i;
                    measuredSum += gains[i][k];
                    ++measured;
                }
            }
        }
        // The images that overlap still average gainMean among themselves.
        if (measured > 0) {
            EXPECT_NEAR(measuredSum / measured, 1.1f, 1e-4f);
        }
    }
}

TEST(GainCompensation, ExposureDifferencesAreEvenedOut) {
    struct Case {
        float gainSigma;
        float tolerance;  // largest relative difference of the compensated overlap means
    };
    // A weak prior lets the gains match the overlaps closely. The default one (0.1) weighs a
    // gain's distance from 1 about as much as a mismatch of the ~100-level overlap means, so it
    // leaves 10-20 % of the 60 % difference: still a third of it at most.
    const Case cases[] = {{1.0f, 0.03f}, {0.5f, 0.03f}, {0.1f, 0.2f}};
    const Camera a = makeCamera(0.0f), b = makeCamera(0.45f);
    const FloatImage imageA = view(a, 0.7f), imageB = view(b, 1.3f);
    const std::array<float, 3> meanA = trueOverlapMean(imageA, a, b);
    const std::array<float, 3> meanB = trueOverlapMean(imageB, b, a);
    for (int k = 0; k < 3; ++k)  // without compensation the overlap differs by about 60 %
        ASSERT_GT(std::fabs(meanA[k] - meanB[k]) / (0.5f * (meanA[k] + meanB[k])), 0.5f);
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "gainSigma " << t.gainSigma);
        Scene stitcher;
        addImage(stitcher, a, imageA);
        addImage(stitcher, b, imageB);
        stitcher.component = {0, 1};
        RenderOptions options;
        options.gainSigma = t.gainSigma;
        const Gains gains = quietGains(stitcher, options);
        for (int k = 0; k < 3; ++k) {
            const float compensatedA = gains[0][k] * meanA[k];
            const float compensatedB = gains[1][k] * meanB[k];
            const float relative =
                std::fabs(compensatedA - compensatedB) / (0.5f * (compensatedA + compensatedB));
            std::cout << "  gainSigma " << t.gainSigma << " channel " << k << ": gains "
                      << gains[0][k] << ", " << gains[1][k] << ", overlap means differ by "
                      << 100.0f * relative << " %" << std::endl;
            EXPECT_LT(relative, t.tolerance) << "channel " << k;
            EXPECT_NEAR(0.5f * (gains[0][k] + gains[1][k]), options.gainMean, 1e-4f);
        }
    }
}

// A gain image is the kept thumbnail, else the kept feature image, else the photograph itself,
// halved until it is no larger than twice the gain image size.
TEST(GainCompensation, GainImagesComeFromTheSmallestCopyAndAreReduced) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantorra_gain_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    Image photo;
    photo.allocate(240, 220, 3);
    for (uint8_t& s : photo.data) s = 90;
    ASSERT_TRUE(writeJpeg((dir / "photo.jpg").string(), photo, 95));

    Scene scene;
    scene.directory = dir.string() + "/";
    scene.photographs = {Photograph{"photo.jpg", {240, 220, 3}}, Photograph{"absent.jpg", {240, 220, 3}},
                         Photograph{"none.jpg", {400, 600, 3}}};
    scene.photographs[2].featureImage = FloatImage(200, 300, 3);  // the photograph halved once
    scene.photographs[2].featureLevel = 1;
    scene.cameras = {makeCamera(0.0f, 240, 220), makeCamera(0.1f, 240, 220), makeCamera(0.2f, 400, 600)};
    const RenderScene view = scene.view();
    struct Case {
        int image;
        bool read;
        int rows, cols, level;
    };
    for (const Case c : {Case{0, true, 60, 55, 2}, Case{1, false, 0, 0, 0}, Case{2, true, 50, 75, 3}}) {
        FloatImage image;
        int32_t level = 0;
        std::string error;
        EXPECT_EQ(prepareGainImage(view.sources, c.image, 50, image, level, &error), c.read) << c.image;
        EXPECT_EQ(image.rows, c.rows) << c.image;
        EXPECT_EQ(image.cols, c.cols) << c.image;
        if (c.read) EXPECT_EQ(level, c.level) << c.image;
        else EXPECT_NE(error.find("absent.jpg"), std::string::npos) << error;
    }
    FloatImage fromPhoto;
    int32_t level = 0;
    ASSERT_TRUE(prepareGainImage(view.sources, 0, 50, fromPhoto, level, nullptr));
    EXPECT_NEAR(fromPhoto.at(30, 27, 1), 90.0f, 3.0f);

    scene.component = {0, 1};
    RenderOptions options;
    options.gainMean = 0.9f;
    const Gains gains = quietGains(scene, options);  // the missing photograph overlaps nothing
    std::filesystem::remove_all(dir);
    for (int i = 0; i < 2; ++i)  // nothing to compare with: both keep gainMean
        for (int k = 0; k < 3; ++k) EXPECT_EQ(gains[i][k], 0.9f);
}

TEST(GainCompensation, LogShowsEveryImageAndOneGainPerLine) {
    Scene stitcher;
    for (const float yaw : {0.0f, 0.3f, 0.6f}) {
        const Camera camera = makeCamera(yaw);
        addImage(stitcher, camera, view(camera, 1.0f + yaw));
    }
    stitcher.component = {0, 1, 2};
    std::string log;
    quietGains(stitcher, RenderOptions(), &log);
    std::istringstream lines(log);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 4u + 3u * 11u);
    EXPECT_EQ(all[0], "[ Compute Image Gain ]");
    EXPECT_EQ(all[1], "  Image 0");
    EXPECT_EQ(all[3], "  Image 2");
    for (int k = 0; k < 3; ++k) {
        const size_t at = 4 + 11 * static_cast<size_t>(k);
        EXPECT_EQ(all[at], "");
        EXPECT_EQ(all[at + 1], " band = " + std::to_string(k));
        EXPECT_EQ(all[at + 2], "");
        EXPECT_EQ(all[at + 3], " g = ");
        float sum = 0.0f;
        for (size_t p = 0; p < 3; ++p) {
            const std::string& value = all[at + 4 + p];
            ASSERT_FALSE(value.empty());
            EXPECT_EQ(value.back(), ' ');  // the matrix text form: each value then a space
            sum += std::stof(value);
        }
        EXPECT_EQ(all[at + 7], "");
        EXPECT_EQ(all[at + 8], " g mean = ");
        EXPECT_NEAR(std::stof(all[at + 9]), sum / 3.0f, 1e-4f);
        EXPECT_EQ(all[at + 10], "");
    }
}

}  // namespace
}  // namespace vantorra
