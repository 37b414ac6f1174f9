#pragma once
// Test scenes rendered from a procedural texture on the sphere: small source images made by
// projecting the texture through known cameras, kept in the stitcher's feature-image cache at
// level 0 so no file is read.

#include <cmath>
#include <string>
#include <vector>

#include "core/photograph.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "render/render_context.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"

namespace vantorra::testing {

// Smooth colour of world direction d (unit), one wave per channel, values within 27..227.
inline float textureAt(float x, float y, float z, int channel) {
    static const float a[3][3] = {{2.0f, 3.0f, 1.0f}, {-3.0f, 1.5f, 2.5f}, {1.0f, -2.0f, 3.5f}};
    const float* w = a[channel];
    return 127.0f + 100.0f * std::sin(w[0] * x + w[1] * y + w[2] * z);
}

// Camera looking at longitude theta and latitude phi (R = Ry(phi) * Rx(theta) takes that direction onto +z).
inline Camera cameraLookingAt(float theta, float phi, float f, int rows, int cols) {
    Camera camera;
    camera.R = multiply(rotationY(phi), rotationX(theta));
    camera.f = f;
    camera.imageTransform.resize(3, 3);
    camera.imageTransform.setIdentity();
    camera.imageTransform.at(0, 2) = static_cast<float>(rows - 1) / 2.0f;
    camera.imageTransform.at(1, 2) = static_cast<float>(cols - 1) / 2.0f;
    return camera;
}

// The photograph camera `camera` would take of the textured sphere.
inline FloatImage photograph(const Camera& camera, int rows, int cols) {
    FloatImage image(rows, cols, 3);
    const Mat3 rt = transposed(Mat3::fromMatrix(camera.R));
    const float cr = static_cast<float>(rows - 1) / 2.0f, cc = static_cast<float>(cols - 1) / 2.0f;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const Vec3 d = rt * Vec3{(static_cast<float>(r) - cr) / camera.f,
                                     (static_cast<float>(c) - cc) / camera.f, 1.0f};
            const float n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = textureAt(d.x / n, d.y / n, d.z / n, k);
        }
    return image;
}

// What a render reads of a panorama: photographs, their cameras and the images that form it.
struct Scene {
    std::string directory = "/nonexistent-vantorra-test-dir/";
    std::vector<Photograph> photographs;
    std::vector<Camera> cameras;
    std::vector<int32_t> component;
    RenderOptions options;
    ProgressReporter progress;

    // Refers to the lists: valid until they change.
    RenderScene view() const {
        RenderScene scene;
        scene.cameras = cameras;
        scene.component = component;
        scene.sources = {directory, photographs};
        return scene;
    }
};

// One registered camera per (theta, phi) view, all in the component, each with its photograph
// kept as its feature image at level 0 so that no file is read.
inline void buildScene(Scene& scene, const std::vector<std::pair<float, float>>& views, float f, int rows,
                       int cols) {
    for (size_t i = 0; i < views.size(); ++i) {
        const Camera camera = cameraLookingAt(views[i].first, views[i].second, f, rows, cols);
        scene.cameras.push_back(camera);
        Photograph view{"view" + std::to_string(i) + ".jpg", ImageSize{rows, cols, 3}};
        view.featureImage = photograph(camera, rows, cols);
        scene.photographs.push_back(std::move(view));
        scene.component.push_back(static_cast<int32_t>(scene.cameras.size() - 1));
    }
}

}  // namespace vantorra::testing
