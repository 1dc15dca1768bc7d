#include "engine3d/commands/camera_commands.h"

#include <cmath>

#include "engine3d/commands/command_checks.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/scene/camera_view.h"
#include "engine3d/scene/rotation.h"
#include "engine3d/scene/static_scene.h"
#include "runtime/display_seam.h"

namespace zv {
namespace {

namespace err = object_error;

namespace op {
constexpr int kPositionCamera = 7051;
constexpr int kPointCamera = 7052;
constexpr int kRotateCamera = 7053;
constexpr int kMoveCamera = 7054;
constexpr int kSetCameraAngleX = 7055;
constexpr int kSetCameraAngleY = 7056;
constexpr int kSetCameraAngleZ = 7057;
constexpr int kTurnCameraLeft = 7058;
constexpr int kTurnCameraRight = 7059;
constexpr int kPitchCameraUp = 7060;
constexpr int kPitchCameraDown = 7065;
constexpr int kRollCameraLeft = 7066;
constexpr int kRollCameraRight = 7068;
constexpr int kSetCameraToObjectOrientation = 7069;
constexpr int kSetCameraToFollow = 7070;
constexpr int kSetCameraRange = 7081;
constexpr int kSetCameraRotationZYX = 7082;
constexpr int kSetCameraRotationXYZ = 7083;
constexpr int kEnableAutoCamera = 7084;
constexpr int kDisableAutoCamera = 7085;
constexpr int kSetCameraView = 7086;
constexpr int kQueueScreenClear = 7087;
constexpr int kSetCameraFov = 7109;
constexpr int kCameraPositionX = 7541;
constexpr int kCameraPositionY = 7542;
constexpr int kCameraPositionZ = 7543;
constexpr int kCameraAngleX = 7544;
constexpr int kCameraAngleY = 7545;
constexpr int kCameraAngleZ = 7546;
}  // namespace op

void CmdPositionCamera(Vm& vm) {
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  c.look_at = Vector3f{c.look_at.x + (x - c.position.x), c.look_at.y + (y - c.position.y),
                       c.look_at.z + (z - c.position.z)};
  c.position = Vector3f{x, y, z};
  UpdateCameraForMode(*e);
}

void CmdPointCamera(Vm& vm) {
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  c.look_at = Vector3f{x, y, z};
  c.mode = kCameraLookAt;
  UpdateCameraLookAt(*e);
  c.angles = DirectionToAngles(c.position, c.look_at);
}

enum AngleMask { kX = 1, kY = 2, kZ = 4 };

template <int Mask>
void CmdRotateCamera(Vm& vm) {
  std::array<float, 3> angles{};
  for (int axis = 0; axis < 3; ++axis)
    if (Mask & (1 << axis)) angles[static_cast<size_t>(axis)] = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  for (int axis = 0; axis < 3; ++axis)
    if ((Mask & (1 << axis)) && !AngleInRange(angles[static_cast<size_t>(axis)])) return vm.RunError(err::kAngle);
  CameraState& c = e->camera;
  if (Mask & kX) c.angles.x = angles[0] * kDegreesToRadians;
  if (Mask & kY) c.angles.y = angles[1] * kDegreesToRadians;
  if (Mask & kZ) c.angles.z = angles[2] * kDegreesToRadians;
  c.mode = kCameraAngles;
  UpdateCameraFromAngles(*e);
}

void CmdMoveCamera(Vm& vm) {
  const float distance = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  Matrix4 rotation = Matrix4::Identity();
  if (c.mode == kCameraFree)
    MatrixInvertAffine(rotation, c.matrix);
  else
    RotationFromAngles(rotation, c.angles.x, c.angles.y, c.angles.z);
  Vector3f step{0, 0, distance};
  TransformPointProject(step, step, rotation);
  c.position = Vector3f{c.position.x + step.x, c.position.y + step.y, c.position.z + step.z};
  c.look_at = Vector3f{c.look_at.x + step.x, c.look_at.y + step.y, c.look_at.z + step.z};
  UpdateCameraForMode(*e);
}

template <int Axis, int Sign>
void CmdTurnCamera(Vm& vm) {
  const float angle = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const float wrapped = WrapAngle(Sign < 0 ? 0.0f - angle : angle);
  CameraState& c = e->camera;
  RotateMatrixByAngles(c.matrix, Axis == 0 ? wrapped : 0.0f, Axis == 1 ? wrapped : 0.0f, Axis == 2 ? wrapped : 0.0f);
  c.mode = kCameraFree;
  UpdateCameraAngles(*e);
}

void CmdSetCameraToObjectOrientation(Vm& vm) {
  const int32_t number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingObject(vm, *e, number);
  if (index == 0) return;
  const ObjectRecord& o = e->pools.objects[index];
  CameraState& c = e->camera;
  if (o.free_rotation == 1) {
    c.matrix = o.free_matrix;
    c.mode = kCameraFree;
    UpdateCameraAngles(*e);
  } else {
    c.angles = Vector3f{o.angles.x * kDegreesToRadians, o.angles.y * kDegreesToRadians, o.angles.z * kDegreesToRadians};
    c.mode = kCameraAngles;
    UpdateCameraFromAngles(*e);
  }
}

// Keeps the follow target out of the static scene's collision boxes: a cube
// of half-size r moved from the followed point towards the target stops one
// step before the first box it touches, and a box around the target is
// pushed back out of the boxes it enters. Both tests leave their vectors in
// the static box query's result. False when either moved the target.
bool KeepTargetOutOfStaticBoxes(Engine3D& e, const Vector3f& followed, float r, Vector3f& target) {
  CameraState& c = e.camera;
  Vector3f& result = e.collision.static_box_result;
  bool kept = true;
  if (StaticLineCollision(e.static_scene, followed, target, r, 1.0f, &result) > 0) {
    target = result;
    c.follow_last_good = target;
    kept = false;
  }
  const Vector3f reach{2 * r, r, 2 * r};
  const Vector3f good = c.follow_last_good;
  const Vector3f previous_min{good.x - reach.x, good.y - reach.y, good.z - reach.z};
  const Vector3f previous_max{good.x + reach.x, good.y + reach.y, good.z + reach.z};
  const Vector3f new_min{target.x - reach.x, target.y - reach.y, target.z - reach.z};
  const Vector3f new_max{target.x + reach.x, target.y + reach.y, target.z + reach.z};
  if (StaticBoxCollision(e.static_scene, previous_min, previous_max, new_min, new_max, &result) > 0) {
    target = Vector3f{target.x - result.x, target.y - result.y, target.z - result.z};
    kept = false;
  }
  return kept;
}

void CmdSetCameraToFollow(Vm& vm) {
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  const float angle = vm.NextFloat() * kDegreesToRadians;
  const float distance = vm.NextFloat();
  const float height = vm.NextFloat();
  const float smoothing = vm.NextFloat();
  const int32_t radius = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  Vector3f target{x - std::sin(angle) * distance, height, z - std::cos(angle) * distance};
  bool remember_target = true;
  if (radius > 0) {
    const float r = static_cast<float>(radius);
    target.y += r;
    remember_target = KeepTargetOutOfStaticBoxes(*e, Vector3f{x, y + r, z}, r, target);
  }
  // A smoothing of 0 (or less) would divide by nothing: the camera goes
  // straight to the target.
  const float divisor = smoothing > 0.0f ? smoothing : 1.0f;
  const Vector3f d{target.x - c.position.x, target.y - c.position.y, target.z - c.position.z};
  const float heading = std::atan2(d.x, d.z);
  const float step = std::sqrt(d.x * d.x + d.z * d.z) / divisor;
  c.position = Vector3f{c.position.x + std::sin(heading) * step, c.position.y + d.y / divisor,
                        c.position.z + std::cos(heading) * step};
  const float wanted = std::atan2(x - c.position.x, z - c.position.z) * kRadiansToDegrees;
  const float current = c.angles.y * kRadiansToDegrees;
  float difference = wanted - current;
  if (difference < -180.0f) difference += 360.0f;
  if (difference > 180.0f) difference -= 360.0f;
  c.angles.y = WrapAngle(current + difference / 1.5f) * kDegreesToRadians;
  c.mode = kCameraAngles;
  UpdateCameraFromAngles(*e);
  if (remember_target) c.follow_last_good = target;
}

void CmdSetCameraRange(Vm& vm) {
  const float near_range = vm.NextFloat();
  const float far_range = vm.NextFloat();
  vm.yield = true;
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!(far_range > 0.0f)) return vm.RunError(err::kValue);
  if (!(near_range >= 1.0f && near_range < far_range)) return vm.RunError(err::kNearRange);
  e->camera.near_range = near_range;
  e->camera.far_range = far_range;
  SetCameraProjection(*e, near_range, far_range, e->camera.fov);
}

void CmdSetCameraFov(Vm& vm) {
  const float fov = vm.NextFloat();
  vm.yield = true;
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!(fov > 0.0f)) return vm.RunError(err::kValue);
  e->camera.fov = fov;
  SetCameraProjection(*e, e->camera.near_range, e->camera.far_range, fov);
}

void CmdSetCameraView(Vm& vm) {
  const int32_t left = vm.NextInt();
  const int32_t top = vm.NextInt();
  const int32_t right = vm.NextInt();
  const int32_t bottom = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!(left >= 0 && left < right && right <= e->DisplayWidth() && top >= 0 && top < bottom &&
        bottom <= e->DisplayHeight()))
    return vm.RunError(err::kViewRectangle);
  SetCameraViewport(*e, left, top, right, bottom);
}

template <uint8_t Order>
void CmdSetCameraRotationOrder(Vm& vm) {
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  e->camera.rotation_order = Order;
  UpdateCameraFromAngles(*e);
}

template <uint8_t On>
void CmdSetAutoCamera(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) e->camera.auto_camera = On;
}

void CmdQueueScreenClear(Vm& vm) {
  const int32_t colour = vm.NextInt();
  if (vm.display) vm.display->QueueClearScreenEntry(static_cast<uint32_t>(colour));
}

template <float (*Read)(const CameraState&)>
void FnCameraValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (Engine3D* e = FindEngine(vm)) vm.SetFloat(result, Read(e->camera));
}

float PositionX(const CameraState& c) { return c.position.x; }
float PositionY(const CameraState& c) { return c.position.y; }
float PositionZ(const CameraState& c) { return c.position.z; }
float AngleX(const CameraState& c) { return c.angles.x * kRadiansToDegrees; }
float AngleY(const CameraState& c) { return c.angles.y * kRadiansToDegrees; }
float AngleZ(const CameraState& c) { return c.angles.z * kRadiansToDegrees; }

}  // namespace

void RegisterCameraHandlers(HandlerTable& table) {
  table.Set(op::kPositionCamera, CmdPositionCamera);
  table.Set(op::kPointCamera, CmdPointCamera);
  table.Set(op::kRotateCamera, CmdRotateCamera<kX | kY | kZ>);
  table.Set(op::kSetCameraAngleX, CmdRotateCamera<kX>);
  table.Set(op::kSetCameraAngleY, CmdRotateCamera<kY>);
  table.Set(op::kSetCameraAngleZ, CmdRotateCamera<kZ>);
  table.Set(op::kMoveCamera, CmdMoveCamera);
  table.Set(op::kTurnCameraLeft, CmdTurnCamera<1, 1>);
  table.Set(op::kTurnCameraRight, CmdTurnCamera<1, -1>);
  table.Set(op::kPitchCameraUp, CmdTurnCamera<0, 1>);
  table.Set(op::kPitchCameraDown, CmdTurnCamera<0, -1>);
  table.Set(op::kRollCameraLeft, CmdTurnCamera<2, -1>);
  table.Set(op::kRollCameraRight, CmdTurnCamera<2, 1>);
  table.Set(op::kSetCameraToObjectOrientation, CmdSetCameraToObjectOrientation);
  table.Set(op::kSetCameraToFollow, CmdSetCameraToFollow);
  table.Set(op::kSetCameraRange, CmdSetCameraRange);
  table.Set(op::kSetCameraFov, CmdSetCameraFov);
  table.Set(op::kSetCameraView, CmdSetCameraView);
  table.Set(op::kSetCameraRotationZYX, CmdSetCameraRotationOrder<0>);
  table.Set(op::kSetCameraRotationXYZ, CmdSetCameraRotationOrder<1>);
  table.Set(op::kEnableAutoCamera, CmdSetAutoCamera<1>);
  table.Set(op::kDisableAutoCamera, CmdSetAutoCamera<0>);
  table.Set(op::kQueueScreenClear, CmdQueueScreenClear);
  table.Set(op::kCameraPositionX, FnCameraValue<PositionX>);
  table.Set(op::kCameraPositionY, FnCameraValue<PositionY>);
  table.Set(op::kCameraPositionZ, FnCameraValue<PositionZ>);
  table.Set(op::kCameraAngleX, FnCameraValue<AngleX>);
  table.Set(op::kCameraAngleY, FnCameraValue<AngleY>);
  table.Set(op::kCameraAngleZ, FnCameraValue<AngleZ>);
}

}  // namespace zv
