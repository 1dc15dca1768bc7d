#pragma once

// What the model-file fuzz targets do with a model the X reader built: draw
// it into a small target, measure it, extract its geometry, move frames,
// save its meshes, then destroy it. Every texture reference the reader took
// must be given back by then.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "models/files/x_model_reader.h"
#include "models/nodes/mesh_node.h"
#include "platform/render3d/render3d.h"
#include "platform/xfile/writer.h"

namespace zv::fuzz {

class CountingServices : public models::NodeServices {
 public:
  int32_t LoadTextureFile(const std::string& name, int32_t) override { return Take(name); }
  int32_t GetColourTexture(uint32_t colour) override { return Take(std::to_string(colour)); }
  void ReleaseTexture(int32_t texture, bool) override {
    if (--references[texture] < 0) std::abort();
  }
  bool TextureHasCacheEntry(int32_t texture) const override { return references.count(texture) > 0; }
  int32_t Take(const std::string& key) {
    auto [it, made] = numbers.try_emplace(key, static_cast<int32_t>(numbers.size()) + 1);
    ++references[it->second];
    return it->second;
  }
  bool AllReleased() const {
    for (const auto& [texture, count] : references)
      if (count != 0) return false;
    return true;
  }
  std::map<std::string, int32_t> numbers;
  std::map<int32_t, int32_t> references;
};

struct Target {
  Target() {
    platform::SurfaceDesc desc;
    desc.width = desc.height = 16;
    desc.format = platform::PixelFormat::Xrgb8888();
    desc.role = platform::SurfaceRole::kBackBuffer;
    surface = platform::Surface::Create(desc);
    device = render.CreateDevice(platform::DeviceKind::kHal, surface);
  }
  platform::Render3D render;
  platform::SurfacePtr surface;
  std::unique_ptr<platform::Device3D> device;
};

inline void Exercise(models::FrameNode& root, int32_t frame_count, platform::Device3D& device) {
  device.BeginScene();
  root.RenderNode(device, -1);
  device.EndScene();
  models::Vector3f sum{};
  uint32_t count = 0;
  root.SumVertexPositions(models::Matrix4::Identity(), &sum, &count);
  models::BoundingBox box;
  root.GetNodeBoundingBox(models::Matrix4::Identity(), &box);
  models::GeometryExtraction counting;
  root.ExtractNodeGeometry(device, counting);
  std::vector<models::MeshVertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> vertex_counts, index_counts;
  models::GeometryExtraction copy{&vertices, &indices, &vertex_counts, &index_counts};
  copy.mode = models::GeometryExtraction::kCopyPass;
  root.ExtractNodeGeometry(device, copy);
  if (copy.vertex_cursor != counting.vertex_cursor || vertices.size() != counting.vertex_cursor)
    std::abort();
  for (int32_t moved = 1; moved < frame_count && moved < 4; ++moved)
    models::ReparentFrames(root, moved, frame_count - moved);
  root.ScaleVertexBufferNormals(2.0f);
  root.SetNodeTexture(0, 0);
  platform::XDocument saved;
  root.SaveNodeToX(saved);
  (void)platform::WriteXData(saved);
}

// Reads the X data into a model, exercises it and checks the references.
inline void FuzzXModel(std::span<const uint8_t> data) {
  static Target target;
  CountingServices services;
  {
    models::XModel model = models::ReadXModelFromMemory(data, services);
    if (model.root) Exercise(*model.root, model.frame_count, *target.device);
  }
  if (!services.AllReleased()) std::abort();
}

}  // namespace zv::fuzz
