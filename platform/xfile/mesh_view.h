#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

struct XVector3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const XVector3&, const XVector3&) = default;
};

struct XTexCoord {
  float u = 0, v = 0;
  friend bool operator==(const XTexCoord&, const XTexCoord&) = default;
};

// Faces packed as the model code keeps them: per face its corner count, then
// that many indices.
struct XFaceList {
  uint32_t count = 0;
  std::vector<uint32_t> packed;

  // Sum of all faces' corner counts.
  uint64_t CornerCount() const { return packed.size() - count; }
  // Calls visit(face number, corner indices) for every face.
  template <class F>
  void ForEach(F&& visit) const {
    size_t at = 0;
    for (uint32_t face = 0; face < count; ++face) {
      uint32_t corners = packed[at];
      visit(face, std::span<const uint32_t>(packed.data() + at + 1, corners));
      at += 1 + corners;
    }
  }
};

// A Mesh object's vertices and faces. Every face index is checked against
// the vertex count.
struct XMesh {
  std::vector<XVector3> vertices;
  XFaceList faces;
};
XResult<XMesh> ReadXMesh(const XDataObject& mesh);

// A MeshNormals object: the normals and, per face, indices into them (checked
// against the normal count).
struct XMeshNormals {
  std::vector<XVector3> normals;
  XFaceList faces;
};
XResult<XMeshNormals> ReadXMeshNormals(const XDataObject& normals);

// A MeshTextureCoords object: one (u, v) pair per entry.
XResult<std::vector<XTexCoord>> ReadXMeshTextureCoords(const XDataObject& coords);

// A MeshMaterialList object. `face_indexes` may be shorter than the mesh's
// face list (exporters write a single index meant for every face); each index
// is checked against `material_count`. `materials` has one entry per child
// in order: the Material it holds or refers to, or null for a child that is
// no Material or a reference that names nothing.
struct XMeshMaterialList {
  uint32_t material_count = 0;
  std::vector<uint32_t> face_indexes;
  std::vector<const XDataObject*> materials;
};
XResult<XMeshMaterialList> ReadXMeshMaterialList(const XDataObject& list);

}  // namespace zv::platform
