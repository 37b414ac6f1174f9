#pragma once
// Radial lens distortion. An ideal (pinhole) position x, centred on the image and in the pixels
// the camera's focal length f is measured in, is seen at x (1 + k1 r^2 + k2 r^4) with
// r^2 = |x|^2 / f^2. Barrel distortion has k1 < 0. Normalising by f makes the coefficients
// independent of the image's reduction and of its size.

namespace vantorra {

struct LensDistortion {
    float k1 = 0.0f;
    float k2 = 0.0f;

    bool none() const { return k1 == 0.0f && k2 == 0.0f; }
    bool operator==(const LensDistortion&) const = default;
};

// The factor an ideal position at normalised squared radius r2 is scaled by to be seen.
inline float distortionFactor(const LensDistortion& d, float r2) { return 1.0f + r2 * (d.k1 + d.k2 * r2); }

// Where the ideal centred position (x, y) is seen; unchanged without distortion.
inline void distortPosition(const LensDistortion& d, float f, float& x, float& y) {
    if (d.none()) return;
    const float s = distortionFactor(d, (x * x + y * y) / (f * f));
    x *= s;
    y *= s;
}

// The ideal normalised radius beyond which the lens folds back (the seen radius stops growing),
// or infinity when it grows for every radius that matters. Ideal positions beyond it are not
// seen by the camera: bent, they would land back inside the image.
float foldRadius(const LensDistortion& d);

// The ideal position of a seen one is the seen position times `scale`, found by Newton's method
// on the radius. The derivatives are those of `scale` with respect to the focal length and the
// coefficients, for the adjustment. A position beyond the radius where the distortion folds
// back (the mapping stops growing) is taken at that radius.
struct Undistortion {
    float scale = 1.0f;
    float dScaleDf = 0.0f;
    float dScaleDk1 = 0.0f;
    float dScaleDk2 = 0.0f;
};
Undistortion undistortion(const LensDistortion& d, float f, float x, float y);

// The ideal centred position of the seen (x, y), in place; unchanged without distortion.
inline void undistortPosition(const LensDistortion& d, float f, float& x, float& y) {
    if (d.none()) return;
    const float s = undistortion(d, f, x, y).scale;
    x *= s;
    y *= s;
}

}  // namespace vantorra
