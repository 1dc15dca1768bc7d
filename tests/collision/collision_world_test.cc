#include "collision/collision_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "collision/collision_interface.h"
#include "collision/convex_shapes.h"
#include "collision/pair_tests.h"
#include "collision/proximity_pairs.h"
#include "tests/collision/collision_test_util.h"

namespace zv {
namespace {

struct Call {
  uint32_t client;
  CollisionKey first;
  CollisionKey second;
  bool has_data;
  CollisionData data;
};

std::vector<Call>& Calls() {
  static std::vector<Call> calls;
  return calls;
}

void Record(uint32_t client, CollisionKey first, CollisionKey second, const CollisionData* data) {
  Calls().push_back({client, first, second, data != nullptr, data ? *data : CollisionData{}});
}

std::array<float, 16> Translation(float x, float y, float z) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

std::array<float, 16> Scaled(float sx, float sy, float sz, float x, float y, float z) {
  return {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, x, y, z, 1};
}

class CollisionWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Calls().clear();
    world_.SetDefaultCollisionResponse(Record, CollisionResponse::kSimple, 42);
  }
  void TearDown() override {
    // Shapes belong to the caller; the world's objects go with the world.
    for (CollisionShape* shape : shapes_) world_.DeleteShape(shape);
  }

  template <class Shape>
  Shape* Keep(Shape* shape) {
    shapes_.push_back(shape);
    return shape;
  }
  void Place(CollisionKey key, CollisionShape* shape, const std::array<float, 16>& matrix) {
    world_.CreateCollisionObject(key, shape);
    world_.SetCollisionObjectMatrix(matrix);
  }
  void Move(CollisionKey key, const std::array<float, 16>& matrix) {
    world_.SelectCollisionObject(key);
    world_.SetCollisionObjectMatrix(matrix);
  }
  // A mesh of one triangle in the plane z = 0 around the origin.
  MeshShape* Triangle() {
    MeshShape* mesh = world_.BeginMeshShape();
    world_.SetMeshVertexBase(triangle_);
    const uint32_t indices[] = {0, 1, 2};
    world_.AddMeshPolygon(CollisionWorld::kPolygon, indices);
    world_.EndMeshShape();
    return Keep(mesh);
  }
  std::vector<std::pair<CollisionKey, CollisionKey>> CalledPairs() const {
    std::vector<std::pair<CollisionKey, CollisionKey>> pairs;
    for (const Call& call : Calls()) pairs.emplace_back(call.first, call.second);
    return pairs;
  }

  CollisionWorld world_;
  std::vector<CollisionShape*> shapes_;
  std::vector<Vector3> triangle_ = {{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}};
};

TEST_F(CollisionWorldTest, NothingIsTestedWithFewerThanTwoObjectsOrWithoutAResponse) {
  BoxShape* box = Keep(CreateBoxShape(1, 1, 1));
  Place(1, box, Translation(0, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  Place(2, box, Translation(0, 0, 0));
  world_.SetDefaultCollisionResponse(Record, CollisionResponse::kNone, 0);
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  world_.SetDefaultCollisionResponse(Record, 7, 0);
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(CollisionWorldTest, WithoutCachingEveryPairIsTestedInKeyOrderMeshFirst) {
  world_.DisableCollisionCaching();
  BoxShape* box = Keep(CreateBoxShape(4, 4, 4));
  MeshShape* mesh = Triangle();
  Place(5, box, Translation(0, 0, 0));
  Place(2, box, Translation(0.5, 0, 0));
  Place(9, mesh, Translation(0, 0, 0.5));
  EXPECT_EQ(world_.TestAllCollisions(), 3);
  const std::vector<std::pair<CollisionKey, CollisionKey>> expected = {{2, 5}, {9, 2}, {9, 5}};
  EXPECT_EQ(CalledPairs(), expected);
  for (const Call& call : Calls()) {
    EXPECT_EQ(call.client, 42u);
    EXPECT_FALSE(call.has_data);
  }
}

TEST_F(CollisionWorldTest, WithoutCachingSeparatedObjectsAreNotReported) {
  world_.DisableCollisionCaching();
  SphereShape* ball = Keep(CreateSphereShape(1));
  ConeShape* cone = Keep(CreateConeShape(1, 2));
  Place(1, ball, Translation(0, 0, 0));
  Place(2, cone, Translation(2.5, 0, 0));
  Place(3, ball, Translation(1.8, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 2);
  const std::vector<std::pair<CollisionKey, CollisionKey>> expected = {{1, 3}, {2, 3}};
  EXPECT_EQ(CalledPairs(), expected);
}

// Many objects, some touching exactly and some placed where no sweep can
// sort them: the pairs reported are those that meet, in key order.
TEST_F(CollisionWorldTest, WithoutCachingManyObjectsReportEveryMeetingPairInKeyOrder) {
  world_.DisableCollisionCaching();
  testing::Random random(31);
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  SphereShape* ball = Keep(CreateSphereShape(1));
  std::vector<CollisionKey> keys;
  for (int i = 0; i < 300; ++i) {
    const CollisionKey key = MakeCollisionKey(static_cast<uint32_t>(random.Int(1, 100000)), i % 3);
    if (world_.FindObject(key)) continue;
    keys.push_back(key);
    // Whole-number places make faces that touch exactly.
    const auto at = [&] { return static_cast<float>(random.Int(0, 12)) + (i % 2 ? 0.0f : 0.5f); };
    std::array<float, 16> matrix = Translation(at(), at(), at());
    if (i % 50 == 7) matrix = Translation(1e35f, 0, 0);
    if (i % 50 == 9) matrix[0] = std::numeric_limits<float>::quiet_NaN();
    if (i % 50 == 11) matrix = Scaled(1e31f, 1e31f, 1e31f, 0, 0, 0);
    Place(key, i % 2 ? static_cast<CollisionShape*>(box) : ball, matrix);
  }
  std::sort(keys.begin(), keys.end());
  std::vector<std::pair<CollisionKey, CollisionKey>> expected;
  for (size_t x = 1; x < keys.size(); ++x)
    for (size_t y = 0; y < x; ++y) {
      const auto [first, second] = OrderPair(const_cast<CollisionObject&>(*world_.FindObject(keys[y])),
                                             const_cast<CollisionObject&>(*world_.FindObject(keys[x])));
      Vector3 v;
      if (IntersectObjects(*first, *second, v)) expected.emplace_back(first->key(), second->key());
    }
  EXPECT_EQ(world_.TestAllCollisions(), static_cast<int>(expected.size()));
  EXPECT_EQ(CalledPairs(), expected);
  EXPECT_GT(expected.size(), 300u);
}

// Objects moved one at a time, some where no tree can hold them: the
// objects of one caller's number meet their neighbours as a test of every
// pair finds them, each pair once.
TEST_F(CollisionWorldTest, WithoutCachingTheObjectsOfSomeKeysMeetWhatEveryPairWouldFind) {
  world_.DisableCollisionCaching();
  testing::Random random(7);
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  SphereShape* ball = Keep(CreateSphereShape(1));
  auto place = [&](int i) {
    const auto at = [&] { return static_cast<float>(random.Int(0, 16)) + (i % 2 ? 0.0f : 0.5f); };
    std::array<float, 16> matrix = Translation(at(), at(), at());
    if (i % 40 == 7) matrix = Translation(1e35f, 0, 0);
    if (i % 40 == 11) matrix = Scaled(1e31f, 1e31f, 1e31f, 0, 0, 0);
    return matrix;
  };
  std::vector<CollisionKey> keys;
  for (uint32_t owner = 1; owner <= 100; ++owner)
    for (uint32_t part = 0; part < 3; ++part) {
      keys.push_back(MakeCollisionKey(owner, part));
      Place(keys.back(), part % 2 ? static_cast<CollisionShape*>(box) : ball, place(static_cast<int>(owner + part)));
    }
  // Made again under their keys, and others made and gone, many times over
  // before any test.
  for (int again = 0; again < 800; ++again) {
    const CollisionKey key = keys[static_cast<size_t>(random.Int(0, 299))];
    Place(key, CollisionKeyMeshNumber(key) % 2 ? static_cast<CollisionShape*>(box) : ball, place(again));
    Place(MakeCollisionKey(5000, static_cast<uint32_t>(again)), ball, place(again));
    world_.DeleteCollisionObject(MakeCollisionKey(5000, static_cast<uint32_t>(again)));
  }
  for (int move = 0; move < 400; ++move) {
    const uint32_t owner = static_cast<uint32_t>(random.Int(1, 100));
    const CollisionKey first = MakeCollisionKey(owner, 0), last = MakeCollisionKey(owner, UINT32_MAX);
    Move(MakeCollisionKey(owner, static_cast<uint32_t>(random.Int(0, 2))), place(move));
    std::vector<std::pair<CollisionKey, CollisionKey>> expected;
    for (const CollisionKey mine : keys) {
      if (mine < first || mine > last) continue;
      for (const CollisionKey other : keys) {
        if (other >= first && other <= last) continue;
        const auto [a, b] = OrderPair(const_cast<CollisionObject&>(*world_.FindObject(mine)),
                                      const_cast<CollisionObject&>(*world_.FindObject(other)));
        Vector3 v;
        if (IntersectObjects(*a, *b, v)) expected.emplace_back(a->key(), b->key());
      }
    }
    Calls().clear();
    ASSERT_EQ(world_.TestCollisionsOfKeys(first, last), static_cast<int>(expected.size())) << "move " << move;
    std::vector<std::pair<CollisionKey, CollisionKey>> called = CalledPairs();
    std::sort(called.begin(), called.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(called, expected) << "move " << move;
  }
}

TEST_F(CollisionWorldTest, CachingKeepsPairsOfTouchingBoxes) {
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  Place(1, box, Translation(0, 0, 0));
  // The faces meet at x = 1, once the margin is taken off both sides.
  Place(2, box, Translation(2.0f, 0.5f, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 1);
  EXPECT_EQ(world_.proximity_pairs().size(), 1u);
  EXPECT_EQ(world_.current_object()->key(), 2u);

  Move(2, Translation(5, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  EXPECT_EQ(world_.proximity_pairs().size(), 0u);

  Move(2, Translation(1, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 1);
  ASSERT_EQ(world_.proximity_pairs().size(), 1u);
}

TEST_F(CollisionWorldTest, CachedPairKeepsItsVectorUntilTheBoxesPart) {
  // The boxes overlap at a corner, the spheres do not: each test leaves a
  // separating vector in the pair.
  SphereShape* ball = Keep(CreateSphereShape(1));
  Place(1, ball, Translation(0, 0, 0));
  Place(2, ball, Translation(1.9f, 1.9f, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  const auto& entries = world_.proximity_pairs().entries();
  ASSERT_EQ(entries.size(), 1u);
  const Vector3 kept = entries.begin()->second.cached;
  EXPECT_GT(testing::Length(kept), 0);
  // An endpoint set to where it already is changes nothing.
  Move(1, Translation(0, 0, 0));
  world_.SelectCollisionObject(2);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(PointsEqual(entries.begin()->second.cached, kept));
  world_.SetCollisionObjectMatrix(Translation(9, 0, 0));
  world_.SelectCollisionObject(1);
  EXPECT_TRUE(entries.empty());
  Move(2, Translation(1.9f, 1.9f, 0));
  world_.SelectCollisionObject(1);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(testing::Length(entries.begin()->second.cached), 0);
}

TEST_F(CollisionWorldTest, DeletedObjectsLeaveEveryPairAndTheCurrentSlot) {
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  Place(1, box, Translation(0, 0, 0));
  Place(2, box, Translation(1, 0, 0));
  Place(3, box, Translation(0, 1, 0));
  world_.TestAllCollisions();
  EXPECT_EQ(world_.proximity_pairs().size(), 3u);
  world_.DeleteCollisionObject(3);
  EXPECT_EQ(world_.current_object(), nullptr);
  EXPECT_EQ(world_.proximity_pairs().size(), 1u);
  world_.SetCollisionObjectMatrix(Translation(100, 0, 0));  // no current object: nothing moves
  world_.DeleteCollisionObject(1);
  EXPECT_EQ(world_.proximity_pairs().size(), 0u);
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  world_.DeleteCollisionObject(77);  // a key not filed is ignored
  EXPECT_EQ(world_.object_count(), 1u);
}

TEST_F(CollisionWorldTest, ReusedKeyReplacesTheObjectAndItsPairs) {
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  SphereShape* ball = Keep(CreateSphereShape(0.5));
  Place(1, box, Translation(0, 0, 0));
  Place(2, box, Translation(1, 0, 0));
  world_.TestAllCollisions();
  ASSERT_EQ(world_.proximity_pairs().size(), 1u);
  Place(2, ball, Translation(10, 0, 0));
  EXPECT_EQ(world_.object_count(), 2u);
  EXPECT_EQ(world_.proximity_pairs().size(), 0u);
  EXPECT_EQ(&world_.FindObject(2)->shape(), ball);
  world_.SelectCollisionObject(1);
  world_.SelectCollisionObject(2);
  EXPECT_EQ(&world_.current_object()->shape(), ball);
  EXPECT_EQ(world_.TestAllCollisions(), 0);
}

TEST_F(CollisionWorldTest, SixtyFourBitKeysDoNotCollide) {
  world_.DisableCollisionCaching();
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  const CollisionKey a = MakeCollisionKey(7, 1), b = MakeCollisionKey(7, 2), c = MakeCollisionKey(8, 1);
  EXPECT_EQ(CollisionKeyObjectIndex(b), 7u);
  EXPECT_EQ(CollisionKeyMeshNumber(b), 2u);
  Place(a, box, Translation(0, 0, 0));
  Place(b, box, Translation(0, 0, 0));
  Place(c, box, Translation(0, 0, 0));
  Place(c | (CollisionKey{1} << 63), box, Translation(0, 0, 0));
  EXPECT_EQ(world_.object_count(), 4u);
  EXPECT_EQ(world_.TestAllCollisions(), 6);
  EXPECT_EQ(Calls().back().second, c | (CollisionKey{1} << 63));
}

TEST_F(CollisionWorldTest, CommonPointResponseGivesOnePointSeenFromEachObject) {
  world_.DisableCollisionCaching();
  world_.SetDefaultCollisionResponse(Record, CollisionResponse::kCommonPoint, 1);
  SphereShape* ball = Keep(CreateSphereShape(1));
  MeshShape* mesh = Triangle();
  Place(1, ball, Translation(0.2f, 0, 0.5f));
  Place(2, mesh, Translation(0, 0, 0));
  ASSERT_EQ(world_.TestAllCollisions(), 1);
  const Call& call = Calls()[0];
  EXPECT_EQ(call.first, 2u);
  ASSERT_TRUE(call.has_data);
  EXPECT_EQ(testing::Length(call.data.normal), 0);
  // point1 is in the mesh's frame, point2 in the sphere's.
  const Vector3 world1 = call.data.point1;
  const Vector3 world2 = call.data.point2 + Vector3{0.2, 0, 0.5};
  EXPECT_NEAR(testing::Length(world1 - world2), 0, 1e-6);
  EXPECT_LE(testing::Length(call.data.point2), 1 + 1e-9);
}

TEST_F(CollisionWorldTest, WitnessedResponseMeasuresThePreviousPlacements) {
  world_.DisableCollisionCaching();
  world_.SetDefaultCollisionResponse(Record, CollisionResponse::kWitnessed, 1);
  SphereShape* ball = Keep(CreateSphereShape(1));
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  Place(1, ball, Translation(5, 0, 0));
  Place(2, box, Translation(5.5f, 0, 0));
  ASSERT_EQ(world_.TestAllCollisions(), 1);
  // The previous placement is the one the object was made with (identity),
  // where the two overlap: the witness points coincide.
  ASSERT_TRUE(Calls()[0].has_data);
  EXPECT_NEAR(testing::Length(Calls()[0].data.normal), 0, 1e-9);
}

TEST_F(CollisionWorldTest, DegenerateShapesAndPlacementsMeetNothing) {
  world_.DisableCollisionCaching();
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  SphereShape* unsized = Keep(CreateSphereShape(NAN));
  Place(1, box, Translation(0, 0, 0));
  Place(2, unsized, Translation(0, 0, 0));
  Place(3, box, Scaled(0, 1, 1, 0.5f, 0, 0));
  Place(4, box, Scaled(NAN, 1, 1, 0, 0, 0));
  Place(5, box, Translation(INFINITY, 0, 0));
  MeshShape* empty = Keep(world_.BeginMeshShape());
  const uint32_t outside[] = {0, 1, 9};
  world_.SetMeshVertexBase(triangle_);
  world_.AddMeshPolygon(CollisionWorld::kPointSet, outside);
  world_.AddMeshPolygon(CollisionWorld::kPointSet, {});
  world_.EndMeshShape();
  Place(6, empty, Translation(0, 0, 0));
  MeshShape* baseless = Keep(world_.BeginMeshShape());
  const uint32_t first[] = {0, 1, 2};
  world_.AddMeshPolygon(CollisionWorld::kPolyhedron, first);
  world_.EndMeshShape();
  Place(7, baseless, Translation(0, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 0);
  for (uint32_t type : {2u, 3u}) {
    world_.SetDefaultCollisionResponse(Record, type, 0);
    EXPECT_EQ(world_.TestAllCollisions(), 0);
  }
  EXPECT_TRUE(Calls().empty());
  // With caching on, a box that is not finite becomes the empty box.
  CollisionWorld caching;
  caching.SetDefaultCollisionResponse(Record, CollisionResponse::kSimple, 0);
  caching.CreateCollisionObject(1, box);
  caching.CreateCollisionObject(2, box);
  caching.SetCollisionObjectMatrix(Scaled(NAN, 1, 1, 0, 0, 0));
  caching.CreateCollisionObject(3, empty);
  caching.CreateCollisionObject(4, box);
  caching.SetCollisionObjectMatrix(Translation(INFINITY, 0, 0));
  EXPECT_EQ(caching.TestAllCollisions(), 0);
  EXPECT_EQ(caching.proximity_pairs().size(), 0u);
}

// A convex shape of size zero is its one point: it meets what holds that
// point, under every response type, and nothing else.
TEST_F(CollisionWorldTest, ShapesOfSizeZeroAreTheirPoint) {
  world_.DisableCollisionCaching();
  BoxShape* box = Keep(CreateBoxShape(2, 2, 2));
  const std::array<ConvexShape*, 4> points = {Keep(CreateBoxShape(0, 0, 0)), Keep(CreateSphereShape(0)),
                                              Keep(CreateConeShape(0, 0)), Keep(CreateCylinderShape(0, 0))};
  struct Case {
    std::array<float, 3> at;
    bool meets;
  };
  const Case cases[] = {{{0, 0, 0}, true}, {{0.5f, -0.9f, 0.3f}, true}, {{1, 1, 1}, true}, {{1.5f, 0, 0}, false},
                        {{0, 0, -3}, false}};
  for (uint32_t type : {1u, 2u, 3u}) {
    for (ConvexShape* point : points) {
      for (const Case& c : cases) {
        CollisionWorld world;
        world.DisableCollisionCaching();
        world.SetDefaultCollisionResponse(Record, type, 0);
        world.CreateCollisionObject(1, box);
        world.CreateCollisionObject(2, point);
        world.SetCollisionObjectMatrix(Translation(c.at[0], c.at[1], c.at[2]));
        EXPECT_EQ(world.TestAllCollisions(), c.meets ? 1 : 0)
            << "type " << type << " at " << c.at[0] << ", " << c.at[1] << ", " << c.at[2];
      }
    }
  }
  // Two points meet only where they coincide.
  Place(1, points[0], Translation(3, 4, 5));
  Place(2, points[1], Translation(3, 4, 5));
  EXPECT_EQ(world_.TestAllCollisions(), 1);
  Move(2, Translation(3, 4, 5.01f));
  EXPECT_EQ(world_.TestAllCollisions(), 0);
}

TEST_F(CollisionWorldTest, VertexBaseSetLateStillReachesEarlierPieces) {
  world_.DisableCollisionCaching();
  std::vector<Vector3> far = {{100, 100, 100}, {101, 100, 100}, {100, 101, 100}};
  MeshShape* mesh = world_.BeginMeshShape();
  world_.SetMeshVertexBase(far);
  const uint32_t indices[] = {0, 1, 2};
  world_.AddMeshPolygon(CollisionWorld::kPointSet, indices);
  world_.SetMeshVertexBase(triangle_);
  world_.EndMeshShape();
  Keep(mesh);
  EXPECT_EQ(world_.pending_mesh(), nullptr);
  Place(1, mesh, Translation(0, 0, 0));
  Place(2, Keep(CreateSphereShape(0.5)), Translation(0, 0, 0));
  EXPECT_EQ(world_.TestAllCollisions(), 1);
}

TEST_F(CollisionWorldTest, DeletingAShapeTakesItsObjectsAndThePendingMesh) {
  BoxShape* box = CreateBoxShape(1, 1, 1);
  Place(1, box, Translation(0, 0, 0));
  Place(2, box, Translation(0, 0, 0));
  Place(3, Keep(CreateSphereShape(1)), Translation(0, 0, 0));
  world_.DeleteShape(box);
  EXPECT_EQ(world_.object_count(), 1u);
  EXPECT_EQ(world_.TestAllCollisions(), 0);

  // An object given another shape under its old key no longer belongs to the first.
  BoxShape* old_box = CreateBoxShape(1, 1, 1);
  Place(4, old_box, Translation(0, 0, 0));
  Place(4, Keep(CreateSphereShape(1)), Translation(0, 0, 0));
  world_.DeleteShape(old_box);
  EXPECT_EQ(world_.object_count(), 2u);
  EXPECT_EQ(world_.TestAllCollisions(), 1);

  world_.BeginMeshShape();
  const uint32_t indices[] = {0, 1, 2};
  world_.AddMeshPolygon(CollisionWorld::kPointSet, indices);
  world_.DeleteShape(world_.BeginMeshShape());
  EXPECT_EQ(world_.pending_mesh(), nullptr);
  world_.EndMeshShape();  // nothing pending: nothing happens
  world_.DeleteShape(nullptr);
}

// The engine's road through the shared world: caching off, one response,
// objects placed by matrix, all pairs tested.
TEST(CollisionInterface, SharedWorldServesTheFlatFunctions) {
  Calls().clear();
  DisableCollisionCaching();
  SetDefaultCollisionResponse(Record, CollisionResponse::kSimple, 0);
  CylinderShape* cylinder = CreateCylinderShape(1, 2);
  SphereShape* ball = CreateSphereShape(1);
  CreateCollisionObject(MakeCollisionKey(1, 0), cylinder);
  SetCollisionObjectMatrix(Translation(0, 0, 0));
  CreateCollisionObject(MakeCollisionKey(2, 0), ball);
  SetCollisionObjectMatrix(Translation(0, 1.9f, 0));
  EXPECT_EQ(TestAllCollisions(), 1);
  SelectCollisionObject(MakeCollisionKey(2, 0));
  SetCollisionObjectMatrix(Translation(0, 2.1f, 0));
  EXPECT_EQ(TestAllCollisions(), 0);
  DeleteCollisionObject(MakeCollisionKey(1, 0));
  DeleteCollisionObject(MakeCollisionKey(2, 0));
  DeleteShape(cylinder);
  DeleteShape(ball);
  EXPECT_EQ(SharedCollisionWorld().object_count(), 0u);
  EXPECT_EQ(Calls().size(), 1u);
}

}  // namespace
}  // namespace zv
