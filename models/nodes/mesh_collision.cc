// The mesh bodies of the collision operations: each mesh files one
// collision object per object that uses its tree, with a box, sphere,
// cylinder or cone sized by the program, a sphere or box fitted around its
// vertices, or a mesh shape of its own triangles, and places it at the
// mesh's world matrix when asked. What each object asked for is kept, so a
// hidden mesh files nothing until it is shown, and a mesh whose vertices
// change fits its shapes to them anew.
#include <algorithm>
#include <vector>

#include "collision/collision_interface.h"
#include "models/nodes/frame_node.h"
#include "models/nodes/mesh_node.h"
#include "models/nodes/vertex_measures.h"

namespace zv::models {
namespace {

// Gives every mesh of the tree that has no collision number yet the next
// number after the largest one in use, so that numbers stay unique within
// the tree however it grows (the key of a collision object pairs this
// number with the object index).
void NumberCollisionMeshes(SceneNode& top) {
  std::vector<MeshNode*> meshes;
  std::vector<SceneNode*> pending{&top};
  while (!pending.empty()) {
    SceneNode* node = pending.back();
    pending.pop_back();
    for (; node != nullptr; node = node->next_sibling()) {
      if (!node->IsFrameNode()) meshes.push_back(static_cast<MeshNode*>(node));
      if (node->first_child()) pending.push_back(node->first_child());
    }
  }
  uint32_t most = 0;
  for (const MeshNode* mesh : meshes) most = std::max(most, mesh->collision_number());
  for (MeshNode* mesh : meshes)
    if (mesh->collision_number() == 0) mesh->set_collision_number(++most);
}

SceneNode& TopOf(SceneNode& node) {
  SceneNode* top = &node;
  while (SceneNode* owner = top->Owner()) top = owner;
  return *top;
}

struct BuiltShape {
  CollisionShape* shape = nullptr;
  bool offset_flag = false;
  Vector3f offset;
};

// A shape sized by the program, on the mesh's own origin.
BuiltShape Sized(CollisionShape* shape) { return BuiltShape{shape, false, {}}; }

BuiltShape FittedSphere(std::span<const MeshVertex> vertices) {
  if (vertices.empty()) return {};
  const Matrix4 identity = Matrix4::Identity();
  Vector3f sum;
  uint32_t count = 0;
  AccumulateVertexSum(vertices, identity, &sum, &count);
  const float n = static_cast<float>(count);
  const Vector3f centre{sum.x / n, sum.y / n, sum.z / n};
  float radius = -1.0f;
  MeasureMaxVertexDistance(vertices, identity, centre, &radius);
  // Vertices that all coincide make the unit sphere.
  return {CreateSphereShape(radius > 0.0f ? radius : 1.0), true, centre};
}

BuiltShape FittedBox(std::span<const MeshVertex> vertices) {
  VertexExtents extents;
  if (!MeasureVertexExtents(vertices, &extents)) return {};
  return {CreateBoxShape(extents.size.x, extents.size.y, extents.size.z), true, extents.centre};
}

// A mesh shape of one point-set piece per triangle over a copy of the
// vertices in double precision, which the shape reads for as long as it
// lives.
BuiltShape TriangleMesh(std::span<const MeshVertex> vertices, std::span<const uint16_t> indices,
                        std::vector<zv::Vector3>& vertex_copy) {
  if (vertices.empty() || indices.size() < 3) return {};
  vertex_copy.clear();
  vertex_copy.reserve(vertices.size());
  for (const MeshVertex& v : vertices) vertex_copy.push_back(zv::Vector3{v.x, v.y, v.z});
  MeshShape* shape = BeginMeshShape();
  SetMeshVertexBase(vertex_copy);
  for (size_t i = 0; i + 3 <= indices.size(); i += 3) {
    const uint32_t corners[3] = {indices[i], indices[i + 1], indices[i + 2]};
    AddMeshPolygon(CollisionWorld::kPointSet, corners);
  }
  EndMeshShape();
  return {shape, false, {}};
}

BuiltShape MakeShape(int32_t kind, float a, float b, float c, std::span<const MeshVertex> vertices,
                     std::span<const uint16_t> indices, std::vector<zv::Vector3>& vertex_copy) {
  switch (kind) {
    case collision_kind::kBox: return Sized(CreateBoxShape(a, b, c));
    case collision_kind::kSphere: return Sized(CreateSphereShape(a));
    case collision_kind::kCube: return Sized(CreateBoxShape(a, a, a));
    case collision_kind::kCylinder: return Sized(CreateCylinderShape(a, b));
    case collision_kind::kCone: return Sized(CreateConeShape(a, b));
    case collision_kind::kFlatBox: return Sized(CreateBoxShape(a, b, 1.0));
    case collision_kind::kFittedSphere: return FittedSphere(vertices);
    case collision_kind::kFittedBox: return FittedBox(vertices);
    case collision_kind::kTriangles: return TriangleMesh(vertices, indices, vertex_copy);
    default: return {};
  }
}

}  // namespace

const MeshCollisionData* MeshNode::collision(uint32_t object_index) const {
  const auto entry = collisions_.find(object_index);
  return entry == collisions_.end() || entry->second->shape == nullptr ? nullptr : entry->second.get();
}

void MeshNode::DropCollisionShape(MeshCollisionData& entry) {
  if (entry.shape == nullptr) return;
  DeleteCollisionObject(MakeCollisionKey(entry.object_index, collision_number_));
  DeleteShape(entry.shape);
  entry.shape = nullptr;
  entry.vertex_copy = {};
}

void MeshNode::FileCollisionShape(MeshCollisionData& entry) {
  DropCollisionShape(entry);
  // A mesh that is not drawn takes no part in collisions.
  if (visible_ == 0) return;
  const CollisionRequest& r = entry.request;
  const BuiltShape built = MakeShape(r.kind, r.a, r.b, r.c, vertices_, indices_, entry.vertex_copy);
  if (built.shape == nullptr) return;
  entry.shape = built.shape;
  entry.offset_flag = built.offset_flag;
  entry.offset = {built.offset.x, built.offset.y, built.offset.z};
  CreateCollisionObject(MakeCollisionKey(entry.object_index, collision_number_), built.shape);
}

void MeshNode::RefitCollisionShapes() {
  for (const auto& [index, entry] : collisions_) FileCollisionShape(*entry);
}

void MeshNode::FreeMeshCollisionData(uint32_t object_index) {
  if (object_index == 0) {
    for (const auto& [index, entry] : collisions_) DropCollisionShape(*entry);
    collisions_.clear();
  } else if (const auto entry = collisions_.find(object_index); entry != collisions_.end()) {
    DropCollisionShape(*entry->second);
    collisions_.erase(entry);
  }
}

bool MeshNode::BuildNodeCollision(uint32_t object_index, int32_t kind, float a, float b, float c) {
  FreeMeshCollisionData(object_index);
  if (kind <= 0 || object_index == 0) return true;
  if (collision_number_ == 0) NumberCollisionMeshes(TopOf(*this));
  auto entry = std::make_unique<MeshCollisionData>();
  entry->object_index = object_index;
  entry->request = CollisionRequest{kind, a, b, c};
  FileCollisionShape(*entry);
  collisions_.emplace(object_index, std::move(entry));
  return true;
}

bool MeshNode::FreeNodeCollision(uint32_t object_index) {
  FreeMeshCollisionData(object_index);
  return true;
}

// A limb is hidden: its meshes file nothing until it is shown, and keep what
// each object asked of them.
bool MeshNode::FreeNodeCollisionByNumber(uint32_t object_index, int32_t number) {
  if (this->number() != number) return true;
  for (const auto& [index, entry] : collisions_)
    if (object_index == 0 || index == object_index) DropCollisionShape(*entry);
  return true;
}

// A limb is shown again: every object using the mesh (instances share it)
// takes back the shape it had, of its own kind and sizes; an object that
// asked for none takes one of the kind.
bool MeshNode::BuildNodeCollisionByNumber(uint32_t object_index, int32_t number, int32_t kind) {
  if (this->number() != number) return true;
  for (const auto& [index, entry] : collisions_)
    if (entry->shape == nullptr) FileCollisionShape(*entry);
  if (object_index != 0 && !collisions_.contains(object_index)) BuildNodeCollision(object_index, kind, 0, 0, 0);
  return true;
}

bool MeshNode::UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index) {
  const MeshCollisionData* entry = collision(object_index);
  if (entry == nullptr) return true;
  Matrix4 world = matrix;
  if (entry->offset_flag) {
    // The fitted shape sits on its centre, turned with the mesh.
    Matrix4 rotation = world;
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0.0f;
    Vector3f offset{entry->offset[0], entry->offset[1], entry->offset[2]};
    TransformPointProject(&offset, offset, rotation);
    world.m[3][0] += offset.x;
    world.m[3][1] += offset.y;
    world.m[3][2] += offset.z;
  }
  const CollisionKey key = MakeCollisionKey(object_index, collision_number_);
  // Only an object that is filed may be placed: placing with no object
  // selected would move whichever object was current.
  if (SharedCollisionWorld().FindObject(key) == nullptr) return true;
  SelectCollisionObject(key);
  SetCollisionObjectMatrix(std::span<const float, 16>(&world.m[0][0], 16));
  return true;
}

// A mesh that is drawn stands as the box of its vertices where its frames
// put it.
bool MeshNode::GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes) {
  if (visible_ != 0 && has_extents_) boxes.push_back(MeshBox{extents_.centre, extents_.size, matrix});
  return true;
}

}  // namespace zv::models
