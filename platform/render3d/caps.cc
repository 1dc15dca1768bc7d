#include "platform/render3d/caps.h"

namespace zv::platform {
namespace {

PrimitiveCaps TriangleCaps() {
  PrimitiveCaps c;
  c.raster = raster_caps::kFogVertex | raster_caps::kZTest;
  c.z_compare_less_equal = 1;
  uint32_t factors = BlendCap(blend::kZero) | BlendCap(blend::kOne) | BlendCap(blend::kSrcColor) |
                     BlendCap(blend::kInvSrcColor) | BlendCap(blend::kSrcAlpha) |
                     BlendCap(blend::kInvSrcAlpha) | BlendCap(blend::kDestColor) |
                     BlendCap(blend::kInvDestColor);
  c.src_blend = factors;
  c.dest_blend = factors;
  c.shade = shade_caps::kGouraud;
  c.cull = cull_caps::kNone | cull_caps::kCcw;
  c.texture = texture_caps::kPow2 | texture_caps::kTransparency | texture_caps::kPerspective |
              texture_caps::kAlpha;
  c.texture_filter = filter_caps::kMinPoint | filter_caps::kMinLinear | filter_caps::kMagPoint |
                     filter_caps::kMagLinear | filter_caps::kMipNearest | filter_caps::kMipLinear;
  c.texture_address = address_caps::kWrap | address_caps::kMirror | address_caps::kClamp;
  return c;
}

}  // namespace

DeviceCaps SoftwareDeviceCaps(DeviceKind kind) {
  DeviceCaps caps;
  if (kind == DeviceKind::kTnLHal || kind == DeviceKind::kHal) caps.dev |= dev_caps::kHwRasterization;
  if (kind == DeviceKind::kTnLHal) caps.dev |= dev_caps::kHwTransformAndLight;
  caps.render_bit_depth = bit_depth::k16 | bit_depth::k24 | bit_depth::k32;
  caps.z_buffer_bit_depth = bit_depth::k16 | bit_depth::k32;
  caps.triangle = TriangleCaps();
  caps.line = TriangleCaps();
  caps.min_texture_width = caps.min_texture_height = 1;
  caps.max_texture_width = caps.max_texture_height = kMaxTextureSize;
  caps.max_texture_blend_stages = 1;
  caps.max_simultaneous_textures = 1;
  caps.max_active_lights = 0xFFFFFFFFu;
  return caps;
}

std::vector<DeviceDescription> DeviceDescriptions() {
  return {
      {DeviceKind::kRgb, "Software Rasterizer (RGB)", SoftwareDeviceCaps(DeviceKind::kRgb)},
      {DeviceKind::kMmx, "Software Rasterizer (MMX)", SoftwareDeviceCaps(DeviceKind::kMmx)},
      {DeviceKind::kHal, "Software Rasterizer (HAL)", SoftwareDeviceCaps(DeviceKind::kHal)},
      {DeviceKind::kTnLHal, "Software Rasterizer (T&L HAL)", SoftwareDeviceCaps(DeviceKind::kTnLHal)},
  };
}

PixelFormat Argb1555() { return PixelFormat{16, 0x7C00, 0x03E0, 0x001F, 0x8000, false, false}; }
PixelFormat Argb4444() { return PixelFormat{16, 0x0F00, 0x00F0, 0x000F, 0xF000, false, false}; }
PixelFormat Argb8888() {
  return PixelFormat{32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000u, false, false};
}

std::vector<PixelFormat> TextureFormats() {
  return {PixelFormat::Rgb565(), PixelFormat::Rgb555(), Argb1555(),          Argb4444(),
          PixelFormat::Xrgb8888(), Argb8888(),         PixelFormat::Indexed8()};
}

bool IsTextureFormat(const PixelFormat& format) {
  for (const PixelFormat& f : TextureFormats())
    if (f == format) return true;
  return false;
}

bool IsRenderTargetFormat(const PixelFormat& format) {
  if (format.indexed || format.depth) return false;
  if (format.bits == 16)
    return (format.red_mask == 0xF800 && format.green_mask == 0x07E0 && format.blue_mask == 0x001F) ||
           (format.red_mask == 0x7C00 && format.green_mask == 0x03E0 && format.blue_mask == 0x001F);
  return (format.bits == 24 || format.bits == 32) && format.red_mask == 0xFF0000 &&
         format.green_mask == 0x00FF00 && format.blue_mask == 0x0000FF;
}

}  // namespace zv::platform
