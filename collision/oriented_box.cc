#include "collision/oriented_box.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zv {
namespace {

bool IsFinite(const Vec3f& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float Dot(const Vec3f& a, const Vec3f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The point times the matrix, divided by w; nothing when w is nearly zero.
std::optional<Vec3f> TransformPoint(const Vec3f& p, const BoxMatrix& m) {
  const float w = p.x * m[3] + p.y * m[7] + p.z * m[11] + m[15];
  if (std::fabs(w) < 1e-5f) return std::nullopt;
  return Vec3f{(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12]) / w,
               (p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13]) / w,
               (p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]) / w};
}

std::optional<std::array<Vec3f, 3>> BoxAxes(const BoxMatrix& m) {
  const std::optional<Vec3f> origin = TransformPoint({0.0f, 0.0f, 0.0f}, m);
  if (!origin) return std::nullopt;
  static constexpr Vec3f kUnit[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  std::array<Vec3f, 3> axes;
  for (int i = 0; i < 3; ++i) {
    std::optional<Vec3f> p = TransformPoint(kUnit[i], m);
    if (!p) return std::nullopt;
    Vec3Subtract(*p, *origin);
    const float length = std::sqrt(Vec3LengthSquared(*p));
    if (!(length > 0.0f)) return std::nullopt;
    Vec3DivideScalar(axes[i], *p, length);
    if (!IsFinite(axes[i])) return std::nullopt;
  }
  return axes;
}

}  // namespace

void Vec3Subtract(Vec3f& a, const Vec3f& b) {
  a.x -= b.x;
  a.y -= b.y;
  a.z -= b.z;
}

void Vec3DivideScalar(Vec3f& out, const Vec3f& v, float s) { out = {v.x / s, v.y / s, v.z / s}; }

float Vec3LengthSquared(const Vec3f& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

int TestBoxCollision(Vec3f centre_a, Vec3f half_a, BoxMatrix matrix_a, Vec3f centre_b, Vec3f half_b,
                     BoxMatrix matrix_b) {
  if (!IsFinite(centre_a) || !IsFinite(half_a) || !IsFinite(centre_b) || !IsFinite(half_b)) return 0;
  const auto axes_a = BoxAxes(matrix_a);
  if (!axes_a) return 0;
  const auto axes_b = BoxAxes(matrix_b);
  if (!axes_b) return 0;
  return OrientedBoxesOverlap(centre_a, half_a, *axes_a, centre_b, half_b, *axes_b);
}

bool OrientedBoxReach(Vec3f centre, Vec3f half, const BoxMatrix& matrix, Vec3f& lower, Vec3f& upper) {
  if (!IsFinite(centre) || !IsFinite(half)) return false;
  const auto axes = BoxAxes(matrix);
  if (!axes) return false;
  const float halves[3] = {std::fabs(half.x), std::fabs(half.y), std::fabs(half.z)};
  const float middle[3] = {centre.x, centre.y, centre.z};
  // Far more than the test's slack and rounding: what lies a little further
  // is only tested for nothing.
  const float room = 1e-3f * (halves[0] + halves[1] + halves[2] +
                              std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)}));
  float low[3], high[3];
  for (int c = 0; c < 3; ++c) {
    float extent = room;
    for (int i = 0; i < 3; ++i) {
      const Vec3f& axis = (*axes)[static_cast<size_t>(i)];
      const float along[3] = {axis.x, axis.y, axis.z};
      extent += std::fabs(along[c]) * halves[i];
    }
    low[c] = middle[c] - extent;
    high[c] = middle[c] + extent;
  }
  lower = {low[0], low[1], low[2]};
  upper = {high[0], high[1], high[2]};
  return true;
}

int OrientedBoxesOverlap(const Vec3f& centre_a, const Vec3f& half_a, const std::array<Vec3f, 3>& A,
                         const Vec3f& centre_b, const Vec3f& half_b, const std::array<Vec3f, 3>& B) {
  const float a0 = half_a.x, a1 = half_a.y, a2 = half_a.z;
  const float b0 = half_b.x, b1 = half_b.y, b2 = half_b.z;
  Vec3f d = centre_b;
  Vec3Subtract(d, centre_a);
  const float t0 = Dot(d, A[0]), t1 = Dot(d, A[1]), t2 = Dot(d, A[2]);

  // Q holds |R| widened by a little: when an edge of A is parallel to an edge
  // of B their cross product vanishes, and rounding alone could then make its
  // distance exceed its radii and part boxes that overlap.
  constexpr float kParallelSlack = 1e-6f;
  float R[3][3], Q[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      R[i][j] = Dot(A[i], B[j]);
      Q[i][j] = std::fabs(R[i][j]) + kParallelSlack;
    }
  }
  // One row per candidate axis: its distance and the two projected radii. The
  // order is fixed: the face normals of A, of B, then the nine edge pairs.
  const float s[15] = {
      std::fabs(t0),
      std::fabs(t1),
      std::fabs(t2),
      std::fabs(t0 * R[0][0] + t1 * R[1][0] + t2 * R[2][0]),
      std::fabs(t0 * R[0][1] + t1 * R[1][1] + t2 * R[2][1]),
      std::fabs(t0 * R[0][2] + t1 * R[1][2] + t2 * R[2][2]),
      std::fabs(t2 * R[1][0] - t1 * R[2][0]),
      std::fabs(t2 * R[1][1] - t1 * R[2][1]),
      std::fabs(t2 * R[1][2] - t1 * R[2][2]),
      std::fabs(t0 * R[2][0] - t2 * R[0][0]),
      std::fabs(t0 * R[2][1] - t2 * R[0][1]),
      std::fabs(t0 * R[2][2] - t2 * R[0][2]),
      std::fabs(t1 * R[0][0] - t0 * R[1][0]),
      std::fabs(t1 * R[0][1] - t0 * R[1][1]),
      std::fabs(t1 * R[0][2] - t0 * R[1][2]),
  };
  const float ra[15] = {
      a0,
      a1,
      a2,
      a0 * Q[0][0] + a1 * Q[1][0] + a2 * Q[2][0],
      a0 * Q[0][1] + a1 * Q[1][1] + a2 * Q[2][1],
      a0 * Q[0][2] + a1 * Q[1][2] + a2 * Q[2][2],
      a1 * Q[2][0] + a2 * Q[1][0],
      a1 * Q[2][1] + a2 * Q[1][1],
      a1 * Q[2][2] + a2 * Q[1][2],
      a0 * Q[2][0] + a2 * Q[0][0],
      a0 * Q[2][1] + a2 * Q[0][1],
      a0 * Q[2][2] + a2 * Q[0][2],
      a0 * Q[1][0] + a1 * Q[0][0],
      a0 * Q[1][1] + a1 * Q[0][1],
      a0 * Q[1][2] + a1 * Q[0][2],
  };
  const float rb[15] = {
      b0 * Q[0][0] + b1 * Q[0][1] + b2 * Q[0][2],
      b0 * Q[1][0] + b1 * Q[1][1] + b2 * Q[1][2],
      b0 * Q[2][0] + b1 * Q[2][1] + b2 * Q[2][2],
      b0,
      b1,
      b2,
      b1 * Q[0][2] + b2 * Q[0][1],
      b0 * Q[0][2] + b2 * Q[0][0],
      b0 * Q[0][1] + b1 * Q[0][0],
      b1 * Q[1][2] + b2 * Q[1][1],
      b0 * Q[1][2] + b2 * Q[1][0],
      b0 * Q[1][1] + b1 * Q[1][0],
      b1 * Q[2][2] + b2 * Q[2][1],
      b0 * Q[2][2] + b2 * Q[2][0],
      b0 * Q[2][1] + b1 * Q[2][0],
  };
  for (int axis = 0; axis < 15; ++axis) {
    if (s[axis] > ra[axis] + rb[axis]) return 0;
  }
  return 1;
}

}  // namespace zv
