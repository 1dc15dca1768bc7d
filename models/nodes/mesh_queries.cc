// The mesh's part of the measuring walks, the geometry extraction, the limb
// and name queries and the saving as an X "Mesh" object. The frames on the
// way supply the walked matrix or the device's world transform.
#include <algorithm>

#include "models/nodes/mesh_node.h"
#include "models/nodes/vertex_measures.h"
#include "platform/render3d/device.h"
#include "platform/render3d/matrix.h"
#include "platform/xfile/builders.h"

namespace zv::models {

bool MeshNode::SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count) {
  AccumulateVertexSum(vertices_, matrix, sum, count);
  return SceneNode::SumVertexPositions(matrix, sum, count);
}

bool MeshNode::MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum) {
  MeasureMaxVertexDistance(vertices_, matrix, centre, maximum);
  return SceneNode::MaxVertexDistance(matrix, centre, maximum);
}

bool MeshNode::MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum) {
  MeasureMinAxisDistance(vertices_, point, minimum);
  return SceneNode::MinAxisDistance(matrix, point, minimum);
}

bool MeshNode::SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                                      uint32_t* count) {
  if (this->number() == number) AccumulateVertexSum(vertices_, matrix, sum, count);
  return SceneNode::SumLimbVertexPositions(number, matrix, sum, count);
}

bool MeshNode::MaxLimbVertexDistance(int32_t number, const Matrix4& matrix, const Vector3f& centre,
                                     float* maximum) {
  if (this->number() == number) MeasureMaxVertexDistance(vertices_, matrix, centre, maximum);
  return SceneNode::MaxLimbVertexDistance(number, matrix, centre, maximum);
}

// What is drawn: a hidden mesh stays out.
bool MeshNode::GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box) {
  if (visible_ != 0) MeasureBoundingBox(vertices_, matrix, box);
  return SceneNode::GetNodeBoundingBox(matrix, box);
}

namespace {

template <class T>
void PutAt(std::vector<T>* out, size_t at, std::span<const T> values) {
  if (out == nullptr) return;
  if (out->size() < at + values.size()) out->resize(at + values.size());
  std::copy(values.begin(), values.end(), out->begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

bool MeshNode::ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk) {
  // Geometry taken out of a model is what it shows: a hidden mesh stays out.
  bool wanted = visible_ != 0 && (walk.limb_filter == -1 || walk.limb_filter == number()) &&
                (walk.texture_filter == -1 || walk.texture_filter == texture_);
  if (wanted) {
    if (walk.mode == GeometryExtraction::kCopyPass) {
      Matrix4 world = Matrix4::Identity();
      device.GetTransform(platform::TransformState::kWorld, &world);
      // Normals turn with the positions, as the device turns them when it
      // draws the mesh in place; geometry taken out of a turned object then
      // lights as the object did.
      const platform::NormalMatrix turn = platform::NormalMatrixOf(world);
      std::vector<MeshVertex> placed(vertices_);
      for (MeshVertex& v : placed) {
        Vector3f p{v.x, v.y, v.z};
        if (TransformPointProject(&p, p, world)) v.x = p.x, v.y = p.y, v.z = p.z;
        const float nx = v.nx, ny = v.ny, nz = v.nz;
        v.nx = nx * turn.m[0][0] + ny * turn.m[1][0] + nz * turn.m[2][0];
        v.ny = nx * turn.m[0][1] + ny * turn.m[1][1] + nz * turn.m[2][1];
        v.nz = nx * turn.m[0][2] + ny * turn.m[1][2] + nz * turn.m[2][2];
      }
      PutAt<MeshVertex>(walk.vertices, walk.vertex_cursor, placed);
      PutAt<uint16_t>(walk.indices, walk.index_cursor, indices_);
      const uint32_t counts[2] = {vertex_count(), index_count()};
      PutAt<uint32_t>(walk.vertex_counts, walk.mesh_counter, std::span(counts, 1));
      PutAt<uint32_t>(walk.index_counts, walk.mesh_counter, std::span(counts + 1, 1));
    }
    walk.mesh_counter += 1;
    walk.vertex_cursor += vertex_count();
    walk.index_cursor += index_count();
  }
  return SceneNode::ExtractNodeGeometry(device, walk);
}

bool MeshNode::GetLimbMeshInfo(int32_t limb, int32_t wanted, int32_t* counter, int32_t* texture,
                               std::string* name) {
  if (number() == limb) {
    if (wanted != -2 && wanted == *counter) {
      *texture = texture_;
      *name = second_name_;
    }
    *counter += 1;
  }
  return SceneNode::GetLimbMeshInfo(limb, wanted, counter, texture, name);
}

bool MeshNode::GetGeometryByName(std::string_view name, MeshArrays* arrays) {
  if (arrays->vertices == nullptr && this->name() == name) {
    // An empty array still answers: a pointer that is never null.
    static const MeshVertex kNoVertex{};
    arrays->vertices = vertices_.empty() ? &kNoVertex : vertices_.data();
    arrays->vertex_count = vertex_count();
    arrays->indices = indices_.data();
    arrays->index_count = index_count();
  }
  return SceneNode::GetGeometryByName(name, arrays);
}

bool MeshNode::SaveNodeToX(platform::XDocument& document) {
  std::vector<platform::XVector3> positions;
  positions.reserve(vertices_.size());
  for (const MeshVertex& v : vertices_) positions.push_back({v.x, v.y, v.z});
  platform::XFaceList faces;
  faces.count = index_count() / 3;
  for (uint32_t t = 0; t < faces.count; ++t)
    faces.packed.insert(faces.packed.end(),
                        {3u, indices_[3 * t], indices_[3 * t + 1], indices_[3 * t + 2]});
  document.AddObject(platform::MakeXMesh("Mesh", positions, faces));
  return true;
}

}  // namespace zv::models
