#include "pipeline/panorama_orientation.h"

#include <algorithm>
#include <utility>

#include "numerics/angles.h"

namespace vantorra {

namespace {

// The cameras the turn applies to: those of the component that hold a rotation.
std::vector<Camera*> listedCameras(std::vector<Camera>& cameras, const std::vector<int32_t>& component) {
    std::vector<Camera*> listed;
    listed.reserve(component.size());
    std::vector<bool> seen(cameras.size(), false);  // a camera listed twice is still turned once
    for (const int32_t i : component) {
        if (i < 0 || static_cast<size_t>(i) >= cameras.size() || seen[static_cast<size_t>(i)]) continue;
        seen[static_cast<size_t>(i)] = true;
        Camera& camera = cameras[static_cast<size_t>(i)];
        if (isRegistered(camera)) listed.push_back(&camera);
    }
    return listed;
}

// The reference image is the smallest image number of the component.
Camera* referenceCamera(std::vector<Camera>& cameras, const std::vector<int32_t>& component) {
    Camera* reference = nullptr;
    int32_t smallest = 0;
    for (Camera* camera : listedCameras(cameras, component)) {
        const auto i = static_cast<int32_t>(camera - cameras.data());
        if (reference == nullptr || i < smallest) {
            reference = camera;
            smallest = i;
        }
    }
    return reference;
}

void postMultiply(const std::vector<Camera*>& listed, const Matrix& q) {
    for (Camera* camera : listed) camera->R = multiply(camera->R, q);
}

void preMultiply(const std::vector<Camera*>& listed, const Matrix& q) {
    for (Camera* camera : listed) camera->R = multiply(q, camera->R);
}

Matrix column(float x, float y, float z) {
    Matrix v(3, 1);
    v.at(0) = x;
    v.at(1) = y;
    v.at(2) = z;
    return v;
}

float rowDot(const Matrix& r, int row, const Matrix& u) {
    return r.at(row, 0) * u.at(0) + r.at(row, 1) * u.at(1) + r.at(row, 2) * u.at(2);
}

// M = sum of r1^T r1 over the listed cameras: u with |M u| small is perpendicular to every
// camera's horizontal image axis (row 1, the direction of growing columns).
Matrix horizontalAxesScatter(const std::vector<Camera*>& listed) {
    Matrix m(3, 3);
    for (const Camera* camera : listed) {
        const Matrix r1 = camera->R.row(1);
        m = add(m, multiply(transpose(r1), r1));
    }
    return m;
}

// The downward direction: u, or -u unless strictly more than half of the cameras have their
// row axis (downwards in the image) on the side of u.
Matrix downDirection(const std::vector<Camera*>& listed) {
    Matrix u = nullDirection(horizontalAxesScatter(listed));
    const auto agreeing = std::count_if(listed.begin(), listed.end(),
                                        [&](const Camera* camera) { return rowDot(camera->R, 0, u) > 0.0f; });
    if (!(static_cast<float>(agreeing) > static_cast<float>(listed.size()) * 0.5f)) u = negate(u);
    return u;
}

// The turn about the first (downward) axis that takes w, a direction with no first component,
// onto the third axis. A half turn is taken about the first axis too, so the downward
// direction stays put; a zero w (reference looking straight up or down) needs no turn.
Matrix headingTurn(const Matrix& w) {
    Matrix identity(3, 3);
    identity.setIdentity();
    if (!(norm(w) > 0.0f)) return identity;
    const Matrix unit = normalise(w);
    if (unit.at(1) == 0.0f && unit.at(2) < 0.0f) return rotationX(kPi);
    return rotationBetween(unit, column(0.0f, 0.0f, 1.0f));
}

}  // namespace

float imageRotationAngle(ImageRotation imageRotation) {
    switch (imageRotation) {
        case ImageRotation::Clockwise: return -kHalfPi;
        case ImageRotation::Anticlockwise: return kHalfPi;
        case ImageRotation::UpsideDown: return kPi;
        case ImageRotation::None: break;
    }
    return 0.0f;
}

std::vector<Camera> levelToReference(std::vector<Camera> cameras, const std::vector<int32_t>& component,
                                     const RenderOptions& options) {
    const Camera* reference = referenceCamera(cameras, component);
    if (reference == nullptr) return cameras;
    Matrix q = transpose(reference->R);
    if (options.imageRotation != ImageRotation::None) q = multiply(q, rotationZ(imageRotationAngle(options.imageRotation)));
    postMultiply(listedCameras(cameras, component), q);
    return cameras;
}

std::vector<Camera> straighten(std::vector<Camera> cameras, const std::vector<int32_t>& component,
                               const RenderOptions& options) {
    const std::vector<Camera*> listed = listedCameras(cameras, component);
    if (listed.empty()) return cameras;
    const bool rotated = options.imageRotation != ImageRotation::None;
    const float angle = imageRotationAngle(options.imageRotation);

    // Seen through the user's image rotation, the horizontal image axis is a different row;
    // the pre-turn lets the search below read it as row 1 and is undone right after.
    if (rotated) {
        const float back = options.imageRotation == ImageRotation::Clockwise
                               ? kHalfPi
                               : (options.imageRotation == ImageRotation::Anticlockwise ? -kHalfPi : -kPi);
        preMultiply(listed, rotationZ(back));
    }
    const Matrix u = downDirection(listed);
    Matrix v = column(1.0f, 0.0f, 0.0f);
    if (rotated) {
        v = multiply(rotationZ(angle), v);
        preMultiply(listed, rotationZ(angle));
    }

    // Post-multiplying by A^T carries the world direction u onto v.
    const Matrix a = rotationBetween(u, v);
    Matrix p = transpose(a);
    if (rotated) p = multiply(p, rotationZ(angle));
    postMultiply(listed, p);

    const Camera* reference = referenceCamera(cameras, component);
    const Matrix viewing = transpose(reference->R.row(2));
    const Matrix b = headingTurn(column(0.0f, viewing.at(1), viewing.at(2)));
    postMultiply(listed, transpose(b));
    return cameras;
}

std::vector<Camera> applyManualAngles(std::vector<Camera> cameras, const std::vector<int32_t>& component,
                                      const RenderOptions& options) {
    const std::vector<Camera*> listed = listedCameras(cameras, component);
    if (options.orientTheta != 0.0f) postMultiply(listed, rotationX(options.orientTheta));
    if (options.orientPhi != 0.0f) postMultiply(listed, rotationY(options.orientPhi));
    if (options.orientPsi != 0.0f) postMultiply(listed, rotationZ(options.orientPsi));
    return cameras;
}

std::vector<Camera> orientCameras(std::vector<Camera> cameras, const std::vector<int32_t>& component,
                                  const RenderOptions& options) {
    cameras = options.autoStraighten ? straighten(std::move(cameras), component, options)
                                     : levelToReference(std::move(cameras), component, options);
    return applyManualAngles(std::move(cameras), component, options);
}

}  // namespace vantorra
