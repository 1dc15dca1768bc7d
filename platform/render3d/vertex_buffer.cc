#include "platform/render3d/vertex_buffer.h"

#include "platform/render3d/device_result.h"

namespace zv::platform {

std::shared_ptr<VertexBuffer> VertexBuffer::Create(const VertexBufferDesc& desc, Result* error) {
  auto fail = [&](Result r) {
    if (error) *error = r;
    return std::shared_ptr<VertexBuffer>();
  };
  if (desc.vertex_format != kVertexFormatXyzNormalTex1) return fail(result::kInvalidVertexFormat);
  if (desc.vertex_count < 1 || desc.vertex_count > kMaxBufferVertices) return fail(result::kInvalidParams);
  std::shared_ptr<VertexBuffer> buffer(new VertexBuffer());
  buffer->desc_ = desc;
  buffer->vertices_.resize(desc.vertex_count);
  if (error) *error = result::kOk;
  return buffer;
}

Result VertexBuffer::Lock(uint32_t flags, std::span<Vertex>* out) {
  (void)flags;
  if (out == nullptr) return result::kInvalidParams;
  if (optimized_) return result::kVertexBufferOptimized;
  if (locked_) return result::kVertexBufferLocked;
  locked_ = true;
  *out = vertices_;
  return result::kOk;
}

Result VertexBuffer::Unlock() {
  if (!locked_) return result::kNotLocked;
  locked_ = false;
  return result::kOk;
}

Result VertexBuffer::Optimize() {
  if (locked_) return result::kVertexBufferLocked;
  if (optimized_) return result::kVertexBufferOptimized;
  optimized_ = true;
  return result::kOk;
}

}  // namespace zv::platform
