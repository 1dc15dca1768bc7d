// The mesh's collision shape and its placement. Building shapes in the
// collision library is not wired up yet: a build leaves the mesh without a
// shape, so the mesh takes part in no collision test, and the placement has
// nothing to move.
#include "models/nodes/mesh_node.h"

namespace zv::models {

void MeshNode::FreeMeshCollisionData() {
  collision_.vertex_copy = {};
  collision_.index_copy = {};
}

bool MeshNode::BuildNodeCollision(uint32_t object_index, int32_t kind, float, float, float) {
  FreeMeshCollisionData();
  collision_.object_index = kind > 0 ? object_index : 0;
  collision_.offset_flag = false;
  collision_.offset = {};
  return true;
}

bool MeshNode::FreeNodeCollision() {
  FreeMeshCollisionData();
  return true;
}

bool MeshNode::FreeNodeCollisionByNumber(int32_t number) {
  if (this->number() == number) FreeMeshCollisionData();
  return true;
}

bool MeshNode::BuildNodeCollisionByNumber(uint32_t object_index, int32_t number, int32_t kind) {
  if (this->number() == number) BuildNodeCollision(object_index, kind, 0, 0, 0);
  return true;
}

bool MeshNode::UpdateNodeCollision(platform::Device3D&) { return true; }

}  // namespace zv::models
