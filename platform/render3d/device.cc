#include "platform/render3d/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/render3d/clip.h"
#include "platform/render3d/device_result.h"
#include "platform/render3d/rasterizer.h"
#include "platform/render3d/span_shader.h"
#include "platform/render3d/vertex_processing.h"

namespace zv::platform {
namespace {

using pipeline::ClipVertex;
using pipeline::ScreenVertex;

bool IsBlendFactor(uint32_t v) {
  switch (v) {
    case blend::kZero: case blend::kOne: case blend::kSrcColor: case blend::kInvSrcColor:
    case blend::kSrcAlpha: case blend::kInvSrcAlpha: case blend::kDestColor: case blend::kInvDestColor:
      return true;
    default: return false;
  }
}

float BitsToFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Whether `value` is one the device carries for `state`.
bool StateValueSupported(RenderState state, uint32_t value) {
  switch (state) {
    case RenderState::kZEnable: return value == zbuffer::kFalse || value == zbuffer::kTrue;
    case RenderState::kFillMode: return value == fill_mode::kWireframe || value == fill_mode::kSolid;
    case RenderState::kSrcBlend:
    case RenderState::kDestBlend: return IsBlendFactor(value);
    case RenderState::kCullMode: return value == cull_mode::kNone || value == cull_mode::kCcw;
    case RenderState::kFogTableMode: return value == fog_mode::kNone;
    case RenderState::kFogVertexMode: return value == fog_mode::kNone || value == fog_mode::kLinear;
    case RenderState::kFogStart:
    case RenderState::kFogEnd: return std::isfinite(BitsToFloat(value));
    case RenderState::kShadeMode: return value == shade_mode::kGouraud;
    case RenderState::kSpecularEnable: return value == 0;
    default: return true;
  }
}

bool Finite(const ColourValue& c) {
  return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}
bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool ValidLight(const Light& l) {
  if (l.type != LightType::kPoint && l.type != LightType::kSpot && l.type != LightType::kDirectional)
    return false;
  if (!Finite(l.diffuse) || !Finite(l.specular) || !Finite(l.ambient) || !Finite(l.position) ||
      !Finite(l.direction))
    return false;
  for (float v : {l.range, l.falloff, l.attenuation0, l.attenuation1, l.attenuation2, l.theta, l.phi})
    if (!std::isfinite(v)) return false;
  if (l.range < 0 || l.attenuation0 < 0 || l.attenuation1 < 0 || l.attenuation2 < 0) return false;
  if (l.type == LightType::kSpot &&
      !(l.theta >= 0 && l.theta <= l.phi && l.phi <= std::numbers::pi_v<float>))
    return false;
  return true;
}

pipeline::TargetFormat TargetFormatOf(const PixelFormat& f) {
  if (f.bits == 32) return pipeline::TargetFormat::k8888;
  if (f.bits == 24) return pipeline::TargetFormat::k888;
  return f.green_mask == 0x07E0 ? pipeline::TargetFormat::k565 : pipeline::TargetFormat::k555;
}

uint32_t DepthValue(const Surface& depth, float z) {
  if (depth.Format().bits == 16) return static_cast<uint32_t>(z * 65535.0f + 0.5f);
  uint32_t bits;
  std::memcpy(&bits, &z, 4);
  return bits;
}

}  // namespace

Device3D::Device3D(DeviceKind kind, SurfacePtr target)
    : kind_(kind), caps_(SoftwareDeviceCaps(kind)), target_(std::move(target)) {
  depth_ = target_->AttachedZBuffer();
  states_.z_enable = depth_ ? zbuffer::kTrue : zbuffer::kFalse;
  viewport_ = Viewport{0, 0, target_->Width(), target_->Height(), 0.0f, 1.0f};
}

uint32_t Device3D::FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

bool Device3D::TargetUsable(Result* why) const {
  if (target_->IsLost() || (depth_ && depth_->IsLost())) {
    *why = result::kSurfaceLost;
    return false;
  }
  if (target_->IsLocked() || (depth_ && depth_->IsLocked())) {
    *why = result::kSurfaceBusy;
    return false;
  }
  return true;
}

Result Device3D::BeginScene() {
  if (in_scene_) return result::kSceneInScene;
  Result why;
  if (!TargetUsable(&why)) return why;
  in_scene_ = true;
  return result::kOk;
}

Result Device3D::EndScene() {
  if (!in_scene_) return result::kSceneNotInScene;
  in_scene_ = false;
  return result::kOk;
}

Result Device3D::Clear(std::span<const Rect> rects, uint32_t flags, PackedColour colour, float z,
                       uint32_t stencil) {
  (void)stencil;  // there is no stencil buffer
  if (flags == 0 || (flags & ~(clear::kTarget | clear::kZBuffer))) return result::kInvalidParams;
  if ((flags & clear::kZBuffer) && (depth_ == nullptr || !(z >= 0.0f && z <= 1.0f)))
    return result::kInvalidParams;
  Result why;
  if (!TargetUsable(&why)) return why;
  const Rect view{viewport_.x, viewport_.y, viewport_.x + viewport_.width, viewport_.y + viewport_.height};
  const Rect whole[1] = {view};
  if (rects.empty()) rects = whole;
  uint32_t pixel = PackRgb(target_->Format(), static_cast<uint8_t>(colour >> 16),
                           static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour));
  uint32_t depth_value = depth_ ? DepthValue(*depth_, z) : 0;
  const BltFx colour_fill{pixel};
  for (const Rect& r : rects) {
    Rect cut{std::max(r.left, view.left), std::max(r.top, view.top), std::min(r.right, view.right),
             std::min(r.bottom, view.bottom)};
    if (cut.Empty()) continue;
    if (flags & clear::kTarget) target_->Blt(&cut, nullptr, nullptr, kBltColorFill, &colour_fill);
    if (flags & clear::kZBuffer) AddDepthFill(cut, depth_value);
  }
  return result::kOk;
}

void Device3D::AddDepthFill(const Rect& rect, uint32_t value) {
  // A fill hides every earlier one inside its rectangle.
  std::erase_if(depth_fills_, [&](const DepthFill& fill) {
    return fill.rect.left >= rect.left && fill.rect.top >= rect.top && fill.rect.right <= rect.right &&
           fill.rect.bottom <= rect.bottom;
  });
  depth_fills_.push_back(DepthFill{rect, value});
  // Rectangles that never cover each other are made before they pile up.
  constexpr size_t kMostPending = 16;
  if (depth_fills_.size() > kMostPending) MakePendingDepthFills();
}

void Device3D::MakePendingDepthFills() {
  for (const DepthFill& fill : depth_fills_) {
    const BltFx fx{fill.value};
    depth_->Blt(&fill.rect, nullptr, nullptr, kBltColorFill, &fx);
  }
  depth_fills_.clear();
}

Result Device3D::SetTransform(TransformState state, const Matrix4& matrix) {
  switch (state) {
    case TransformState::kWorld: world_ = matrix; return result::kOk;
    case TransformState::kView: view_ = matrix; return result::kOk;
    case TransformState::kProjection: projection_ = matrix; return result::kOk;
  }
  return result::kInvalidParams;
}

Result Device3D::GetTransform(TransformState state, Matrix4* out) const {
  if (out == nullptr) return result::kInvalidParams;
  switch (state) {
    case TransformState::kWorld: *out = world_; return result::kOk;
    case TransformState::kView: *out = view_; return result::kOk;
    case TransformState::kProjection: *out = projection_; return result::kOk;
  }
  return result::kInvalidParams;
}

Result Device3D::SetViewport(const Viewport& v) {
  bool inside = v.width >= 1 && v.height >= 1 && v.x >= 0 && v.y >= 0 &&
                int64_t{v.x} + v.width <= target_->Width() && int64_t{v.y} + v.height <= target_->Height();
  bool depths = v.min_z >= 0.0f && v.min_z <= 1.0f && v.max_z >= 0.0f && v.max_z <= 1.0f;
  if (!inside || !depths) return result::kInvalidViewport;
  viewport_ = v;
  return result::kOk;
}

Result Device3D::GetViewport(Viewport* out) const {
  if (out == nullptr) return result::kInvalidParams;
  *out = viewport_;
  return result::kOk;
}

uint32_t* Device3D::StateField(RenderState state) {
  return const_cast<uint32_t*>(static_cast<const Device3D*>(this)->StateField(state));
}

const uint32_t* Device3D::StateField(RenderState state) const {
  const States& s = states_;
  switch (state) {
    case RenderState::kZEnable: return &s.z_enable;
    case RenderState::kFillMode: return &s.fill_mode;
    case RenderState::kZWriteEnable: return &s.z_write;
    case RenderState::kSrcBlend: return &s.src_blend;
    case RenderState::kDestBlend: return &s.dest_blend;
    case RenderState::kCullMode: return &s.cull_mode;
    case RenderState::kAlphaBlendEnable: return &s.alpha_blend;
    case RenderState::kFogEnable: return &s.fog_enable;
    case RenderState::kFogColor: return &s.fog_color;
    case RenderState::kFogTableMode: return &s.fog_table_mode;
    case RenderState::kFogEnd: return &s.fog_end;
    case RenderState::kColorKeyEnable: return &s.color_key_enable;
    case RenderState::kAmbient: return &s.ambient;
    case RenderState::kFogVertexMode: return &s.fog_vertex_mode;
    case RenderState::kNormalizeNormals: return &s.normalize_normals;
    case RenderState::kTexturePerspective: return &s.texture_perspective;
    case RenderState::kShadeMode: return &s.shade_mode;
    case RenderState::kDitherEnable: return &s.dither_enable;
    case RenderState::kSpecularEnable: return &s.specular_enable;
    case RenderState::kFogStart: return &s.fog_start;
    case RenderState::kColorVertex: return &s.color_vertex;
    case RenderState::kLocalViewer: return &s.local_viewer;
  }
  return nullptr;
}

Result Device3D::SetRenderState(RenderState state, uint32_t value) {
  uint32_t* field = StateField(state);
  if (field == nullptr) return result::kUnsupportedState;
  if (!StateValueSupported(state, value)) return result::kUnsupportedState;
  *field = value;
  if (state == RenderState::kAmbient || state == RenderState::kNormalizeNormals) lighting_stale_ = true;
  return result::kOk;
}

Result Device3D::GetRenderState(RenderState state, uint32_t* out) const {
  const uint32_t* field = StateField(state);
  if (field == nullptr || out == nullptr) return result::kInvalidParams;
  *out = *field;
  return result::kOk;
}

Result Device3D::SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) {
  if (stage != 0) return result::kInvalidParams;
  switch (state) {
    case TextureStageState::kColorOp:
      if (value != texture_op::kModulate) return result::kUnsupportedState;
      stage_.color_op = value;
      return result::kOk;
    case TextureStageState::kColorArg1:
      if (value != texture_arg::kTexture) return result::kUnsupportedState;
      stage_.color_arg1 = value;
      return result::kOk;
    case TextureStageState::kAddress:
      if (value < texture_address::kWrap || value > texture_address::kClamp) return result::kUnsupportedState;
      stage_.address = value;
      return result::kOk;
    case TextureStageState::kMagFilter:
      if (value != mag_filter::kPoint && value != mag_filter::kLinear && value != mag_filter::kAnisotropic)
        return result::kUnsupportedState;
      stage_.mag_filter = value;
      return result::kOk;
    case TextureStageState::kMinFilter:
      if (value != min_filter::kPoint && value != min_filter::kLinear && value != min_filter::kAnisotropic)
        return result::kUnsupportedState;
      stage_.min_filter = value;
      return result::kOk;
    case TextureStageState::kMipFilter:
      if (value < mip_filter::kNone || value > mip_filter::kLinear) return result::kUnsupportedState;
      stage_.mip_filter = value;
      return result::kOk;
  }
  return result::kUnsupportedState;
}

Result Device3D::GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* out) const {
  if (stage != 0 || out == nullptr) return result::kInvalidParams;
  switch (state) {
    case TextureStageState::kColorOp: *out = stage_.color_op; return result::kOk;
    case TextureStageState::kColorArg1: *out = stage_.color_arg1; return result::kOk;
    case TextureStageState::kAddress: *out = stage_.address; return result::kOk;
    case TextureStageState::kMagFilter: *out = stage_.mag_filter; return result::kOk;
    case TextureStageState::kMinFilter: *out = stage_.min_filter; return result::kOk;
    case TextureStageState::kMipFilter: *out = stage_.mip_filter; return result::kOk;
  }
  return result::kInvalidParams;
}

Result Device3D::SetTexture(uint32_t stage, TexturePtr texture) {
  if (stage != 0) return result::kInvalidParams;
  texture_ = std::move(texture);
  return result::kOk;
}

Result Device3D::GetTexture(uint32_t stage, TexturePtr* out) const {
  if (stage != 0 || out == nullptr) return result::kInvalidParams;
  *out = texture_;
  return result::kOk;
}

Result Device3D::PreLoad(Texture& texture) {
  texture.Sampled(false);
  if (texture.SrcColorKey()) texture.Sampled(true);
  return result::kOk;
}

Result Device3D::SetMaterial(const Material& material) {
  if (!Finite(material.diffuse) || !Finite(material.ambient) || !Finite(material.specular) ||
      !Finite(material.emissive) || !std::isfinite(material.power))
    return result::kInvalidParams;
  material_ = material;
  lighting_stale_ = true;
  return result::kOk;
}

Result Device3D::GetMaterial(Material* out) const {
  if (out == nullptr) return result::kInvalidParams;
  *out = material_;
  return result::kOk;
}

Result Device3D::SetLight(uint32_t index, const Light& light) {
  if (!ValidLight(light)) return result::kInvalidParams;
  lights_[index].light = light;
  lighting_stale_ = true;
  return result::kOk;
}

Result Device3D::GetLight(uint32_t index, Light* out) const {
  auto it = lights_.find(index);
  if (it == lights_.end()) return result::kLightNotSet;
  if (out == nullptr) return result::kInvalidParams;
  *out = it->second.light;
  return result::kOk;
}

Result Device3D::LightEnable(uint32_t index, bool enable) {
  auto it = lights_.find(index);
  if (it == lights_.end()) {
    LightSlot slot;
    slot.light.type = LightType::kDirectional;
    slot.light.diffuse = ColourValue{1, 1, 1, 0};
    slot.light.direction = Vector3{0, 0, 1};
    it = lights_.emplace(index, slot).first;
  }
  it->second.enabled = enable;
  lighting_stale_ = true;
  return result::kOk;
}

Result Device3D::GetLightEnable(uint32_t index, bool* out) const {
  auto it = lights_.find(index);
  if (it == lights_.end()) return result::kLightNotSet;
  if (out == nullptr) return result::kInvalidParams;
  *out = it->second.enabled;
  return result::kOk;
}

pipeline::PixelState Device3D::MakePixelState() {
  if (depth_) MakePendingDepthFills();
  pipeline::PixelState ps;
  ps.colour = target_->Row(0);
  ps.colour_pitch = target_->Pitch();
  ps.format = TargetFormatOf(target_->Format());
  if (depth_ && states_.z_enable != zbuffer::kFalse) {
    ps.depth = depth_->Row(0);
    ps.depth_pitch = depth_->Pitch();
    ps.depth_bytes = depth_->Format().BytesPerPixel();
    ps.z_test = true;
    ps.z_write = states_.z_write != 0;
  }
  if (texture_) {
    ps.textured = true;
    bool keyed = states_.color_key_enable != 0 && texture_->SrcColorKey().has_value();
    const std::vector<SampledLevel>& levels = texture_->Sampled(keyed);
    ps.sampler.levels = levels.data();
    ps.sampler.level_count = static_cast<int32_t>(levels.size());
    ps.sampler.address = stage_.address;
    ps.sampler.mag_linear = stage_.mag_filter != mag_filter::kPoint;
    ps.sampler.min_linear = stage_.min_filter != min_filter::kPoint;
    ps.sampler.mip = stage_.mip_filter;
    ps.sampler.keyed = keyed;
  }
  ps.fog = states_.fog_enable != 0 && states_.fog_vertex_mode == fog_mode::kLinear;
  ps.blend = states_.alpha_blend != 0;
  ps.src_blend = states_.src_blend;
  ps.dest_blend = states_.dest_blend;
  ps.scissor = Rect{viewport_.x, viewport_.y, viewport_.x + viewport_.width, viewport_.y + viewport_.height};
  ps.pixels_written = &stats_.pixels_written;
  return ps;
}

ScreenVertex Device3D::ToScreen(const ClipVertex& c) const {
  ScreenVertex s;
  float oow = 1.0f / c.w;
  float half_w = static_cast<float>(viewport_.width) * 0.5f;
  float half_h = static_cast<float>(viewport_.height) * 0.5f;
  s.x = static_cast<float>(viewport_.x) + (1.0f + c.x * oow) * half_w;
  s.y = static_cast<float>(viewport_.y) + (1.0f - c.y * oow) * half_h;
  s.v[pipeline::kZ] = viewport_.min_z + c.z * oow * (viewport_.max_z - viewport_.min_z);
  s.v[pipeline::kOow] = oow;
  s.v[pipeline::kUow] = c.u * oow;
  s.v[pipeline::kVow] = c.v * oow;
  for (int i = 0; i < 3; ++i) {
    s.v[pipeline::kR + i] = c.colour[i];
    s.v[pipeline::kFr + i] = c.fog[i];
  }
  return s;
}

void Device3D::DrawPolygon(const ScreenVertex* const* v, const bool* edges, int count,
                           const pipeline::RasterTarget& target) {
  int64_t area = 0;
  for (int i = 1; i + 1 < count; ++i) area += pipeline::SnappedArea(*v[0], *v[i], *v[i + 1]);
  if (area == 0) return;
  if (states_.cull_mode == cull_mode::kCcw && area < 0) return;
  ++stats_.triangles_drawn;
  bool wireframe = states_.fill_mode == fill_mode::kWireframe;
  for (int i = 1; i + 1 < count; ++i) {
    pipeline::Gradients g;
    if (!pipeline::ComputeGradients(*v[0], *v[i], *v[i + 1], &g, target.varyings)) continue;
    if (!wireframe) {
      pipeline::FillTriangle(*v[0], *v[i], *v[i + 1], g, target);
      continue;
    }
    if (i == 1 && edges[0]) pipeline::DrawEdge(*v[0], *v[1], g, target);
    if (edges[i]) pipeline::DrawEdge(*v[i], *v[i + 1], g, target);
    if (i + 2 == count && edges[count - 1]) pipeline::DrawEdge(*v[count - 1], *v[0], g, target);
  }
}

void Device3D::DrawTriangle(uint32_t i0, uint32_t i1, uint32_t i2, const pipeline::RasterTarget& target) {
  const ClipVertex &a = processed_[i0], &b = processed_[i1], &c = processed_[i2];
  uint32_t any = a.code | b.code | c.code;
  if (any & pipeline::clip_code::kInvalid) return;
  if (a.code & b.code & c.code) return;  // wholly outside one plane
  if (any == 0) {
    const ScreenVertex* s[3] = {&screen_[i0], &screen_[i1], &screen_[i2]};
    const bool edges[3] = {true, true, true};
    DrawPolygon(s, edges, 3, target);
    return;
  }
  pipeline::ClipPolygon polygon;
  pipeline::ClipTriangle(a, b, c, any, &polygon);
  if (polygon.count < 3) return;
  ScreenVertex s[pipeline::ClipPolygon::kMaxVertices];
  const ScreenVertex* corners[pipeline::ClipPolygon::kMaxVertices];
  for (int i = 0; i < polygon.count; ++i) {
    s[i] = ToScreen(polygon.v[i]);
    // Clipping far-out values can overflow; such a polygon is not drawn.
    if (!std::isfinite(s[i].x) || !std::isfinite(s[i].y) || std::fabs(s[i].x) > 65536.0f ||
        std::fabs(s[i].y) > 65536.0f)
      return;
    pipeline::SnapToGrid(s[i]);
    corners[i] = &s[i];
  }
  DrawPolygon(corners, polygon.edge, polygon.count, target);
}

Result Device3D::DrawIndexedPrimitiveVB(PrimitiveType type, const VertexBuffer& buffer,
                                        uint32_t start_vertex, uint32_t vertex_count,
                                        std::span<const uint16_t> indices, uint32_t flags) {
  (void)flags;
  if (type != PrimitiveType::kTriangleList) return result::kInvalidPrimitiveType;
  if (!in_scene_) return result::kSceneNotInScene;
  if (buffer.IsLocked()) return result::kVertexBufferLocked;
  if (uint64_t{start_vertex} + vertex_count > buffer.VertexCount()) return result::kInvalidParams;
  Result why;
  if (!TargetUsable(&why)) return why;
  if (vertex_count == 0 || indices.size() < 3) return result::kOk;

  if (lighting_stale_) {
    std::vector<const Light*> enabled;
    for (const auto& [index, slot] : lights_)
      if (slot.enabled) enabled.push_back(&slot.light);
    lighting_ = pipeline::MakeLightingSetup(material_, states_.ambient, enabled, states_.normalize_normals != 0);
    lighting_stale_ = false;
  }
  pipeline::TransformSetup transform = pipeline::MakeTransformSetup(world_, view_, projection_);
  pipeline::FogSetup fog;
  fog.on = states_.fog_enable != 0 && states_.fog_vertex_mode == fog_mode::kLinear;
  fog.start = BitsToFloat(states_.fog_start);
  fog.end = BitsToFloat(states_.fog_end);
  fog.colour[0] = static_cast<float>((states_.fog_color >> 16) & 0xFF) / 255.0f;
  fog.colour[1] = static_cast<float>((states_.fog_color >> 8) & 0xFF) / 255.0f;
  fog.colour[2] = static_cast<float>(states_.fog_color & 0xFF) / 255.0f;

  processed_.resize(vertex_count);
  pipeline::ProcessVertices(transform, lighting_, fog, buffer.Vertices().data() + start_vertex,
                            vertex_count, processed_.data());

  screen_.resize(vertex_count);
  for (uint32_t i = 0; i < vertex_count; ++i) {
    if (processed_[i].code != 0) continue;
    screen_[i] = ToScreen(processed_[i]);
    pipeline::SnapToGrid(screen_[i]);
  }

  pipeline::PixelState pixels = MakePixelState();
  // The pixels read depth, colour, and the texture coordinates and fog
  // shares only when they texture and fog.
  uint32_t varyings = 1u << pipeline::kZ | 1u << pipeline::kR | 1u << pipeline::kG | 1u << pipeline::kB;
  if (pixels.textured) varyings |= 1u << pipeline::kOow | 1u << pipeline::kUow | 1u << pipeline::kVow;
  if (pixels.fog) varyings |= 1u << pipeline::kFr | 1u << pipeline::kFg | 1u << pipeline::kFb;
  pipeline::RasterTarget target{&pixels, pipeline::SelectSpanFunction(pixels), pixels.scissor, varyings};
  for (size_t i = 0; i + 3 <= indices.size(); i += 3) {
    uint32_t i0 = indices[i], i1 = indices[i + 1], i2 = indices[i + 2];
    if (i0 >= vertex_count || i1 >= vertex_count || i2 >= vertex_count) continue;
    DrawTriangle(i0, i1, i2, target);
  }
  return result::kOk;
}

}  // namespace zv::platform
