#include "engine3d/render/render_settings.h"

#include <array>

#include "engine3d/engine.h"

namespace zv {
namespace {

namespace p = platform;

void SendState(Engine3D& e, p::RenderState state, uint32_t value) {
  if (p::Device3D* d = e.Device()) d->SetRenderState(state, value);
}

void SendFogEnable(Engine3D& e, uint32_t on) {
  p::Device3D* d = e.Device();
  if (!d) return;
  d->SetRenderState(p::RenderState::kFogEnable, on);
  // The objects' fog marks are sent only where the cache differs: it must
  // hold what the device has.
  e.cache.fog = on;
}

}  // namespace

void ResetRunSettings(RenderSettings& settings, CameraState& camera) {
  settings.fog_on = 0;
  settings.fog_end = 1000.0f;
  settings.fog_colour = 0;
  settings.ambient_level = 0.5;
  settings.ambient_colour = 0xFFFFFF;
  camera.near_range = kDefaultNear;
  camera.far_range = kDefaultFar;
  camera.fov = kDefaultFov;
}

void SendFogSettings(Engine3D& e, p::Device3D& d, bool table_fog) {
  if (e.settings.fog_on == 1)
    d.SetRenderState(table_fog ? p::RenderState::kFogTableMode : p::RenderState::kFogVertexMode, p::fog_mode::kLinear);
  d.SetRenderState(p::RenderState::kFogEnd, p::Device3D::FloatBits(e.settings.fog_end));
  d.SetRenderState(p::RenderState::kFogColor, e.settings.fog_colour);
}

void FogOn(Engine3D& e) {
  e.settings.fog_on = 1;
  if (p::Device3D* d = e.Device()) SendFogSettings(e, *d, e.Capabilities().table_fog);
  SendFogEnable(e, 1);
}

void FogOff(Engine3D& e) {
  SendFogEnable(e, 0);
  e.settings.fog_on = 0;
}

void SetFogEnd(Engine3D& e, int32_t distance) {
  e.settings.fog_end = static_cast<float>(distance);
  SendState(e, p::RenderState::kFogEnd, p::Device3D::FloatBits(e.settings.fog_end));
}

void SetFogColour(Engine3D& e, uint32_t colour) {
  e.settings.fog_colour = colour;
  SendState(e, p::RenderState::kFogColor, colour);
}

bool SetAmbientLevel(Engine3D& e, int32_t percent) {
  e.settings.ambient_level = percent / 100.0;
  p::Device3D* d = e.Device();
  if (!d) return true;
  if (p::Failed(d->SetMaterial(MakeDeviceMaterials(e.settings.ambient_level).scene))) return false;
  // The device now holds the scene material, whatever the cache said.
  e.cache.material = kSceneMaterial;
  return true;
}

void SetAmbientColour(Engine3D& e, uint32_t colour) {
  e.settings.ambient_colour = colour;
  SendState(e, p::RenderState::kAmbient, colour);
}

void SetNormalizeSwitch(Engine3D& e, uint32_t value) { e.settings.normalize_normals = value; }

Matrix4 CameraProjectionMatrix(Engine3D& e, float near_range, float far_range, float fov) {
  const int32_t width = e.DisplayWidth(), height = e.DisplayHeight();
  const float aspect = width > 0 ? static_cast<float>(height) / static_cast<float>(width) : 0.75f;
  Matrix4 projection = e.settings.projection;
  BuildProjectionMatrix(projection, fov, aspect, near_range, far_range);
  return projection;
}

bool SetCameraProjection(Engine3D& e, float near_range, float far_range, float fov) {
  e.settings.projection = CameraProjectionMatrix(e, near_range, far_range, fov);
  p::Device3D* d = e.Device();
  if (!d) return false;
  d->SetTransform(p::TransformState::kProjection, e.settings.projection);
  return true;
}

bool SetCameraViewport(Engine3D& e, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  p::Device3D* d = e.Device();
  if (!d) return false;
  p::Viewport viewport;
  d->GetViewport(&viewport);
  viewport.x = left;
  viewport.y = top;
  viewport.width = right - left;
  viewport.height = bottom - top;
  d->SetViewport(viewport);
  return true;
}

void ClearRenderTarget(Engine3D& e, uint32_t colour) {
  p::Device3D* d = e.Device();
  if (!d) return;
  const std::array<p::Rect, 1> whole{p::Rect{0, 0, e.DisplayWidth(), e.DisplayHeight()}};
  d->Clear(whole, p::clear::kTarget, colour, 1.0f);
}

void SetMipmapMode(Engine3D& e, int32_t mode) {
  if (mode == e.settings.mipmap_mode || !e.Capabilities().mipmap_available) return;
  e.settings.mipmap_mode = mode;
  static constexpr uint32_t kFilters[] = {p::mip_filter::kNone, p::mip_filter::kPoint, p::mip_filter::kLinear};
  if (mode < 0 || mode > 2) return;
  if (p::Device3D* d = e.Device()) d->SetTextureStageState(0, p::TextureStageState::kMipFilter, kFilters[mode]);
}

}  // namespace zv
