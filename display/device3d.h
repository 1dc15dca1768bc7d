#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/render_device.h"
#include "platform/render3d/render3d.h"

namespace zv {

class Display;

// What the 3D device set-up asks of the 3D engine. The engine fills it in;
// the stand-in answers with the values a run starts with.
class Device3DClient {
 public:
  struct Projection {
    float near_range = 1.0f, far_range = 3000.0f;
    float field_of_view = 1.0814433f;  // radians
  };

  virtual ~Device3DClient() = default;
  // Before a new device is made: the device textures of every texture
  // record go.
  virtual void ReleaseDeviceTextures() {}
  // The level a of the scene material (diffuse 1 - a, ambient a).
  virtual double AmbientLevel() const { return 0.5; }
  virtual uint32_t AmbientColour() const { return 0xFFFFFF; }
  // Sends the scene's fog settings to a new device (its fog stays disabled
  // until an object asks for fog).
  virtual void SendFogSettings(platform::Device3D& device, bool table_fog) {
    (void)device;
    (void)table_fog;
  }
  virtual Projection CameraProjection() const { return Projection{}; }
  virtual platform::Matrix4 ViewMatrix() const { return platform::Matrix4::Identity(); }
  // With no texture filtering the engine puts its own filters on stage 0;
  // the stand-in sets point filtering with the texture modulated.
  virtual void ResetTextureFilters(platform::Device3D& device);
};

// What the set-up found the device can do; the 3D engine reads it.
struct Device3DCapabilities {
  int32_t blend_mode = 0;           // 0..9: the ghost blend pair (0: none)
  int32_t multiply_blend_mode = 0;  // 0, 5, 6 or 7
  int32_t filter_level = 0;         // 0 none, 1 bilinear, 2 anisotropic
  bool fog_available = false;
  bool vertex_fog = false, table_fog = false;
  bool w_buffer_available = false;
  bool mipmap_available = false;
  bool wrap_available = false, mirror_available = false, clamp_available = false;
  bool colour_key_available = false;
  bool dxt_available = false;
  bool tl_vertex_video_memory = false;
  bool draw_prim_tl_vertex = false;
  bool back_buffer_premultiplied = false;
};

struct BlendPair {
  uint32_t source = 0, destination = 0;
  friend bool operator==(const BlendPair&, const BlendPair&) = default;
};

// The 3D engine's copy of the device states it changes, as the set-up left
// them; the engine compares against it before changing a state.
struct RenderStateMirror {
  uint32_t z_enable = 0, z_write = 0;
  BlendPair ghost, multiply;
  uint32_t shade = 0, fill = 0, cull = 0;
  uint32_t texture_address = 0;
  int32_t mip_mode = 0;  // 0 none, 1 point, 2 linear
  bool use_material = false;
  bool in_scene = false;
};

// The three materials of the set-up: the scene material (ambient level a),
// one that reflects ambient light only and one that reflects the lights
// only.
struct DeviceMaterials {
  platform::Material scene, ambient_only, diffuse_only;
};
DeviceMaterials MakeDeviceMaterials(double ambient_level);

// ---- The set-up's decisions, each on its own for the tests ----------------------

// The blend pairs the device's source and destination blend caps allow:
// every row of the choice table that holds replaces the earlier choice.
struct BlendChoice {
  int32_t blend_mode = 0, multiply_blend_mode = 0;
};
BlendChoice ChooseBlendModes(uint32_t source_caps, uint32_t destination_caps);
BlendPair GhostBlendPair(int32_t blend_mode);     // (0, 0) for mode 0
BlendPair MultiplyBlendPair(int32_t multiply_mode);

Device3DCapabilities CapabilitiesOf(const platform::DeviceCaps& caps,
                                    const std::vector<platform::PixelFormat>& texture_formats);

// The render-depth bit of a back buffer's bit count (0 for no such depth).
uint32_t RenderDepthBit(int32_t bits);
// The first device that rasterizes in hardware at that depth.
std::optional<platform::DeviceDescription> AcceptedDevice(
    const std::vector<platform::DeviceDescription>& devices, int32_t bits);

// The device tries of the set-up, in order, until one is made: "T&L"
// (hardware, transform and lighting allowed), "HAL" (hardware), "RGB",
// "MMX" (software only), then "OTHER" on the accepted device. `status` holds
// the six characters of the failure text.
struct DeviceChoice {
  bool made = false;
  std::string name;  // "T&L", "HAL", "RGB", "MMX" or "OTHER"
  bool hardware = false;
  platform::DeviceKind kind = platform::DeviceKind::kRgb;
  std::string status = "......";
};
DeviceChoice ChooseDevice(bool software, bool use_tnl, platform::DeviceKind accepted,
                          const std::function<bool(platform::DeviceKind)>& create);

inline constexpr size_t kMaxTextureFormats = 99;
std::vector<platform::PixelFormat> KeepTextureFormats(std::vector<platform::PixelFormat> offered);

// The perspective projection of the engine's matrix routines; nullopt when
// near and far are less than 0.01 apart or the field of view is too narrow.
std::optional<platform::Matrix4> BuildProjection(float field_of_view, float aspect, float near_range,
                                                 float far_range);

// The display's 3D device: made on the back buffer after the surfaces (and
// again after every display change), with its capabilities, texture
// formats, viewport, default render states, materials and transforms.
class DisplayDevice3D final : public RenderDevice {
 public:
  explicit DisplayDevice3D(Display& display);
  ~DisplayDevice3D() override;

  // The 3D engine's side; null gives the machine's 3D engine when that is a
  // client, else the stand-in.
  void SetClient(Device3DClient* client);
  Device3DClient& Client();

  // ---- RenderDevice ---------------------------------------------------------------
  bool Create(platform::Surface& back_buffer, bool software, bool use_tnl, std::string* error) override;
  void Release() override;
  bool Exists() const override { return device_ != nullptr; }
  void ClearZBuffer() override;
  void EvictManagedTextures() override { render_.EvictManagedTextures(); }
  std::string DeviceName() const override { return device_ ? choice_.name : std::string(); }
  bool HardwareDevice() const override { return choice_.hardware; }
  bool HasBlendSupport() const override { return capabilities_.blend_mode > 0; }
  bool HasTextureFiltering() const override { return capabilities_.filter_level > 0; }
  bool HasFog() const override { return capabilities_.fog_available; }

  // ---- What the 3D engine uses -------------------------------------------------------
  platform::Device3D* Device() { return device_.get(); }
  platform::Render3D& Render() { return render_; }
  const Device3DCapabilities& Capabilities() const { return capabilities_; }
  RenderStateMirror& Mirror() { return mirror_; }
  const DeviceMaterials& Materials() const { return materials_; }
  const std::vector<platform::PixelFormat>& TextureFormats() const { return texture_formats_; }
  const std::string& EnumeratedDeviceName() const { return enumerated_name_; }
  int32_t ViewportWidth() const { return viewport_width_; }
  int32_t ViewportHeight() const { return viewport_height_; }

 private:
  bool SetRenderStateDefaults(bool software);
  void SetDefaultTransforms();
  void ApplyTextureFilter();

  Display& display_;
  Device3DClient stand_in_;
  Device3DClient* client_ = &stand_in_;
  platform::Render3D render_;
  std::unique_ptr<platform::Device3D> device_;
  DeviceChoice choice_;
  std::string enumerated_name_;
  Device3DCapabilities capabilities_;
  RenderStateMirror mirror_;
  DeviceMaterials materials_;
  std::vector<platform::PixelFormat> texture_formats_;
  int32_t viewport_width_ = 0, viewport_height_ = 0;
};

}  // namespace zv
