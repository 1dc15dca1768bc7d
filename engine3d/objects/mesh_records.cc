#include "engine3d/objects/mesh_records.h"

#include <algorithm>

namespace zv {
namespace {

// Per face the value 3 and (vertex, normal) for each corner, both the same.
void SetTriangles(MeshRecord& mesh, std::span<const uint32_t> corners) {
  mesh.face_count = static_cast<int32_t>(corners.size() / 3);
  mesh.face_data.clear();
  for (size_t f = 0; f + 2 < corners.size(); f += 3) {
    mesh.face_data.push_back(3);
    for (size_t c = 0; c < 3; ++c) {
      mesh.face_data.push_back(corners[f + c]);
      mesh.face_data.push_back(corners[f + c]);
    }
  }
  mesh.face_data_count = static_cast<int32_t>(mesh.face_data.size());
}

}  // namespace

void MakeBoxMesh(MeshRecord& mesh, float width, float height, float depth) {
  const float a = width / 2, b = height / 2, c = depth / 2;
  const float corners[8][3] = {{-a, -b, -c}, {-a, -b, c}, {a, -b, c}, {a, -b, -c},
                               {-a, b, -c},  {-a, b, c},  {a, b, c},  {a, b, -c}};
  static const float kSideNormals[8][3] = {{-0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 0, -0.5f},
                                           {-0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 0, -0.5f}};
  static const float kSideUv[8][2] = {{0, 1}, {1, 1}, {0, 1}, {1, 1}, {0, 0}, {1, 0}, {0, 0}, {1, 0}};
  static const float kCapUv[8][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}};
  mesh.vertex_count = mesh.normal_count = 16;
  mesh.vertices.clear();
  mesh.normals.clear();
  mesh.tex_coords.clear();
  for (int v = 0; v < 16; ++v) {
    const int corner = v % 8;
    mesh.vertices.insert(mesh.vertices.end(), corners[corner], corners[corner] + 3);
    if (v < 8) {
      mesh.normals.insert(mesh.normals.end(), kSideNormals[v], kSideNormals[v] + 3);
      mesh.tex_coords.insert(mesh.tex_coords.end(), kSideUv[v], kSideUv[v] + 2);
    } else {
      const float ny = v < 12 ? -1.0f : 1.0f;
      mesh.normals.insert(mesh.normals.end(), {0.0f, ny, 0.0f});
      mesh.tex_coords.insert(mesh.tex_coords.end(), kCapUv[corner], kCapUv[corner] + 2);
    }
  }
  static const uint32_t kFaces[] = {0, 4, 7,  0, 7,  3,  1,  5,  4,  1,  4,  0,  2,  6,  5,  2,  5,  1,
                                    3, 7, 6,  3, 6,  2,  9,  8,  11, 9,  11, 10, 12, 13, 14, 12, 14, 15};
  SetTriangles(mesh, kFaces);
}

void MakeTriangleMesh(MeshRecord& mesh, std::span<const float, 9> corners) {
  mesh.vertex_count = mesh.normal_count = 3;
  mesh.vertices.assign(corners.begin(), corners.end());
  mesh.normals = {0, 0, -1, 0, 0, -1, 0, 0, -1};
  mesh.tex_coords = {0, 0, 0, 1, 1, 1};
  static const uint32_t kFace[] = {0, 1, 2};
  SetTriangles(mesh, kFace);
}

void MakeSphereMesh(MeshRecord& mesh, float size) {
  LoadResourceMesh(mesh, kSphereMesh);
  ScaleMeshVertices(mesh, size, size, size);
}

void MakeCubeMesh(MeshRecord& mesh, float size) {
  LoadResourceMesh(mesh, kCubeMesh);
  ScaleMeshVertices(mesh, size, size, size);
}

void MakeCylinderMesh(MeshRecord& mesh, float size) {
  LoadResourceMesh(mesh, kCylinderMesh);
  ScaleMeshVertices(mesh, size, size, size);
}

void MakeConeMesh(MeshRecord& mesh, float size) {
  LoadResourceMesh(mesh, kConeMesh);
  ScaleMeshVertices(mesh, size, size, size);
}

void MakePlainMesh(MeshRecord& mesh, float width, float height) {
  LoadResourceMesh(mesh, kPlainMesh);
  ScaleMeshVertices(mesh, width, height, 1.0f);
}

void ScaleMeshVertices(MeshRecord& mesh, float sx, float sy, float sz) {
  for (size_t i = 0; i + 2 < mesh.vertices.size(); i += 3) {
    mesh.vertices[i] *= sx;
    mesh.vertices[i + 1] *= sy;
    mesh.vertices[i + 2] *= sz;
  }
}

void SetMeshRecordNormals(MeshRecord& mesh, float nx, float ny, float nz) {
  mesh.normals.resize(static_cast<size_t>(mesh.vertex_count) * 3);
  for (size_t i = 0; i + 2 < mesh.normals.size(); i += 3) {
    mesh.normals[i] = nx;
    mesh.normals[i + 1] = ny;
    mesh.normals[i + 2] = nz;
  }
}

bool GetMeshBounds(const MeshRecord& mesh, Vector3f* minimum, Vector3f* maximum) {
  if (mesh.vertices.size() < 3) return false;
  *minimum = *maximum = Vector3f{mesh.vertices[0], mesh.vertices[1], mesh.vertices[2]};
  for (size_t i = 3; i + 2 < mesh.vertices.size(); i += 3) {
    const float x = mesh.vertices[i], y = mesh.vertices[i + 1], z = mesh.vertices[i + 2];
    minimum->x = std::min(minimum->x, x);
    minimum->y = std::min(minimum->y, y);
    minimum->z = std::min(minimum->z, z);
    maximum->x = std::max(maximum->x, x);
    maximum->y = std::max(maximum->y, y);
    maximum->z = std::max(maximum->z, z);
  }
  return true;
}

models::MeshGeometry GeometryOf(const MeshRecord& mesh) {
  models::MeshGeometry g;
  const size_t n = static_cast<size_t>(std::max(mesh.vertex_count, 0));
  g.positions = std::span<const float>(mesh.vertices.data(), std::min(mesh.vertices.size(), n * 3));
  g.normals = std::span<const float>(mesh.normals.data(), std::min(mesh.normals.size(), n * 3));
  g.tex_coords = std::span<const float>(mesh.tex_coords.data(), std::min(mesh.tex_coords.size(), n * 2));
  g.face_count = static_cast<uint32_t>(std::max(mesh.face_count, 0));
  g.face_data = mesh.face_data;
  return g;
}

}  // namespace zv
