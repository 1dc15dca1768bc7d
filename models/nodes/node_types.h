#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/render3d/types.h"

namespace zv::models {

// Matrices are the device's: 4x4 floats for row vectors, translation in the
// last row. A point p transforms as p x M.
using Matrix4 = platform::Matrix4;
using Vector3f = platform::Vector3;

// One vertex of a mesh node, laid out as the device's only vertex format
// (position, normal, u, v: 32 bytes), so the vertex array fills a vertex
// buffer unchanged.
using MeshVertex = platform::Vertex;

// The geometry of a mesh made by the mesh commands, as the engine's mesh
// record holds it: positions, normals and texture coordinates per vertex,
// and face data of per face a corner count followed by a (vertex index,
// normal index) pair per corner.
struct MeshGeometry {
  std::span<const float> positions;   // 3 per vertex
  std::span<const float> normals;     // 3 per vertex
  std::span<const float> tex_coords;  // 2 per vertex
  uint32_t face_count = 0;
  std::span<const uint32_t> face_data;

  uint32_t VertexCount() const { return static_cast<uint32_t>(positions.size() / 3); }
};

// The collision shapes a model's meshes file: a box, sphere, cube,
// cylinder, cone or flat box sized by the program, a sphere or box fitted
// around each mesh's vertices, or each mesh's own triangles.
namespace collision_kind {
constexpr int32_t kBox = 1;
constexpr int32_t kSphere = 2;
constexpr int32_t kCube = 3;
constexpr int32_t kCylinder = 4;
constexpr int32_t kCone = 5;
constexpr int32_t kFlatBox = 6;
constexpr int32_t kFittedSphere = 51;
constexpr int32_t kFittedBox = 52;
constexpr int32_t kTriangles = 99;
}  // namespace collision_kind

// One texture of the frame's texture list that the render groups meshes by:
// the texture record index and a distance key.
struct FrameTextureEntry {
  int32_t texture = 0;
  double key = 0.0;
};
using FrameTextureList = std::vector<FrameTextureEntry>;

// One frame of a frame listing: its limb number and name.
struct FrameListEntry {
  int32_t number = 0;
  std::string name;
};

// Corners of an axis-aligned box; the caller gives the starting values.
struct BoundingBox {
  float min_x = 0, min_y = 0, min_z = 0;
  float max_x = 0, max_y = 0, max_z = 0;
};

// A mesh's own arrays, handed out by name; they stay owned by the mesh.
struct MeshArrays {
  const MeshVertex* vertices = nullptr;
  uint32_t vertex_count = 0;
  const uint16_t* indices = nullptr;
  uint32_t index_count = 0;
};

// The state of a geometry walk over a model. A walk in any mode but
// kCopyPass only counts; a copy pass writes each mesh's world-space
// vertices and its own (mesh-relative) indices from the cursors on, and its
// counts at entry `mesh_counter`. The outputs grow as needed, so a copy pass
// without a counting pass before it is safe. Hidden meshes are passed over.
struct GeometryExtraction {
  static constexpr uint16_t kCountPass = 1;
  static constexpr uint16_t kCopyPass = 2;

  std::vector<MeshVertex>* vertices = nullptr;
  std::vector<uint16_t>* indices = nullptr;
  std::vector<uint32_t>* vertex_counts = nullptr;
  std::vector<uint32_t>* index_counts = nullptr;
  uint32_t vertex_cursor = 0;
  uint32_t index_cursor = 0;
  uint32_t mesh_counter = 0;
  uint16_t mode = kCountPass;
  int32_t limb_filter = -1;    // -1: every limb
  int32_t texture_filter = -1; // -1: every texture
};

// A mesh as its object's collision boxes take it: the centre and size of
// its vertices' extents in its own space, and the world matrix it stands
// in (the walk's matrix through its frames).
struct MeshBox {
  Vector3f centre;
  Vector3f size;
  Matrix4 world;
};

class FrameNode;

// The protocol that moves a frame under another one: phase 0 looks for the
// new parent, phase 1 moves, phase 2 means moved; 3 and above only forward.
struct ReparentState {
  int32_t phase = 0;
  FrameNode* target = nullptr;
};

}  // namespace zv::models
