#include "collision/solver.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "collision/convex_shapes.h"
#include "collision/polytope_shapes.h"
#include "tests/collision/collision_test_util.h"

namespace zv {
namespace {

using testing::Length;
using testing::Primitive;
using testing::Random;
using testing::WorldDistance;

Placement At(double x, double y, double z) {
  Placement t;
  t.origin = {x, y, z};
  return t;
}

TEST(ConvexSolver, SeparatedSpheresGiveClosestPointsOnTheCentreLine) {
  SphereShape a(1.0), b(1.0);
  const Placement ta = At(0, 0, 0), tb = At(3, 0, 0);
  Vector3 v;
  EXPECT_FALSE(ConvexIntersect(a, b, RelativePlacement(ta, tb), v));
  v = {};
  EXPECT_FALSE(ConvexIntersectPlaced(a, b, ta, tb, v));
  Vector3 pa, pb;
  ConvexClosestPoints(a, b, ta, tb, pa, pb);
  EXPECT_NEAR(pa.x, 1.0, 1e-6);
  EXPECT_NEAR(pb.x, -1.0, 1e-6);
  EXPECT_NEAR(Length({pa.y, pa.z, pb.y}) + std::fabs(pb.z), 0.0, 1e-6);
}

TEST(ConvexSolver, CoincidentSpheresMeetAtOneWorldPoint) {
  SphereShape a(1.0), b(2.0);
  const Placement t = At(1, 2, 3);
  Vector3 v;
  EXPECT_TRUE(ConvexIntersect(a, b, RelativePlacement(t, t), v));
  Vector3 pa, pb;
  v = {};
  ASSERT_TRUE(ConvexCommonPointPlaced(a, b, t, t, v, pa, pb));
  EXPECT_NEAR(Length(Apply(t, pa) - Apply(t, pb)), 0.0, 1e-9);
  // The first points already coincide; the answer is finite, not 0/0.
  ConvexClosestPoints(a, b, t, t, pa, pb);
  EXPECT_TRUE(IsFinite(pa) && IsFinite(pb));
  EXPECT_NEAR(Length(pa - pb), 0.0, 1e-9);
}

TEST(ConvexSolver, ZeroSearchVectorStartsFromThePositiveCorner) {
  BoxShape a({1, 1, 1}), b({1, 1, 1});
  Vector3 v;
  EXPECT_TRUE(ConvexIntersect(a, b, At(1.5, 0.5, 0), v));
  v = {};
  EXPECT_FALSE(ConvexIntersect(a, b, At(2.5, 0, 0), v));
}

// A pair that met leaves a vanishing search vector behind; starting the next
// test from it must not part a sphere whose centre lies outside the other shape.
TEST(ConvexSolver, VanishingSearchVectorDoesNotPartOverlappingShapes) {
  SphereShape a(1.0);
  BoxShape b({1, 1, 1});
  const Placement ta = At(1.6, 0.3, 0.1), tb = At(0, 0, 0);
  for (const Vector3& start : {Vector3{1e-13, 0, 0}, Vector3{1e-16, 1e-17, 0}}) {
    Vector3 v = start;
    EXPECT_TRUE(ConvexIntersectPlaced(a, b, ta, tb, v));
    v = start;
    EXPECT_TRUE(ConvexIntersect(a, b, RelativePlacement(ta, tb), v));
  }
}

TEST(ConvexSolver, BoxesInFaceContactAreNotSeparated) {
  BoxShape a({1, 1, 1}), b({1, 1, 1});
  Vector3 v{1, 0, 0};
  EXPECT_TRUE(ConvexIntersectPlaced(a, b, At(0, 0, 0), At(2, 0, 0), v));
}

TEST(ConvexSolver, NonFiniteInputNeverReportsAHit) {
  SphereShape a(1.0), b(1.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Vector3 v{nan, nan, nan};
  EXPECT_TRUE(ConvexIntersect(a, b, At(0.5, 0, 0), v)) << "a poisoned search vector is replaced";
  Placement bad = At(nan, 0, 0);
  v = {};
  EXPECT_FALSE(ConvexIntersect(a, b, bad, v));
  v = {};
  EXPECT_FALSE(ConvexIntersectPlaced(a, b, At(0, 0, 0), bad, v));
  Vector3 pa, pb;
  v = {};
  EXPECT_FALSE(ConvexCommonPointPlaced(a, b, bad, At(0, 0, 0), v, pa, pb));
  Placement inf = At(0, 0, 0);
  inf.basis.m[0][0] = std::numeric_limits<double>::infinity();
  v = {};
  EXPECT_FALSE(ConvexIntersectPlaced(a, b, inf, At(0, 0, 0), v));
}

// Sphere, box, cylinder and cone at random rigid placements: intersection,
// common point and closest points agree with the closed-form distances.
class RandomPrimitivePairs : public ::testing::Test {
 protected:
  Primitive Make(int kind) {
    switch (kind) {
      case 0: {
        Vector3 h{random_.Uniform(0.2, 1.5), random_.Uniform(0.2, 1.5), random_.Uniform(0.2, 1.5)};
        return Keep({Primitive::kBox, new BoxShape(h), h});
      }
      case 1: {
        double r = random_.Uniform(0.2, 1.5);
        return Keep({Primitive::kSphere, new SphereShape(r), {r, 0, 0}});
      }
      case 2: {
        double r = random_.Uniform(0.2, 1.5), h = random_.Uniform(0.2, 1.5);
        return Keep({Primitive::kCylinder, new CylinderShape(r, h), {r, h, 0}});
      }
      default: {
        double r = random_.Uniform(0.2, 1.5), h = random_.Uniform(0.2, 1.5);
        return Keep({Primitive::kCone, new ConeShape(r, h), {r, h, 0}});
      }
    }
  }
  Primitive Keep(Primitive p) {
    owned_.emplace_back(p.shape);
    return p;
  }

  Random random_{20240611};
  std::vector<std::unique_ptr<ConvexShape>> owned_;
};

TEST_F(RandomPrimitivePairs, SphereAgainstEveryPrimitiveMatchesTheClosedForm) {
  int hits = 0, misses = 0;
  for (int trial = 0; trial < 800; ++trial) {
    const Primitive sphere = Make(1);
    const Primitive other = Make(trial % 4);
    const Placement ts = random_.RigidPlacement(2.0), to = random_.RigidPlacement(2.0);
    const double r = sphere.half.x;
    const double gap = WorldDistance(other, to, ts.origin) - r;  // < 0: overlap, unless the centre is inside
    const double centre_depth = WorldDistance(other, to, ts.origin);
    if (std::fabs(gap) < 1e-6) continue;
    const bool expected = centre_depth <= r;

    Vector3 v;
    EXPECT_EQ(ConvexIntersect(*sphere.shape, *other.shape, RelativePlacement(ts, to), v), expected);
    v = {};
    EXPECT_EQ(ConvexIntersectPlaced(*sphere.shape, *other.shape, ts, to, v), expected);

    Vector3 pa, pb;
    ConvexClosestPoints(*sphere.shape, *other.shape, ts, to, pa, pb);
    const double found = Length(Apply(ts, pa) - Apply(to, pb));
    if (expected) {
      EXPECT_NEAR(found, 0.0, 1e-6);
      v = {};
      ASSERT_TRUE(ConvexCommonPointPlaced(*sphere.shape, *other.shape, ts, to, v, pa, pb));
      EXPECT_LE(Length(pa), r + 1e-9);
      EXPECT_LE(other.Distance(pb), 1e-9);
      EXPECT_NEAR(Length(Apply(ts, pa) - Apply(to, pb)), 0.0, 1e-9);
      ++hits;
    } else {
      EXPECT_NEAR(found, gap, 1e-5 * (1.0 + gap));
      EXPECT_NEAR(Length(pa), r, 1e-5 * r);
      EXPECT_LE(other.Distance(pb), 1e-9);
      ++misses;
    }
  }
  EXPECT_GT(hits, 100);
  EXPECT_GT(misses, 100);
}

// The signed separation of two boxes by an exhaustive separating-axis search:
// positive when apart, negative when overlapping.
double BoxSeparation(const Vector3& ha, const Placement& ta, const Vector3& hb, const Placement& tb) {
  std::vector<Vector3> axes;
  for (int i = 0; i < 3; ++i) {
    axes.push_back({ta.basis.m[0][i], ta.basis.m[1][i], ta.basis.m[2][i]});
    axes.push_back({tb.basis.m[0][i], tb.basis.m[1][i], tb.basis.m[2][i]});
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      axes.push_back(testing::Cross(axes[2 * i], axes[2 * j + 1]));
    }
  }
  double best = -1e300;
  for (const Vector3& raw : axes) {
    const double len = Length(raw);
    if (len < 1e-9) continue;
    const Vector3 axis = raw * (1.0 / len);
    double ra = 0, rb = 0;
    for (int i = 0; i < 3; ++i) {
      ra += ha[i] * std::fabs(DotColumn(ta.basis, i, axis));
      rb += hb[i] * std::fabs(DotColumn(tb.basis, i, axis));
    }
    best = std::max(best, std::fabs(Dot(tb.origin - ta.origin, axis)) - ra - rb);
  }
  return best;
}

TEST_F(RandomPrimitivePairs, BoxAgainstBoxMatchesTheSeparatingAxisSearch) {
  int hits = 0;
  for (int trial = 0; trial < 800; ++trial) {
    const Primitive a = Make(0), b = Make(0);
    const Placement ta = random_.RigidPlacement(2.0), tb = random_.RigidPlacement(2.0);
    const double separation = BoxSeparation(a.half, ta, b.half, tb);
    if (std::fabs(separation) < 1e-6) continue;
    const bool expected = separation < 0;
    hits += expected;
    Vector3 v;
    EXPECT_EQ(ConvexIntersect(*a.shape, *b.shape, RelativePlacement(ta, tb), v), expected);
    v = {};
    EXPECT_EQ(ConvexIntersectPlaced(*a.shape, *b.shape, ta, tb, v), expected);
    Vector3 pa, pb;
    ConvexClosestPoints(*a.shape, *b.shape, ta, tb, pa, pb);
    const double found = Length(Apply(ta, pa) - Apply(tb, pb));
    // Box distances have no simple closed form, but the closest pair is fixed
    // under projection: each point is the nearest point of the other box.
    EXPECT_LE(a.Distance(pa), 1e-9);
    EXPECT_LE(b.Distance(pb), 1e-9);
    if (!expected) {
      EXPECT_NEAR(WorldDistance(b, tb, Apply(ta, pa)), found, 1e-6 * (1 + found));
      EXPECT_NEAR(WorldDistance(a, ta, Apply(tb, pb)), found, 1e-6 * (1 + found));
      EXPECT_GE(found, separation - 1e-9) << "no axis separates more than the distance";
    } else {
      EXPECT_NEAR(found, 0.0, 1e-6);
    }
  }
  EXPECT_GT(hits, 100);
}

// Every pairing of the four primitives: either the common point lies in both
// shapes, or the closest points are apart and each is the nearest point of the
// other shape.
TEST_F(RandomPrimitivePairs, AnyPairIsEitherACommonPointOrAVerifiedGap) {
  int hits = 0, misses = 0;
  for (int trial = 0; trial < 1600; ++trial) {
    const Primitive a = Make(trial % 4), b = Make((trial / 4) % 4);
    const Placement ta = random_.RigidPlacement(1.5), tb = random_.RigidPlacement(1.5);
    Vector3 pa, pb;
    ConvexClosestPoints(*a.shape, *b.shape, ta, tb, pa, pb);
    const Vector3 wa = Apply(ta, pa), wb = Apply(tb, pb);
    const double gap = Length(wa - wb);
    if (gap > 1e-4) {
      ++misses;
      EXPECT_NEAR(WorldDistance(b, tb, wa), gap, 2e-5 * (1 + gap));
      EXPECT_NEAR(WorldDistance(a, ta, wb), gap, 2e-5 * (1 + gap));
      Vector3 v;
      EXPECT_FALSE(ConvexIntersect(*a.shape, *b.shape, RelativePlacement(ta, tb), v));
      v = {};
      EXPECT_FALSE(ConvexCommonPointPlaced(*a.shape, *b.shape, ta, tb, v, pa, pb));
    } else if (gap < 1e-9) {
      Vector3 v;
      if (!ConvexCommonPoint(*a.shape, *b.shape, RelativePlacement(ta, tb), v, pa, pb)) {
        // Only shapes in grazing contact may escape; they are at most touching.
        EXPECT_LT(WorldDistance(b, tb, Apply(ta, pa)), 1e-6);
        continue;
      }
      ++hits;
      EXPECT_LE(a.Distance(pa), 1e-8);
      EXPECT_LE(b.Distance(pb), 1e-8);
      EXPECT_NEAR(Length(pa - Apply(RelativePlacement(ta, tb), pb)), 0.0, 1e-8);
    }
  }
  EXPECT_GT(hits, 200);
  EXPECT_GT(misses, 200);
}

// Flat faces a hair apart make nearly flat simplices that rounding can pass
// off as enclosing the origin. Whatever the hit tests answer, the closest
// points keep the true gap and a common point is one point in the world.
TEST(ConvexSolver, NearContactGivesTheTrueGapAndMeetingCommonPoints) {
  Random random(99);
  const double gaps[] = {1e-5, 1e-7, -1e-6};
  double worst_gap_error = 0.0, worst_common_apart = 0.0;
  for (int trial = 0; trial < 3000; ++trial) {
    const double gap = gaps[trial % 3];
    const Vector3 ha{random.Uniform(0.2, 1.5), random.Uniform(0.2, 1.5), random.Uniform(0.2, 1.5)};
    const Vector3 hb{random.Uniform(0.2, 1.5), random.Uniform(0.2, 1.5), random.Uniform(0.2, 1.5)};
    BoxShape a(ha), b(hb);
    // b turned about a's y axis and resting on a's top face.
    const Placement ta = random.RigidPlacement(2.0);
    const double turn = random.Uniform(0.0, 6.28);
    Placement tb = ta;
    tb.basis = MultiplyMatrix3(ta.basis, MakeMatrix3(std::cos(turn), 0, std::sin(turn), 0, 1, 0, -std::sin(turn),
                                                     0, std::cos(turn)));
    tb.origin = Apply(ta, {random.Uniform(-0.8, 0.8) * ha.x, ha.y + hb.y + gap, random.Uniform(-0.8, 0.8) * ha.z});

    Vector3 pa, pb;
    ConvexClosestPoints(a, b, ta, tb, pa, pb);
    worst_gap_error = std::max(worst_gap_error, std::fabs(Length(Apply(ta, pa) - Apply(tb, pb)) - std::max(gap, 0.0)));
    Vector3 v;
    if (ConvexCommonPointPlaced(a, b, ta, tb, v, pa, pb))
      worst_common_apart =
          std::max(worst_common_apart, Length(Apply(ta, pa) - Apply(tb, pb)) - std::max(gap, 0.0));
  }
  EXPECT_LT(worst_gap_error, 1e-9);
  EXPECT_LT(worst_common_apart, 1e-9);

  // Two triangles lying flat, one a gap above the other.
  double worst_triangles = 0.0;
  for (int trial = 0; trial < 3000; ++trial) {
    const double gap = gaps[trial % 2];
    const double size = random.Uniform(1.0, 10.0);
    std::vector<Vector3> verts{{-size, 0, -size}, {size, 0, -size}, {0, 0, size}};
    for (int i = 0; i < 3; ++i)
      verts.push_back({random.Uniform(-0.3, 0.3), gap + (i == 0 ? 0.0 : random.Uniform(0.0, 0.1)),
                       random.Uniform(-0.3, 0.3)});
    const Vector3* base = verts.data();
    PointSetShape a(&base, std::vector<uint32_t>{0, 1, 2}), b(&base, std::vector<uint32_t>{3, 4, 5});
    const Placement t = random.RigidPlacement(2.0);
    Vector3 pa, pb;
    ConvexClosestPoints(a, b, t, t, pa, pb);
    worst_triangles = std::max(worst_triangles, std::fabs(Length(Apply(t, pa) - Apply(t, pb)) - gap));
  }
  EXPECT_LT(worst_triangles, 1e-9);
}

TEST(ConvexSolver, ScaledPlacementUsesTheFullInverse) {
  BoxShape a({1, 1, 1}), b({1, 1, 1});
  Placement ta = At(0, 0, 0), tb = At(2.5, 0, 0);
  ta.basis.m[0][0] = 2.0;  // a spans x in [-2, 2], b in [1.5, 3.5]
  ta.flags = Placement::kFromMatrix;
  Vector3 v;
  EXPECT_TRUE(ConvexIntersect(a, b, RelativePlacement(ta, tb), v));
  v = {};
  EXPECT_TRUE(ConvexIntersectPlaced(a, b, ta, tb, v));
  tb.origin.x = 3.1;
  ta.basis.m[0][0] = 1.0;
  v = {};
  EXPECT_FALSE(ConvexIntersectPlaced(a, b, ta, tb, v));
}

// Triangles and tetrahedra over one vertex array, against a brute-force
// search over points sampled on their faces.
class RandomPolytopes : public ::testing::Test {
 protected:
  static constexpr int kSteps = 12;

  // Points on the triangle (i, j, k) on a barycentric grid.
  void SampleFace(const std::vector<Vector3>& v, uint32_t i, uint32_t j, uint32_t k, std::vector<Vector3>& out) {
    for (int s = 0; s <= kSteps; ++s) {
      for (int t = 0; s + t <= kSteps; ++t) {
        const double a = double(s) / kSteps, b = double(t) / kSteps;
        out.push_back(v[i] * a + v[j] * b + v[k] * (1 - a - b));
      }
    }
  }
  std::vector<Vector3> Sample(const std::vector<Vector3>& v, const std::vector<uint32_t>& idx) {
    std::vector<Vector3> out;
    if (idx.size() == 3) {
      SampleFace(v, idx[0], idx[1], idx[2], out);
    } else {
      SampleFace(v, idx[0], idx[1], idx[2], out);
      SampleFace(v, idx[0], idx[1], idx[3], out);
      SampleFace(v, idx[0], idx[2], idx[3], out);
      SampleFace(v, idx[1], idx[2], idx[3], out);
    }
    return out;
  }
  // Half the longest edge over the grid: no surface point lies farther than
  // this from a sample.
  double Spacing(const std::vector<Vector3>& v, const std::vector<uint32_t>& idx) {
    double longest = 0;
    for (uint32_t i : idx) {
      for (uint32_t j : idx) longest = std::max(longest, Length(v[i] - v[j]));
    }
    return longest / kSteps;
  }

  Random random_{777};
};

TEST_F(RandomPolytopes, DistanceAndIntersectionMatchSampledSurfaces) {
  int hits = 0, misses = 0;
  for (int trial = 0; trial < 120; ++trial) {
    std::vector<Vector3> verts;
    for (int i = 0; i < 8; ++i) verts.push_back(random_.InCube(1.0));
    const Vector3* base = verts.data();
    const std::vector<uint32_t> ia = trial % 2 ? std::vector<uint32_t>{0, 1, 2} : std::vector<uint32_t>{0, 1, 2, 3};
    const std::vector<uint32_t> ib = trial % 3 ? std::vector<uint32_t>{4, 5, 6, 7} : std::vector<uint32_t>{4, 5, 6};
    PointSetShape a(&base, ia);
    PolyhedronShape b(&base, ib);
    const Placement ta = random_.RigidPlacement(0.7), tb = random_.RigidPlacement(0.7);

    std::vector<Vector3> sa = Sample(verts, ia), sb = Sample(verts, ib);
    for (Vector3& p : sa) p = Apply(ta, p);
    for (Vector3& q : sb) q = Apply(tb, q);
    double brute = 1e300;
    for (const Vector3& p : sa) {
      for (const Vector3& q : sb) brute = std::min(brute, LengthSquared(p - q));
    }
    brute = std::sqrt(brute);
    const double slack = Spacing(verts, ia) + Spacing(verts, ib);

    Vector3 pa, pb;
    ConvexClosestPoints(a, b, ta, tb, pa, pb);
    const double found = Length(Apply(ta, pa) - Apply(tb, pb));
    EXPECT_LE(found, brute + 1e-9);
    EXPECT_GE(found, brute - slack);

    Vector3 v;
    const bool meets = ConvexIntersect(a, b, RelativePlacement(ta, tb), v);
    if (brute > slack + 1e-6) {
      EXPECT_FALSE(meets);
      ++misses;
    }
    if (meets) {
      ++hits;
      EXPECT_NEAR(found, 0.0, 1e-6);
      EXPECT_LE(brute, slack + 1e-9);
    } else if (found > 1e-6) {
      v = {};
      EXPECT_FALSE(ConvexIntersectPlaced(a, b, ta, tb, v));
    }
  }
  EXPECT_GT(hits, 10);
  EXPECT_GT(misses, 30);
}

}  // namespace
}  // namespace zv
