#pragma once

#include <memory>
#include <vector>

#include "platform/render3d/caps.h"
#include "platform/render3d/device.h"
#include "platform/render3d/texture.h"
#include "platform/render3d/vertex_buffer.h"
#include "platform/surface/live_list.h"

namespace zv::platform {

// The 3D object of a display device: the device slots it offers, the
// devices, vertex buffers and textures it makes, and the eviction of what
// it keeps for the managed textures (their sampled copies).
class Render3D {
 public:
  std::vector<DeviceDescription> EnumDevices() const { return DeviceDescriptions(); }
  // Depth-buffer formats: 16 bits, then 32 bits.
  std::vector<PixelFormat> EnumZBufferFormats(DeviceKind kind) const;

  // A device drawing into `target`, with the depth buffer attached to it
  // (if any). Null, with the reason in `*error`, for a target format other
  // than 565, 555 and X888, a side above kMaxTargetSize, or a depth buffer
  // of another size or kind.
  std::unique_ptr<Device3D> CreateDevice(DeviceKind kind, SurfacePtr target, Result* error = nullptr);
  VertexBufferPtr CreateVertexBuffer(const VertexBufferDesc& desc, Result* error = nullptr);
  TexturePtr CreateTexture(const TextureDesc& desc, Result* error = nullptr);

  // Frees the sampled copies of every live texture made here.
  void EvictManagedTextures();

 private:
  LiveList<Texture> textures_;
};

}  // namespace zv::platform
