#pragma once

#include <array>

namespace zv {

// The single-precision test the 3D engine uses for objects in box mode: do two
// boxes, each with its own centre, half extents and orientation, overlap or
// touch? It keeps no state.

struct Vec3f {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// Row-vector convention, translation in elements 12..14.
using BoxMatrix = std::array<float, 16>;

void Vec3Subtract(Vec3f& a, const Vec3f& b);
void Vec3DivideScalar(Vec3f& out, const Vec3f& v, float s);
float Vec3LengthSquared(const Vec3f& v);

// The box's axes are the matrix's images of the unit points less its image of
// the origin, normalised: only rotation matters, neither the matrix's
// translation (the centre places the box) nor its scale (the half extents size
// it). 1 when the boxes overlap or touch, else 0. A box whose axes cannot be
// made (a projective matrix, a zero scale) or whose values are not finite
// meets nothing.
int TestBoxCollision(Vec3f centre_a, Vec3f half_a, BoxMatrix matrix_a, Vec3f centre_b, Vec3f half_b,
                     BoxMatrix matrix_b);

// The axis-aligned box, as its lower and upper corners, around every point
// at which the box test could find the box to meet another: its corners,
// widened by the room the test leaves between nearly parallel edges and for
// rounding (unbounded for a box too large for floats). False when the box
// meets nothing.
bool OrientedBoxReach(Vec3f centre, Vec3f half, const BoxMatrix& matrix, Vec3f& lower, Vec3f& upper);

// The separating-axis test over the three face normals of each box and the
// nine edge-edge cross products; an axis on which the projections just touch
// does not separate.
int OrientedBoxesOverlap(const Vec3f& centre_a, const Vec3f& half_a, const std::array<Vec3f, 3>& axes_a,
                         const Vec3f& centre_b, const Vec3f& half_b, const std::array<Vec3f, 3>& axes_b);

}  // namespace zv
