// The collision refresh over the collision library: objects of every shape
// kind placed and tested in pairs, hits noted in both records, and objects
// that go or are locked out of the test.
#include "engine3d/scene/collision_refresh.h"

#include <gtest/gtest.h>

#include "collision/collision_interface.h"
#include "engine3d/engine.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

// Collision kinds: sized by the program, or made from the mesh.
constexpr int32_t kBox = 1, kSphere = 2, kCylinder = 4, kCone = 5, kTriangles = 99;

class ObjectCollisions : public ::testing::Test {
 protected:
  ObjectCollisions() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
  }
  ~ObjectCollisions() override { engine.ReleaseAll(); }

  // Object `number`, a model of a cube of size 10 whose meshes file shapes
  // of the kind.
  int32_t Make(int32_t number, int32_t kind, float a = 5, float b = 10, float c = 10) {
    const int32_t mesh = engine.pools.AllocMesh(vm);
    MakeCubeMesh(engine.pools.meshes[mesh], 10);
    const int32_t index = AllocObjectRecord(engine);
    engine.pools.object_ids.Set(number, index);
    engine.pools.objects[index].number = number;
    EXPECT_EQ(CreateObjectMeshWrapper(engine, index, mesh), 1);
    SetUpObject(engine, index, false);
    engine.pools.FreeMesh(mesh);
    ObjectRecord& o = engine.pools.objects[index];
    o.collision_kind = kind;
    o.model->BuildModelCollision(index, kind, a, b, c);
    engine.transforms_changed = 1;
    return index;
  }
  void Place(int32_t index, float x, float y, float z) {
    engine.Sprites()[engine.pools.objects[index].render_record].position = {x, y, z};
    RebuildObjectTransform(engine, index);
    engine.transforms_changed = 1;
  }
  bool Hit(int32_t a, int32_t b) {
    RefreshObjectCollisions(engine);
    return ObjectsHit(engine, a, b);
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
};

TEST_F(ObjectCollisions, ObjectsOfEveryShapeKindHitWhenTheyMeetAndNotWhenApart) {
  struct Case {
    int32_t kind_a, kind_b;
    float meet, apart;  // distances along x
  };
  // Spheres of radius 5, boxes 5 wide, the meshes of the cubes 10 wide,
  // cylinders and cones of radius 5 and height 10.
  const Case cases[] = {
      {kSphere, kSphere, 9.9f, 10.1f},       {kBox, kSphere, 7.4f, 7.6f},
      {kCylinder, kCone, 9.9f, 10.1f},       {kTriangles, kSphere, 9.9f, 10.1f},
      {kTriangles, kTriangles, 9.9f, 10.1f}, {52, 51, 9.9f, 15.0f},
  };
  int32_t number = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind_a << " against " << c.kind_b);
    const int32_t a = Make(number++, c.kind_a), b = Make(number++, c.kind_b);
    Place(b, c.meet, 0, 0);
    EXPECT_TRUE(Hit(a, b));
    EXPECT_EQ(engine.pools.objects[a].last_hit, b);
    EXPECT_EQ(engine.pools.objects[b].last_hit, a);
    Place(b, c.apart, 0, 0);
    EXPECT_FALSE(Hit(a, b));
    DeleteObject(engine, a, engine.pools.objects[a].number);
    DeleteObject(engine, b, engine.pools.objects[b].number);
  }
}

TEST_F(ObjectCollisions, ShapesTurnAndScaleWithTheirObjects) {
  const int32_t a = Make(1, kBox, 40, 2, 2), b = Make(2, kSphere, 1);
  Place(b, 0, 15, 0);
  EXPECT_FALSE(Hit(a, b));
  engine.pools.objects[a].angles = Vector3f{0, 0, 90};
  RebuildObjectTransform(engine, a);
  engine.transforms_changed = 1;
  EXPECT_TRUE(Hit(a, b));  // the long box now stands upright
  engine.pools.objects[a].angles = Vector3f{};
  engine.pools.objects[b].scale = Vector3f{20, 20, 20};
  RebuildObjectTransform(engine, a);
  RebuildObjectTransform(engine, b);
  engine.transforms_changed = 1;
  EXPECT_TRUE(Hit(a, b));  // the sphere grew to reach the box
}

TEST_F(ObjectCollisions, AnObjectThatGoesLeavesEveryPairAndHit) {
  const int32_t a = Make(1, kSphere), b = Make(2, kSphere), c = Make(3, kSphere);
  Place(c, 100, 0, 0);
  ASSERT_TRUE(Hit(a, b));
  SetWantedPartner(engine, a, b);
  const size_t filed = SharedCollisionWorld().object_count();
  DeleteObject(engine, b, 2);
  EXPECT_EQ(SharedCollisionWorld().object_count(), filed - 1);
  EXPECT_EQ(engine.pools.objects[a].last_hit, 0);
  EXPECT_EQ(engine.pools.objects[a].wanted_partner, 0);
  EXPECT_FALSE(ObjectsHit(engine, a, b));
  // A new object in the freed record starts without the old one's pairs.
  const int32_t d = Make(4, kSphere);
  Place(d, 100, 0, 0);
  EXPECT_FALSE(Hit(a, d));
  EXPECT_TRUE(Hit(c, d));
}

TEST_F(ObjectCollisions, LockedObjectsAndObjectsWithCollisionOffTakeNoPart) {
  const int32_t a = Make(1, kSphere), b = Make(2, kSphere);
  engine.Marks(engine.pools.objects[b].render_record).camera_locked = 1;
  EXPECT_FALSE(Hit(a, b));
  EXPECT_EQ(engine.pools.objects[a].last_hit, 0);
  engine.Marks(engine.pools.objects[b].render_record).camera_locked = 0;
  engine.pools.objects[b].collision_on = 0;
  engine.transforms_changed = 1;
  EXPECT_FALSE(Hit(a, b));
  engine.pools.objects[b].collision_on = 1;
  engine.transforms_changed = 1;
  EXPECT_TRUE(Hit(a, b));
}

TEST_F(ObjectCollisions, TheMeshesOfOneObjectNeverHitEachOther) {
  const int32_t a = Make(1, kSphere);
  const int32_t mesh = engine.pools.AllocMesh(vm);
  MakeCubeMesh(engine.pools.meshes[mesh], 10);
  ASSERT_EQ(AddLimbFromMesh(engine, a, 1, mesh), 1);
  engine.pools.FreeMesh(mesh);
  engine.pools.objects[a].model->BuildModelCollision(a, kSphere, 5, 0, 0);
  engine.transforms_changed = 1;
  RefreshObjectCollisions(engine);
  EXPECT_EQ(engine.pools.objects[a].last_hit, 0);
  EXPECT_TRUE(engine.collision.hit_pairs.Empty());
}

TEST_F(ObjectCollisions, InstancesSharingAModelCollideWhereEachOfThemStands) {
  const int32_t a = Make(1, kSphere);
  const int32_t b = AllocObjectRecord(engine);
  engine.pools.object_ids.Set(2, b);
  engine.pools.objects[b] = engine.pools.objects[a];
  engine.pools.objects[b].number = 2;
  SetUpObject(engine, b, false);
  engine.pools.objects[b].model->BuildModelCollision(b, kSphere, 5, 0, 0);
  const int32_t c = Make(3, kSphere);
  Place(a, -50, 0, 0);
  Place(b, 50, 0, 0);
  Place(c, 58, 0, 0);
  EXPECT_TRUE(Hit(b, c));
  EXPECT_FALSE(Hit(a, c));
  // The instance goes; the object it shares the model with keeps colliding.
  DeleteObject(engine, b, 2);
  Place(c, -42, 0, 0);
  EXPECT_TRUE(Hit(a, c));
}

// Objects moved one at a time (one carrying another glued to it), between
// queries that set last hits of their own: each refresh after moves alone
// leaves the hits, last hits and partner hits a test of every pair leaves.
TEST_F(ObjectCollisions, MovesAloneLeaveWhatATestOfEveryPairLeaves) {
  std::vector<int32_t> objects;
  for (int32_t n = 1; n <= 12; ++n) objects.push_back(Make(n, n % 3 == 0 ? kBox : kSphere));
  SetGlue(engine, objects[11], objects[0], 0);
  auto state = [&] {
    std::vector<int32_t> s;
    for (const int32_t a : objects) {
      s.push_back(engine.pools.objects[a].last_hit);
      s.push_back(engine.pools.objects[a].partner_hit);
      for (const int32_t b : objects) s.push_back(ObjectsHit(engine, a, b) ? 1 : 0);
    }
    return s;
  };
  uint32_t seed = 5;
  auto next = [&](uint32_t n) { return ((seed = seed * 1664525u + 1013904223u) >> 8 & 0xFFFF) % n; };
  RefreshObjectCollisions(engine);
  for (int step = 0; step < 300; ++step) {
    const int32_t moved = objects[next(3) == 0 ? 0 : next(11)];
    engine.Sprites()[engine.pools.objects[moved].render_record].position = {
        static_cast<float>(next(40)), static_cast<float>(next(20)), static_cast<float>(next(3))};
    RebuildObjectTransform(engine, moved);
    ObjectMoved(engine, moved);
    if (step % 5 == 1) SetLastHit(engine, objects[next(12)], objects[next(12)]);
    if (step % 7 == 2) SetWantedPartner(engine, objects[next(12)], objects[next(12)]);
    RefreshObjectCollisions(engine);
    if (step % 4 != 3) continue;
    const std::vector<int32_t> after_moves = state();
    engine.transforms_changed = 1;
    RefreshObjectCollisions(engine);
    ASSERT_EQ(after_moves, state()) << "step " << step;
  }
}

TEST_F(ObjectCollisions, WithoutAPlacementChangeNoTestRunsAndTheHitsStay) {
  const int32_t a = Make(1, kSphere), b = Make(2, kSphere);
  ASSERT_TRUE(Hit(a, b));
  // Moved without telling the engine: the old results stand.
  engine.Sprites()[engine.pools.objects[b].render_record].position = {100, 0, 0};
  RebuildObjectTransform(engine, b);
  EXPECT_TRUE(Hit(a, b));
  engine.transforms_changed = 1;
  EXPECT_FALSE(Hit(a, b));
}

}  // namespace
}  // namespace zv
