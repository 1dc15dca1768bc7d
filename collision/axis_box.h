#pragma once

#include <algorithm>

#include "collision/vector3.h"

namespace zv {

// An axis-aligned box as centre and half extents. The empty box has negative
// half extents so large that including the first point or box yields exactly
// that point or box.
struct AxisBox {
  static constexpr double kEmptyHalfExtent = -1e50;

  Vector3 centre;
  Vector3 half_extent{kEmptyHalfExtent, kEmptyHalfExtent, kEmptyHalfExtent};

  static AxisBox Empty() { return {}; }
  static AxisBox FromCorners(const Vector3& lower, const Vector3& upper) {
    AxisBox box;
    box.half_extent = (upper - lower) * 0.5;
    box.centre = lower + box.half_extent;
    return box;
  }

  Vector3 Lower() const { return centre - half_extent; }
  Vector3 Upper() const { return centre + half_extent; }

  void Include(const Vector3& p) {
    Vector3 lo = Lower(), hi = Upper();
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], p[i]);
      hi[i] = std::max(hi[i], p[i]);
    }
    *this = FromCorners(lo, hi);
  }
  void Include(const AxisBox& b) {
    Vector3 lo = Lower(), hi = Upper();
    const Vector3 blo = b.Lower(), bhi = b.Upper();
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], blo[i]);
      hi[i] = std::max(hi[i], bhi[i]);
    }
    *this = FromCorners(lo, hi);
  }
};

inline bool IsFinite(const AxisBox& box) { return IsFinite(box.centre) && IsFinite(box.half_extent); }

// Touching boxes overlap. NaN anywhere makes the boxes apart.
inline bool BoxesOverlap(const AxisBox& a, const AxisBox& b) {
  return std::fabs(a.centre.x - b.centre.x) <= a.half_extent.x + b.half_extent.x &&
         std::fabs(a.centre.y - b.centre.y) <= a.half_extent.y + b.half_extent.y &&
         std::fabs(a.centre.z - b.centre.z) <= a.half_extent.z + b.half_extent.z;
}

}  // namespace zv
