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

void CmdPositionCamera(Vm& vm) {
  const Vector3f p = NextVector(vm);
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  c.look_at = Vector3f{c.look_at.x + (p.x - c.position.x), c.look_at.y + (p.y - c.position.y),
                       c.look_at.z + (p.z - c.position.z)};
  c.position = p;
  UpdateCameraForMode(*e);
}

void CmdPointCamera(Vm& vm) {
  const Vector3f target = NextVector(vm);
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  CameraState& c = e->camera;
  c.look_at = target;
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

// The free matrix a turn starts from, so that it turns the camera from
// where it looks now: turned by angles, the rotation of its view; aimed at
// a point, the rotation of the angles that aiming gave (the way `move
// camera` goes), so that a camera the automatic placement tipped towards a
// new object, which leaves the angles alone, still turns level.
Matrix4 TurnStart(const CameraState& c) {
  if (c.mode == kCameraAngles) return ViewRotation(c);
  Matrix4 facing, inverse = Matrix4::Identity();
  RotationFromAngles(facing, c.angles.x, c.angles.y, c.angles.z);
  MatrixInvertAffine(inverse, facing);
  return inverse;
}

template <int Axis, int Sign>
void CmdTurnCamera(Vm& vm) {
  const float angle = vm.NextFloat();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const float wrapped = WrapAngle(Sign < 0 ? 0.0f - angle : angle);
  CameraState& c = e->camera;
  if (c.mode != kCameraFree) c.matrix = TurnStart(c);
  RotateMatrixByAngles(c.matrix, Axis == 0 ? wrapped : 0.0f, Axis == 1 ? wrapped : 0.0f, Axis == 2 ? wrapped : 0.0f);
  c.mode = kCameraFree;
  UpdateCameraAngles(*e);
}

void CmdSetCameraToObjectOrientation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
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
// In 0..360 as the object queries give them, so that an angle read back
// is one that `set camera angle` and `rotate camera` take.
float AngleX(const CameraState& c) { return WrapAngle(c.angles.x * kRadiansToDegrees); }
float AngleY(const CameraState& c) { return WrapAngle(c.angles.y * kRadiansToDegrees); }
float AngleZ(const CameraState& c) { return WrapAngle(c.angles.z * kRadiansToDegrees); }

}  // namespace

void RegisterCameraHandlers(HandlerTable& table) {
  table.Set(7051, CmdPositionCamera);
  table.Set(7052, CmdPointCamera);
  table.Set(7053, CmdRotateCamera<kX | kY | kZ>);
  table.Set(7055, CmdRotateCamera<kX>);  // set camera angle x
  table.Set(7056, CmdRotateCamera<kY>);  // set camera angle y
  table.Set(7057, CmdRotateCamera<kZ>);  // set camera angle z
  table.Set(7054, CmdMoveCamera);
  table.Set(7058, CmdTurnCamera<1, 1>);  // turn camera left
  table.Set(7059, CmdTurnCamera<1, -1>);  // turn camera right
  table.Set(7060, CmdTurnCamera<0, 1>);  // pitch camera up
  table.Set(7065, CmdTurnCamera<0, -1>);  // pitch camera down
  table.Set(7066, CmdTurnCamera<2, -1>);  // roll camera left
  table.Set(7068, CmdTurnCamera<2, 1>);  // roll camera right
  table.Set(7069, CmdSetCameraToObjectOrientation);
  table.Set(7070, CmdSetCameraToFollow);
  table.Set(7081, CmdSetCameraRange);
  table.Set(7109, CmdSetCameraFov);
  table.Set(7086, CmdSetCameraView);
  table.Set(7082, CmdSetCameraRotationOrder<0>);  // set camera rotation zyx
  table.Set(7083, CmdSetCameraRotationOrder<1>);  // set camera rotation xyz
  table.Set(7084, CmdSetAutoCamera<1>);  // enable auto camera
  table.Set(7085, CmdSetAutoCamera<0>);  // disable auto camera
  table.Set(7087, CmdQueueScreenClear);
  table.Set(7541, FnCameraValue<PositionX>);  // camera position x
  table.Set(7542, FnCameraValue<PositionY>);  // camera position y
  table.Set(7543, FnCameraValue<PositionZ>);  // camera position z
  table.Set(7544, FnCameraValue<AngleX>);  // camera angle x
  table.Set(7545, FnCameraValue<AngleY>);  // camera angle y
  table.Set(7546, FnCameraValue<AngleZ>);  // camera angle z
}

}  // namespace zv
