#include "features/extract_features.h"

#include <gtest/gtest.h>

#include <sstream>

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "core/image.h"
#include "features/feature_image.h"
#include "raster_helpers.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

using testing_support::listLength;
using testing_support::makeRaster;

const std::string kView = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";

class ExtractFeatures : public ::testing::Test {
protected:
    void TearDown() override {
        poolRelease(kScratchPool);
        poolRelease(kFeaturePool);
    }

    static const GreyRaster* photograph() {
        FloatImage image;
        std::string error;
        EXPECT_TRUE(readPhoto(kView, image, &error)) << error;
        return greyRaster(image);
    }

    static std::vector<const Feature*> asVector(const Feature* head) {
        std::vector<const Feature*> list;
        for (; head != nullptr; head = head->next) list.push_back(head);
        return list;
    }

    static bool sameFeature(const Feature* a, const Feature* b) {
        return a->row == b->row && a->col == b->col && a->scale == b->scale &&
               a->orientation == b->orientation && a->contrast == b->contrast &&
               std::memcmp(a->descriptor, b->descriptor, kDescriptorLength) == 0;
    }
};

TEST_F(ExtractFeatures, FlatOrTinyImagesGiveNoFeatures) {
    const GreyRaster* flat = makeRaster(200, 300, [](int, int) { return 128.0f; });
    const GreyRaster* tiny = makeRaster(20, 20, [](int r, int c) { return float((r * 7 + c * 13) % 255); });
    const GreyRaster* empty = makeRaster(0, 0, [](int, int) { return 0.0f; });
    for (const int mode : {0, 1, 2}) {
        bool failed = true;
        EXPECT_EQ(extractFeatures(*flat, mode, &failed), nullptr) << mode;
        EXPECT_FALSE(failed);
        EXPECT_EQ(extractFeatures(*tiny, mode), nullptr) << mode;
        EXPECT_EQ(extractFeatures(*empty, mode), nullptr) << mode;
    }
}

TEST_F(ExtractFeatures, PhotographGivesFeaturesInsideTheImage) {
    const GreyRaster* grey = photograph();
    bool failed = true;
    const Feature* head = extractFeatures(*grey, 2, &failed);
    EXPECT_FALSE(failed);
    const auto list = asVector(head);
    EXPECT_GT(list.size(), 200u);
    for (const Feature* f : list) {
        ASSERT_GE(f->row, 0.0);
        ASSERT_LE(f->row, grey->rows - 1.0);
        ASSERT_GE(f->col, 0.0);
        ASSERT_LE(f->col, grey->cols - 1.0);
        ASSERT_GE(f->orientation, -3.1415927);
        ASSERT_LT(f->orientation, 3.1415927);
        // Searched levels start at 1: sigma 1.7 * 1.5^(1 - 1.5) at the least.
        ASSERT_GT(f->scale, 1.7 * 1.5 / std::pow(1.5, 1.5) - 1e-6);
        ASSERT_GE(std::fabs(f->contrast), 0.02);
        int norm = 0;
        for (int k = 0; k < kDescriptorLength; ++k) norm += f->descriptor[k] * f->descriptor[k];
        ASSERT_GT(norm, 0);
    }
}

TEST_F(ExtractFeatures, RepeatedExtractionGivesTheSameList) {
    const GreyRaster* grey = photograph();
    const auto first = asVector(extractFeatures(*grey, 2));
    const auto second = asVector(extractFeatures(*grey, 2));
    ASSERT_EQ(first.size(), second.size());
    for (size_t k = 0; k < first.size(); ++k) ASSERT_TRUE(sameFeature(first[k], second[k])) << k;
}

TEST_F(ExtractFeatures, ModesDifferOnlyInTheLevelsSearched) {
    // The list runs from the coarsest level to the finest, so a mode that skips the finest level
    // yields exactly the front of the list of the mode that searches it.
    const GreyRaster* grey = photograph();
    const GreyRaster* small = makeRaster(200, 260, [&](int r, int c) { return grey->data[r + 100][c + 170]; });
    struct Case {
        const GreyRaster* image;
        int searchesFinest, skipsFinest;
    };
    for (const Case& c : {Case{small, 0, 1}, Case{grey, 2, 3}}) {
        const auto all = asVector(extractFeatures(*c.image, c.searchesFinest));
        const auto fewer = asVector(extractFeatures(*c.image, c.skipsFinest));
        ASSERT_GT(fewer.size(), 0u);
        ASSERT_GT(all.size(), fewer.size());
        for (size_t k = 0; k < fewer.size(); ++k)
            ASSERT_TRUE(sameFeature(all[k], fewer[k])) << "mode " << c.searchesFinest << " at " << k;
    }
    // Doubling finds finer detail: the smallest scale in mode 0 is below that of mode 2.
    double finest0 = 1e9, finest2 = 1e9;
    for (const Feature* f : asVector(extractFeatures(*small, 0))) finest0 = std::min(finest0, f->scale);
    for (const Feature* f : asVector(extractFeatures(*small, 2))) finest2 = std::min(finest2, f->scale);
    EXPECT_LT(finest0, finest2);
}

TEST_F(ExtractFeatures, ExhaustedHeapEndsTheExtractionCleanly) {
    const GreyRaster* grey = photograph();
    // Room for a level or two of the pyramid but not for all of it.
    poolSetHeapLimit(poolHeapBytes() + 3'000'000);
    std::ostringstream failures;
    std::ostream* before = poolSetFailureLog(&failures);
    bool failed = false;
    const Feature* head = extractFeatures(*grey, 2, &failed);
    poolSetFailureLog(before);
    const std::string log = failures.str();
    poolSetHeapLimit(-1);
    EXPECT_TRUE(failed);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(log, "SIFT - Failed to allocate memory\n");
    // The library is usable again afterwards.
    EXPECT_NE(extractFeatures(*grey, 2, &failed), nullptr);
    EXPECT_FALSE(failed);
}

// A view of `source` rotated by `angle` and scaled by `scale` about the image centres:
// p2 = c + scale * R(angle) * (p1 - c), sampled bilinearly; outside the source is mid-grey.
struct Similarity {
    double angle, scale, centreRow, centreCol;
    void apply(double row, double col, double& outRow, double& outCol) const {
        const double dr = row - centreRow, dc = col - centreCol;
        outRow = centreRow + scale * (std::cos(angle) * dr - std::sin(angle) * dc);
        outCol = centreCol + scale * (std::sin(angle) * dr + std::cos(angle) * dc);
    }
    void invert(double row, double col, double& inRow, double& inCol) const {
        const double dr = (row - centreRow) / scale, dc = (col - centreCol) / scale;
        inRow = centreRow + std::cos(angle) * dr + std::sin(angle) * dc;
        inCol = centreCol - std::sin(angle) * dr + std::cos(angle) * dc;
    }
};

GreyRaster* transformed(const GreyRaster& source, const Similarity& t) {
    return makeRaster(source.rows, source.cols, [&](int r, int c) {
        double y = 0, x = 0;
        t.invert(r, c, y, x);
        if (y < 0 || x < 0 || y > source.rows - 1.001 || x > source.cols - 1.001) return 128.0f;
        const int iy = int(y), ix = int(x);
        const double fy = y - iy, fx = x - ix;
        return float((1 - fy) * ((1 - fx) * source.data[iy][ix] + fx * source.data[iy][ix + 1]) +
                     fy * ((1 - fx) * source.data[iy + 1][ix] + fx * source.data[iy + 1][ix + 1]));
    });
}

int squaredDistance(const Feature* a, const Feature* b) {
    int sum = 0;
    for (int k = 0; k < kDescriptorLength; ++k) {
        const int d = a->descriptor[k] - b->descriptor[k];
        sum += d * d;
    }
    return sum;
}

TEST_F(ExtractFeatures, MatchesSurviveRotationAndScaling) {
    const GreyRaster* grey = photograph();
    const Similarity t{30.0 * M_PI / 180.0, 0.75, (grey->rows - 1) / 2.0, (grey->cols - 1) / 2.0};
    const GreyRaster* turned = transformed(*grey, t);
    const auto first = asVector(extractFeatures(*grey, 2));
    const auto second = asVector(extractFeatures(*turned, 2));
    ASSERT_GT(first.size(), 100u);
    ASSERT_GT(second.size(), 100u);
    int accepted = 0, correct = 0;
    for (const Feature* a : first) {
        int best = std::numeric_limits<int>::max(), runnerUp = best;
        const Feature* nearest = nullptr;
        for (const Feature* b : second) {
            const int d = squaredDistance(a, b);
            if (d < best) {
                runnerUp = best;
                best = d;
                nearest = b;
            } else if (d < runnerUp) {
                runnerUp = d;
            }
        }
        // Ratio test on distances: nearest below 0.8 of the second nearest.
        if (nearest == nullptr || !(best < 0.64 * runnerUp)) continue;
        ++accepted;
        double row = 0, col = 0;
        t.apply(a->row, a->col, row, col);
        if (std::hypot(row - nearest->row, col - nearest->col) <= 2.0) ++correct;
    }
    std::cout << "  features " << first.size() << " and " << second.size() << ", matches " << accepted
              << ", within 2 pixels " << correct << " (" << 100.0 * correct / std::max(accepted, 1)
              << " %)" << std::endl;
    EXPECT_GT(accepted, 100);
    EXPECT_GE(correct, 0.8 * accepted);
}

}  // namespace
}  // namespace vantorra
