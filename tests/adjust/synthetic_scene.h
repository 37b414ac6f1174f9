#pragma once
// Matches generated from known cameras, for testing and timing the bundle adjuster. Cameras pan
// about their vertical (x) axis in equal steps with a small alternating tilt; every ordered pair
// gets matches from random positions of the first image that land inside the second, with
// Gaussian noise added to both positions.

#include <cstdint>
#include <random>
#include <vector>

#include "numerics/pair_projection.h"
#include "core/image_size.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "matching/match_table.h"
#include "numerics/camera.h"

namespace vantorra::synthetic {

struct SyntheticScene {
    std::vector<CameraState> truth;
    MatchTable matches;
};

struct SceneShape {
    int cameras = 4;
    int matchesPerPair = 150;
    float noise = 0.3f;       // pixels, standard deviation
    float panStep = 0.35f;    // radians between neighbours
    int rows = 1;             // the cameras fill this many rows in turn, ...
    float tiltStep = 0.0f;    // ... this many radians apart
    float focalStep = 15.0f;  // pixels between the focal lengths of neighbours
    float halfRows = 200.0f;  // image extent from the centre
    float halfCols = 300.0f;
    uint32_t seed = 7;
};

inline SyntheticScene makeScene(const SceneShape& shape) {
    SyntheticScene scene;
    const int perRow = (shape.cameras + shape.rows - 1) / shape.rows;
    // The alternating tilt and the roll shrink with the pan step, so that narrow views overlap.
    const float wobble = shape.panStep / 0.35f;
    for (int k = 0; k < shape.cameras; ++k) {
        const Vec3 pan{shape.panStep * static_cast<float>(k % perRow),
                       wobble * (k % 2 ? 0.04f : -0.02f) + shape.tiltStep * static_cast<float>(k / perRow),
                       wobble * 0.01f * k};
        scene.truth.push_back({rotationFromVector(pan), 600.0f + shape.focalStep * static_cast<float>(k)});
    }
    scene.matches.reset(shape.cameras);
    std::mt19937 rng(shape.seed);
    std::uniform_real_distribution<float> rowDist(-shape.halfRows, shape.halfRows);
    std::uniform_real_distribution<float> colDist(-shape.halfCols, shape.halfCols);
    std::normal_distribution<float> noise(0.0f, shape.noise);
    for (int i = 0; i < shape.cameras; ++i)
        for (int j = 0; j < shape.cameras; ++j) {
            if (i == j) continue;
            const Mat3 h = pairHomography(scene.truth[i], scene.truth[j]);
            std::vector<float> a, b;
            for (int attempt = 0; attempt < 20 * shape.matchesPerPair &&
                                  static_cast<int>(a.size()) < 2 * shape.matchesPerPair;
                 ++attempt) {
                const Vec3 x{rowDist(rng), colDist(rng), 1.0f};
                const Vec3 p = h * x;
                if (p.z <= 0.0f) continue;
                const float u = p.x / p.z, v = p.y / p.z;
                if (u < -shape.halfRows || u > shape.halfRows || v < -shape.halfCols ||
                    v > shape.halfCols)
                    continue;
                a.insert(a.end(), {x.x + noise(rng), x.y + noise(rng)});
                b.insert(b.end(), {u + noise(rng), v + noise(rng)});
            }
            const int count = static_cast<int>(a.size() / 2);
            if (count == 0) continue;
            MatchPoints& points = scene.matches.place(i, j);
            points.first.resize(2, count);
            points.second.resize(2, count);
            points.first.data = a;  // column-major 2 x count: x0, y0, x1, y1, ...
            points.second.data = b;
            scene.matches.count(i, j) = count;
        }
    return scene;
}

// Starting cameras: the truth moved by small rotations (not the first) and focal errors.
inline std::vector<Camera> perturbedCameras(const std::vector<CameraState>& truth, float turn,
                                            float focalFactor, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-turn, turn);
    std::vector<Camera> cameras;
    for (size_t k = 0; k < truth.size(); ++k) {
        Camera c;
        const Mat3 r = k == 0 ? truth[k].R : truth[k].R * rotationFromVector(Vec3{d(rng), d(rng), d(rng)});
        c.R = r.toMatrix();
        c.f = truth[k].f * (k % 2 ? focalFactor : 2.0f - focalFactor);
        c.imageTransform = focalMatrix(1.0f).toMatrix();
        cameras.push_back(c);
    }
    return cameras;
}

}  // namespace vantorra::synthetic
