#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine3d/objects/object_record.h"
#include "models/nodes/node_types.h"

namespace zv {

// Ids of the built-in primitive meshes.
enum BuiltinMesh : int32_t {
  kSphereMesh = 189,
  kCubeMesh = 190,
  kCylinderMesh = 191,
  kPlainMesh = 193,
  kConeMesh = 194,
};

// Fills a mesh record with a built-in primitive (before scaling); false for
// an unknown id.
bool LoadResourceMesh(MeshRecord& mesh, int32_t id);

// A box of that size around the origin: 16 vertices, 12 triangles.
void MakeBoxMesh(MeshRecord& mesh, float width, float height, float depth);
// One triangle through three points (x, y, z each).
void MakeTriangleMesh(MeshRecord& mesh, std::span<const float, 9> corners);
// The built-in primitives, scaled: every coordinate times the size (the
// plain by width, height and 1).
void MakeSphereMesh(MeshRecord& mesh, float size);
void MakeCubeMesh(MeshRecord& mesh, float size);
void MakeCylinderMesh(MeshRecord& mesh, float size);
void MakeConeMesh(MeshRecord& mesh, float size);
void MakePlainMesh(MeshRecord& mesh, float width, float height);

void ScaleMeshVertices(MeshRecord& mesh, float sx, float sy, float sz);
// Every normal (one per vertex) becomes (nx, ny, nz).
void SetMeshRecordNormals(MeshRecord& mesh, float nx, float ny, float nz);
// The box around the vertices; false for a mesh without any.
bool GetMeshBounds(const MeshRecord& mesh, Vector3f* minimum, Vector3f* maximum);

// Fills the record from the first Mesh of X data (any form the X reader
// takes): positions, normals with their per-corner indices, faces and
// texture coordinates. False, with the record unchanged, when the data is
// not an X file or holds no usable mesh.
bool LoadMeshFromX(MeshRecord& mesh, std::span<const uint8_t> data);
bool LoadMeshFromXFile(MeshRecord& mesh, const std::string& path);

// The record's geometry as the scene nodes take it.
models::MeshGeometry GeometryOf(const MeshRecord& mesh);

}  // namespace zv
