#include "platform/xfile/mesh_view.h"

#include "platform/xfile/view_cursor.h"

namespace zv::platform {
namespace {

std::vector<XVector3> ReadVectors(XNumberCursor& cursor, uint32_t count) {
  if (count > cursor.remaining() / 3) cursor.Fail("claims more vectors than it holds");
  std::vector<XVector3> vectors(count);
  for (XVector3& v : vectors) {
    v.x = cursor.F32();
    v.y = cursor.F32();
    v.z = cursor.F32();
  }
  return vectors;
}

// Reads `count` faces whose indices must stay below `limit`.
XFaceList ReadFaces(XNumberCursor& cursor, const char* what, uint32_t limit) {
  XFaceList faces;
  faces.count = cursor.U32();
  if (faces.count > cursor.remaining()) cursor.Fail("claims more faces than it holds");
  faces.packed.reserve(cursor.remaining());
  for (uint32_t face = 0; face < faces.count; ++face) {
    uint32_t corners = cursor.U32();
    if (corners > cursor.remaining()) cursor.Fail("has a face with more corners than it holds");
    faces.packed.push_back(corners);
    for (uint32_t c = 0; c < corners; ++c) {
      uint32_t index = cursor.U32();
      if (index >= limit)
        cursor.Fail("face " + std::to_string(face) + " refers to " + what + " " +
                    std::to_string(index) + " of " + std::to_string(limit));
      faces.packed.push_back(index);
    }
  }
  return faces;
}

}  // namespace

XResult<XMesh> ReadXMesh(const XDataObject& object) {
  return ReadView<XMesh>([&] {
    RequireStandardLayout(object, XTemplateKind::kMesh);
    XNumberCursor cursor(object);
    XMesh mesh;
    uint32_t count = cursor.U32();
    mesh.vertices = ReadVectors(cursor, count);
    mesh.faces = ReadFaces(cursor, "vertex", count);
    return mesh;
  });
}

XResult<XMeshNormals> ReadXMeshNormals(const XDataObject& object) {
  return ReadView<XMeshNormals>([&] {
    RequireStandardLayout(object, XTemplateKind::kMeshNormals);
    XNumberCursor cursor(object);
    XMeshNormals normals;
    uint32_t count = cursor.U32();
    normals.normals = ReadVectors(cursor, count);
    normals.faces = ReadFaces(cursor, "normal", count);
    return normals;
  });
}

XResult<std::vector<XTexCoord>> ReadXMeshTextureCoords(const XDataObject& object) {
  return ReadView<std::vector<XTexCoord>>([&] {
    RequireStandardLayout(object, XTemplateKind::kMeshTextureCoords);
    XNumberCursor cursor(object);
    uint32_t count = cursor.U32();
    if (count > cursor.remaining() / 2) cursor.Fail("claims more coordinates than it holds");
    std::vector<XTexCoord> coords(count);
    for (XTexCoord& c : coords) {
      c.u = cursor.F32();
      c.v = cursor.F32();
    }
    return coords;
  });
}

XResult<XMeshMaterialList> ReadXMeshMaterialList(const XDataObject& object) {
  return ReadView<XMeshMaterialList>([&] {
    RequireStandardLayout(object, XTemplateKind::kMeshMaterialList);
    XNumberCursor cursor(object);
    XMeshMaterialList list;
    list.material_count = cursor.U32();
    uint32_t count = cursor.U32();
    if (count > cursor.remaining()) cursor.Fail("claims more face indexes than it holds");
    list.face_indexes.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      list.face_indexes[i] = cursor.U32();
      if (list.face_indexes[i] >= list.material_count)
        cursor.Fail("gives face " + std::to_string(i) + " material " +
                    std::to_string(list.face_indexes[i]) + " of " +
                    std::to_string(list.material_count));
    }
    for (const XChild& child : object.children()) {
      const XDataObject* target = child.Target();
      list.materials.push_back(target && target->Is(XTemplateKind::kMaterial) ? target : nullptr);
    }
    return list;
  });
}

}  // namespace zv::platform
