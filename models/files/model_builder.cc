#include "models/files/model_builder.h"

#include "models/nodes/mesh_node.h"

namespace zv::models {

bool BuildMeshNode(const MeshGeometry& mesh, int32_t texture, SceneNode& parent, int32_t frame_number,
                   NodeServices& services) {
  auto node = MeshNode::Create("usermesh", mesh.positions, mesh.face_count, mesh.face_data, true,
                               services);
  node->set_number(frame_number);
  // A mesh without vertices has no vertex buffer: it draws nothing until
  // geometry is put into it.
  if (!node->RefreshVertexBuffer(true) && mesh.VertexCount() > 0) return false;
  node->set_texture(texture);
  node->set_second_name("Default");
  node->SetMeshNormals(mesh.normals);
  node->SetMeshTexCoords(mesh.tex_coords);
  parent.AddChildNode(std::move(node));
  return true;
}

bool AddMeshFrame(std::unique_ptr<FrameNode>& root, int32_t frame_number, const MeshGeometry& mesh,
                  int32_t texture, NodeServices& services) {
  if (frame_number == 0 && !root) {
    auto frame = FrameNode::Create("root", 0);
    if (!BuildMeshNode(mesh, texture, *frame, frame_number, services)) return false;
    root = std::move(frame);
    return true;
  }
  if (frame_number != 0 && root) {
    auto frame = FrameNode::Create("userframe", frame_number);
    if (!BuildMeshNode(mesh, texture, *frame, frame_number, services)) return false;
    root->AddChildNode(std::move(frame));
    return true;
  }
  return false;
}

bool GetModelFrameName(FrameNode* root, int32_t number, std::string* name) {
  name->clear();
  if (root == nullptr) return false;
  root->GetFrameName(number, name);
  return true;
}

}  // namespace zv::models
