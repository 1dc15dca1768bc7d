#include "engine3d/render/light_commands.h"

#include <cmath>

#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/render_settings.h"
#include "engine3d/render/render_states.h"
#include "engine3d/render/screen_position.h"
#include "engine3d/scene/rotation.h"

namespace zv {
namespace {

namespace err = light_error;

// The record of light `number` (light 0 is the default light's): 7301 out
// of range, 7303 for a number without a light; kNoRecord after raising.
int32_t ExistingLight(Vm& vm, Engine3D& e, int32_t number) {
  if (!LightPool::InRange(number)) {
    vm.RunError(err::kNumber);
    return kNoRecord;
  }
  if (number == 0) return e.lights.records.InUse(0) ? 0 : kNoRecord;
  const int32_t index = e.lights.ids.Get(number);
  if (index < 1 || !e.lights.records.InUse(index)) {
    vm.RunError(err::kMissing);
    return kNoRecord;
  }
  return index;
}

// Reads the light number, yields for the refresh and finds the light; then
// `change` alters the record and the light goes to the device.
template <class Change>
void ChangeLight(Vm& vm, int32_t number, Change change) {
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  const int32_t index = ExistingLight(vm, *e, number);
  if (index == kNoRecord) return;
  if (change(*e, e->lights.records[index])) ApplyLight(*e, index);
}

Vector3f TurnedForward(float ax, float ay, float az) {
  Matrix4 r;
  RotationFromAngles(r, ax * kDegreesToRadians, ay * kDegreesToRadians, az * kDegreesToRadians);
  Vector3f d{0, 0, 1};
  TransformPointProject(d, d, r);
  return d;
}

// The direction turned by the matrix's rotation, of length 1 again.
Vector3f TurnedBy(Vector3f d, Matrix4 m) {
  m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
  TransformPointProject(d, d, m);
  const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  return length > 0.0f ? Vector3f{d.x / length, d.y / length, d.z / length} : d;
}

void CmdMakeLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!LightPool::InRange(number)) return vm.RunError(err::kNumber);
  if (number == 0 || e->lights.ids.Get(number) > 0) return vm.RunError(err::kExists);
  const int32_t index = e->lights.records.Alloc();
  if (index == kNoRecord) return vm.RunError(kPoolOutOfMemory);
  e->lights.ids.Set(number, index);
  LightRecord& r = e->lights.records[index];
  r = LightRecord{};
  if (!SetDefaultLightDescriptor(*e, index)) return vm.RunError(err::kCreate);
  r.in_use = 1;
  r.shown = 1;
  r.enabled = e->Device() ? 1 : 0;
  r.type = kPointLight;
  r.red = r.green = r.blue = 1.0f;
  r.direction = Vector3f{0, 0, 1};
  r.range = kDefaultLightRange;
  ApplyLight(*e, index);
}

void CmdDeleteLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!LightPool::InRange(number)) return vm.RunError(err::kNumber);
  if (number == 0) return vm.RunError(err::kDefault);
  const int32_t index = e->lights.ids.Get(number);
  if (index < 1 || !e->lights.records.InUse(index)) return vm.RunError(err::kMissing);
  e->lights.ids.Set(number, 0);
  LightRecord& r = e->lights.records[index];
  if (r.enabled == 1)
    if (platform::Device3D* d = e->Device()) d->LightEnable(static_cast<uint32_t>(index), false);
  r = LightRecord{};
  e->lights.records.Free(index);
}

void CmdSetPointLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.type = kPointLight;
    r.position = Vector3f{x, y, z};
    return true;
  });
}

void CmdSetSpotLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float inner = vm.NextFloat();
  const float outer = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.type = kSpotLight;
    r.inner = inner * kDegreesToRadians;
    r.outer = outer * kDegreesToRadians;
    return true;
  });
}

void CmdSetDirectionalLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.type = kDirectionalLight;
    r.direction = DirectionBetween(Vector3f{}, Vector3f{x, y, z});
    return true;
  });
}

void CmdPositionLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    if (r.type != kPointLight && r.type != kSpotLight) return false;
    r.position = Vector3f{x, y, z};
    return true;
  });
}

void CmdRotateLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float ax = vm.NextFloat();
  const float ay = vm.NextFloat();
  const float az = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    if (r.type != kSpotLight && r.type != kDirectionalLight) return false;
    r.direction = TurnedForward(ax, ay, az);
    r.from_matrix = 0;
    return true;
  });
}

void CmdPointLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.direction = DirectionBetween(r.position, Vector3f{x, y, z});
    r.from_matrix = 0;
    return true;
  });
}

void CmdColorLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const uint32_t colour = static_cast<uint32_t>(vm.NextInt());
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.red = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
    r.green = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
    r.blue = static_cast<float>(colour & 0xFF) / 255.0f;
    return true;
  });
}

void CmdColorLightRgb(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t red = vm.NextInt();
  const int32_t green = vm.NextInt();
  const int32_t blue = vm.NextInt();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.red = static_cast<float>(red) / 255.0f;
    r.green = static_cast<float>(green) / 255.0f;
    r.blue = static_cast<float>(blue) / 255.0f;
    return true;
  });
}

template <int32_t Shown>
void CmdShowLight(Vm& vm) {
  const int32_t number = vm.NextInt();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.shown = Shown;
    return true;
  });
}

// The light's object, checked after the light: 7006, 7008.
template <class Change>
void ChangeLightByObject(Vm& vm, int32_t number, int32_t object_number, Change change) {
  ChangeLight(vm, number, [&](Engine3D& e, LightRecord& r) {
    const int32_t object = ExistingObject(vm, e, object_number);
    if (object == 0) return false;
    change(e, r, object);
    return true;
  });
}

void CmdPositionLightAtObject(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t object = vm.NextInt();
  // Where the object is seen: a torch glued to a hand lights from the hand,
  // one locked to the camera from before the camera.
  ChangeLightByObject(vm, number, object,
                      [](Engine3D& e, LightRecord& r, int32_t index) { r.position = ObjectWorldOrigin(e, index); });
}

void CmdSetLightToObjectOrientation(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t object = vm.NextInt();
  ChangeLightByObject(vm, number, object, [](Engine3D& e, LightRecord& r, int32_t index) {
    const ObjectRecord& o = e.pools.objects[index];
    if (o.free_rotation == 1) {
      r.from_matrix = 1;
      r.object_matrix = o.free_matrix;
      Matrix4 inverse = Matrix4::Identity();
      MatrixInvertAffine(inverse, o.free_matrix);
      Vector3f d{0, 0, 1};
      TransformPointProject(d, d, inverse);
      r.direction = d;
    } else {
      r.from_matrix = 0;
      r.object_angles = o.angles;
      r.direction = TurnedForward(o.angles.x, o.angles.y, o.angles.z);
    }
    // A torch glued to a hand, or locked to the camera, shines the way it is seen to point.
    if (o.glued_to != 0 || LockedToCamera(e, index))
      r.direction = TurnedBy(r.direction, ObjectBaseMatrix(e, index));
  });
}

void CmdSetLightRange(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float range = vm.NextFloat();
  ChangeLight(vm, number, [&](Engine3D&, LightRecord& r) {
    r.range = range;
    return true;
  });
}

template <uint32_t On>
void CmdSetNormalization(Vm& vm) {
  if (Engine3D* e = FindEngine(vm)) SetNormalizeSwitch(*e, On);
}

}  // namespace

void RegisterLightHandlers(HandlerTable& table) {
  table.Set(7301, CmdMakeLight);
  table.Set(7302, CmdDeleteLight);
  table.Set(7303, CmdSetPointLight);
  table.Set(7304, CmdSetSpotLight);
  table.Set(7305, CmdSetDirectionalLight);
  table.Set(7306, CmdPositionLight);
  table.Set(7307, CmdRotateLight);
  table.Set(7309, CmdPointLight);
  table.Set(7310, CmdColorLight);
  table.Set(7311, CmdShowLight<0>);  // hide light
  table.Set(7312, CmdShowLight<1>);
  table.Set(7313, CmdPositionLightAtObject);
  table.Set(7314, CmdSetLightToObjectOrientation);
  table.Set(7315, CmdColorLightRgb);
  table.Set(7316, CmdSetNormalization<1>);  // enable normalization
  table.Set(7317, CmdSetNormalization<0>);  // disable normalization
  table.Set(7318, CmdSetLightRange);
}

}  // namespace zv
