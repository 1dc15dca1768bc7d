#include "models/files/x_model_reader.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "models/files/x_materials.h"
#include "models/nodes/mesh_node.h"
#include "platform/xfile/frame_view.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/reader.h"

namespace zv::models {

using platform::XDataObject;
using platform::XTemplateKind;

namespace {

class XModelReader {
 public:
  explicit XModelReader(NodeServices& services) : services_(services) {}

  // Reads a Frame object and everything in it under `parent`, as frame
  // `number`; returns the last frame number used.
  int32_t ReadXFrame(const XDataObject& object, SceneNode& parent, int32_t number);
  // Reads a Mesh object into one mesh node under `parent`, or one per
  // material when it has several.
  void ReadXMesh(const XDataObject& object, SceneNode& parent, int32_t number);

  // The first reason a mesh could not be read whole; the model is refused
  // then rather than shown with faces missing.
  const std::optional<platform::XError>& Error() const { return error_; }
  // The first part of a mesh that was left out, the mesh being read
  // without it.
  const std::optional<platform::XError>& Warning() const { return warning_; }
  bool ReadAMesh() const { return meshes_read_ > 0; }

 private:
  void Refuse(const XDataObject& mesh, const platform::XError& why);
  void Warn(const XDataObject& mesh, const platform::XError& what);
  // Reads the mesh's normals, texture coordinates and materials into it and
  // the table; false (refused) when one of them cannot be read.
  bool ReadMeshParts(const XDataObject& object, const platform::XMesh& data, MeshNode& mesh,
                     MeshMaterialTable& table);
  void AttachWhole(std::unique_ptr<MeshNode> mesh, MeshMaterialTable& table, SceneNode& parent);
  void AttachGroups(const MeshNode& whole, const platform::XMesh& data, MeshMaterialTable& table,
                    SceneNode& parent, int32_t number);
  void TakeMaterial(MeshNode& mesh, MeshMaterial& material);

  NodeServices& services_;
  std::optional<platform::XError> error_;
  std::optional<platform::XError> warning_;
  int32_t meshes_read_ = 0;
};

std::string Counted(size_t count, const std::string& one, const std::string& more = {}) {
  return std::to_string(count) + " " + (count == 1 ? one : more.empty() ? one + "s" : more);
}

std::vector<float> Positions(const platform::XMesh& mesh) {
  std::vector<float> positions;
  positions.reserve(mesh.vertices.size() * 3);
  for (const auto& v : mesh.vertices) positions.insert(positions.end(), {v.x, v.y, v.z});
  return positions;
}

int32_t XModelReader::ReadXFrame(const XDataObject& object, SceneNode& parent, int32_t number) {
  auto frame = FrameNode::Create(object.name(), number);
  const int32_t own_number = number;
  for (const auto& child : object.children()) {
    const XDataObject* data = child.object();
    if (data == nullptr) {
      // A mesh the frame names ("{ Body }") is placed with it, as one it holds.
      const XDataObject* named = child.Target();
      if (named != nullptr && named->Is(XTemplateKind::kMesh)) ReadXMesh(*named, *frame, own_number);
      continue;
    }
    if (data->Is(XTemplateKind::kFrame)) {
      number = ReadXFrame(*data, *frame, number + 1);
    } else if (data->Is(XTemplateKind::kMesh)) {
      // A mesh belongs to the frame that holds it, also when frames
      // nested before it have taken later numbers.
      ReadXMesh(*data, *frame, own_number);
    } else if (data->Is(XTemplateKind::kFrameTransformMatrix)) {
      auto matrix = platform::ReadXFrameTransformMatrix(*data);
      if (!matrix.ok()) return number;  // the frame and what it holds go
      Matrix4 local;
      for (int i = 0; i < 16; ++i) local.m[i / 4][i % 4] = (*matrix)[static_cast<size_t>(i)];
      frame->set_local_matrix(local);
    }
  }
  parent.AddChildNode(std::move(frame));
  return number;
}

void XModelReader::TakeMaterial(MeshNode& mesh, MeshMaterial& material) {
  mesh.set_material(material.material);
  if (material.texture > 0 && !material.taken) {
    mesh.set_texture(material.texture);
    mesh.set_second_name(material.texture_name);
    material.taken = true;
  }
}

// The mesh is named already; the view's "Mesh object" adds nothing.
platform::XError AboutMesh(const XDataObject& mesh, platform::XError what) {
  const std::string which = mesh.name().empty() ? "an unnamed mesh" : "mesh \"" + mesh.name() + "\"";
  std::string_view problem = what.message;
  if (problem.starts_with("Mesh object ")) problem.remove_prefix(12);
  what.message = which + ": " + std::string(problem);
  return what;
}

void XModelReader::Refuse(const XDataObject& mesh, const platform::XError& why) {
  if (!error_) error_ = AboutMesh(mesh, why);
}

void XModelReader::Warn(const XDataObject& mesh, const platform::XError& what) {
  if (!warning_) warning_ = AboutMesh(mesh, what);
}

void XModelReader::ReadXMesh(const XDataObject& object, SceneNode& parent, int32_t number) {
  if (error_) return;
  auto data = platform::ReadXMesh(object);
  if (!data.ok()) return Refuse(object, data.error());
  // Triangles index their vertices with 16 bits.
  if (data->vertices.size() > kMaxMeshVertices)
    return Refuse(object, {object.offset(), std::to_string(data->vertices.size()) + " vertices, more than the " +
                                                std::to_string(kMaxMeshVertices) + " a mesh can hold"});
  std::vector<float> positions = Positions(*data);
  auto mesh = MeshNode::Create(object.name(), positions, data->faces.count, data->faces.packed,
                               false, services_);
  mesh->set_number(number);

  MeshMaterialTable table;
  if (!ReadMeshParts(object, *data, *mesh, table)) {
    table.ReleaseUntakenTextures(services_);
    return;
  }
  if (table.material_count < 2)
    AttachWhole(std::move(mesh), table, parent);
  else
    AttachGroups(*mesh, *data, table, parent, number);
  table.ReleaseUntakenTextures(services_);
  ++meshes_read_;
}

bool XModelReader::ReadMeshParts(const XDataObject& object, const platform::XMesh& data, MeshNode& mesh,
                                 MeshMaterialTable& table) {
  bool has_normals = false;
  for (const auto& child : object.children()) {
    const XDataObject* part = child.object();
    if (part == nullptr) continue;
    if (part->Is(XTemplateKind::kMeshMaterialList)) {
      if (auto why = ReadXMaterialList(*part, table, services_)) {
        Refuse(object, *why);
        return false;
      }
      // Faces of a material past those a mesh holds would be dropped.
      const size_t indexed = std::min<size_t>(table.face_indexes.size(), data.faces.count);
      for (size_t face = 0; face < indexed; ++face)
        if (table.face_indexes[face] >= MeshMaterialTable::kMaxMaterials) {
          platform::XError why{part->offset(), "face " + std::to_string(face) + " uses material " +
                                                   std::to_string(table.face_indexes[face]) + ", more than the " +
                                                   std::to_string(MeshMaterialTable::kMaxMaterials) +
                                                   " materials a mesh can hold"};
          why.number = 2 + face;  // after the counts of materials and of faces
          Refuse(object, why);
          return false;
        }
    } else if (part->Is(XTemplateKind::kMeshNormals)) {
      auto normals = platform::ReadXMeshNormals(*part);
      if (!normals.ok()) {
        Refuse(object, normals.error());
        return false;
      }
      if (normals->normals.size() == data.vertices.size()) {
        std::vector<float> flat;
        flat.reserve(normals->normals.size() * 3);
        for (const auto& n : normals->normals) flat.insert(flat.end(), {n.x, n.y, n.z});
        mesh.SetMeshNormals(flat);
        has_normals = true;
      }
    } else if (part->Is(XTemplateKind::kMeshTextureCoords)) {
      auto coords = platform::ReadXMeshTextureCoords(*part);
      if (!coords.ok()) {
        Refuse(object, coords.error());
        return false;
      }
      if (coords->size() == data.vertices.size()) {
        std::vector<float> flat;
        flat.reserve(coords->size() * 2);
        for (const auto& c : *coords) flat.insert(flat.end(), {c.u, c.v});
        mesh.SetMeshTexCoords(flat);
      } else {
        // Pairs that belong to no vertex in particular cannot be used.
        platform::XError what{part->offset(), "MeshTextureCoords object holds " +
                                                  Counted(coords->size(), "texture coordinate") + " for " +
                                                  Counted(data.vertices.size(), "vertex", "vertices") +
                                                  ", so they are left out"};
        what.number = 0;  // its count
        Warn(object, what);
      }
    }
  }
  if (!has_normals) mesh.ComputeSmoothNormals();
  return true;
}

void XModelReader::AttachWhole(std::unique_ptr<MeshNode> mesh, MeshMaterialTable& table,
                               SceneNode& parent) {
  TakeMaterial(*mesh, table.Entry(0));
  mesh->RefreshVertexBuffer(true);
  parent.AddChildNode(std::move(mesh));
}

// One mesh node per material, named "<mesh>_<m>", each with every vertex of
// the mesh and the faces of its material. Faces past the list's face
// indexes take its last one (a list of one index gives every face its
// material), so that none is lost.
void XModelReader::AttachGroups(const MeshNode& whole, const platform::XMesh& data,
                                MeshMaterialTable& table, SceneNode& parent, int32_t number) {
  const std::vector<uint32_t>& indexes = table.face_indexes;
  auto material_of = [&](uint32_t face) {
    return face < indexes.size() ? indexes[face] : indexes.empty() ? 0 : indexes.back();
  };
  std::vector<float> positions = Positions(data);
  for (uint32_t m = 0; m < table.GroupCount(); ++m) {
    std::vector<uint32_t> packed;
    uint32_t count = 0;
    data.faces.ForEach([&](uint32_t face, std::span<const uint32_t> corners) {
      if (material_of(face) != m) return;
      packed.push_back(static_cast<uint32_t>(corners.size()));
      packed.insert(packed.end(), corners.begin(), corners.end());
      ++count;
    });
    auto group = MeshNode::Create(whole.name() + "_" + std::to_string(m), positions, count, packed,
                                  false, services_);
    group->set_number(number);
    TakeMaterial(*group, table.Entry(m));
    group->CopyNormalsAndTexCoords(whole.vertices());
    group->RefreshVertexBuffer(true);
    parent.AddChildNode(std::move(group));
  }
}

// The model of a parsed file, or the reason it is refused, placed on its
// line when `file` (the file's bytes, when known) is text.
// The meshes that frames name: each is shown where its frames place it.
std::unordered_set<const XDataObject*> MeshesNamedByFrames(const platform::XDocument& document) {
  std::unordered_set<const XDataObject*> named;
  document.ForEachObject([&](const XDataObject& object) {
    if (!object.Is(XTemplateKind::kFrame)) return;
    for (const auto& child : object.children())
      if (const XDataObject* target = child.is_reference() ? child.Target() : nullptr;
          target != nullptr && target->Is(XTemplateKind::kMesh))
        named.insert(target);
  });
  return named;
}

XModel ReadModelTree(const platform::XDocument& document, NodeServices& services,
                     std::span<const uint8_t> file) {
  XModelReader reader(services);
  XModel model;
  model.root = FrameNode::Create("root", 0);
  const std::unordered_set<const XDataObject*> placed_by_frames = MeshesNamedByFrames(document);
  int32_t counter = 0;
  for (const auto& object : document.objects) {
    if (object->Is(XTemplateKind::kFrame))
      counter = reader.ReadXFrame(*object, *model.root, counter + 1);
    else if (object->Is(XTemplateKind::kMesh) && !placed_by_frames.contains(object.get()))
      // A mesh outside every frame hangs from the root, so it is limb 0's
      // wherever it stands in the file.
      reader.ReadXMesh(*object, *model.root, 0);
    else if (object->Is(XTemplateKind::kAnimationSet))
      model.keyframes = models::ReadXAnimationSet(*object);
  }
  auto placed = [&](const platform::XError& what) {
    return (file.empty() ? what : platform::PlaceOnItsLine(what, file)).Describe();
  };
  if (reader.Error()) {
    XModel refused;
    refused.error = placed(*reader.Error());
    return refused;
  }
  if (reader.Warning())
    model.warning = placed(*reader.Warning());
  else if (!reader.ReadAMesh())
    model.warning = "the file holds no mesh, so the model shows nothing";
  model.frame_count = counter + 1;
  if (model.keyframes) NumberTracksByName(*model.keyframes, *model.root, 0);
  return model;
}

}  // namespace

XModel BuildXModel(const platform::XDocument& document, NodeServices& services) {
  return ReadModelTree(document, services, {});
}

XModel ReadXModelFromMemory(std::span<const uint8_t> bytes, NodeServices& services) {
  auto document = platform::ParseXFile(bytes);
  if (!document.ok()) {
    XModel failed;
    failed.error = document.error().Describe();
    return failed;
  }
  return ReadModelTree(*document, services, bytes);
}

XModel ReadXModel(const std::string& path, NodeServices& services) {
  auto bytes = platform::ReadXFileBytes(path);
  if (!bytes.ok()) {
    XModel failed;
    failed.error = bytes.error().message;
    return failed;
  }
  return ReadXModelFromMemory(*bytes, services);
}

}  // namespace zv::models
