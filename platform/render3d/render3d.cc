#include "platform/render3d/render3d.h"

#include "platform/render3d/device_result.h"

namespace zv::platform {

std::vector<PixelFormat> Render3D::EnumZBufferFormats(DeviceKind kind) const {
  (void)kind;
  PixelFormat depth32 = PixelFormat::Depth16();
  depth32.bits = 32;
  return {PixelFormat::Depth16(), depth32};
}

std::unique_ptr<Device3D> Render3D::CreateDevice(DeviceKind kind, SurfacePtr target, Result* error) {
  auto fail = [&](Result r) {
    if (error) *error = r;
    return std::unique_ptr<Device3D>();
  };
  if (!target) return fail(result::kInvalidParams);
  if (!IsRenderTargetFormat(target->Format()) || target->Width() > kMaxTargetSize ||
      target->Height() > kMaxTargetSize)
    return fail(result::kUnsupportedTarget);
  if (const Surface* depth = target->AttachedZBuffer()) {
    bool usable = depth->Format().depth && (depth->Format().bits == 16 || depth->Format().bits == 32) &&
                  depth->Width() == target->Width() && depth->Height() == target->Height();
    if (!usable) return fail(result::kUnsupportedTarget);
  }
  if (error) *error = result::kOk;
  return std::make_unique<Device3D>(kind, std::move(target));
}

VertexBufferPtr Render3D::CreateVertexBuffer(const VertexBufferDesc& desc, Result* error) {
  return VertexBuffer::Create(desc, error);
}

TexturePtr Render3D::CreateTexture(const TextureDesc& desc, Result* error) {
  TexturePtr texture = Texture::Create(desc, error);
  if (texture) textures_.Add(texture);
  return texture;
}

void Render3D::EvictManagedTextures() {
  textures_.ForEach([](Texture& t) { t.DropSampledCopies(); });
}

}  // namespace zv::platform
