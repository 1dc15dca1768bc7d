#include "collision/placement.h"

#include <cmath>

namespace zv {

void SetPlacementFromMatrix(Placement& placement, std::span<const float, 16> m) {
  placement.basis = MakeMatrix3(m[0], m[4], m[8],  //
                                m[1], m[5], m[9],  //
                                m[2], m[6], m[10]);
  placement.origin = {m[12], m[13], m[14]};
  placement.flags = Placement::kFromMatrix;
}

void SetPlacementIdentity(Placement& placement) {
  placement.basis = Matrix3{};
  placement.origin = {};
  placement.flags = 0;
}

Placement InvertPlacement(const Placement& t) {
  Placement r;
  r.basis = (t.flags & Placement::kMayScale) ? InvertMatrix3(t.basis) : Transpose(t.basis);
  r.origin = -Multiply(r.basis, t.origin);
  r.flags = t.flags;
  return r;
}

Placement RelativePlacement(const Placement& t1, const Placement& t2) {
  Placement r;
  const Vector3 d = t2.origin - t1.origin;
  if (t1.flags & Placement::kMayScale) {
    const Matrix3 inverse = InvertMatrix3(t1.basis);
    r.basis = MultiplyMatrix3(inverse, t2.basis);
    r.origin = Multiply(inverse, d);
  } else {
    r.basis = MultiplyTransposedMatrix3(t1.basis, t2.basis);
    r.origin = MultiplyTransposed(t1.basis, d);
  }
  r.flags = t1.flags | t2.flags;
  return r;
}

bool IsUsablePlacement(const Placement& t) {
  for (const auto& row : t.basis.m) {
    for (double e : row) {
      if (!std::isfinite(e)) return false;
    }
  }
  if (!IsFinite(t.origin)) return false;
  const double det = Determinant(t.basis);
  return det != 0.0 && std::isfinite(1.0 / det);
}

}  // namespace zv
