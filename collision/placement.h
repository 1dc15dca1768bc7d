#pragma once

#include <cstdint>
#include <span>

#include "collision/matrix3.h"
#include "collision/vector3.h"

namespace zv {

// Where a shape stands in the world: a point p of the shape's frame maps to
// basis * p + origin.
struct Placement {
  // The basis may scale or shear, so inverting it needs the full inverse
  // rather than the transpose.
  static constexpr uint32_t kMayScale = 4;
  // What a placement taken from an engine matrix carries.
  static constexpr uint32_t kFromMatrix = 7;

  Matrix3 basis;
  Vector3 origin;
  uint32_t flags = 0;
};

// From a single-precision 4x4 matrix in the row-vector convention (translation
// in elements 12..14). The result maps p to the same point as the row vector
// (p, 1) times the matrix; the fourth column is not read.
void SetPlacementFromMatrix(Placement& placement, std::span<const float, 16> matrix);
void SetPlacementIdentity(Placement& placement);

Placement InvertPlacement(const Placement& t);
// The placement of t2 seen from t1's frame.
Placement RelativePlacement(const Placement& t1, const Placement& t2);

// True when every element is finite and the basis can be inverted, so that
// queries comparing two frames never divide by zero.
bool IsUsablePlacement(const Placement& t);

inline Vector3 Apply(const Placement& t, const Vector3& p) { return Multiply(t.basis, p) + t.origin; }

// A world direction turned into the placed shape's frame.
inline Vector3 ToLocalDirection(const Placement& t, const Vector3& d) {
  return MultiplyTransposed(t.basis, d);
}

}  // namespace zv
