#include "engine3d/render/lights.h"

#include <cmath>

#include "engine3d/engine.h"

namespace zv {
namespace {

namespace p = platform;

constexpr Vector3f kDefaultDirection{0.2f, -0.7f, 0.1f};

bool Enable(Engine3D& e, p::Device3D& d, int32_t index, bool on, const char* failure) {
  if (p::Failed(d.LightEnable(static_cast<uint32_t>(index), on))) {
    e.WriteErrorLog(failure);
    return false;
  }
  return true;
}

}  // namespace

Vector3f DirectionBetween(const Vector3f& origin, const Vector3f& target) {
  Vector3f d{target.x - origin.x, target.y - origin.y, target.z - origin.z};
  const float sum = std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z);
  // A target on the origin names no direction: straight ahead instead of
  // the three NaNs the division would give.
  if (sum == 0.0f) return Vector3f{0, 0, 1};
  return Vector3f{d.x / sum, d.y / sum, d.z / sum};
}

bool SetDefaultLightDescriptor(Engine3D& e, int32_t index) {
  p::Device3D* d = e.Device();
  if (!d) return true;
  p::Light light;
  light.type = p::LightType::kDirectional;
  light.diffuse = p::ColourValue{1, 1, 1, 0};
  light.direction = kDefaultDirection;
  if (p::Failed(d->SetLight(static_cast<uint32_t>(index), light))) {
    e.WriteErrorLog("Failed to set Light Object Properties");
    return false;
  }
  return Enable(e, *d, index, true, "Failed to enable Light Object");
}

bool ApplyLight(Engine3D& e, int32_t index) {
  if (!e.lights.records.InUse(index)) return false;
  LightRecord& r = e.lights.records[index];
  p::Device3D* d = e.Device();
  if (!d) return true;
  p::Light light;
  light.type = static_cast<p::LightType>(r.type);
  light.diffuse = p::ColourValue{r.red, r.green, r.blue, 0};
  light.range = r.range;
  light.attenuation0 = 1.0f;
  const float third = r.range / 3.0f;
  light.attenuation2 = 1.0f / (third * third);
  switch (r.type) {
    case kPointLight:
      light.position = r.position;
      light.falloff = 1.0f;
      break;
    case kSpotLight:
      light.position = r.position;
      light.direction = r.direction;
      light.theta = r.inner;
      light.phi = r.outer;
      light.falloff = 1.0f;
      break;
    case kDirectionalLight: light.direction = r.direction; break;
    default: break;
  }
  if (p::Failed(d->SetLight(static_cast<uint32_t>(index), light))) {
    e.WriteErrorLog("Failed to set Light Object Properties");
    return false;
  }
  if (r.shown == 1 && r.enabled == 0) {
    if (!Enable(e, *d, index, true, "Failed to enable Light Object")) return false;
    r.enabled = 1;
  } else if (r.shown != 1 && r.enabled != 0) {
    if (!Enable(e, *d, index, false, "Failed to disable Light Object")) return false;
    r.enabled = 0;
  }
  return true;
}

void MakeDefaultLight(Engine3D& e) {
  // Lights of the last run go dark with their records.
  if (p::Device3D* d = e.Device())
    for (int32_t i = e.lights.records.Head(); i != kNoRecord; i = e.lights.records.Next(i))
      if (e.lights.records[i].enabled) d->LightEnable(static_cast<uint32_t>(i), false);
  e.lights.records.Reset();
  e.lights.ids.Clear();
  const int32_t index = e.lights.records.Alloc();
  if (index == kNoRecord || !SetDefaultLightDescriptor(e, index)) {
    e.WriteErrorLog("Failed to create a Light Object");
    return;
  }
  LightRecord& r = e.lights.records[index];
  r = LightRecord{};
  r.in_use = 1;
  r.shown = 1;
  r.enabled = e.Device() ? 1 : 0;
  r.type = kDirectionalLight;
  r.direction = kDefaultDirection;
  r.red = r.green = r.blue = 1.0f;
  r.range = kDefaultLightRange;
  ApplyLight(e, index);
}

void ReapplyAllLights(Engine3D& e) {
  for (int32_t i = 0; i < e.lights.records.Capacity(); ++i) {
    if (!e.lights.records.InUse(i) || e.lights.records[i].in_use != 1) continue;
    // The new device knows nothing of the light yet.
    e.lights.records[i].enabled = SetDefaultLightDescriptor(e, i) && e.Device() ? 1 : 0;
    ApplyLight(e, i);
  }
}

}  // namespace zv
