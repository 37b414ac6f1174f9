// Repeats of a view are told from its neighbours whatever the scene's contrast: a copy or a burst
// shot is the same view, a neighbour whose content moved by a tenth of the frame or more is not,
// in a bright textured scene as in a dark, soft one.

#include "matching/repeated_views.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vantorra {
namespace {

// A thumbnail of 60 x 80 looking at column `offset` of a wide scene: smooth bands of `contrast`
// levels about `level`, with `noise` levels of noise.
FloatImage view(float offset, float contrast, float level, float noise, uint32_t seed) {
    FloatImage image(60, 80, 3);
    std::mt19937 rng(seed);
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c) {
            const float x = static_cast<float>(c) + offset, y = static_cast<float>(r);
            const float shade = std::sin(x * 0.07f) + 0.6f * std::sin(x * 0.19f + y * 0.05f) + 0.4f * std::cos(y * 0.11f);
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = level + contrast * shade + noise * n(rng);
        }
    return image;
}

TEST(RepeatedViews, ARepeatIsTheSameViewAndANeighbourIsNotAtAnyContrast) {
    const struct {
        const char* what;
        FloatImage a, b;
        bool same;
    } cases[] = {
        {"a copy", view(0, 60, 128, 0, 1), view(0, 60, 128, 0, 1), true},
        {"a burst shot: the same view with new noise", view(0, 60, 128, 1.5f, 1), view(0, 60, 128, 1.5f, 2), true},
        {"a neighbour a tenth of the frame on", view(0, 60, 128, 0, 1), view(8, 60, 128, 0, 1), false},
        {"a copy of a dark, soft view", view(0, 2, 30, 0, 1), view(0, 2, 30, 0, 1), true},
        {"a dark, soft neighbour", view(0, 2, 30, 0.3f, 1), view(24, 2, 30, 0.3f, 2), false},
        {"a dark, soft neighbour a tenth on", view(0, 2, 30, 0.3f, 1), view(8, 2, 30, 0.3f, 2), false},
        {"a copy of a flat grey view", view(0, 0, 90, 0, 1), view(0, 0, 90, 0, 1), true},
        {"a brighter exposure of a view", view(0, 60, 128, 0, 1), view(0, 60, 140, 0, 1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sameView(c.a, c.b), c.same);
        // The signature never tells apart what the thumbnails call the same.
        if (c.same) {
            EXPECT_LT(signatureDifference(signatureOf(c.a), signatureOf(c.b)), kDuplicateDifference);
        }
    }
    EXPECT_FALSE(sameView(view(0, 60, 128, 0, 1), FloatImage(30, 40, 3)));
    EXPECT_FALSE(sameView(FloatImage(), FloatImage()));
}

}  // namespace
}  // namespace vantorra
