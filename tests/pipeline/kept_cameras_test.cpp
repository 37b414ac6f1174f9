#include "pipeline/kept_cameras.h"

#include <gtest/gtest.h>

#include "numerics/mat3.h"

namespace vantorra {
namespace {

Camera camera(float angle, float f) {
    Matrix R(3, 3);
    R.at(0, 0) = 1.0f;
    R.at(1, 1) = std::cos(angle);
    R.at(1, 2) = -std::sin(angle);
    R.at(2, 1) = std::sin(angle);
    R.at(2, 2) = std::cos(angle);
    Matrix T(3, 3);
    T.at(0, 0) = T.at(1, 1) = 4.0f;
    T.at(0, 2) = 300.0f;
    T.at(1, 2) = 200.0f;
    T.at(2, 2) = 1.0f;
    return Camera(R, f, T);
}

TEST(KeptCamerasTest, OnlyWhatTheFileCannotTellApartIsKept) {
    const Camera before = camera(0.3f, 812.5f);
    struct Case {
        const char* what;
        Camera rendered;
        bool kept;
    };
    Camera bent = before;
    bent.lens.k1 = 0.01f;
    Camera shifted = before;
    shifted.imageTransform.at(0, 2) += 0.01f;
    const Case cases[] = {
        {"the same", before, true},
        {"rounding of the rotation", camera(0.3f + 1e-6f, 812.5f), true},
        {"a thousandth of a degree", camera(0.3f + 1.75e-5f, 812.5f), false},
        {"the focal length's last digit", camera(0.3f, 812.5f * (1 + 2e-6f)), true},
        {"another focal length", camera(0.3f, 813.0f), false},
        {"a lens", bent, false},
        {"another pixel matrix", shifted, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameWithinFilePrecision(c.rendered, before), c.kept) << c.what;
        const std::vector<Camera> kept = keepUnmoved({c.rendered}, std::vector<Camera>{before});
        EXPECT_EQ(kept[0].R.data, (c.kept ? before : c.rendered).R.data) << c.what;
    }
    // An unregistered camera (empty matrices) is the same as another unregistered one only.
    EXPECT_TRUE(sameWithinFilePrecision(Camera{}, Camera{}));
    EXPECT_FALSE(sameWithinFilePrecision(Camera{}, before));
}

}  // namespace
}  // namespace vantorra
