// The 3D device on the back buffer: the choice among the device slots, the
// capabilities the 3D engine reads, and the render states, materials,
// viewport and transforms every new device starts with.
#include "display/device3d.h"

#include <cmath>
#include <cstdio>

#include "display/display.h"

namespace zv {
namespace {

namespace p = platform;

bool Has(uint32_t caps, uint32_t flag) { return (caps & flag) == flag; }

}  // namespace

void Device3DClient::ResetTextureFilters(platform::Device3D& device) {
  device.SetTextureStageState(0, p::TextureStageState::kColorArg1, p::texture_arg::kTexture);
  device.SetTextureStageState(0, p::TextureStageState::kColorOp, p::texture_op::kModulate);
  device.SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kPoint);
  device.SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kPoint);
}

DeviceMaterials MakeDeviceMaterials(double ambient_level) {
  float a = static_cast<float>(ambient_level), d = static_cast<float>(1.0 - ambient_level);
  DeviceMaterials m;
  m.scene.diffuse = p::ColourValue{d, d, d, 0};
  m.scene.ambient = p::ColourValue{a, a, a, 0};
  m.ambient_only.ambient = p::ColourValue{1, 1, 1, 0};
  m.diffuse_only.diffuse = p::ColourValue{1, 1, 1, 0};
  return m;
}

BlendChoice ChooseBlendModes(uint32_t source_caps, uint32_t destination_caps) {
  using p::BlendCap;
  namespace b = p::blend;
  struct Row {
    uint32_t source, destination;
    int32_t mode, multiply;  // multiply 0: unchanged
  };
  static const Row kRows[] = {
      {b::kZero, b::kInvSrcColor, 9, 0},        {b::kInvDestColor, b::kInvSrcColor, 8, 0},
      {b::kDestColor, b::kZero, 6, 6},          {b::kDestColor, b::kSrcColor, 5, 5},
      {b::kZero, b::kSrcColor, 7, 7},           {b::kDestColor, b::kOne, 4, 0},
      {b::kOne, b::kOne, 3, 0},                 {b::kInvDestColor, b::kOne, 2, 0},
      {b::kOne, b::kInvSrcColor, 1, 0},
  };
  BlendChoice choice;
  for (const Row& row : kRows) {
    if (!(source_caps & BlendCap(row.source)) || !(destination_caps & BlendCap(row.destination))) continue;
    choice.blend_mode = row.mode;
    if (row.multiply) choice.multiply_blend_mode = row.multiply;
  }
  return choice;
}

BlendPair GhostBlendPair(int32_t mode) {
  namespace b = p::blend;
  switch (mode) {
    case 1: return {b::kOne, b::kInvSrcColor};
    case 2: return {b::kInvDestColor, b::kOne};
    case 3: return {b::kOne, b::kOne};
    case 4: return {b::kDestColor, b::kOne};
    case 5: return {b::kDestColor, b::kSrcColor};
    case 6: return {b::kDestColor, b::kZero};
    case 7: return {b::kZero, b::kSrcColor};
    case 8: return {b::kInvDestColor, b::kInvSrcColor};
    case 9: return {b::kZero, b::kInvSrcColor};
    default: return {};
  }
}

BlendPair MultiplyBlendPair(int32_t mode) {
  return mode == 5 || mode == 6 || mode == 7 ? GhostBlendPair(mode) : BlendPair{};
}

Device3DCapabilities CapabilitiesOf(const p::DeviceCaps& caps, const std::vector<p::PixelFormat>& formats) {
  (void)formats;  // no texture format of ours is block-compressed
  const p::PrimitiveCaps& t = caps.triangle;
  Device3DCapabilities c;
  BlendChoice blend = ChooseBlendModes(t.src_blend, t.dest_blend);
  c.blend_mode = blend.blend_mode;
  c.multiply_blend_mode = blend.multiply_blend_mode;
  if (Has(t.texture_filter, p::filter_caps::kMagAnisotropic | p::filter_caps::kMinAnisotropic))
    c.filter_level = 2;
  else if (Has(t.texture_filter, p::filter_caps::kMagLinear | p::filter_caps::kMinLinear))
    c.filter_level = 1;
  bool vertex = t.raster & p::raster_caps::kFogVertex, table = t.raster & p::raster_caps::kFogTable;
  c.fog_available = vertex || table;
  c.vertex_fog = vertex;
  c.table_fog = !vertex && table;
  c.w_buffer_available = t.raster & p::raster_caps::kWBuffer;
  c.mipmap_available = t.texture_filter & (p::filter_caps::kMipNearest | p::filter_caps::kMipLinear);
  c.wrap_available = t.texture_address & p::address_caps::kWrap;
  c.mirror_available = t.texture_address & p::address_caps::kMirror;
  c.clamp_available = t.texture_address & p::address_caps::kClamp;
  c.colour_key_available = t.texture & p::texture_caps::kTransparency;
  c.dxt_available = false;
  c.tl_vertex_video_memory = caps.dev & p::dev_caps::kTlVertexVideoMemory;
  c.draw_prim_tl_vertex = caps.dev & p::dev_caps::kDrawPrimTlVertex;
  return c;
}

uint32_t RenderDepthBit(int32_t bits) {
  switch (bits) {
    case 8: return p::bit_depth::k8;
    case 16: return p::bit_depth::k16;
    case 24: return p::bit_depth::k24;
    case 32: return p::bit_depth::k32;
    default: return 0;
  }
}

std::optional<p::DeviceDescription> AcceptedDevice(const std::vector<p::DeviceDescription>& devices,
                                                   int32_t bits) {
  uint32_t depth = RenderDepthBit(bits);
  if (depth == 0) return std::nullopt;
  for (const p::DeviceDescription& d : devices)
    if ((d.caps.dev & p::dev_caps::kHwRasterization) && (d.caps.render_bit_depth & depth)) return d;
  return std::nullopt;
}

DeviceChoice ChooseDevice(bool software, bool use_tnl, p::DeviceKind accepted,
                          const std::function<bool(p::DeviceKind)>& create) {
  DeviceChoice c;
  auto attempt = [&](const char* name, bool hardware, p::DeviceKind kind, char* status) {
    c.name = name;
    c.hardware = hardware;
    c.kind = kind;
    c.made = create(kind);
    if (status) *status = c.made ? '1' : '0';
  };
  if (!software && use_tnl)
    attempt("T&L", true, p::DeviceKind::kTnLHal, &c.status[2]);
  else
    c.status[2] = '2';
  if (!software && !c.made) attempt("HAL", true, p::DeviceKind::kHal, &c.status[3]);
  if (!c.made) attempt("RGB", false, p::DeviceKind::kRgb, &c.status[4]);
  if (!c.made && software) attempt("MMX", false, p::DeviceKind::kMmx, &c.status[5]);
  if (!c.made) attempt("OTHER", true, accepted, nullptr);
  return c;
}

std::vector<p::PixelFormat> KeepTextureFormats(std::vector<p::PixelFormat> offered) {
  if (offered.size() > kMaxTextureFormats) offered.resize(kMaxTextureFormats);
  return offered;
}

std::optional<p::Matrix4> BuildProjection(float fov, float aspect, float near_range, float far_range) {
  if (std::fabs(far_range - near_range) < 0.01f) return std::nullopt;
  float s = std::sin(fov / 2);
  if (std::fabs(s) < 0.01f) return std::nullopt;
  float w = std::cos(fov / 2) / s, q = far_range / (far_range - near_range);
  p::Matrix4 m;
  m.m[0][0] = aspect * w;
  m.m[1][1] = w;
  m.m[2][2] = q;
  m.m[2][3] = 1.0f;
  m.m[3][2] = -q * near_range;
  return m;
}

// ---- DisplayDevice3D ------------------------------------------------------------------

DisplayDevice3D::DisplayDevice3D(Display& display) : display_(display) {}

DisplayDevice3D::~DisplayDevice3D() { Release(); }

void DisplayDevice3D::SetClient(Device3DClient* client) { client_ = client ? client : &stand_in_; }

Device3DClient& DisplayDevice3D::Client() {
  if (client_ != &stand_in_) return *client_;
  // The machine's 3D engine is the client when it is one.
  auto* engine = dynamic_cast<Device3DClient*>(display_.Machine().engine3d);
  return engine ? *engine : stand_in_;
}

void DisplayDevice3D::Release() { device_.reset(); }

bool DisplayDevice3D::Create(p::Surface& back_buffer, bool software, bool use_tnl, std::string* error) {
  auto fail = [&](std::string text) {
    device_.reset();
    if (error) *error = std::move(text);
    return false;
  };
  Release();
  Client().ReleaseDeviceTextures();

  p::SurfacePtr target = display_.Surfaces().back_buffer;
  if (target.get() != &back_buffer) return fail("Failed to get surface description of BackBuffer Surface");

  std::optional<p::DeviceDescription> accepted =
      AcceptedDevice(render_.EnumDevices(), back_buffer.Format().bits);
  if (!accepted) return fail("D3D Devices do not support backbuffer bit-depth and HW Acceleration");
  enumerated_name_ = accepted->name;

  choice_ = ChooseDevice(software, use_tnl, accepted->kind, [&](p::DeviceKind kind) {
    device_ = render_.CreateDevice(kind, target);
    return device_ != nullptr;
  });
  if (!choice_.made) {
    char text[512];
    const std::string& s = choice_.status;
    std::snprintf(text, sizeof text, "[%c%c%c%c%c%c & %s] Failed to create a D3D Device from BackBuffer Surface",
                  s[0], s[1], s[2], s[3], s[4], s[5], enumerated_name_.c_str());
    return fail(text);
  }

  mirror_.in_scene = false;
  std::vector<p::PixelFormat> offered = device_->EnumTextureFormats();
  capabilities_ = CapabilitiesOf(device_->Caps(), offered);
  texture_formats_ = KeepTextureFormats(std::move(offered));

  p::Viewport viewport{0, 0, back_buffer.Width(), back_buffer.Height(), 0.0f, 1.0f};
  viewport_width_ = viewport.width;
  viewport_height_ = viewport.height;
  if (p::Failed(device_->SetViewport(viewport))) return fail("Failed to set Viewport Properties");

  if (!SetRenderStateDefaults(software)) return fail("");
  SetDefaultTransforms();
  return true;
}

void DisplayDevice3D::ApplyTextureFilter() {
  p::Device3D& d = *device_;
  switch (capabilities_.filter_level) {
    case 1:
      d.SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kLinear);
      d.SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kLinear);
      break;
    case 2:
      d.SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kAnisotropic);
      d.SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kAnisotropic);
      break;
    default: Client().ResetTextureFilters(d); break;
  }
}

bool DisplayDevice3D::SetRenderStateDefaults(bool software) {
  p::Device3D& d = *device_;
  using p::RenderState;
  auto set = [&](RenderState state, uint32_t value) { d.SetRenderState(state, value); };

  mirror_.z_enable = capabilities_.w_buffer_available ? p::zbuffer::kUseW : p::zbuffer::kTrue;
  set(RenderState::kZEnable, mirror_.z_enable);
  mirror_.z_write = 1;
  set(RenderState::kZWriteEnable, 1);

  mirror_.ghost = GhostBlendPair(capabilities_.blend_mode);
  if (capabilities_.blend_mode > 1) {  // the first pair is only kept
    set(RenderState::kSrcBlend, mirror_.ghost.source);
    set(RenderState::kDestBlend, mirror_.ghost.destination);
  }
  mirror_.multiply = MultiplyBlendPair(capabilities_.multiply_blend_mode);

  set(RenderState::kTexturePerspective, 1);
  set(RenderState::kSpecularEnable, 0);
  mirror_.shade = p::shade_mode::kGouraud;
  set(RenderState::kShadeMode, mirror_.shade);
  if (software) {
    set(RenderState::kDitherEnable, 0);
    capabilities_.filter_level = 0;
  } else {
    set(RenderState::kDitherEnable, 1);
  }

  d.SetTextureStageState(0, p::TextureStageState::kMipFilter, p::mip_filter::kLinear);
  mirror_.mip_mode = 2;
  ApplyTextureFilter();

  mirror_.fill = p::fill_mode::kSolid;
  set(RenderState::kFillMode, mirror_.fill);
  mirror_.cull = p::cull_mode::kCcw;
  set(RenderState::kCullMode, mirror_.cull);
  set(RenderState::kNormalizeNormals, 1);
  set(RenderState::kColorVertex, 0);
  set(RenderState::kAmbient, Client().AmbientColour());
  // Fog switched on stays on through a new device.
  Client().SendFogSettings(d, capabilities_.table_fog);

  mirror_.texture_address = p::texture_address::kWrap;
  d.SetTextureStageState(0, p::TextureStageState::kAddress, mirror_.texture_address);

  materials_ = MakeDeviceMaterials(Client().AmbientLevel());
  mirror_.use_material = p::Succeeded(d.SetMaterial(materials_.scene));
  return mirror_.use_material;
}

void DisplayDevice3D::SetDefaultTransforms() {
  p::Device3D& d = *device_;
  d.SetTransform(p::TransformState::kWorld, p::Matrix4::Identity());
  Device3DClient::Projection camera = Client().CameraProjection();
  float aspect = static_cast<float>(viewport_height_) / static_cast<float>(viewport_width_);
  if (std::optional<p::Matrix4> projection =
          BuildProjection(camera.field_of_view, aspect, camera.near_range, camera.far_range))
    d.SetTransform(p::TransformState::kProjection, *projection);
  d.SetTransform(p::TransformState::kView, Client().ViewMatrix());
}

void DisplayDevice3D::ClearZBuffer() {
  if (!device_ || !display_.DrawingEnabled()) return;
  p::Surface& target = device_->RenderTarget();
  const p::Rect whole[1] = {p::Rect{0, 0, target.Width(), target.Height()}};
  device_->Clear(whole, p::clear::kZBuffer, 0, 1.0f);
}

}  // namespace zv
