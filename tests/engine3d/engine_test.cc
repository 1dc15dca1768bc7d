#include "engine3d/engine.h"

#include <gtest/gtest.h>

#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/collision_refresh.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

// The engine bound to a machine without a display: records, models and
// placement work; nothing is drawn.
class EngineWithoutDisplay : public ::testing::Test {
 protected:
  EngineWithoutDisplay() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
  }

  // A set-up object with a cube model, entered under `number`.
  int32_t MakeCube(int32_t number) {
    const int32_t mesh = engine.pools.AllocMesh(vm);
    MakeCubeMesh(engine.pools.meshes[mesh], 10);
    const int32_t index = AllocObjectRecord(engine);
    engine.pools.object_ids.Set(number, index);
    engine.pools.objects[index].number = number;
    EXPECT_EQ(CreateObjectMeshWrapper(engine, index, mesh), 1);
    SetUpObject(engine, index, true);
    engine.pools.FreeMesh(mesh);
    return index;
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
};

TEST_F(EngineWithoutDisplay, SetUpGivesDefaultsBoundsAndPlacesTheCamera) {
  const int32_t index = MakeCube(1);
  const ObjectRecord& o = engine.pools.objects[index];
  EXPECT_EQ(o.in_use, 1);
  EXPECT_EQ(o.scale, (Vector3f{1, 1, 1}));
  EXPECT_EQ(o.collision_on, 1);
  EXPECT_FLOAT_EQ(o.speed, 0.2f);
  // Radius from the origin: half the diagonal of the cube (8.68), in whole
  // units plus one.
  EXPECT_EQ(o.cull_radius, 9.0f);
  MeasureBoundsIfStale(engine, index);
  EXPECT_EQ(o.bound_radius, 9.0f);
  EXPECT_EQ(engine.Sprites()[o.render_record].is_3d, 1);
  EXPECT_EQ(engine.Sprites()[o.render_record].object, index);
  EXPECT_NEAR(engine.camera.position.z, -17.36f, 0.01f);
  EXPECT_NEAR(engine.camera.position.y, 4.34f, 0.01f);
}

TEST_F(EngineWithoutDisplay, TheCameraStaysWhereItIsWithoutTheAutomaticCamera) {
  engine.camera.auto_camera = 0;
  MakeCube(1);
  EXPECT_EQ(engine.camera.position, (Vector3f{0, 0, 0}));
}

TEST_F(EngineWithoutDisplay, DeletingAnObjectUngluesThoseGluedToIt) {
  const int32_t target = MakeCube(1), glued = MakeCube(2);
  SetGlue(engine, glued, target, 0);
  DeleteObject(engine, target, 1);
  EXPECT_EQ(engine.pools.objects[glued].glued_to, 0);
  EXPECT_EQ(engine.pools.object_ids.Get(1), 0);
  EXPECT_EQ(engine.pools.objects[glued].in_use, 1);
}

TEST_F(EngineWithoutDisplay, AnInstancesModelOutlivesItsSource) {
  const int32_t source = MakeCube(1);
  const int32_t copy = AllocObjectRecord(engine);
  engine.pools.objects[copy] = engine.pools.objects[source];
  std::weak_ptr<ObjectModel> model = engine.pools.objects[source].model;
  DeleteObject(engine, source, 1);
  EXPECT_FALSE(model.expired());
  EXPECT_TRUE(engine.pools.objects[copy].model->HasRoot());
  ReleaseObjectRecord(engine, copy);
  EXPECT_TRUE(model.expired());
}

TEST_F(EngineWithoutDisplay, ColourTexturesAreSharedByColourAndFreedByTheirLastUser) {
  const int32_t red = GetColourTexture(engine, 0xFF0000);
  EXPECT_EQ(GetColourTexture(engine, 0xFF0000), red);
  EXPECT_NE(GetColourTexture(engine, 0x00FF00), red);
  EXPECT_EQ(engine.pools.textures[red].cache_key, "16711680");
  EXPECT_EQ(engine.pools.textures[GetColourTexture(engine, 0x80000000)].cache_key, "-2147483648");
  ReleaseTexture(engine, red, false);
  EXPECT_TRUE(TextureHasCacheEntry(engine, red));
  ReleaseTexture(engine, red, false);
  EXPECT_FALSE(TextureHasCacheEntry(engine, red));
  ReleaseTexture(engine, red, false);  // no longer in the cache: nothing happens
}

TEST_F(EngineWithoutDisplay, CollisionPairsNoteTheirHitsAndPartners) {
  const int32_t a = MakeCube(1), b = MakeCube(2);
  engine.pools.objects[a].wanted_partner = b;
  OnCollisionPair(engine, static_cast<uint32_t>(a), static_cast<uint32_t>(b));
  EXPECT_EQ(engine.pools.objects[a].last_hit, b);
  EXPECT_EQ(engine.pools.objects[b].last_hit, a);
  EXPECT_EQ(engine.pools.objects[a].partner_hit, 1);
  EXPECT_EQ(engine.pools.objects[b].partner_hit, 0);
  OnCollisionPair(engine, static_cast<uint32_t>(b), static_cast<uint32_t>(b));
  EXPECT_EQ(engine.pools.objects[b].last_hit, a);

  // Without a placement change the refresh keeps the results.
  engine.transforms_changed = 0;
  RefreshObjectCollisions(engine);
  EXPECT_EQ(engine.pools.objects[a].last_hit, b);
  engine.transforms_changed = 1;
  RefreshObjectCollisions(engine);
  EXPECT_EQ(engine.pools.objects[a].last_hit, 0);
  EXPECT_EQ(engine.pools.objects[a].partner_hit, 0);
  EXPECT_EQ(engine.transforms_changed, 0u);
}

TEST_F(EngineWithoutDisplay, MeshesMadeFromObjectsNeedADevice) {
  const int32_t index = MakeCube(1);
  EXPECT_EQ(MakeMeshFromObject(engine, index, -1, -1), -1);
  // So the collision box stays empty.
  EXPECT_EQ(engine.pools.objects[index].size, (Vector3f{0, 0, 0}));
}

TEST(ObjectModel, TransformsComposeInTheRotationOrder) {
  ObjectModel model;
  MeshRecord cube;
  MakeCubeMesh(cube, 1);
  ASSERT_TRUE(model.AddMeshFrame(0, GeometryOf(cube), 0, models::NullNodeServices()));
  Matrix4 zyx, xyz;
  model.SetObjectTransformDegrees(0, Vector3f{1, 2, 3}, Vector3f{90, 90, 0}, Vector3f{1, 1, 1}, 0);
  model.GetLimbMatrix(0, &zyx);
  model.SetObjectTransformDegrees(0, Vector3f{1, 2, 3}, Vector3f{90, 90, 0}, Vector3f{1, 1, 1}, 1);
  model.GetLimbMatrix(0, &xyz);
  EXPECT_NE(zyx, xyz);
  EXPECT_EQ(zyx.m[3][0], 1.0f);
  EXPECT_EQ(zyx.m[3][2], 3.0f);
  // The free matrix's identity gives the same frame as angles of 0.
  Matrix4 by_angles, by_matrix;
  model.SetObjectTransformDegrees(0, Vector3f{4, 5, 6}, Vector3f{}, Vector3f{2, 2, 2}, 0);
  model.GetLimbMatrix(0, &by_angles);
  model.SetObjectTransformMatrix(0, Vector3f{4, 5, 6}, Matrix4::Identity(), Vector3f{2, 2, 2});
  model.GetLimbMatrix(0, &by_matrix);
  EXPECT_EQ(by_angles, by_matrix);
}

TEST(ObjectModel, BoundsOfAModelWithoutARootFail) {
  ObjectModel model;
  Vector3f centre;
  float radius = 0;
  EXPECT_EQ(model.GetModelBoundingSphere(&centre, &radius), kModelFailed);
  EXPECT_EQ(radius, -1.0f);
  EXPECT_EQ(model.GetModelRadiusFromOrigin(&centre, &radius), kModelFailed);
}

}  // namespace
}  // namespace zv
