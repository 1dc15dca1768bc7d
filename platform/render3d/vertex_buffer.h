#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/render3d/types.h"
#include "platform/surface/result.h"

namespace zv::platform {

// Vertex-buffer capabilities, as the engine's settings name them. Every
// buffer lives in main memory; the flags are kept and reported.
namespace vb_caps {
constexpr uint32_t kDoNotClip = 0x1;
constexpr uint32_t kSystemMemory = 0x800;
constexpr uint32_t kWriteOnly = 0x10000;
}  // namespace vb_caps

struct VertexBufferDesc {
  uint32_t caps = 0;
  uint32_t vertex_format = kVertexFormatXyzNormalTex1;
  uint32_t vertex_count = 0;
};

// The most vertices one buffer holds (16-bit indices reach 65536 from any
// start vertex).
inline constexpr uint32_t kMaxBufferVertices = 1u << 20;

// Vertices in the one format the device draws. Lock hands out the vertices
// for writing (or reading) until Unlock; a buffer cannot be drawn while it
// is locked. Optimize prepares it for drawing once and for all: an
// optimised buffer can no longer be locked.
class VertexBuffer {
 public:
  // Null, with the reason in `*error`, for a vertex format other than
  // position, normal and one texture-coordinate pair, or a count outside
  // 1..kMaxBufferVertices. The vertices start zeroed.
  static std::shared_ptr<VertexBuffer> Create(const VertexBufferDesc& desc, Result* error = nullptr);

  const VertexBufferDesc& Desc() const { return desc_; }
  uint32_t VertexCount() const { return desc_.vertex_count; }
  // `flags` as for surfaces (kLockWait, kLockReadOnly, kLockWriteOnly).
  Result Lock(uint32_t flags, std::span<Vertex>* out);
  Result Unlock();
  bool IsLocked() const { return locked_; }
  Result Optimize();
  bool IsOptimized() const { return optimized_; }

  // The vertices as the device reads them.
  std::span<const Vertex> Vertices() const { return vertices_; }

 private:
  VertexBuffer() = default;
  VertexBufferDesc desc_;
  std::vector<Vertex> vertices_;
  bool locked_ = false;
  bool optimized_ = false;
};

using VertexBufferPtr = std::shared_ptr<VertexBuffer>;

}  // namespace zv::platform
