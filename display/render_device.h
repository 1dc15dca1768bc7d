#pragma once

#include <string>

#include "platform/surface/surface.h"

namespace zv {

// The 3D device made on the back buffer. The software rasterizer provides
// the real one; until then NullRenderDevice lets the display come up without
// 3D.
class RenderDevice {
 public:
  virtual ~RenderDevice() = default;

  // Makes the device on the back buffer (with its z-buffer attached) for a
  // screen of the back buffer's size. `software` forbids hardware devices
  // and `use_tnl` allows the transform-and-lighting one. False, with the
  // reason in `*error`, when no device can be made.
  virtual bool Create(platform::Surface& back_buffer, bool software, bool use_tnl,
                      std::string* error) {
    (void)back_buffer, (void)software, (void)use_tnl, (void)error;
    return true;
  }
  virtual void Release() {}
  virtual bool Exists() const { return false; }
  // Clears the depth buffer over the screen.
  virtual void ClearZBuffer() {}
  virtual void EvictManagedTextures() {}
  // "T&L", "HAL", "RGB", "MMX" or "OTHER"; empty without a device.
  virtual std::string DeviceName() const { return {}; }
  // True for the T&L, HAL and OTHER devices.
  virtual bool HardwareDevice() const { return false; }
  // What the display-card probe reports.
  virtual bool HasBlendSupport() const { return false; }
  virtual bool HasTextureFiltering() const { return false; }
  virtual bool HasFog() const { return false; }
};

class NullRenderDevice final : public RenderDevice {};

}  // namespace zv
