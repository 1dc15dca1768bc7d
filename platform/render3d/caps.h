#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/render3d/types.h"
#include "platform/surface/pixel_format.h"

namespace zv::platform {

// What a 3D device says it can do. The flags are ours; each names one
// ability the engine asks about at device set-up.
namespace dev_caps {
constexpr uint32_t kHwRasterization = 1u << 0;
constexpr uint32_t kHwTransformAndLight = 1u << 1;
constexpr uint32_t kTlVertexVideoMemory = 1u << 2;
constexpr uint32_t kDrawPrimTlVertex = 1u << 3;
}  // namespace dev_caps

// Render-target and depth-buffer depths.
namespace bit_depth {
constexpr uint32_t k8 = 0x800, k16 = 0x400, k24 = 0x200, k32 = 0x100;
}

namespace raster_caps {
constexpr uint32_t kFogVertex = 1u << 0;
constexpr uint32_t kFogTable = 1u << 1;
constexpr uint32_t kWBuffer = 1u << 2;
constexpr uint32_t kZTest = 1u << 3;
}  // namespace raster_caps

namespace texture_caps {
constexpr uint32_t kPow2 = 1u << 0;
constexpr uint32_t kSquareOnly = 1u << 1;
constexpr uint32_t kTransparency = 1u << 2;  // colour keying
constexpr uint32_t kPerspective = 1u << 3;
constexpr uint32_t kAlpha = 1u << 4;
}  // namespace texture_caps

namespace filter_caps {
constexpr uint32_t kMinPoint = 1u << 0;
constexpr uint32_t kMinLinear = 1u << 1;
constexpr uint32_t kMinAnisotropic = 1u << 2;
constexpr uint32_t kMagPoint = 1u << 3;
constexpr uint32_t kMagLinear = 1u << 4;
constexpr uint32_t kMagAnisotropic = 1u << 5;
constexpr uint32_t kMipNearest = 1u << 6;
constexpr uint32_t kMipLinear = 1u << 7;
}  // namespace filter_caps

namespace address_caps {
constexpr uint32_t kWrap = 1u << 0;
constexpr uint32_t kMirror = 1u << 1;
constexpr uint32_t kClamp = 1u << 2;
}  // namespace address_caps

// One bit per blend factor: bit (factor value) for the blend values of
// types.h.
constexpr uint32_t BlendCap(uint32_t factor) { return 1u << factor; }

namespace shade_caps {
constexpr uint32_t kGouraud = 1u << 0;
}
namespace cull_caps {
constexpr uint32_t kNone = 1u << 0;
constexpr uint32_t kCcw = 1u << 1;
}

struct PrimitiveCaps {
  uint32_t raster = 0;
  uint32_t z_compare_less_equal = 0;  // 1: the one depth test, less or equal
  uint32_t src_blend = 0, dest_blend = 0;
  uint32_t shade = 0, cull = 0;
  uint32_t texture = 0;
  uint32_t texture_filter = 0;
  uint32_t texture_address = 0;
};

struct DeviceCaps {
  uint32_t dev = 0;
  uint32_t render_bit_depth = 0;
  uint32_t z_buffer_bit_depth = 0;
  PrimitiveCaps triangle;
  PrimitiveCaps line;
  int32_t min_texture_width = 0, min_texture_height = 0;
  int32_t max_texture_width = 0, max_texture_height = 0;
  int32_t max_texture_blend_stages = 0;
  int32_t max_simultaneous_textures = 0;
  uint32_t max_active_lights = 0;  // 0xFFFFFFFF: no limit
};

// The device slots a program can ask for. Every slot is served by the same
// software rasterizer: the hardware ones exist because the display's device
// choice requires a hardware-rasterizing device for the back buffer's depth.
enum class DeviceKind { kTnLHal, kHal, kRgb, kMmx };

struct DeviceDescription {
  DeviceKind kind;
  std::string name;
  DeviceCaps caps;
};

// The fixed capability profile of the rasterizer, for one slot.
DeviceCaps SoftwareDeviceCaps(DeviceKind kind);
// The slots in the order the enumeration reports them.
std::vector<DeviceDescription> DeviceDescriptions();

// The texture formats the device samples, in the order it offers them:
// 565, 555, 1555, 4444, X888, 8888, 8-bit palettised.
std::vector<PixelFormat> TextureFormats();
PixelFormat Argb1555();
PixelFormat Argb4444();
PixelFormat Argb8888();

// True when `format` is one of TextureFormats().
bool IsTextureFormat(const PixelFormat& format);
// True when the device can draw into a surface of `format`: 565, 555 and
// X888 (32 bits, red in bits 16-23).
bool IsRenderTargetFormat(const PixelFormat& format);

inline constexpr int32_t kMaxTextureSize = 1024;
// The largest render target side: screen positions are snapped to 1/256 of
// a pixel in 32-bit integers.
inline constexpr int32_t kMaxTargetSize = 8192;

}  // namespace zv::platform
