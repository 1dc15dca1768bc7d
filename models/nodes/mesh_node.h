#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "collision/vector3.h"
#include "models/nodes/node_services.h"
#include "models/nodes/scene_node.h"
#include "models/nodes/vertex_measures.h"
#include "platform/render3d/vertex_buffer.h"

namespace zv {
class CollisionShape;
}

namespace zv::models {

// The collision an object asked of a mesh: the kind and the sizes of a
// shape sized by the program.
struct CollisionRequest {
  int32_t kind = 0;
  float a = 0, b = 0, c = 0;
};

// What a mesh has filed with the collision library for one object: the
// request it was made from, the shape, the copy of its vertices that a mesh
// shape reads, and the offset a fitted shape is centred on. The object is
// filed under the key of its object index and the mesh's collision number.
// The request outlives the shape: a hidden mesh files none until it is
// shown again, and the shape is made anew when the vertices change.
struct MeshCollisionData {
  uint32_t object_index = 0;
  CollisionRequest request;
  CollisionShape* shape = nullptr;  // owned; null while nothing is filed
  std::vector<Vector3> vertex_copy;  // the base of a mesh shape
  bool offset_flag = false;
  std::array<float, 3> offset{};
};

// Triangles index their vertices with 16 bits: a mesh holds at most this
// many vertices.
inline constexpr size_t kMaxMeshVertices = 65536;

// One mesh of a model: vertices, triangles as 16-bit indices, the vertex
// buffer made from them, a texture, a visible flag and a second name (the
// name the limb queries report). Every change of the vertices rebuilds the
// buffer; a mesh whose buffer could not be made draws nothing.
class MeshNode : public SceneNode {
 public:
  // Faces in `face_data`: per face a corner count n, then n entries of
  // `stride` words whose first word is the vertex index. Stride 1 is plain
  // vertex indices; stride 2 (vertex, normal) pairs.
  static constexpr uint32_t kPlainFaces = 1;
  static constexpr uint32_t kFacesWithNormals = 2;
  static constexpr size_t kMaxSecondNameLength = 159;

  // A mesh with the vertex positions (3 floats each; everything else of the
  // vertices zero) and the faces turned into triangles. No vertex buffer
  // yet: the first change of normals or texture coordinates, or a rebuild,
  // makes it.
  static std::unique_ptr<MeshNode> Create(std::string_view name, std::span<const float> positions,
                                          uint32_t face_count, std::span<const uint32_t> face_data,
                                          bool faces_have_normal_indices,
                                          NodeServices& services = NullNodeServices());

  MeshNode(std::string_view name, NodeServices& services);
  ~MeshNode() override;

  // ---- Fields ------------------------------------------------------------------------
  uint32_t visible() const { return visible_; }
  // The mesh holds one reference of its texture, released when the texture
  // is replaced or the mesh goes.
  int32_t texture() const { return texture_; }
  // Takes over the caller's reference of `texture` (a mesh being built has
  // none yet).
  void set_texture(int32_t texture) { texture_ = texture; }
  const std::string& second_name() const { return second_name_; }
  void set_second_name(std::string_view name);
  const platform::Material& material() const { return material_; }
  void set_material(const platform::Material& material) { material_ = material; }
  std::span<const MeshVertex> vertices() const { return vertices_; }
  std::span<const uint16_t> indices() const { return indices_; }
  uint32_t vertex_count() const { return static_cast<uint32_t>(vertices_.size()); }
  uint32_t index_count() const { return static_cast<uint32_t>(indices_.size()); }
  const platform::VertexBufferPtr& vertex_buffer() const { return vertex_buffer_; }
  // The object's collision, or null when the mesh files none for it.
  const MeshCollisionData* collision(uint32_t object_index) const;
  // The number that tells this mesh's collision objects apart from those of
  // the other meshes of its tree (0 until its first collision build).
  uint32_t collision_number() const { return collision_number_; }
  void set_collision_number(uint32_t number) { collision_number_ = number; }
  NodeServices& services() const { return *services_; }

  // ---- Geometry ----------------------------------------------------------------------
  // Replaces the index array by a fan triangulation of the faces (a quad a,
  // b, c, d gives a, b, c and a, c, d). Faces of fewer than three corners,
  // and triangles naming a vertex the mesh does not have or that 16 bits
  // cannot address, are left out; face data that ends inside a face ends
  // the list there.
  void BuildTriangleIndices(uint32_t stride, std::span<const uint32_t> face_data,
                            uint32_t face_count);
  // Makes a new vertex buffer from the vertices, optimised when asked.
  // False, with no buffer, when the device refuses it.
  bool RefreshVertexBuffer(bool optimise);
  // New vertices (positions only) and faces given as (vertex, normal) pairs.
  bool ReplaceMeshGeometry(std::span<const float> positions, uint32_t face_count,
                           std::span<const uint32_t> face_data);
  // 3 floats per vertex; a shorter array sets the vertices it reaches.
  bool SetMeshNormals(std::span<const float> normals);
  // 2 floats per vertex; likewise.
  bool SetMeshTexCoords(std::span<const float> tex_coords);
  // Each vertex's normal becomes the normalised sum of the normals of the
  // triangles that use it. Does not rebuild the buffer.
  void ComputeSmoothNormals();
  // Each vertex takes the normal and u, v of the same vertex of `from` (as
  // far as it reaches). Does not rebuild the buffer.
  void CopyNormalsAndTexCoords(std::span<const MeshVertex> from);
  // Drops the reference the mesh holds of its texture.
  void ReleaseOwnedTexture();

  // ---- Mesh bodies of the operations -----------------------------------------------
  bool SetRootTransform(uint32_t flag, Matrix4 matrix) override;
  bool GetRootTransform(Matrix4** matrix) override;
  bool GatherTextureDepths(FrameTextureList& list, double depth) override;
  bool RenderNode(platform::Device3D& device, int32_t texture_selector) override;
  bool RenderNodeSecondPass(platform::Device3D& device) override;
  bool RebuildMesh() override;
  bool BuildNodeCollision(uint32_t object_index, int32_t kind, float a, float b, float c) override;
  bool FreeNodeCollision(uint32_t object_index) override;
  bool FreeNodeCollisionByNumber(uint32_t object_index, int32_t number) override;
  bool BuildNodeCollisionByNumber(uint32_t object_index, int32_t number, int32_t kind) override;
  bool UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index) override;
  bool GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes) override;
  bool SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count) override;
  bool MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum) override;
  bool MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum) override;
  bool SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                              uint32_t* count) override;
  bool MaxLimbVertexDistance(int32_t number, const Matrix4& matrix, const Vector3f& centre,
                             float* maximum) override;
  bool GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box) override;
  bool ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk) override;
  bool GetLimbMeshInfo(int32_t limb, int32_t wanted, int32_t* counter, int32_t* texture,
                       std::string* name) override;
  bool GetGeometryByName(std::string_view name, MeshArrays* arrays) override;
  bool SetNodeTexture(int32_t number, int32_t texture) override;
  bool GetNodeTexture(int32_t number, int32_t* texture) override;
  bool GetMeshNodeName(int32_t number, std::string* name) override;
  bool QueryNodeTexture(int32_t number, int32_t* texture) override;
  bool ScaleNodeVertices(int32_t number, float x, float y, float z) override;
  bool ScaleAllVertices(float x, float y, float z) override;
  bool ReservedOperation(uint32_t a, uint32_t b) override;
  bool ScaleVertexBufferNormals(float factor) override;
  bool ReplaceNodeGeometry(int32_t number, const MeshGeometry& mesh) override;
  bool SetNodeVisible(int32_t number, uint32_t flag) override;
  bool ScrollNodeTexture(int32_t number, float du, float dv) override;
  bool ScaleNodeTexture(int32_t number, float su, float sv) override;
  bool SaveNodeToX(platform::XDocument& document) override;
  void ReleaseNodeResources() override;

  // Deletes the object's collision object and shape (object index 0: every
  // object's).
  void FreeMeshCollisionData(uint32_t object_index = 0);

 private:
  // Files the shape the entry's request makes of the vertices as they are
  // now, in place of the one filed before; nothing while the mesh is hidden.
  void FileCollisionShape(MeshCollisionData& entry);
  // Takes the entry's shape out of the library, keeping its request.
  void DropCollisionShape(MeshCollisionData& entry);
  // Every object's shape made anew, after the vertices changed.
  void RefitCollisionShapes();
  void SetPositions(std::span<const float> positions);
  void ScalePositions(float x, float y, float z);
  // The extents of the vertices, measured whenever their positions change.
  void MeasureExtents() { has_extents_ = MeasureVertexExtents(vertices_, &extents_); }

  NodeServices* services_;
  uint32_t visible_ = 1;
  int32_t texture_ = 0;
  std::string second_name_;
  platform::Material material_;
  // By object index, one entry per object that files collision for this
  // mesh (a tree is shared by an object's instances, by the thousand).
  std::unordered_map<uint32_t, std::unique_ptr<MeshCollisionData>> collisions_;
  uint32_t collision_number_ = 0;
  std::vector<MeshVertex> vertices_;
  VertexExtents extents_;
  bool has_extents_ = false;  // false without vertices
  std::vector<uint16_t> indices_;
  platform::VertexBufferPtr vertex_buffer_;
};

}  // namespace zv::models
