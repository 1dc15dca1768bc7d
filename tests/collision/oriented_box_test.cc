#include "collision/oriented_box.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace zv {
namespace {

BoxMatrix Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// Rotation about y in the row-vector convention.
BoxMatrix TurnY(float radians) {
  const float c = std::cos(radians), s = std::sin(radians);
  return {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

const Vec3f kHalf{0.5f, 0.5f, 0.5f};

TEST(OrientedBoxes, UnitCubesTouchAtOneApartAndPartJustBeyond) {
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, Identity(), {1.0f, 0, 0}, kHalf, Identity()), 1);
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, Identity(), {1.01f, 0, 0}, kHalf, Identity()), 0);
}

TEST(OrientedBoxes, TurnedCornerReachesFurther) {
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, Identity(), {1.2f, 0, 0}, kHalf, TurnY(0.785398163f)), 1);
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, Identity(), {1.25f, 0, 0}, kHalf, TurnY(0.785398163f)), 0);
}

TEST(OrientedBoxes, BoxInsideALargerBoxOverlaps) {
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, {5, 5, 5}, Identity(), {1, -1, 2}, {0.1f, 0.2f, 0.3f}, TurnY(1)), 1);
}

TEST(OrientedBoxes, OnlyTheCentrePlacesAndOnlyTheHalfExtentsSize) {
  BoxMatrix moved = Identity();
  moved[12] = 50;
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, moved, {0.9f, 0, 0}, kHalf, Identity()), 1);
  BoxMatrix big = Identity();
  big[0] = big[5] = big[10] = 10;
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, big, {1.1f, 0, 0}, kHalf, Identity()), 0);
}

TEST(OrientedBoxes, BoxWithoutAxesOrWithNonFiniteValuesMeetsNothing) {
  BoxMatrix flat = Identity();
  flat[5] = 0;  // zero scale on y
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, flat, {0, 0, 0}, kHalf, Identity()), 0);
  BoxMatrix projective = Identity();
  projective[15] = 0;
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, kHalf, Identity(), {0, 0, 0}, kHalf, projective), 0);
  EXPECT_EQ(TestBoxCollision({NAN, 0, 0}, kHalf, Identity(), {0, 0, 0}, kHalf, Identity()), 0);
  EXPECT_EQ(TestBoxCollision({0, 0, 0}, {INFINITY, 1, 1}, Identity(), {0, 0, 0}, kHalf, Identity()), 0);
  // So it reaches nothing.
  Vec3f lower, upper;
  EXPECT_FALSE(OrientedBoxReach({0, 0, 0}, kHalf, flat, lower, upper));
  EXPECT_FALSE(OrientedBoxReach({NAN, 0, 0}, kHalf, Identity(), lower, upper));
}

// The exhaustive separating-axis test in double precision over every axis,
// including degenerate cross products skipped; returns the largest gap found
// (positive: apart).
double LargestGap(const Vec3f& ca, const Vec3f& ha, const std::array<Vec3f, 3>& A, const Vec3f& cb,
                  const Vec3f& hb, const std::array<Vec3f, 3>& B) {
  using V = std::array<double, 3>;
  auto v = [](const Vec3f& f) { return V{f.x, f.y, f.z}; };
  auto dot = [](const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  auto cross = [](const V& a, const V& b) {
    return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  };
  std::vector<V> axes;
  for (int i = 0; i < 3; ++i) axes.push_back(v(A[i]));
  for (int i = 0; i < 3; ++i) axes.push_back(v(B[i]));
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) axes.push_back(cross(v(A[i]), v(B[j])));
  }
  const double hav[3] = {ha.x, ha.y, ha.z}, hbv[3] = {hb.x, hb.y, hb.z};
  const V d{double(cb.x) - ca.x, double(cb.y) - ca.y, double(cb.z) - ca.z};
  double gap = -1e300;
  for (V axis : axes) {
    const double len = std::sqrt(dot(axis, axis));
    if (len < 1e-6) continue;
    for (double& c : axis) c /= len;
    double ra = 0, rb = 0;
    for (int i = 0; i < 3; ++i) {
      ra += hav[i] * std::fabs(dot(v(A[i]), axis));
      rb += hbv[i] * std::fabs(dot(v(B[i]), axis));
    }
    gap = std::max(gap, std::fabs(dot(d, axis)) - ra - rb);
  }
  return gap;
}

std::array<Vec3f, 3> RandomAxes(std::mt19937& engine) {
  std::normal_distribution<float> n(0, 1);
  float w = n(engine), x = n(engine), y = n(engine), z = n(engine);
  const float len = std::sqrt(w * w + x * x + y * y + z * z);
  w /= len, x /= len, y /= len, z /= len;
  return {Vec3f{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
          Vec3f{2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
          Vec3f{2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}};
}

TEST(OrientedBoxes, AgreesWithAnExhaustiveSeparatingAxisSearch) {
  std::mt19937 engine(99);
  std::uniform_real_distribution<float> size(0.1f, 2.0f), place(-3.0f, 3.0f);
  int overlaps = 0, checked = 0;
  for (int trial = 0; trial < 6000; ++trial) {
    const Vec3f ca{place(engine), place(engine), place(engine)}, cb{place(engine), place(engine), place(engine)};
    const Vec3f ha{size(engine), size(engine), size(engine)}, hb{size(engine), size(engine), size(engine)};
    std::array<Vec3f, 3> A = RandomAxes(engine), B = RandomAxes(engine);
    if (trial % 10 == 0) B = A;  // parallel edges: cross products vanish
    // The same boxes through matrices whose rows are the axes, scaled and moved.
    BoxMatrix ma{}, mb{};
    for (int i = 0; i < 3; ++i) {
      const float s = 1.0f + i;
      ma[4 * i + 0] = A[i].x * s, ma[4 * i + 1] = A[i].y * s, ma[4 * i + 2] = A[i].z * s;
      mb[4 * i + 0] = B[i].x, mb[4 * i + 1] = B[i].y, mb[4 * i + 2] = B[i].z;
    }
    ma[12] = 7, ma[15] = mb[15] = 1;
    // Boxes that meet, however nearly, meet within their reaches.
    Vec3f la, ua, lb, ub;
    ASSERT_TRUE(OrientedBoxReach(ca, ha, ma, la, ua) && OrientedBoxReach(cb, hb, mb, lb, ub));
    const bool within = la.x <= ub.x && lb.x <= ua.x && la.y <= ub.y && lb.y <= ua.y && la.z <= ub.z && lb.z <= ua.z;
    EXPECT_TRUE(within || TestBoxCollision(ca, ha, ma, cb, hb, mb) == 0) << "trial " << trial;
    const double gap = LargestGap(ca, ha, A, cb, hb, B);
    if (std::fabs(gap) < 1e-3) continue;
    ++checked;
    const int expected = gap < 0 ? 1 : 0;
    overlaps += expected;
    EXPECT_EQ(OrientedBoxesOverlap(ca, ha, A, cb, hb, B), expected) << "trial " << trial;
    EXPECT_EQ(TestBoxCollision(ca, ha, ma, cb, hb, mb), expected) << "trial " << trial;
  }
  EXPECT_GT(overlaps, 600);
  EXPECT_GT(checked - overlaps, 600);
}

}  // namespace
}  // namespace zv
