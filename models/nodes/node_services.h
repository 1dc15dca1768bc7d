#pragma once

#include <cstdint>
#include <string>

namespace zv::platform {
class Device3D;
}

namespace zv::models {

// What the scene nodes and the model readers ask of the 3D engine: its
// texture cache (textures are shared texture records with reference counts;
// index 0 is no texture), its render-state cache for binding a texture, its
// polygon counter, and where vertex buffers live. Every mesh node keeps the
// services it was made with, so the engine must outlive its models. The
// defaults do nothing: no textures, nothing counted, buffers in system memory.
class NodeServices {
 public:
  virtual ~NodeServices() = default;

  // The shared texture of an image file named inside a model (lookup mode 0:
  // attached data are searched by file name only); 0 when it cannot be loaded.
  virtual int32_t LoadTextureFile(const std::string& name, int32_t lookup_mode) {
    (void)name, (void)lookup_mode;
    return 0;
  }
  // The shared solid-colour texture of a packed 0xRRGGBB colour.
  virtual int32_t GetColourTexture(uint32_t colour) {
    (void)colour;
    return 0;
  }
  // One more reference of a texture the cache shares (nothing for others).
  virtual void AddTextureReference(int32_t texture) { (void)texture; }
  // Drops one reference of a texture (all of them when `force`).
  virtual void ReleaseTexture(int32_t texture, bool force) { (void)texture, (void)force; }
  // Whether the texture record is one the cache shares (has a cache entry).
  virtual bool TextureHasCacheEntry(int32_t texture) const {
    (void)texture;
    return false;
  }

  // Binds a texture record's texture to stage 0 through the render-state
  // cache (0 binds none).
  virtual void SetStageTexture(platform::Device3D& device, int32_t texture) {
    (void)device, (void)texture;
  }
  // Adds a drawn mesh's index count to the frame's polygon counter.
  virtual void CountDrawnIndices(uint32_t index_count) { (void)index_count; }

  // True while the device in use transforms and lights in hardware and the
  // software renderer is not chosen; buffers are then not kept in system
  // memory.
  virtual bool VertexBuffersInVideoMemory() const { return false; }
};

// Services that do nothing, for models made without an engine.
NodeServices& NullNodeServices();

}  // namespace zv::models
