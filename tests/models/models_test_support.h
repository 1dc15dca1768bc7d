#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "models/files/x_model_reader.h"
#include "models/nodes/node_services.h"
#include "platform/render3d/device.h"
#include "platform/render3d/texture.h"

namespace zv::models::testing {

// Engine services that hand out texture numbers from 1 up, count the
// references as a texture cache would, and record what the nodes ask for.
class RecordingServices : public NodeServices {
 public:
  int32_t LoadTextureFile(const std::string& name, int32_t lookup_mode) override {
    loaded_names.push_back(name);
    (void)lookup_mode;
    if (missing_files.count(name)) return 0;
    return Share(name);
  }
  int32_t GetColourTexture(uint32_t colour) override {
    colours.push_back(colour);
    return Share(std::to_string(colour));
  }
  void AddTextureReference(int32_t texture) override {
    if (references.count(texture)) ++references[texture];
  }
  void ReleaseTexture(int32_t texture, bool force) override {
    (void)force;
    releases.push_back(texture);
    --references[texture];
  }
  bool TextureHasCacheEntry(int32_t texture) const override { return references.count(texture) > 0; }
  void SetStageTexture(platform::Device3D& device, int32_t texture) override {
    bound.push_back(texture);
    auto it = device_textures.find(texture);
    device.SetTexture(0, it == device_textures.end() ? nullptr : it->second);
  }
  void CountDrawnIndices(uint32_t index_count) override { drawn_indices += index_count; }

  // Texture number of `key`, one more reference each time it is asked for.
  int32_t Share(const std::string& key) {
    auto [it, made] = numbers.try_emplace(key, static_cast<int32_t>(numbers.size()) + 1);
    ++references[it->second];
    return it->second;
  }
  int32_t Number(const std::string& key) const {
    auto it = numbers.find(key);
    return it == numbers.end() ? 0 : it->second;
  }
  // Sum of all references still held.
  int32_t HeldReferences() const {
    int32_t sum = 0;
    for (const auto& [texture, count] : references) sum += count;
    return sum;
  }

  std::map<std::string, int32_t> numbers;
  std::map<int32_t, int32_t> references;
  std::map<std::string, int> missing_files;
  std::map<int32_t, platform::TexturePtr> device_textures;
  std::vector<std::string> loaded_names;
  std::vector<uint32_t> colours;
  std::vector<int32_t> releases;
  std::vector<int32_t> bound;
  uint64_t drawn_indices = 0;
};

inline std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Reads an X text file whose body follows the standard header line.
inline XModel ReadText(std::string_view body, NodeServices& services) {
  std::string file = "xof 0302txt 0032\n" + std::string(body);
  return ReadXModelFromMemory(Bytes(file), services);
}

// Every node of a tree in pre-order.
inline std::vector<SceneNode*> PreOrder(SceneNode* node) {
  std::vector<SceneNode*> out;
  std::vector<SceneNode*> stack{node};
  while (!stack.empty()) {
    SceneNode* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    std::vector<SceneNode*> children;
    for (SceneNode* c = n->first_child(); c; c = c->next_sibling()) children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return out;
}

}  // namespace zv::models::testing
