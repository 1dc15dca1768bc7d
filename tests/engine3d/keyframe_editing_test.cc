#include "engine3d/objects/keyframe_editing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine3d/engine.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/scene/animation.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

constexpr float kHalfRoot2 = 0.70710678f;

Matrix4 RotationY(float degrees) {
  Matrix4 m;
  MatrixRotationY(m, degrees * kDegreesToRadians);
  return m;
}

Matrix4 RotationZ(float degrees) {
  Matrix4 m;
  MatrixRotationZ(m, degrees * kDegreesToRadians);
  return m;
}

void ExpectQuaternion(const Quaternion& q, double x, double y, double z, double w) {
  EXPECT_NEAR(q.x, x, 1e-6);
  EXPECT_NEAR(q.y, y, 1e-6);
  EXPECT_NEAR(q.z, z, 1e-6);
  EXPECT_NEAR(q.w, w, 1e-6);
}

TEST(MatrixToQuaternion, FromTheTraceAndFromTheLargestDiagonal) {
  ExpectQuaternion(MatrixToQuaternion(Matrix4::Identity()), 0, 0, 0, 1);
  // 90 degrees about z (row vectors: m01 = 1, m10 = -1).
  ExpectQuaternion(MatrixToQuaternion(RotationZ(90)), 0, 0, kHalfRoot2, kHalfRoot2);
  // Half turns have a trace of 0: the largest diagonal element decides.
  Matrix4 about_x = Matrix4::Identity();
  about_x.m[1][1] = about_x.m[2][2] = -1;
  ExpectQuaternion(MatrixToQuaternion(about_x), 1, 0, 0, 0);
  Matrix4 about_y = Matrix4::Identity();
  about_y.m[0][0] = about_y.m[2][2] = -1;
  ExpectQuaternion(MatrixToQuaternion(about_y), 0, 1, 0, 0);
  Matrix4 about_z = Matrix4::Identity();
  about_z.m[0][0] = about_z.m[1][1] = -1;
  ExpectQuaternion(MatrixToQuaternion(about_z), 0, 0, 1, 0);
  // 135 degrees about y: trace below 1, y largest.
  const Quaternion q = MatrixToQuaternion(RotationY(135));
  EXPECT_NEAR(q.x, 0, 1e-6);
  EXPECT_NEAR(q.y, std::sin(67.5 * 3.14159265358979 / 180), 1e-6);
  EXPECT_NEAR(q.z, 0, 1e-6);
  EXPECT_NEAR(q.w, std::cos(67.5 * 3.14159265358979 / 180), 1e-6);
}

// An object with a cube model and limbs 1 and 2 added from a cube mesh,
// without a display.
class Keyframes : public ::testing::Test {
 protected:
  Keyframes() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
    const int32_t mesh = engine.pools.AllocMesh(vm);
    MakeCubeMesh(engine.pools.meshes[mesh], 4);
    object = AllocObjectRecord(engine);
    engine.pools.object_ids.Set(1, object);
    EXPECT_EQ(CreateObjectMeshWrapper(engine, object, mesh), 1);
    SetUpObject(engine, object, false);
    for (int32_t limb = 1; limb <= 2; ++limb) {
      InitLimbRecord(engine.pools.objects[object], limb);
      EXPECT_EQ(AddLimbFromMesh(engine, object, limb, mesh), 1);
    }
    engine.pools.FreeMesh(mesh);
  }

  ObjectModel& Model() { return *engine.pools.objects[object].model; }
  void Pose(int32_t limb, float turn_y, Vector3f offset) {
    Model().SetObjectTransformDegrees(limb, offset, Vector3f{0, turn_y, 0}, Vector3f{1, 1, 1}, 0);
  }
  static std::vector<float> Times(const models::KeyArray<5>& keys) {
    std::vector<float> times;
    for (uint32_t k = 0; k < keys.count(); ++k) times.push_back(keys.Key(k)[0]);
    return times;
  }
  static std::vector<float> Times(const models::KeyArray<4>& keys) {
    std::vector<float> times;
    for (uint32_t k = 0; k < keys.count(); ++k) times.push_back(keys.Key(k)[0]);
    return times;
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
  int32_t object = 0;
};

TEST_F(Keyframes, ThePoseOfALimbIsTheInverseRotationAndTheTranslation) {
  Pose(1, 90, Vector3f{1, 2, 3});
  const LimbPose pose = LimbPoseKeys(Model(), 1);
  // The inverse of 90 degrees about y is -90: w = cos 45, y = -sin 45.
  EXPECT_NEAR(pose.rotation[0], kHalfRoot2, 1e-6);
  EXPECT_NEAR(pose.rotation[1], 0, 1e-6);
  EXPECT_NEAR(pose.rotation[2], -kHalfRoot2, 1e-6);
  EXPECT_NEAR(pose.rotation[3], 0, 1e-6);
  EXPECT_EQ(pose.translation[0], 1);
  EXPECT_EQ(pose.translation[1], 2);
  EXPECT_EQ(pose.translation[2], 3);
}

TEST_F(Keyframes, ThePoseGivesATrackPerLimbAboveTheRoot) {
  Pose(2, 0, Vector3f{5, 0, 0});
  std::unique_ptr<models::KeyframeSet> keys = BuildKeyframesFromPose(engine, object);
  ASSERT_EQ(keys->tracks.size(), 2u);
  EXPECT_EQ(keys->tracks[0].frame_number, 1);
  EXPECT_EQ(keys->tracks[0].frame_name, "userframe");
  EXPECT_EQ(keys->tracks[1].frame_number, 2);
  for (const models::AnimationTrack& t : keys->tracks) {
    EXPECT_EQ(Times(t.rotation_keys), std::vector<float>{0});
    EXPECT_EQ(Times(t.translation_keys), std::vector<float>{0});
    EXPECT_TRUE(t.scale_keys.empty());
  }
  EXPECT_EQ(keys->tracks[1].translation_keys.Key(0)[1], 5);
  // Room for the transitions of every track.
  EXPECT_GE(engine.pools.objects[object].source_rotations.size(), 2u * 4);
}

TEST_F(Keyframes, KeysGoInTimeOrderOrOverwriteTheirFrame) {
  std::unique_ptr<models::KeyframeSet> keys = BuildKeyframesFromPose(engine, object);
  Pose(1, 0, Vector3f{10, 0, 0});
  EXPECT_EQ(SetKeysAtFrame(*keys, engine, object, 10), 10);
  Pose(1, 0, Vector3f{5, 0, 0});
  engine.pools.objects[object].frame_count = 10;
  EXPECT_EQ(SetKeysAtFrame(*keys, engine, object, 5), 10);
  const models::AnimationTrack& track = keys->tracks[0];
  EXPECT_EQ(Times(track.rotation_keys), (std::vector<float>{0, 5, 10}));
  EXPECT_EQ(Times(track.translation_keys), (std::vector<float>{0, 5, 10}));
  EXPECT_EQ(track.translation_keys.Key(1)[1], 5);
  EXPECT_EQ(track.translation_keys.Key(2)[1], 10);
  // The same frame again: overwritten in place.
  Pose(1, 0, Vector3f{7, 0, 0});
  SetKeysAtFrame(*keys, engine, object, 5);
  EXPECT_EQ(Times(track.translation_keys), (std::vector<float>{0, 5, 10}));
  EXPECT_EQ(track.translation_keys.Key(1)[1], 7);
  // Frame 0 is only ever overwritten; negative frames add nothing.
  SetKeysAtFrame(*keys, engine, object, 0);
  EXPECT_EQ(track.translation_keys.Key(0)[1], 7);
  SetKeysAtFrame(*keys, engine, object, -3);
  EXPECT_EQ(Times(track.translation_keys), (std::vector<float>{0, 5, 10}));
  EXPECT_TRUE(track.scale_keys.empty());
}

TEST_F(Keyframes, KeysAreDeletedOnlyWhereTheyAreAndNeverTheLast) {
  std::unique_ptr<models::KeyframeSet> keys = BuildKeyframesFromPose(engine, object);
  SetKeysAtFrame(*keys, engine, object, 10);
  SetKeysAtFrame(*keys, engine, object, 20);
  DeleteKeysAtFrame(*keys, 0);
  DeleteKeysAtFrame(*keys, 15);
  EXPECT_EQ(Times(keys->tracks[0].rotation_keys), (std::vector<float>{0, 10, 20}));
  DeleteKeysAtFrame(*keys, 10);
  EXPECT_EQ(Times(keys->tracks[0].rotation_keys), (std::vector<float>{0, 20}));
  EXPECT_EQ(Times(keys->tracks[1].translation_keys), (std::vector<float>{0, 20}));
  // A track with a single key of a kind keeps it.
  keys->tracks[0].rotation_keys.values = {20, 1, 0, 0, 0};
  DeleteKeysAtFrame(*keys, 20);
  EXPECT_EQ(Times(keys->tracks[0].rotation_keys), std::vector<float>{20});
  EXPECT_EQ(Times(keys->tracks[0].translation_keys), std::vector<float>{0});
}

TEST_F(Keyframes, TheFrameCountIsTheLastWholeKeyTime) {
  Model().SetKeyframes(BuildKeyframesFromPose(engine, object));
  models::KeyframeSet& keys = *Model().EditKeyframes();
  keys.tracks[1].scale_keys.values = {0, 1, 1, 1, 12.75f, 1, 1, 1};
  RecomputeFrameCount(engine, object);
  EXPECT_EQ(engine.pools.objects[object].frame_count, 12);
  EXPECT_EQ(engine.pools.objects[object].end_frame, 12);
}

TEST_F(Keyframes, KeysFromThePosePoseTheLimbsAgain) {
  Model().SetObjectTransformDegrees(1, Vector3f{1, 2, 3}, Vector3f{20, 30, 40}, Vector3f{1, 1, 1}, 0);
  Model().SetObjectTransformDegrees(2, Vector3f{-4, 0, 0}, Vector3f{0, 0, 135}, Vector3f{1, 1, 1}, 1);
  Matrix4 first, second;
  Model().GetLimbMatrix(1, &first);
  Model().GetLimbMatrix(2, &second);
  Model().SetKeyframes(BuildKeyframesFromPose(engine, object));
  Pose(1, 0, Vector3f{});
  Pose(2, 0, Vector3f{});
  engine.pools.objects[object].limb_count = 3;
  ComputeObjectFrameMatrices(engine, object);
  Matrix4 posed;
  Model().GetLimbMatrix(1, &posed);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(posed.m[i][j], first.m[i][j], 1e-5) << i << j;
  Model().GetLimbMatrix(2, &posed);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(posed.m[i][j], second.m[i][j], 1e-5) << i << j;
}

TEST_F(Keyframes, AttachingPutsAnObjectOnTheListOnce) {
  AttachAnimatedObject(engine, object);
  AttachAnimatedObject(engine, object);
  EXPECT_EQ(engine.animated_objects.Items(), std::vector<int32_t>{object});
  EXPECT_EQ(engine.pools.objects[object].animated, 1);
}

}  // namespace
}  // namespace zv
