#include "engine3d/commands/placement_commands.h"

#include <array>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/scene/collision_refresh.h"
#include "engine3d/scene/rotation.h"

namespace zv {
namespace {

namespace err = object_error;

Vector3f PositionOf(Engine3D& e, int32_t index) {
  const auto& p = RenderRecordOf(e, index).position;
  return Vector3f{p[0], p[1], p[2]};
}

// Back to the angles: the free matrix returns to the identity.
void LeaveFreeRotation(ObjectRecord& o) {
  if (o.free_rotation == 1) {
    o.free_matrix = Matrix4::Identity();
    o.free_rotation = 0;
  }
}

// Angles of the free matrix, so that the angle queries follow it.
void AnglesFromFreeMatrix(ObjectRecord& o) { o.angles = MatrixToEulerAngles(o.free_matrix); }

void CmdPositionObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Vector3f p = NextVector(vm);
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  RenderRecordOf(*e, index).position = {p.x, p.y, p.z};
  RebuildObjectTransform(*e, index);
  ObjectMoved(*e, index);
}

// Which of the angles a rotate command sets.
enum AngleMask { kX = 1, kY = 2, kZ = 4 };

template <int Mask>
void CmdRotateObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  std::array<float, 3> angles{};
  for (int axis = 0; axis < 3; ++axis)
    if (Mask & (1 << axis)) angles[static_cast<size_t>(axis)] = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  for (int axis = 0; axis < 3; ++axis)
    if ((Mask & (1 << axis)) && !AngleInRange(angles[static_cast<size_t>(axis)])) return vm.RunError(err::kAngle);
  ObjectRecord& o = e->pools.objects[index];
  if (Mask & kX) o.angles.x = WrapAngle(angles[0]);
  if (Mask & kY) o.angles.y = WrapAngle(angles[1]);
  if (Mask & kZ) o.angles.z = WrapAngle(angles[2]);
  LeaveFreeRotation(o);
  RebuildObjectTransformFromAngles(*e, index);
  ObjectMoved(*e, index);
}

void CmdScaleObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Vector3f percent = NextVector(vm);
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  e->pools.objects[index].scale = Vector3f{percent.x / 100.0f, percent.y / 100.0f, percent.z / 100.0f};
  RebuildObjectTransform(*e, index);
  ObjectMoved(*e, index);
}

template <int32_t Order>
void CmdSetObjectRotationOrder(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  o.rotation_order = Order;
  LeaveFreeRotation(o);
  RebuildObjectTransformFromAngles(*e, index);
  ObjectMoved(*e, index);
}

template <int32_t Shown>
void CmdShowObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0 || e->pools.objects[index].is_static != 0) return;
  RenderRecordOf(*e, index).shown = Shown;
}

void SetGhost(Vm& vm, int32_t number, bool on, int32_t mode) {
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  if (on && e->Capabilities().blend_mode <= 0) return;
  RenderMarks& m = MarksOf(*e, index);
  m.ghost = on ? 1 : 0;
  m.ghost_mode = static_cast<int16_t>(mode & 0xFFFF);
}

void CmdEnableObjectGhost(Vm& vm) {
  const int32_t number = vm.NextInt();
  SetGhost(vm, number, true, 0);
}

void CmdEnableObjectGhostMode(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mode = vm.NextInt();
  SetGhost(vm, number, true, mode);
}

void CmdDisableObjectGhost(Vm& vm) {
  const int32_t number = vm.NextInt();
  SetGhost(vm, number, false, 0);
}

template <uint32_t Locked>
void CmdLockObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  MarksOf(*e, index).camera_locked = Locked;
  e->transforms_changed = 1;
}

void CmdScaleObjectNormals(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t percent = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  SetNormalizeSwitch(*e, 0);
  if (std::shared_ptr<ObjectModel> model = e->pools.objects[index].model)
    model->ScaleModelNormals(static_cast<float>(percent) / 100.0f);
}

// Turn, pitch and roll: the free matrix turned about one axis (x 0, y 1,
// z 2) by the angle, negated for Sign -1.
template <int Axis, int Sign>
void CmdTurnObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float angle = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  const float wrapped = WrapAngle(Sign < 0 ? 0.0f - angle : angle);
  ObjectRecord& o = e->pools.objects[index];
  // The turn starts from where the object faces now: an object turned by its
  // angles brings their rotation into the free matrix first (the free matrix
  // holds the inverse of the rotation the object is drawn with).
  if (o.free_rotation != 1) MatrixInvertAffine(o.free_matrix, AngleRotation(o.angles, o.rotation_order));
  RotateMatrixByAngles(o.free_matrix, Axis == 0 ? wrapped : 0.0f, Axis == 1 ? wrapped : 0.0f,
                       Axis == 2 ? wrapped : 0.0f);
  o.free_rotation = 1;
  RebuildObjectTransform(*e, index);
  AnglesFromFreeMatrix(e->pools.objects[index]);
  ObjectMoved(*e, index);
}

void CmdSetObjectToObjectOrientation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t source_number = vm.NextInt();
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  // Both numbers are checked for their range before either object.
  if (!IdMap::InRange(number) || !IdMap::InRange(source_number)) return vm.RunError(err::kNumber);
  const int32_t index = ExistingObject(vm, *e, number);
  const int32_t source = index == 0 ? 0 : ExistingObject(vm, *e, source_number);
  if (source == 0) return;
  const ObjectRecord from = e->pools.objects[source];
  ObjectRecord& o = e->pools.objects[index];
  if (from.free_rotation != 1) {
    o.angles = from.angles;
    LeaveFreeRotation(o);
  } else {
    o.free_matrix = from.free_matrix;
    o.free_rotation = 1;
    AnglesFromFreeMatrix(o);
  }
  RebuildObjectTransform(*e, index);
  ObjectMoved(*e, index);
}

void CmdSetObjectToCameraOrientation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  const CameraState& c = e->camera;
  if (c.mode != kCameraFree) {
    o.angles = Vector3f{c.angles.x * kRadiansToDegrees, c.angles.y * kRadiansToDegrees, c.angles.z * kRadiansToDegrees};
    LeaveFreeRotation(o);
  } else {
    o.free_matrix = c.matrix;
    o.free_rotation = 1;
    AnglesFromFreeMatrix(o);
  }
  RebuildObjectTransform(*e, index);
  ObjectMoved(*e, index);
}

void CmdPointObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const Vector3f target = NextVector(vm);
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  const Vector3f angles = DirectionToAngles(PositionOf(*e, index), target);
  ObjectRecord& o = e->pools.objects[index];
  o.angles = Vector3f{WrapAngle(angles.x * kRadiansToDegrees), WrapAngle(angles.y * kRadiansToDegrees),
                      WrapAngle(angles.z * kRadiansToDegrees)};
  LeaveFreeRotation(o);
  RebuildObjectTransformFromAngles(*e, index);
  ObjectMoved(*e, index);
}

// The rotation an object faces by: its angles, or the inverse of its free
// matrix.
Matrix4 FacingRotation(const ObjectRecord& o, bool wrap) {
  Matrix4 r = Matrix4::Identity();
  if (o.free_rotation == 1) {
    MatrixInvertAffine(r, o.free_matrix);
  } else {
    const Vector3f a = wrap ? Vector3f{WrapAngle(o.angles.x), WrapAngle(o.angles.y), WrapAngle(o.angles.z)} : o.angles;
    RotationFromAngles(r, a.x * kDegreesToRadians, a.y * kDegreesToRadians, a.z * kDegreesToRadians);
  }
  return r;
}

void CmdMoveObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float distance = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  Vector3f step{0, 0, distance};
  TransformPointProject(step, step, FacingRotation(e->pools.objects[index], true));
  auto& p = RenderRecordOf(*e, index).position;
  p = {p[0] + step.x, p[1] + step.y, p[2] + step.z};
  RebuildObjectTransform(*e, index);
  ObjectMoved(*e, index);
}

void CmdFixObjectPivot(Vm& vm) {
  const int32_t number = vm.NextInt();
  const auto [e, index] = CheckedObject(vm, number);
  if (index == 0) return;
  ObjectRecord& o = e->pools.objects[index];
  const Matrix4 rotation = FacingRotation(o, false);
  if (std::shared_ptr<ObjectModel> model = o.model) {
    const Matrix4* root = model->GetRootTransform();
    model->SetRootTransform(1, root ? *root * rotation : rotation);
  }
  o.angles = Vector3f{};
  // The rotation now lives in the root frame: the free matrix starts anew.
  o.free_rotation = 0;
  o.free_matrix = Matrix4::Identity();
  RebuildObjectTransformFromAngles(*e, index);
  ObjectMoved(*e, index);
}

}  // namespace

void RegisterPlacementHandlers(HandlerTable& table) {
  table.Set(7021, CmdPositionObject);
  table.Set(7022, CmdRotateObject<kX | kY | kZ>);
  table.Set(7028, CmdRotateObject<kX>);  // x rotate object
  table.Set(7029, CmdRotateObject<kY>);  // y rotate object
  table.Set(7030, CmdRotateObject<kZ>);  // z rotate object
  table.Set(7031, CmdScaleObject);
  table.Set(7036, CmdSetObjectRotationOrder<kRotateZyx>);  // set object rotation xyz
  table.Set(7037, CmdSetObjectRotationOrder<kRotateXyz>);  // set object rotation zyx
  table.Set(7023, CmdShowObject<0>);  // hide object
  table.Set(7024, CmdShowObject<1>);
  table.Set(7025, CmdEnableObjectGhost);
  table.Set(7050, CmdEnableObjectGhostMode);  // enable object ghost
  table.Set(7026, CmdDisableObjectGhost);
  table.Set(7032, CmdLockObject<1>);
  table.Set(7033, CmdLockObject<0>);  // unlock object
  table.Set(7034, CmdScaleObjectNormals);
  table.Set(7251, CmdTurnObject<1, 1>);  // turn object left
  table.Set(7252, CmdTurnObject<1, -1>);  // turn object right
  table.Set(7253, CmdTurnObject<0, 1>);  // pitch object up
  table.Set(7254, CmdTurnObject<0, -1>);  // pitch object down
  table.Set(7255, CmdTurnObject<2, -1>);  // roll object left
  table.Set(7256, CmdTurnObject<2, 1>);  // roll object right
  table.Set(7257, CmdSetObjectToObjectOrientation);
  table.Set(7258, CmdSetObjectToCameraOrientation);
  table.Set(7616, CmdPointObject);
  table.Set(7617, CmdMoveObject);
  table.Set(7618, CmdFixObjectPivot);
}

}  // namespace zv
