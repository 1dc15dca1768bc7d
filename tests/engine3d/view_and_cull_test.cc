#include <gtest/gtest.h>

#include <cmath>

#include "engine3d/engine.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/lights.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/scene_render.h"
#include "engine3d/scene/camera_view.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

// The engine without a display: the camera's matrices and the cull test
// work on the engine's own state.
class ViewAndCull : public ::testing::Test {
 protected:
  ViewAndCull() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
    engine.camera.auto_camera = 0;
    UpdateCameraLookAt(engine);
    SetCameraProjection(engine, kDefaultNear, kDefaultFar, kDefaultFov);
  }

  // A cube of 2 at `position`; returns its render record.
  int32_t CubeAt(Vector3f position) {
    const int32_t mesh = engine.pools.AllocMesh(vm);
    MakeCubeMesh(engine.pools.meshes[mesh], 2);
    const int32_t index = AllocObjectRecord(engine);
    CreateObjectMeshWrapper(engine, index, mesh);
    const int32_t record = SetUpObject(engine, index, false);
    engine.pools.FreeMesh(mesh);
    engine.Sprites()[record].position = {position.x, position.y, position.z};
    return record;
  }

  Vector3f InView(Vector3f p) {
    TransformPointProject(p, p, engine.camera.view);
    return p;
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
};

TEST_F(ViewAndCull, AnglesModeLooksAlongTheTurnedView) {
  engine.camera.angles = Vector3f{0, 90 * kDegreesToRadians, 0};
  UpdateCameraFromAngles(engine);
  const Vector3f ahead = InView(Vector3f{10, 0, 0});
  EXPECT_NEAR(ahead.x, 0.0f, 1e-4f);
  EXPECT_NEAR(ahead.z, 10.0f, 1e-4f);
  EXPECT_EQ(engine.camera.matrix, Matrix4::Identity());
}

TEST_F(ViewAndCull, FreeModeDerivesItsAnglesFromTheMatrix) {
  MatrixRotationY(engine.camera.matrix, 90 * kDegreesToRadians);
  engine.camera.position = Vector3f{0, 0, 5};
  UpdateCameraAngles(engine);
  const Vector3f ahead = InView(Vector3f{-10, 0, 5});
  EXPECT_NEAR(ahead.z, 10.0f, 1e-4f);
  EXPECT_NEAR(std::fabs(engine.camera.angles.y), 90 * kDegreesToRadians, 1e-4f);
}

TEST_F(ViewAndCull, ObjectsNearerThanAHundredAreNotCulledAtTheSides) {
  const int32_t record = CubeAt(Vector3f{200, 0, 50});
  const CullResult render = CullRecord(engine, record, 100.0f);
  EXPECT_EQ(render.misses, 0);
  // The screen query tests the sides from 20 on.
  EXPECT_GT(CullRecord(engine, record, 20.0f).misses, 0);
  // Its distance is the view depth plus the culling radius (whole units of
  // the cube's half diagonal, plus one, times 1.25).
  EXPECT_NEAR(render.distance, 50.0 + 2.0 * 1.25, 1e-4);
}

TEST_F(ViewAndCull, ObjectsBehindTheCameraOrBeyondTheFarRangeAreCulled) {
  EXPECT_GT(CullRecord(engine, CubeAt(Vector3f{0, 0, -50}), 100.0f).misses, 0);
  EXPECT_GT(CullRecord(engine, CubeAt(Vector3f{0, 0, 3100}), 100.0f).misses, 0);
  EXPECT_EQ(CullRecord(engine, CubeAt(Vector3f{0, 0, 2000}), 100.0f).misses, 0);
  // Far to the side and far away: outside the screen.
  EXPECT_GT(CullRecord(engine, CubeAt(Vector3f{2000, 0, 500}), 100.0f).misses, 0);
}

TEST_F(ViewAndCull, GluedObjectsAreNeverCulled) {
  const int32_t record = CubeAt(Vector3f{0, 0, -50});
  engine.pools.objects[engine.Sprites()[record].object].glued_to = 1;
  EXPECT_TRUE(CullRecord(engine, record, 100.0f).glued);
}

TEST_F(ViewAndCull, TheProjectionFollowsTheDisplaysAspect) {
  // 640 x 480 without a display: the aspect is 0.75.
  EXPECT_NEAR(engine.settings.projection.m[0][0], 0.75f * engine.settings.projection.m[1][1], 1e-6f);
}

TEST(LightDirections, AreDividedByTheSumOfTheDifferences) {
  const Vector3f d = DirectionBetween(Vector3f{}, Vector3f{3, 4, 0});
  EXPECT_FLOAT_EQ(d.x, 3.0f / 7.0f);
  EXPECT_FLOAT_EQ(d.y, 4.0f / 7.0f);
  EXPECT_EQ(d.z, 0.0f);
  // A target on the origin gives straight ahead, not NaNs.
  EXPECT_EQ(DirectionBetween(Vector3f{1, 1, 1}, Vector3f{1, 1, 1}), (Vector3f{0, 0, 1}));
}

TEST_F(ViewAndCull, TheDefaultLightIsRecordZero) {
  MakeDefaultLight(engine);
  ASSERT_TRUE(engine.lights.records.InUse(0));
  const LightRecord& r = engine.lights.records[0];
  EXPECT_EQ(r.type, kDirectionalLight);
  EXPECT_EQ(r.shown, 1);
  EXPECT_EQ(r.range, 3000.0f);
  EXPECT_EQ(r.direction, (Vector3f{0.2f, -0.7f, 0.1f}));
  // A second reset empties the pool again.
  engine.lights.records.Alloc();
  MakeDefaultLight(engine);
  EXPECT_EQ(engine.lights.records.Count(), 1);
}

}  // namespace
}  // namespace zv
