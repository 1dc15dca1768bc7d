#include "engine3d/objects/model_loading.h"

#include <filesystem>
#include <vector>

#include "engine3d/engine.h"
#include "engine3d/objects/mesh_records.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/objects/three_ds_loading.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/animation.h"
#include "models/files/model_builder.h"
#include "models/files/x_model_reader.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace p = platform;

// The folder part of a lower-cased name: up to and including the last
// separator found from the second-last character down to the second one.
std::string FolderOf(const std::string& name) {
  for (size_t i = name.size() >= 2 ? name.size() - 2 : 0; i >= 1 && i < name.size(); --i)
    if (name[i] == '\\' || name[i] == '/') return name.substr(0, i + 1);
  return {};
}

// The text after the last "." found from the last character down to the
// second one.
std::string ExtensionOf(const std::string& name) {
  for (size_t i = name.size(); i-- > 1;)
    if (name[i] == '.') return name.substr(i + 1);
  return {};
}

// Empties the texture folder however the load ends.
struct TextureFolderScope {
  Engine3D& e;
  ~TextureFolderScope() { e.texture_folder.clear(); }
};

}  // namespace

int32_t LoadModelIntoObject(Engine3D& e, int32_t object, const std::string& path, std::string* why) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o) return 0;
  if (!o->model) o->model = std::make_shared<ObjectModel>();
  std::shared_ptr<ObjectModel> model = o->model;
  const int32_t frames = model->LoadModel(path, e.NodeServices(), why);
  if (frames > 0) return frames;
  if (ObjectRecord* again = e.pools.Object(object)) again->model.reset();
  return 0;
}

int32_t LoadObjectMesh(Engine3D& e, int32_t object, const std::string& file, std::string* why) {
  TextureFolderScope scope{e};
  const std::string lowered = p::AsciiLower(file);
  e.texture_folder = FolderOf(lowered);
  const std::string extension = ExtensionOf(lowered);
  if (extension != "x" && extension != "3ds") return load_result::kBadKind;
  const std::string path = ReadPath(e.Machine().attached_data, file);
  if (extension == "3ds") return Load3dsIntoObject(e, object, path, why);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return load_result::kNotFound;
  return LoadModelIntoObject(e, object, path, why);
}

int32_t MakeObjectModelFromMesh(Engine3D& e, int32_t object, int32_t mesh, int32_t texture) {
  ObjectRecord* o = e.pools.Object(object);
  auto refused = [&](int32_t result) {
    if (texture > 0) ReleaseTexture(e, texture, false);
    return result;
  };
  if (!o) return refused(0);
  if (o->model) return refused(1);
  // Mesh 0 is never handed out: it makes a model without geometry.
  static const MeshRecord kEmpty;
  const MeshRecord* record = e.pools.Mesh(mesh);
  auto model = std::make_shared<ObjectModel>();
  if (!model->AddMeshFrame(0, GeometryOf(record ? *record : kEmpty), texture, e.NodeServices())) return refused(0);
  o = e.pools.Object(object);
  if (!o) return 0;
  o->model = std::move(model);
  return 1;
}

int32_t CreateObjectMeshWrapper(Engine3D& e, int32_t object, int32_t mesh) {
  return MakeObjectModelFromMesh(e, object, mesh, 0);
}

int32_t AddLimbFromMesh(Engine3D& e, int32_t object, int32_t limb, int32_t mesh) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o || !o->model) return 0;
  static const MeshRecord kEmpty;
  const MeshRecord* record = e.pools.Mesh(mesh);
  return o->model->AddMeshFrame(limb, GeometryOf(record ? *record : kEmpty), 0, e.NodeServices()) ? 1 : 0;
}

int32_t ReplaceObjectLimbGeometry(Engine3D& e, int32_t object, int32_t limb, int32_t mesh) {
  ObjectRecord* o = e.pools.Object(object);
  const MeshRecord* record = e.pools.Mesh(mesh);
  if (!o || !o->model || !record) return 0;
  return o->model->ReplaceLimbGeometry(limb, GeometryOf(*record)) == kModelOk ? 1 : 0;
}

int32_t MakeMeshFromObject(Engine3D& e, int32_t object, int32_t limb, int32_t group, const Matrix4& placed_in) {
  ObjectRecord* o = e.pools.Object(object);
  p::Device3D* device = e.Device();
  if (!o || !o->model || !device) return -1;
  // An instance's model holds the placement of whichever of its objects
  // was posed last.
  ReadyModelFor(e, object);
  std::shared_ptr<ObjectModel> model = e.pools.objects[object].model;

  std::vector<models::MeshVertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<uint32_t> vertex_counts, index_counts;
  models::GeometryExtraction walk;
  walk.vertices = &vertices;
  walk.indices = &indices;
  walk.vertex_counts = &vertex_counts;
  walk.index_counts = &index_counts;
  walk.mode = models::GeometryExtraction::kCopyPass;
  walk.limb_filter = limb;
  walk.texture_filter = group;
  {
    Matrix4 saved;
    device->GetTransform(p::TransformState::kWorld, &saved);
    device->SetTransform(p::TransformState::kWorld, placed_in);
    model->ExtractGeometry(device, walk);
    device->SetTransform(p::TransformState::kWorld, saved);
  }

  const int32_t index = e.pools.AllocMesh(e.Machine());
  if (index == kNoRecord) return kNoMeshRoom;
  MeshRecord& mesh = e.pools.meshes[index];
  const uint32_t vertex_count = walk.vertex_cursor;
  vertices.resize(vertex_count);
  for (const models::MeshVertex& v : vertices) {
    mesh.vertices.insert(mesh.vertices.end(), {v.x, v.y, v.z});
    mesh.normals.insert(mesh.normals.end(), {v.nx, v.ny, v.nz});
    mesh.tex_coords.insert(mesh.tex_coords.end(), {v.u, v.v});
  }
  uint32_t base = 0, at = 0;
  for (uint32_t g = 0; g < walk.mesh_counter && g < index_counts.size() && g < vertex_counts.size(); ++g) {
    for (uint32_t t = 0; t + 2 < index_counts[g] && at + t + 2 < indices.size(); t += 3) {
      mesh.face_data.push_back(3);
      for (uint32_t c = 0; c < 3; ++c) {
        const uint32_t corner = indices[at + t + c] + base;
        mesh.face_data.insert(mesh.face_data.end(), {corner, corner});
      }
    }
    at += index_counts[g];
    base += vertex_counts[g];
  }
  mesh.vertex_count = mesh.normal_count = static_cast<int32_t>(vertex_count);
  mesh.face_count = static_cast<int32_t>(mesh.face_data.size() / 7);
  mesh.face_data_count = static_cast<int32_t>(mesh.face_data.size());

  // The mesh must make a model of its own.
  ObjectModel check;
  if (!check.AddMeshFrame(0, GeometryOf(e.pools.meshes[index]), 0, models::NullNodeServices())) {
    e.pools.FreeMesh(index);
    return -1;
  }
  return index;
}

}  // namespace zv
