// Meshes of X data into mesh records, over the platform's X file reader.
#include <cmath>

#include "engine3d/objects/mesh_records.h"
#include "platform/xfile/mesh_view.h"
#include "platform/xfile/reader.h"

namespace zv {
namespace {

namespace p = platform;

const p::XDataObject* FirstMesh(const p::XDocument& document) {
  const p::XDataObject* found = nullptr;
  document.ForEachObject([&](const p::XDataObject& object) {
    if (!found && object.Is(p::XTemplateKind::kMesh)) found = &object;
  });
  return found;
}

// Normals from the faces when the file gives none: per vertex, the
// normalised sum of the normals of the faces that use it.
std::vector<float> FaceNormals(const p::XMesh& mesh) {
  std::vector<float> sums(mesh.vertices.size() * 3, 0.0f);
  mesh.faces.ForEach([&](uint32_t, std::span<const uint32_t> corners) {
    if (corners.size() < 3) return;
    const p::XVector3 &a = mesh.vertices[corners[0]], &b = mesh.vertices[corners[1]], &c = mesh.vertices[corners[2]];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    for (uint32_t v : corners) {
      sums[v * 3] += nx;
      sums[v * 3 + 1] += ny;
      sums[v * 3 + 2] += nz;
    }
  });
  for (size_t i = 0; i + 2 < sums.size(); i += 3) {
    const float length = std::sqrt(sums[i] * sums[i] + sums[i + 1] * sums[i + 1] + sums[i + 2] * sums[i + 2]);
    if (length > 0.0f)
      for (size_t k = 0; k < 3; ++k) sums[i + k] /= length;
  }
  return sums;
}

bool FillFromDocument(MeshRecord& record, const p::XDocument& document) {
  const p::XDataObject* object = FirstMesh(document);
  if (!object) return false;
  p::XResult<p::XMesh> mesh = p::ReadXMesh(*object);
  if (!mesh) return false;
  const size_t vertex_count = mesh->vertices.size();

  // Normal indices per corner, when the file's normals cover every face.
  const p::XFaceList* normal_faces = nullptr;
  std::vector<float> normals;
  p::XResult<p::XMeshNormals> file_normals = p::XError{};
  if (const p::XDataObject* n = object->FindChild(p::XTemplateKind::kMeshNormals)) {
    file_normals = p::ReadXMeshNormals(*n);
    if (file_normals && file_normals->faces.count == mesh->faces.count &&
        file_normals->faces.packed.size() == mesh->faces.packed.size()) {
      normal_faces = &file_normals->faces;
      for (const p::XVector3& v : file_normals->normals) normals.insert(normals.end(), {v.x, v.y, v.z});
    }
  }
  if (!normal_faces) normals = FaceNormals(*mesh);

  std::vector<float> tex_coords(vertex_count * 2, 0.0f);
  if (const p::XDataObject* t = object->FindChild(p::XTemplateKind::kMeshTextureCoords)) {
    p::XResult<std::vector<p::XTexCoord>> coords = p::ReadXMeshTextureCoords(*t);
    if (coords)
      for (size_t i = 0; i < std::min(coords->size(), vertex_count); ++i) {
        tex_coords[i * 2] = (*coords)[i].u;
        tex_coords[i * 2 + 1] = (*coords)[i].v;
      }
  }

  std::vector<uint32_t> face_data;
  const std::vector<uint32_t>& corners = mesh->faces.packed;
  for (size_t at = 0; at < corners.size();) {
    const uint32_t n = corners[at];
    face_data.push_back(n);
    for (uint32_t c = 1; c <= n; ++c) {
      face_data.push_back(corners[at + c]);
      face_data.push_back(normal_faces ? normal_faces->packed[at + c] : corners[at + c]);
    }
    at += 1 + n;
  }

  record.vertex_count = static_cast<int32_t>(vertex_count);
  record.normal_count = static_cast<int32_t>(normals.size() / 3);
  record.face_count = static_cast<int32_t>(mesh->faces.count);
  record.face_data_count = static_cast<int32_t>(face_data.size());
  record.vertices.clear();
  for (const p::XVector3& v : mesh->vertices) record.vertices.insert(record.vertices.end(), {v.x, v.y, v.z});
  record.normals = std::move(normals);
  record.face_data = std::move(face_data);
  record.tex_coords = std::move(tex_coords);
  return true;
}

}  // namespace

bool LoadMeshFromX(MeshRecord& mesh, std::span<const uint8_t> data) {
  p::XResult<p::XDocument> document = p::ParseXFile(data);
  return document && FillFromDocument(mesh, *document);
}

bool LoadMeshFromXFile(MeshRecord& mesh, const std::string& path) {
  p::XResult<p::XDocument> document = p::ReadXFile(path);
  return document && FillFromDocument(mesh, *document);
}

}  // namespace zv
