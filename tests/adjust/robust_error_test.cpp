#include "adjust/robust_error.h"

#include <gtest/gtest.h>

#include <cmath>

#include "options/stitch_options.h"

namespace vantorra {
namespace {

TEST(RobustResidual, TransformsByModeAndThreshold) {
    struct Case {
        const char* name;
        float x, y;
        int32_t mode;
        float threshold;
        float ex, ey, weight;
    };
    // Huber beyond the threshold: residual (3, 4), h = 5, s = 2: l = sqrt(2*2*5 - 4) = 4.
    const Case cases[] = {
        {"none keeps a large residual", 30, 40, RobustNone, 1, 30, 40, 1},
        {"zero residual under reject", 0, 0, RobustReject, 3, 0, 0, 1},
        {"zero residual under Huber", 0, 0, RobustHuber, 3, 0, 0, 1},
        {"zero residual, Huber with zero threshold", 0, 0, RobustHuber, 0, 0, 0, 1},
        {"below threshold, reject", 1, -1, RobustReject, 3, 1, -1, 1},
        {"below threshold, Huber", 1, -1, RobustHuber, 3, 1, -1, 1},
        {"reject at exactly the threshold", 0, 3, RobustReject, 3, 0, 0, 0},
        {"reject above the threshold", 3, 4, RobustReject, 2, 0, 0, 0},
        {"other non-zero modes reject", 3, 4, 7, 2, 0, 0, 0},
        {"Huber shrinks to l along r", 3, 4, RobustHuber, 2, 3 * 4.0f / 5, 4 * 4.0f / 5, 0.5f},
        {"Huber at exactly the threshold", 0, 2, RobustHuber, 2, 0, 2, 1},
        {"Huber with zero threshold drops", 3, 4, RobustHuber, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const RobustResidual r = robustResidual(c.x, c.y, c.mode, c.threshold);
        EXPECT_FLOAT_EQ(r.x, c.ex) << c.name;
        EXPECT_FLOAT_EQ(r.y, c.ey) << c.name;
        EXPECT_FLOAT_EQ(r.weight, c.weight) << c.name;
        EXPECT_TRUE(std::isfinite(r.weight)) << c.name;
    }
}

TEST(RobustResidual, HuberLengthSquaredIsHuberCost) {
    const float s = 1.5f;
    for (float h : {1.5f, 2.0f, 10.0f, 250.0f}) {
        const RobustResidual r = robustResidual(0.6f * h, -0.8f * h, RobustHuber, s);
        EXPECT_NEAR(r.x * r.x + r.y * r.y, 2 * s * h - s * s, 1e-3f * h) << h;
        EXPECT_LE(r.weight, 1.0f) << h;
    }
}

}  // namespace
}  // namespace vantorra
