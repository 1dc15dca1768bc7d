// Keyframe interpolation and the per-frame animation step: quaternion
// blends, key lookup, the play/loop clock and transitions, on an engine
// without a display.
#include "engine3d/scene/animation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine3d/engine.h"
#include "engine3d/objects/keyframe_editing.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/scene/rotation.h"
#include "tests/support/fake_host.h"

namespace zv {
namespace {

constexpr float kRoot2 = 0.70710678f;

// The key a frame turned by `degrees` about z gets: the engine records a
// pose as the quaternion of the inverse of its frame matrix.
KeyQuaternion TurnAboutZ(float degrees) {
  const float half = degrees * 0.5f * kDegreesToRadians;
  return KeyQuaternion{std::cos(half), 0, 0, -std::sin(half)};
}

// Where the frame matrix takes the point (1, 0, 0).
Vector3f TurnedX(const Matrix4& m) { return Vector3f{m.m[0][0], m.m[0][1], m.m[0][2]}; }

TEST(KeyQuaternions, MatricesTurnFramesAsTheEngineRecordsThem) {
  // Recording a pose and playing it back gives the pose again.
  for (const Vector3f angles : {Vector3f{0.3f, 0, 0}, Vector3f{0, 1.2f, 0}, Vector3f{0.4f, -0.7f, 2.0f}}) {
    Matrix4 pose;
    RotationFromAngles(pose, angles.x, angles.y, angles.z);
    Matrix4 inverse = Matrix4::Identity();
    ASSERT_EQ(MatrixInvertAffine(inverse, pose), 0);
    const Quaternion q = MatrixToQuaternion(inverse);
    const Matrix4 played = MatrixFromQuaternion(KeyQuaternion{static_cast<float>(q.w), static_cast<float>(q.x),
                                                              static_cast<float>(q.y), static_cast<float>(q.z)});
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(played.m[r][c], pose.m[r][c], 1e-5f) << r << "," << c;
  }
  // A quarter turn about z takes x to y.
  const Vector3f x = TurnedX(MatrixFromQuaternion(TurnAboutZ(90)));
  EXPECT_NEAR(x.x, 0.0f, 1e-6f);
  EXPECT_NEAR(x.y, 1.0f, 1e-6f);
}

TEST(KeyQuaternions, SlerpRunsAtAnEvenAngularSpeedTheShortWayRound) {
  const KeyQuaternion a = TurnAboutZ(0), b = TurnAboutZ(90);
  const KeyQuaternion quarter = QuaternionSlerp(a, b, 0.25f);
  const Vector3f x = TurnedX(MatrixFromQuaternion(quarter));
  EXPECT_NEAR(std::atan2(x.y, x.x) / kDegreesToRadians, 22.5f, 1e-3f);
  EXPECT_NEAR(quarter.w * quarter.w + quarter.z * quarter.z, 1.0f, 1e-6f);
  // -b is the same rotation: the blend does not go the long way.
  const KeyQuaternion flipped = QuaternionSlerp(a, KeyQuaternion{-b.w, -b.x, -b.y, -b.z}, 0.25f);
  const Vector3f y = TurnedX(MatrixFromQuaternion(flipped));
  EXPECT_NEAR(std::atan2(y.y, y.x) / kDegreesToRadians, 22.5f, 1e-3f);
  EXPECT_EQ(QuaternionSlerp(a, b, 0.0f), a);
  const KeyQuaternion end = QuaternionSlerp(a, b, 1.0f);
  EXPECT_NEAR(end.z, b.z, 1e-6f);
  // Nearly equal rotations blend without dividing by a vanishing sine.
  const KeyQuaternion c = TurnAboutZ(0.01f);
  const KeyQuaternion near = QuaternionSlerp(a, c, 0.5f);
  EXPECT_TRUE(std::isfinite(near.w) && std::isfinite(near.z));
}

models::KeyArray<4> VectorKeys(std::initializer_list<float> values) { return models::KeyArray<4>{values}; }

TEST(KeyInterpolation, VectorKeysHoldBeforeTheFirstAndAfterTheLastAndBlendBetween) {
  const auto keys = VectorKeys({2, 0, 0, 0, 10, 8, 16, -4});
  EXPECT_EQ(InterpolateVectorKeys(keys, 0.0f), (Vector3f{0, 0, 0}));
  EXPECT_EQ(InterpolateVectorKeys(keys, 2.0f), (Vector3f{0, 0, 0}));
  EXPECT_EQ(InterpolateVectorKeys(keys, 4.0f), (Vector3f{2, 4, -1}));
  EXPECT_EQ(InterpolateVectorKeys(keys, 10.0f), (Vector3f{8, 16, -4}));
  EXPECT_EQ(InterpolateVectorKeys(keys, 99.0f), (Vector3f{8, 16, -4}));
  // Between whole frames the blend follows the frame itself.
  EXPECT_NEAR(InterpolateVectorKeys(keys, 3.0f).x, 1.0f, 1e-6f);
  EXPECT_NEAR(InterpolateVectorKeys(keys, 3.5f).x, 1.5f, 1e-6f);
  // A single key holds everywhere.
  EXPECT_EQ(InterpolateVectorKeys(VectorKeys({5, 1, 2, 3}), 0.0f), (Vector3f{1, 2, 3}));
}

TEST(KeyInterpolation, KeysAreFoundByWholeFramesAndAFractionalKeyTimeCountsAsItsWholePart) {
  // Key times 0, 4.9 (= 4) and 8: frame 4.5 lies past the second key.
  const auto keys = VectorKeys({0, 0, 0, 0, 4.9f, 4, 0, 0, 8, 12, 0, 0});
  EXPECT_NEAR(InterpolateVectorKeys(keys, 4.5f).x, 4.0f + 8.0f * 0.5f / 4.0f, 1e-5f);
  models::KeyArray<5> rotations{{0, 1, 0, 0, 0, 10, kRoot2, 0, 0, -kRoot2}};
  const KeyQuaternion half = InterpolateRotationKeys(rotations, 5.0f);
  const Vector3f x = TurnedX(MatrixFromQuaternion(half));
  EXPECT_NEAR(std::atan2(x.y, x.x) / kDegreesToRadians, 45.0f, 1e-3f);
  EXPECT_EQ(InterpolateRotationKeys(rotations, 20.0f), (KeyQuaternion{kRoot2, 0, 0, -kRoot2}));
}

// An object whose model has a limb frame 1, with keyframes for it.
class AnimatedObject : public ::testing::Test {
 protected:
  AnimatedObject() {
    vm.engine3d = &engine;
    engine.ResetRecordPools(vm);
    vm.render_timing.backdrop_on = false;
    const int32_t mesh = engine.pools.AllocMesh(vm);
    MakeCubeMesh(engine.pools.meshes[mesh], 2);
    index = AllocObjectRecord(engine);
    engine.pools.object_ids.Set(1, index);
    engine.pools.objects[index].number = 1;
    EXPECT_EQ(CreateObjectMeshWrapper(engine, index, mesh), 1);
    SetUpObject(engine, index, false);
    EXPECT_EQ(AddLimbFromMesh(engine, index, 1, mesh), 1);
    engine.pools.FreeMesh(mesh);
    auto keyframes = std::make_unique<models::KeyframeSet>();
    models::AnimationTrack& track = keyframes->AppendTrack();
    track.frame_number = 1;
    // x from 0 to 100 over frames 0 to 10, a quarter turn about z.
    track.translation_keys.values = {0, 0, 0, 0, 10, 100, 0, 0};
    track.rotation_keys.values = {0, 1, 0, 0, 0, 10, kRoot2, 0, 0, -kRoot2};
    Object().model->SetKeyframes(std::move(keyframes));
    Object().limb_count = 2;
    RecomputeFrameCount(engine, index);
  }

  ObjectRecord& Object() { return engine.pools.objects[index]; }
  Matrix4 LimbMatrix() {
    Matrix4 m = Matrix4::Identity();
    Object().model->GetLimbMatrix(1, &m);
    return m;
  }
  float LimbX() { return LimbMatrix().m[3][0]; }
  void Play(bool looping, float speed) {
    Object().playing = 1;
    Object().looping = looping ? 1 : 0;
    Object().speed = speed;
    AttachAnimatedObject(engine, index);
  }

  HandlerTable handlers;
  test::FakeHost host;
  Vm vm{handlers, host};
  Engine3D engine;
  int32_t index = 0;
};

TEST_F(AnimatedObject, PlayingOnceStopsAfterPassingTheEndAndStaysThere) {
  EXPECT_EQ(Object().frame_count, 10.0f);
  Object().end_frame = 10;
  Play(false, 2.5f);
  for (int i = 0; i < 4; ++i) AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 10.0f);  // equal to the end: still playing
  EXPECT_EQ(Object().playing, 1);
  EXPECT_FLOAT_EQ(LimbX(), 100.0f);
  AnimateObjects(engine);
  EXPECT_EQ(Object().playing, 0);
  EXPECT_EQ(Object().current_frame, 10.0f);
  // Still posed every frame, still on the list: its collisions are placed
  // anew.
  EXPECT_EQ(engine.animated_objects.Size(), 1u);
  engine.transforms_changed = 0;
  engine.collision.moved.clear();
  AnimateObjects(engine);
  EXPECT_TRUE(engine.collision.moved.contains(index));
}

TEST_F(AnimatedObject, LoopingWrapsToTheBoundDroppingTheOvershootInEitherDirection) {
  Object().start_frame = 2;
  Object().end_frame = 6;
  Object().current_frame = 4.5f;
  Play(true, 1.5f);
  AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 6.0f);  // at the end, not past it
  AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 2.0f);
  EXPECT_FLOAT_EQ(LimbX(), 20.0f);
  Object().speed = -1.5f;
  AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 6.0f);  // 0.5 < 2
  // Playing once backwards stops at the start, and from a range given end
  // first, at its end.
  Object().looping = 0;
  for (int i = 0; i < 10; ++i) AnimateObjects(engine);
  EXPECT_EQ(Object().playing, 0);
  EXPECT_EQ(Object().current_frame, 2.0f);
  Object().start_frame = Object().current_frame = 6;
  Object().end_frame = 0;
  Play(false, -2.5f);
  for (int i = 0; i < 2; ++i) AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 1.0f);
  AnimateObjects(engine);
  EXPECT_EQ(Object().playing, 0);
  EXPECT_EQ(Object().current_frame, 0.0f);
}

TEST_F(AnimatedObject, ATransitionBlendsTowardsTheTargetAndThenPlaysOnFromIt) {
  Object().end_frame = 10;
  Object().current_frame = 0;
  Object().speed = 0;
  Object().transition_active = 1;
  Object().transition_target = 10;
  Object().transition_step = 0.25f;
  AttachAnimatedObject(engine, index);
  AnimateObjects(engine);
  // A quarter of the way, the rotation blended along the arc.
  EXPECT_FLOAT_EQ(LimbX(), 25.0f);
  Vector3f x = TurnedX(LimbMatrix());
  EXPECT_NEAR(std::atan2(x.y, x.x) / kDegreesToRadians, 22.5f, 1e-3f);
  EXPECT_EQ(Object().current_frame, 10.0f);
  AnimateObjects(engine);
  EXPECT_FLOAT_EQ(LimbX(), 50.0f);
  AnimateObjects(engine);
  EXPECT_FLOAT_EQ(LimbX(), 75.0f);
  EXPECT_EQ(Object().transition_active, 0);  // 0.75 + 0.25 reaches 1
  AnimateObjects(engine);
  EXPECT_FLOAT_EQ(LimbX(), 100.0f);
}

TEST_F(AnimatedObject, AFullStepReachesTheTargetPoseAtOnce) {
  Object().transition_active = 1;
  Object().transition_target = 5;
  Object().transition_step = 1.0f;
  AttachAnimatedObject(engine, index);
  AnimateObjects(engine);
  EXPECT_FLOAT_EQ(LimbX(), 50.0f);
  EXPECT_EQ(Object().transition_active, 0);
}

TEST_F(AnimatedObject, AnObjectInTheStaticSceneKeepsItsLastPose) {
  Object().end_frame = 10;
  Play(false, 1);
  AnimateObjects(engine);
  Object().is_static = 1;
  AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 1.0f);
  EXPECT_FLOAT_EQ(LimbX(), 10.0f);
}

TEST_F(AnimatedObject, TracksPoseTheFramesTheyNameAndLeaveTheOthersAlone) {
  // A track for a frame the model lacks, ahead of the real one.
  models::KeyframeSet* keys = Object().model->EditKeyframes();
  models::AnimationTrack stray;
  stray.frame_number = 7;
  stray.translation_keys.values = {0, 5, 5, 5};
  // Keys out of time order, and one at a time that is no number, pose
  // something without reading past their arrays.
  stray.rotation_keys.values = {10, 1, 0, 0, 0, std::nanf(""), 1, 0, 0, 0, 0, 0, 0, 0, 1, 5, 1, 0, 0, 0};
  stray.scale_keys.values = {9, 1, 1, 1, 3, 2, 2, 2};
  keys->tracks.insert(keys->tracks.begin(), stray);
  models::AnimationTrack far = stray;
  far.frame_number = 100000;
  keys->tracks.push_back(far);
  Object().current_frame = 10;
  // Speed 0 holds the frame and poses it again every step.
  Play(true, 0.0f);
  for (int i = 0; i < 3; ++i) AnimateObjects(engine);
  EXPECT_EQ(Object().current_frame, 10.0f);
  EXPECT_FLOAT_EQ(LimbX(), 100.0f);
  // The root frame keeps the object's placement.
  Matrix4 root = Matrix4::Identity();
  Object().model->GetLimbMatrix(0, &root);
  EXPECT_EQ(root, Matrix4::Identity());
}

}  // namespace
}  // namespace zv
