#include "models/nodes/mesh_node.h"

#include <algorithm>
#include <cmath>

#include "platform/render3d/device.h"
#include "platform/surface/surface.h"

namespace zv::models {

MeshNode::MeshNode(std::string_view name, NodeServices& services)
    : SceneNode(name), services_(&services) {}

// A mesh deleted without its resources released first (a builder's
// discarded node) still takes its collision objects out of the library.
MeshNode::~MeshNode() { FreeMeshCollisionData(); }

std::unique_ptr<MeshNode> MeshNode::Create(std::string_view name, std::span<const float> positions,
                                           uint32_t face_count, std::span<const uint32_t> face_data,
                                           bool faces_have_normal_indices, NodeServices& services) {
  auto mesh = std::make_unique<MeshNode>(name, services);
  mesh->SetPositions(positions);
  mesh->BuildTriangleIndices(faces_have_normal_indices ? kFacesWithNormals : kPlainFaces, face_data,
                             face_count);
  return mesh;
}

void MeshNode::set_second_name(std::string_view name) {
  second_name_.assign(name.substr(0, kMaxSecondNameLength));
}

void MeshNode::SetPositions(std::span<const float> positions) {
  vertices_.assign(positions.size() / 3, MeshVertex{});
  for (size_t i = 0; i < vertices_.size(); ++i) {
    vertices_[i].x = positions[3 * i];
    vertices_[i].y = positions[3 * i + 1];
    vertices_[i].z = positions[3 * i + 2];
  }
  MeasureExtents();
}

// ---- Geometry ------------------------------------------------------------------------

void MeshNode::BuildTriangleIndices(uint32_t stride, std::span<const uint32_t> face_data,
                                    uint32_t face_count) {
  indices_.clear();
  if (stride == 0) return;
  const size_t vertex_count = vertices_.size();
  // A corner the mesh cannot draw: beyond its vertices, or beyond what a
  // 16-bit index reaches.
  auto usable = [&](uint32_t index) { return index <= 0xFFFF && index < vertex_count; };
  size_t at = 0;
  for (uint32_t face = 0; face < face_count && at < face_data.size(); ++face) {
    uint32_t corners = face_data[at++];
    if (corners > (face_data.size() - at) / stride) break;
    auto corner = [&](uint32_t k) { return face_data[at + static_cast<size_t>(k) * stride]; };
    for (uint32_t k = 2; k < corners; ++k) {
      uint32_t a = corner(0), b = corner(k - 1), c = corner(k);
      if (!usable(a) || !usable(b) || !usable(c)) continue;
      indices_.insert(indices_.end(), {static_cast<uint16_t>(a), static_cast<uint16_t>(b),
                                       static_cast<uint16_t>(c)});
    }
    at += static_cast<size_t>(corners) * stride;
  }
}

bool MeshNode::RefreshVertexBuffer(bool optimise) {
  vertex_buffer_.reset();
  platform::VertexBufferDesc desc;
  desc.caps = services_->VertexBuffersInVideoMemory() ? 0 : platform::vb_caps::kSystemMemory;
  desc.vertex_format = platform::kVertexFormatXyzNormalTex1;
  desc.vertex_count = vertex_count();
  auto buffer = platform::VertexBuffer::Create(desc);
  if (!buffer) return false;
  std::span<MeshVertex> out;
  if (platform::Failed(buffer->Lock(platform::kLockWriteOnly, &out))) return false;
  std::copy(vertices_.begin(), vertices_.end(), out.begin());
  buffer->Unlock();
  if (optimise) buffer->Optimize();
  vertex_buffer_ = std::move(buffer);
  return true;
}

bool MeshNode::ReplaceMeshGeometry(std::span<const float> positions, uint32_t face_count,
                                   std::span<const uint32_t> face_data) {
  SetPositions(positions);
  BuildTriangleIndices(kFacesWithNormals, face_data, face_count);
  // Shapes fitted to the old vertices would stand where nothing is drawn.
  RefitCollisionShapes();
  return RefreshVertexBuffer(true);
}

bool MeshNode::SetMeshNormals(std::span<const float> normals) {
  size_t n = std::min(vertices_.size(), normals.size() / 3);
  for (size_t i = 0; i < n; ++i) {
    vertices_[i].nx = normals[3 * i];
    vertices_[i].ny = normals[3 * i + 1];
    vertices_[i].nz = normals[3 * i + 2];
  }
  return RefreshVertexBuffer(true);
}

bool MeshNode::SetMeshTexCoords(std::span<const float> tex_coords) {
  size_t n = std::min(vertices_.size(), tex_coords.size() / 2);
  for (size_t i = 0; i < n; ++i) {
    vertices_[i].u = tex_coords[2 * i];
    vertices_[i].v = tex_coords[2 * i + 1];
  }
  return RefreshVertexBuffer(true);
}

void MeshNode::ComputeSmoothNormals() {
  std::vector<Vector3f> sums(vertices_.size());
  for (size_t t = 0; t + 2 < indices_.size(); t += 3) {
    const MeshVertex& p0 = vertices_[indices_[t]];
    const MeshVertex& p1 = vertices_[indices_[t + 1]];
    const MeshVertex& p2 = vertices_[indices_[t + 2]];
    float ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
    float bx = p2.x - p1.x, by = p2.y - p1.y, bz = p2.z - p1.z;
    float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    // A degenerate triangle has no direction to add.
    if (!(length > 0.0f)) continue;
    for (size_t k = 0; k < 3; ++k) {
      Vector3f& s = sums[indices_[t + k]];
      s.x += nx / length;
      s.y += ny / length;
      s.z += nz / length;
    }
  }
  for (size_t i = 0; i < vertices_.size(); ++i) {
    const Vector3f& s = sums[i];
    float length = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
    // A vertex no triangle uses (or whose normals cancel) keeps a zero normal.
    if (!(length > 0.0f)) length = 1.0f;
    vertices_[i].nx = s.x / length;
    vertices_[i].ny = s.y / length;
    vertices_[i].nz = s.z / length;
  }
}

void MeshNode::CopyNormalsAndTexCoords(std::span<const MeshVertex> from) {
  size_t n = std::min(vertices_.size(), from.size());
  for (size_t i = 0; i < n; ++i) {
    vertices_[i].nx = from[i].nx;
    vertices_[i].ny = from[i].ny;
    vertices_[i].nz = from[i].nz;
    vertices_[i].u = from[i].u;
    vertices_[i].v = from[i].v;
  }
}

void MeshNode::ReleaseOwnedTexture() {
  if (texture_ > 0 && services_->TextureHasCacheEntry(texture_)) services_->ReleaseTexture(texture_, false);
  texture_ = 0;  // released once, whoever calls again
}

void MeshNode::ScalePositions(float x, float y, float z) {
  for (MeshVertex& v : vertices_) {
    v.x *= x;
    v.y *= y;
    v.z *= z;
  }
  MeasureExtents();
  RefitCollisionShapes();
  RefreshVertexBuffer(true);
}

// ---- Mesh bodies: own work, then the next sibling --------------------------------------

bool MeshNode::SetRootTransform(uint32_t, Matrix4) { return true; }
bool MeshNode::GetRootTransform(Matrix4**) { return true; }
bool MeshNode::RenderNodeSecondPass(platform::Device3D&) { return true; }
bool MeshNode::ReservedOperation(uint32_t, uint32_t) { return true; }

bool MeshNode::GatherTextureDepths(FrameTextureList& list, double depth) {
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const FrameTextureEntry& e) { return e.texture == texture_; });
  if (it != list.end())
    it->key = (it->key + depth) / 2.0;
  else
    list.push_back({texture_, depth});
  return true;
}

bool MeshNode::RenderNode(platform::Device3D& device, int32_t texture_selector) {
  if (visible_ == 0) return true;
  if (texture_selector == -1)
    services_->SetStageTexture(device, texture_);
  else if (texture_selector != texture_)
    return true;
  if (vertex_buffer_ && !indices_.empty()) {
    device.DrawIndexedPrimitiveVB(platform::PrimitiveType::kTriangleList, *vertex_buffer_, 0,
                                  vertex_count(), indices_, 0);
    services_->CountDrawnIndices(index_count());
  }
  return true;
}

bool MeshNode::RebuildMesh() {
  RefreshVertexBuffer(true);
  return true;
}

bool MeshNode::SetNodeTexture(int32_t number, int32_t texture) {
  if (this->number() == number) {
    // Each mesh of the limb holds a reference of its own: meshes of one
    // limb share the texture, and each lets go of it alone.
    if (texture > 0) services_->AddTextureReference(texture);
    ReleaseOwnedTexture();
    texture_ = texture;
  }
  return true;
}

bool MeshNode::GetNodeTexture(int32_t number, int32_t* texture) {
  if (this->number() == number) *texture = texture_;
  return true;
}

bool MeshNode::GetMeshNodeName(int32_t number, std::string* name) {
  if (this->number() == number) *name = second_name_;
  return true;
}

bool MeshNode::QueryNodeTexture(int32_t number, int32_t* texture) {
  if (this->number() == number) *texture = texture_;
  return true;
}

bool MeshNode::ScaleNodeVertices(int32_t number, float x, float y, float z) {
  if (this->number() == number) ScalePositions(x, y, z);
  return true;
}

bool MeshNode::ScaleAllVertices(float x, float y, float z) {
  ScalePositions(x, y, z);
  return true;
}

bool MeshNode::ScaleVertexBufferNormals(float factor) {
  // The stored vertices keep their normals: the next refresh undoes this.
  if (!RefreshVertexBuffer(false)) return true;
  std::span<MeshVertex> out;
  if (platform::Succeeded(vertex_buffer_->Lock(platform::kLockWriteOnly, &out))) {
    for (size_t i = 0; i < out.size() && i < vertices_.size(); ++i) {
      out[i].nx = vertices_[i].nx * factor;
      out[i].ny = vertices_[i].ny * factor;
      out[i].nz = vertices_[i].nz * factor;
    }
    vertex_buffer_->Unlock();
  }
  vertex_buffer_->Optimize();
  return true;
}

bool MeshNode::ReplaceNodeGeometry(int32_t number, const MeshGeometry& mesh) {
  if (this->number() == number) {
    ReplaceMeshGeometry(mesh.positions, mesh.face_count, mesh.face_data);
    SetMeshNormals(mesh.normals);
    SetMeshTexCoords(mesh.tex_coords);
  }
  return true;
}

bool MeshNode::SetNodeVisible(int32_t number, uint32_t flag) {
  if (this->number() == number) visible_ = flag;
  return true;
}

bool MeshNode::ScrollNodeTexture(int32_t number, float du, float dv) {
  if (this->number() == number) {
    for (MeshVertex& v : vertices_) {
      v.u += du;
      v.v += dv;
    }
    RefreshVertexBuffer(true);
  }
  return true;
}

bool MeshNode::ScaleNodeTexture(int32_t number, float su, float sv) {
  if (this->number() == number) {
    for (MeshVertex& v : vertices_) {
      v.u *= su;
      v.v *= sv;
    }
    RefreshVertexBuffer(true);
  }
  return true;
}

void MeshNode::ReleaseNodeResources() {
  FreeMeshCollisionData();
  ReleaseOwnedTexture();
  vertices_ = {};
  has_extents_ = false;
  indices_ = {};
  vertex_buffer_.reset();
}

}  // namespace zv::models
