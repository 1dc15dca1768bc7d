#include "collision/collision_interface.h"

namespace zv {

CollisionWorld& SharedCollisionWorld() {
  static CollisionWorld world;
  return world;
}

MeshShape* BeginMeshShape() { return SharedCollisionWorld().BeginMeshShape(); }
void SetMeshVertexBase(std::span<const Vector3> vertices) { SharedCollisionWorld().SetMeshVertexBase(vertices); }
void AddMeshPolygon(int kind, std::span<const uint32_t> indices) {
  SharedCollisionWorld().AddMeshPolygon(kind, indices);
}
void EndMeshShape() { SharedCollisionWorld().EndMeshShape(); }
void DeleteShape(CollisionShape* shape) { SharedCollisionWorld().DeleteShape(shape); }

void CreateCollisionObject(CollisionKey key, CollisionShape* shape) {
  SharedCollisionWorld().CreateCollisionObject(key, shape);
}
void SelectCollisionObject(CollisionKey key) { SharedCollisionWorld().SelectCollisionObject(key); }
void DeleteCollisionObject(CollisionKey key) { SharedCollisionWorld().DeleteCollisionObject(key); }
void SetCollisionObjectMatrix(std::span<const float, 16> matrix) {
  SharedCollisionWorld().SetCollisionObjectMatrix(matrix);
}

void SetDefaultCollisionResponse(CollisionResponseCallback callback, int32_t type, uint32_t client_data) {
  SharedCollisionWorld().SetDefaultCollisionResponse(callback, type, client_data);
}
void DisableCollisionCaching() { SharedCollisionWorld().DisableCollisionCaching(); }
int TestAllCollisions() { return SharedCollisionWorld().TestAllCollisions(); }
int TestCollisionsOfKeys(CollisionKey first, CollisionKey last) {
  return SharedCollisionWorld().TestCollisionsOfKeys(first, last);
}

}  // namespace zv
