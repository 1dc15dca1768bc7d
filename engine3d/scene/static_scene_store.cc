#include "engine3d/scene/static_scene_store.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>

#include "display/graphics.h"
#include "display/queued_work.h"
#include "engine3d/engine.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/static_scene_file.h"
#include "platform/paths/file_read.h"
#include "platform/paths/file_save.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"
#include "runtime/runtime_state.h"

namespace zv {
namespace {

namespace p = platform;

// The longest scene file name a program may give.
constexpr size_t kLongestSceneName = 255;

// SETUP.INI's VBCREATE: the vertex buffer's capabilities.
uint32_t VertexBufferCaps(Engine3D& e) {
  const int32_t setting = e.Bound() && e.Machine().runtime ? e.Machine().runtime->settings.vb_create : 0;
  uint32_t caps = 0;
  switch (setting) {
    case 1: caps = p::vb_caps::kWriteOnly; break;
    case 2: caps = p::vb_caps::kDoNotClip; break;
    case 3: caps = p::vb_caps::kWriteOnly | p::vb_caps::kDoNotClip; break;
    case 4: caps = p::vb_caps::kSystemMemory; break;
    default: break;
  }
  if (!e.NodeServices().VertexBuffersInVideoMemory()) caps |= p::vb_caps::kSystemMemory;
  return caps;
}

// A group's texture takes one reference for the group.
void TakeTextureReference(Engine3D& e, int32_t texture) {
  if (texture <= 0 || !TextureHasCacheEntry(e, texture)) return;
  if (TextureRecord* t = e.pools.Texture(texture)) ++t->references;
}

// A texture of the cache made from the file `name`, whatever the case of
// its letters, with one more user; 0 when there is none.
int32_t SharedTextureOfFile(Engine3D& e, const std::string& name) {
  std::error_code error;
  const std::string keyed = std::filesystem::current_path(error).string() + name;
  const int32_t index = e.texture_cache.FindNoCase(keyed, name);
  TextureRecord* t = index > 0 ? e.pools.Texture(index) : nullptr;
  if (!t) return 0;
  ++t->references;
  return index;
}

// False when the texture's picture could not be written, or it has none
// (the scene would load back without it).
// False when the texture could not be written: errno says why, 0 when its
// image has no picture.
bool SaveGroupTexture(Engine3D& e, const std::string& file_name, int32_t texture) {
  TextureRecord* t = texture > 0 ? e.pools.Texture(texture) : nullptr;  // 0: a group without a texture
  Graphics* graphics = e.Bound() ? FindGraphics(e.Machine()) : nullptr;
  if (!t || !graphics) return true;
  errno = 0;
  return t->surface && graphics->Files().Save(t->surface->LevelSurface(0), p::Paths().Resolve(file_name));
}

}  // namespace

std::string StaticTextureFileName(const std::string& scene_name, int32_t texture) {
  return scene_name + "_" + std::to_string(texture) + ".dds";
}

bool AddStaticGeometry(Engine3D& e, int32_t texture, const MeshRecord& mesh, const StaticPieceMode& mode) {
  StaticMeshData data;
  data.positions = mesh.vertices;
  data.normals = mesh.normals;
  data.tex_coords = mesh.tex_coords;
  data.face_data = mesh.face_data;
  data.face_count = static_cast<uint32_t>(std::max(mesh.face_count, 0));
  std::unique_ptr<StaticPolygon> polygon = MakeStaticPolygon(data, mode);
  if (!polygon) return false;
  StaticScene& scene = e.static_scene;
  if (polygon->vertices.size() > scene.capacity)
    CreateStaticVertexBuffer(e, static_cast<uint32_t>(polygon->vertices.size()));
  bool made_group = false;
  AddStaticPolygon(scene, texture, std::move(polygon), &made_group);
  if (made_group) TakeTextureReference(e, texture);
  return true;
}

void ClearStaticScene(Engine3D& e) {
  StaticScene& scene = e.static_scene;
  std::vector<StaticGroup> groups = std::move(scene.groups);
  scene.groups.clear();
  scene.owned.clear();
  scene.boxes.clear();
  for (const StaticGroup& g : groups)
    if (g.texture > 0) ReleaseTexture(e, g.texture, false);
}

void CreateStaticVertexBuffer(Engine3D& e, uint32_t capacity) {
  StaticScene& scene = e.static_scene;
  scene.vertex_buffer.reset();
  scene.capacity = 0;
  p::VertexBufferDesc desc;
  desc.caps = VertexBufferCaps(e);
  desc.vertex_count = std::clamp<uint32_t>(capacity, 1, p::kMaxBufferVertices);
  scene.vertex_buffer = p::VertexBuffer::Create(desc);
  if (scene.vertex_buffer) scene.capacity = desc.vertex_count;
  scene.batch_indices.clear();
  scene.batch_indices.reserve(static_cast<size_t>(scene.capacity) * 5);
}

std::optional<UnsavedFile> SaveStaticScene(Engine3D& e, const std::string& name) {
  const StaticScene& scene = e.static_scene;
  if (name.size() > kLongestSceneName) return UnsavedFile{name, ENAMETOOLONG};
  // A texture whose image is grabbed in this frame gets its picture first.
  if (Graphics* graphics = e.Bound() ? FindGraphics(e.Machine()) : nullptr) CarryOutQueuedImageWork(*graphics, 0);
  std::optional<UnsavedFile> failed;
  for (const StaticGroup& g : scene.groups) {
    const std::string texture_file = StaticTextureFileName(name, g.texture);
    if (!SaveGroupTexture(e, texture_file, g.texture) && !failed) failed = UnsavedFile{texture_file, errno};
  }
  if (!p::SaveFile(p::Paths().Resolve(name), EncodeStaticScene(scene)) && !failed) failed = UnsavedFile{name, errno};
  return failed;
}

bool LoadStaticScene(Engine3D& e, const std::string& name) {
  if (name.size() > kLongestSceneName) return false;
  // An attached record of that name stands in for the file; the name's
  // last three characters give the temporary copy its extension.
  const std::string_view extension = std::string_view(name).substr(name.size() - std::min<size_t>(3, name.size()));
  AttachedData* attached = e.Bound() ? e.Machine().attached_data : nullptr;
  const std::optional<std::vector<uint8_t>> bytes = p::ReadWholeFile(ReadPath(attached, name, extension));
  if (!bytes || bytes->empty()) return false;
  std::optional<StaticSceneFile> read = DecodeStaticScene(*bytes);
  if (!read) return false;
  ClearStaticScene(e);
  StaticScene& scene = e.static_scene;
  uint32_t most_vertices = 0;
  for (StaticGroup& group : read->groups) {
    const int32_t number = group.texture;
    group.texture = 0;
    if (number > 0) {
      const std::string texture_file = StaticTextureFileName(name, number);
      group.texture = SharedTextureOfFile(e, texture_file);
      if (group.texture == 0) group.texture = LoadTextureFile(e, texture_file, 1);
    }
    for (const auto& polygon : group.polygons)
      most_vertices = std::max(most_vertices, static_cast<uint32_t>(polygon->vertices.size()));
    scene.groups.push_back(std::move(group));
  }
  scene.boxes.assign(std::move(read->boxes));
  if (most_vertices > scene.capacity) CreateStaticVertexBuffer(e, most_vertices);
  return true;
}

}  // namespace zv
