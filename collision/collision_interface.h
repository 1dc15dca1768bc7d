#pragma once

#include <cstdint>
#include <span>

#include "collision/collision_key.h"
#include "collision/collision_response.h"
#include "collision/collision_shape.h"
#include "collision/collision_world.h"
#include "collision/convex_shapes.h"
#include "collision/mesh_shape.h"
#include "collision/vector3.h"

namespace zv {

// The flat interface through which the 3D engine drives the library. The
// shape factories (CreateBoxShape, CreateConeShape, CreateCylinderShape,
// CreateSphereShape) are declared in convex_shapes.h; everything else works on
// one shared CollisionWorld. Main thread only: nothing here is locked.

CollisionWorld& SharedCollisionWorld();

MeshShape* BeginMeshShape();
void SetMeshVertexBase(std::span<const Vector3> vertices);
void AddMeshPolygon(int kind, std::span<const uint32_t> indices);
void EndMeshShape();
void DeleteShape(CollisionShape* shape);

void CreateCollisionObject(CollisionKey key, CollisionShape* shape);
void SelectCollisionObject(CollisionKey key);
void DeleteCollisionObject(CollisionKey key);
void SetCollisionObjectMatrix(std::span<const float, 16> matrix);

void SetDefaultCollisionResponse(CollisionResponseCallback callback, int32_t type, uint32_t client_data);
void DisableCollisionCaching();
int TestAllCollisions();
int TestCollisionsOfKeys(CollisionKey first, CollisionKey last);

}  // namespace zv
