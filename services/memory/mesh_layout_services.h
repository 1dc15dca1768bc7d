#pragma once

#include <cstdint>

#include "services/memory/memblock_errors.h"
#include "services/memory/mesh_layout.h"

namespace zv {

// What the mesh conversions ask of the 3D engine. The engine implements it;
// NullMeshLayouts stands in until it is linked: no mesh exists and none can
// be made, each call giving the error below. Mesh numbers arrive checked
// (1 to 65534). The arrays handed in come from a program's block: their
// sizes agree with each other, but the face data is as the program wrote
// it, so the engine checks the indices in it before it uses them.
class MeshLayoutServices {
 public:
  virtual ~MeshLayoutServices() = default;

  virtual bool MeshExists(int32_t mesh) {
    (void)mesh;
    return false;
  }
  // Copies the mesh's arrays into `out`: 0, or 7003 when there is no mesh.
  virtual int32_t GetMeshLayout(int32_t mesh, MeshMemblockLayout* out) {
    (void)mesh, (void)out;
    return memblock_neighbour_error::kMeshMissing;
  }
  // Frees the mesh of that number when there is one and makes a new one
  // holding the arrays: 0, or 101 when no mesh record can be had.
  virtual int32_t MakeMesh(int32_t mesh, const MeshMemblockLayout& arrays) {
    (void)mesh, (void)arrays;
    return memblock_neighbour_error::kOutOfMemory;
  }
  // Copies the arrays over the start of the existing mesh's arrays, which
  // keep their counts and sizes (the face count of `arrays` is not used): 0,
  // or 7028 when there is no mesh or the arrays are longer than the mesh's.
  virtual int32_t ChangeMesh(int32_t mesh, const MeshMemblockLayout& arrays) {
    (void)mesh, (void)arrays;
    return memblock_neighbour_error::kMeshNotChanged;
  }
};

class NullMeshLayouts final : public MeshLayoutServices {};

}  // namespace zv
