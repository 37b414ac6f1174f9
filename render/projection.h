#pragma once
// How the panorama's pixels map to directions. The output is a plane: pixel (row r, column c) of
// a PanoramaGrid stands for the plane position (theta, phi) = (thetaMin + c dTheta,
// phiMax + r dPhi), and a projection turns plane positions into world directions and back. It
// also finds the plane rectangles a photograph covers (its footprint), the rectangle a set of
// footprints covers (the automatic crop) and whether the plane's first coordinate wraps around
// (a full turn). Everything else in the renderer works on plane positions and reaches
// directions only through a projection, chosen by name from the table in projection_registry.h.
//
// The samplers ask for directions a run of pixels of one row at a time (runDirections), with
// what every row of a region shares worked out once (columnTerms): one call per run, not per
// pixel, keeps the sampling loops as fast as a projection written into them. A projection may
// also fuse its directions with a camera's matrix (runPositions) to save the pass through the
// directions; the floats must stay those of the two steps.

#include <optional>
#include <vector>

#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "numerics/matrix.h"
#include "render/footprint.h"

namespace vantorra {

// Pixels of a row whose directions are worked out together.
inline constexpr int kDirectionRun = 128;

// The directions of a run of pixels, one array per axis (whole vectors long).
struct alignas(32) DirectionRun {
    float x[kDirectionRun], y[kDirectionRun], z[kDirectionRun];
};

// What the rows of a region share: a projection's own terms of each of its columns, in as many
// arrays as it needs (the equirectangular one keeps every column's sine and cosine). The caller
// owns the storage and may reuse it from region to region.
struct ColumnTerms {
    std::vector<float> first, second;
};

// The range of the plane's first coordinate that makes one full turn, for a projection that
// wraps: positions `first` and `last` look the same way.
struct PlaneWrap {
    float first = 0, last = 0;
};

// A span within this part of the wrap of it is the full turn: far less than a column of any
// panorama, far more than float rounding over the turn.
constexpr double kTurnTolerance = 1e-5;

// A rectangle of the plane, in the units of PanoramaGrid and RenderRegion.
struct PlaneBounds {
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;
};

// A direction (first axis down, second right, third forward) and a plane position in double
// precision: the exact formulas, which a recorded output mapping names and any reader can redo.
struct Direction {
    double x = 0, y = 0, z = 0;
};
struct PlanePoint {
    double u = 0, v = 0;
};

// u and v of n directions through P, as runPositions defines them; not a number for a direction
// behind the camera (or none, the zero vector).
void projectDirections(const DirectionRun& d, int n, const Mat3& P, float* u, float* v);

// The plane positions of a grid's columns and rows, as every projection computes them.
inline float columnPosition(const PanoramaGrid& grid, int column) {
    return grid.thetaMin + static_cast<float>(grid.colOffset + column) * grid.dTheta;
}
inline float rowPosition(const PanoramaGrid& grid, int row) {
    return grid.phiMax + static_cast<float>(grid.rowOffset + row) * grid.dPhi;
}
// Block columns firstCol .. firstCol + count - 1 of `grid` into `positions`: the column terms of a
// projection that needs no more.
void columnPositions(const PanoramaGrid& grid, int firstCol, int count, std::vector<float>& positions);

class Projection {
public:
    virtual ~Projection() = default;

    // The unit direction of plane position (theta, phi).
    virtual Vec3 direction(float theta, float phi) const = 0;
    // The plane position of direction d (of any length but 0); false where the projection holds
    // none (behind a flat projection, say). Unless a projection has its own, planeOf rounded.
    virtual bool position(const Vec3& d, float& theta, float& phi) const;

    // The terms of block columns firstCol .. firstCol + count - 1 of `grid` (the block's offset
    // included), for runDirections.
    virtual void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const = 0;
    // The directions of n <= kDirectionRun pixels of block row `row` whose column terms start at
    // index `offset` of `terms`: each the same floats direction() gives for the pixel's position.
    virtual void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                               DirectionRun& out) const = 0;
    // The same pixels' homogeneous positions through P, divided out: u = (P d)_0 / (P d)_2 and
    // v = (P d)_1 / (P d)_2, the rows and columns of an unbent camera. Unless a projection fuses
    // them, runDirections and then projectDirections.
    virtual void runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                              const Mat3& P, float* u, float* v) const;

    // The exact formulas. planeOf: the plane position of the unit direction d, false where the
    // projection holds none. directionAt: the unit direction of plane position p, false where no
    // direction maps there. The float functions above are these, rounded to floats.
    virtual bool planeOf(const Direction& d, PlanePoint& p) const = 0;
    virtual bool directionAt(const PlanePoint& p, Direction& d) const = 0;
    // The most of the plane the projection draws: a footprint reaching beyond it is cut to it
    // (and says so), so a field it cannot hold is drawn as the largest part it can. `reachText`
    // says what that is in words, for the note a cut panorama gets.
    virtual PlaneBounds reach() const = 0;
    virtual const char* reachText() const = 0;

    // The plane rectangles the photograph of a camera covers (rows x cols pixels) and its edge
    // extents; pixel bounds are left for placeFootprint.
    virtual ImageFootprint footprint(const Camera& camera, int rows, int cols) const = 0;
    // The rectangle every region of the footprints lies in: the automatic crop. Empty (thetaMin >
    // thetaMax) when no footprint has a region.
    virtual PlaneBounds bounds(const std::vector<ImageFootprint>& footprints) const;
    // The full turn of the first coordinate, when it wraps; nothing when it does not.
    virtual std::optional<PlaneWrap> wrap() const { return std::nullopt; }
    // For a projection that wraps: the turn of the world (multiplied onto every camera's rotation
    // from the right) that brings the directions at first coordinate theta to the middle of the
    // wrap. The default turns about the first world axis (the one pointing down), for a first
    // coordinate that is the longitude about it.
    virtual Matrix middleTurn(float theta) const;
};

}  // namespace vantorra
