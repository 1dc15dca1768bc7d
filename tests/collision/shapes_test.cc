#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "collision/axis_box.h"
#include "collision/convex_shapes.h"
#include "collision/placement.h"
#include "collision/polytope_shapes.h"
#include "tests/collision/collision_test_util.h"

namespace zv {
namespace {

using testing::Length;
using testing::Random;

void ExpectVector(const Vector3& actual, const Vector3& expected, double tolerance = 1e-12) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(Placement, FromMatrixTakesTheColumnsOfTheUpperBlockAndTheLastRow) {
  std::array<float, 16> m = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
  Placement t;
  SetPlacementFromMatrix(t, m);
  EXPECT_EQ(t.flags, 7u);
  EXPECT_EQ(t.basis.m[0][0], 1);
  EXPECT_EQ(t.basis.m[0][1], 4);
  EXPECT_EQ(t.basis.m[0][2], 7);
  EXPECT_EQ(t.basis.m[2][1], 6);
  ExpectVector(t.origin, {10, 11, 12});
  // The same point as the row vector (p, 1) times the matrix.
  const Vector3 p{0.5, -2, 3};
  ExpectVector(Apply(t, p), {0.5 * 1 - 2 * 4 + 3 * 7 + 10, 0.5 * 2 - 2 * 5 + 3 * 8 + 11, 0.5 * 3 - 2 * 6 + 3 * 9 + 12});
}

TEST(Placement, InverseUndoesThePlacementWithOrWithoutScale) {
  Random random(3);
  for (uint32_t flags : {0u, 7u}) {
    Placement t = random.RigidPlacement(5);
    t.flags = flags;
    if (flags) {
      t.basis = MultiplyMatrix3(t.basis, MakeMatrix3(2, 0, 0, 0, 0.5, 0, 0, 0, 3));
    }
    const Placement inverse = InvertPlacement(t);
    EXPECT_EQ(inverse.flags, flags);
    const Vector3 p{1, -2, 0.25};
    ExpectVector(Apply(inverse, Apply(t, p)), p, 1e-12);
    const Placement self = RelativePlacement(t, t);
    ExpectVector(Apply(self, p), p, 1e-12);
    EXPECT_EQ(self.flags, flags);
  }
}

TEST(Placement, RelativePlacementMapsIntoTheFirstFrame) {
  Random random(4);
  Placement t1 = random.RigidPlacement(3), t2 = random.RigidPlacement(3);
  t1.basis = MultiplyMatrix3(t1.basis, MakeMatrix3(1.5, 0, 0, 0, 1, 0.2, 0, 0, 0.7));
  const Placement rel = RelativePlacement(t1, t2);
  const Vector3 p{0.3, 0.1, -1};
  ExpectVector(Apply(t1, Apply(rel, p)), Apply(t2, p), 1e-12);
}

TEST(Placement, SingularOrNonFiniteBasisIsNotUsable) {
  Placement t;
  EXPECT_TRUE(IsUsablePlacement(t));
  t.basis.m[1][1] = 0;
  EXPECT_FALSE(IsUsablePlacement(t));
  t.basis.m[1][1] = 1;
  t.origin.z = NAN;
  EXPECT_FALSE(IsUsablePlacement(t));
}

TEST(PointsEqual, ComparesExactlyAndTakesSignedZerosAsEqual) {
  EXPECT_FALSE(PointsEqual({1, 2, 3}, {1, 2, 4}));
  EXPECT_TRUE(PointsEqual({1, 2, 3}, {1, 2, 3}));
  EXPECT_TRUE(PointsEqual({0.0, 2, 3}, {-0.0, 2, 3}));
}

TEST(AxisBox, EmptyBoxTakesTheFirstPointOrBoxExactly) {
  AxisBox box = AxisBox::Empty();
  box.Include(Vector3{1, -2, 3});
  ExpectVector(box.centre, {1, -2, 3}, 0);
  ExpectVector(box.half_extent, {0, 0, 0}, 0);
  box.Include(Vector3{3, 0, 3});
  ExpectVector(box.Lower(), {1, -2, 3}, 0);
  ExpectVector(box.Upper(), {3, 0, 3}, 0);
  AxisBox other = AxisBox::Empty();
  other.Include(box);
  ExpectVector(other.centre, box.centre, 0);
  ExpectVector(other.half_extent, box.half_extent, 0);
}

TEST(ShapeFactories, StoreHalfSizesAndTheConeSine) {
  std::unique_ptr<BoxShape> box(CreateBoxShape(2, 4, 6));
  ExpectVector(box->half_extent(), {1, 2, 3});
  std::unique_ptr<ConeShape> cone(CreateConeShape(1.0, 2.0));
  EXPECT_EQ(cone->half_height(), 1.0);
  EXPECT_DOUBLE_EQ(cone->sine(), 1.0 / std::sqrt(5.0));
  std::unique_ptr<CylinderShape> cylinder(CreateCylinderShape(0.5, 3));
  EXPECT_EQ(cylinder->half_height(), 1.5);
  // Negative sizes are taken by magnitude; a size that is all zero is still a
  // shape (a point), one that is not finite is none.
  std::unique_ptr<SphereShape> sphere(CreateSphereShape(-2));
  EXPECT_EQ(sphere->radius(), 2);
  EXPECT_FALSE(sphere->IsDegenerate());
  std::unique_ptr<BoxShape> flat(CreateBoxShape(-2, 0, 1));
  ExpectVector(flat->half_extent(), {1, 0, 0.5});
  EXPECT_FALSE(flat->IsDegenerate());
  EXPECT_FALSE(std::unique_ptr<BoxShape>(CreateBoxShape(0, 0, 0))->IsDegenerate());
  EXPECT_FALSE(std::unique_ptr<SphereShape>(CreateSphereShape(0))->IsDegenerate());
  EXPECT_FALSE(std::unique_ptr<ConeShape>(CreateConeShape(0, 0))->IsDegenerate());
  EXPECT_TRUE(std::unique_ptr<BoxShape>(CreateBoxShape(1, INFINITY, 1))->IsDegenerate());
  EXPECT_TRUE(std::unique_ptr<CylinderShape>(CreateCylinderShape(NAN, 1))->IsDegenerate());
  EXPECT_EQ(std::unique_ptr<ConeShape>(CreateConeShape(0, 0))->sine(), 0.0);
}

TEST(SupportMapping, PrimitivesAnswerTheirClosedForms) {
  BoxShape box({1, 2, 3});
  ExpectVector(box.Support({0, 0, 0}), {1, 2, 3});
  ExpectVector(box.Support({-1, 0, 2}), {-1, 2, 3});

  ConeShape cone(1.0, 1.0);  // full height 2, sine 1 / sqrt(5)
  ExpectVector(cone.Support({0, 1, 0}), {0, 1, 0});
  ExpectVector(cone.Support({0, -1, 0}), {0, -1, 0});
  // Exactly along the side's normal the base rim wins over the apex.
  ConeShape wide(3.0, 2.0);  // sine 3 / 5
  ExpectVector(wide.Support({4, 3, 0}), {3, -2, 0});
  ExpectVector(cone.Support({3, 0, 4}), {0.6, -1, 0.8});

  CylinderShape cylinder(2.0, 0.5);
  ExpectVector(cylinder.Support({0, 0, 0}), {0, 0.5, 0});
  ExpectVector(cylinder.Support({0, -1, 0}), {0, -0.5, 0});
  ExpectVector(cylinder.Support({0, -1, -3}), {0, -0.5, -2});

  SphereShape sphere(2.0);
  ExpectVector(sphere.Support({1e-11, 0, 0}), {0, 0, 0});
  ExpectVector(sphere.Support({0, 3, 4}), {0, 1.2, 1.6});
}

// Every support point lies on the shape and is at least as far along the
// direction as any sampled point of the shape.
TEST(SupportMapping, NoSampledPointLiesFartherAlongTheDirection) {
  Random random(11);
  BoxShape box({0.5, 1, 1.5});
  ConeShape cone(0.8, 1.2);
  CylinderShape cylinder(0.7, 0.4);
  SphereShape sphere(1.3);
  const testing::Primitive shapes[] = {{testing::Primitive::kBox, &box, {0.5, 1, 1.5}},
                                       {testing::Primitive::kCone, &cone, {0.8, 1.2, 0}},
                                       {testing::Primitive::kCylinder, &cylinder, {0.7, 0.4, 0}},
                                       {testing::Primitive::kSphere, &sphere, {1.3, 0, 0}}};
  std::vector<Vector3> samples;
  for (int i = 0; i < 4000; ++i) samples.push_back(random.InCube(2.0));
  for (const auto& shape : shapes) {
    for (int trial = 0; trial < 50; ++trial) {
      const Vector3 d = random.InCube(1.0);
      const Vector3 s = shape.shape->Support(d);
      EXPECT_LE(shape.Distance(s), 1e-12);
      for (const Vector3& p : samples) {
        if (shape.Distance(p) == 0) {
          EXPECT_LE(Dot(p, d), Dot(s, d) + 1e-12);
        }
      }
    }
  }
}

TEST(BoundingBox, ConvexBoxAddsTheToleranceOnEverySide) {
  SphereShape sphere(1.0);
  Placement t;
  const AxisBox box = sphere.Bounds(t);
  ExpectVector(box.centre, {0, 0, 0}, 1e-15);
  ExpectVector(box.half_extent, {1 + 1e-10, 1 + 1e-10, 1 + 1e-10}, 1e-15);
}

TEST(BoundingBox, ConvexBoxIsTheTightWorldBoxOfTheShape) {
  Random random(12);
  BoxShape shape({1, 2, 0.5});
  for (int trial = 0; trial < 20; ++trial) {
    const Placement t = random.RigidPlacement(3);
    const AxisBox box = shape.Bounds(t);
    Vector3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (int corner = 0; corner < 8; ++corner) {
      const Vector3 c = Apply(t, {corner & 1 ? 1.0 : -1.0, corner & 2 ? 2.0 : -2.0, corner & 4 ? 0.5 : -0.5});
      for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], c[i]);
        hi[i] = std::max(hi[i], c[i]);
      }
    }
    ExpectVector(box.Lower(), lo - Vector3{1e-10, 1e-10, 1e-10}, 1e-12);
    ExpectVector(box.Upper(), hi + Vector3{1e-10, 1e-10, 1e-10}, 1e-12);
  }
}

TEST(Polytopes, PointSetPrefersTheEarliestOfEqualVertices) {
  const std::vector<Vector3> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 0, 5}};
  const Vector3* base = vertices.data();
  const uint32_t indices[] = {0, 1, 2};
  PointSetShape points(&base, indices);
  ExpectVector(points.Support({1, 0, 0}), {1, 0, 0});
  PolyhedronShape hull(&base, indices);
  ExpectVector(hull.Support({0, 0, 1}), {1, 0, 5});
}

TEST(Polytopes, PolygonClimbsAlongTheRingFromItsCursor) {
  const std::vector<Vector3> vertices = {{1, 1, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
  const Vector3* base = vertices.data();
  const uint32_t indices[] = {0, 1, 2, 3};
  PolygonShape ring(&base, indices);
  ExpectVector(ring.Support({-1, -0.1, 0}), {-1, -1, 0});
  EXPECT_EQ(ring.cursor(), 2);
  ExpectVector(ring.Support({-1, -0.1, 0}), {-1, -1, 0});
  EXPECT_EQ(ring.cursor(), 2);
  // Backwards when the next vertex does not beat the cursor's.
  ExpectVector(ring.Support({0.1, 1, 0}), {1, 1, 0});
  EXPECT_EQ(ring.cursor(), 0);
}

TEST(Polytopes, PiecesFollowALaterVertexBase) {
  std::vector<Vector3> first = {{0, 0, 0}, {1, 0, 0}};
  std::vector<Vector3> second = {{0, 0, 0}, {7, 0, 0}};
  const Vector3* base = first.data();
  const uint32_t indices[] = {0, 1};
  PointSetShape points(&base, indices);
  ExpectVector(points.Support({1, 0, 0}), {1, 0, 0});
  base = second.data();
  ExpectVector(points.Support({1, 0, 0}), {7, 0, 0});
}

}  // namespace
}  // namespace zv
