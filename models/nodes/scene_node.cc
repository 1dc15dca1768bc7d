#include "models/nodes/scene_node.h"

namespace zv::models {

SceneNode::SceneNode(std::string_view name) { set_name(name); }

SceneNode::~SceneNode() {
  DestroyChain(first_child_);
  first_child_ = nullptr;
}

// Walks the chain instead of recursing along it, so that a file with a very
// long list of siblings cannot exhaust the stack; the recursion goes only as
// deep as the tree.
void SceneNode::DestroyChain(SceneNode* first) {
  SceneNode* node = first;
  while (node != nullptr) {
    SceneNode* next = node->next_sibling_;
    node->ReleaseNodeResources();
    delete node;
    node = next;
  }
}

void SceneNode::set_name(std::string_view name) {
  name_.assign(name.substr(0, kMaxNameLength));
}

SceneNode* SceneNode::Owner() const {
  const SceneNode* node = this;
  while (node->previous_sibling_ != nullptr) node = node->previous_sibling_;
  return node->parent_;
}

void SceneNode::AddChildNode(std::unique_ptr<SceneNode> child) {
  if (!child) return;
  SceneNode* added = child.get();
  if (first_child_ == nullptr) {
    child->parent_ = this;
    first_child_ = child.release();
  } else {
    (last_child_hint_ ? last_child_hint_ : first_child_)->AppendSiblingNode(std::move(child));
  }
  last_child_hint_ = added;
}

void SceneNode::AppendSiblingNode(std::unique_ptr<SceneNode> node) {
  if (!node) return;
  SceneNode* last = this;
  while (last->next_sibling_ != nullptr) last = last->next_sibling_;
  node->previous_sibling_ = last;
  last->next_sibling_ = node.release();
}

std::unique_ptr<SceneNode> SceneNode::DetachNode() {
  // A node without a previous sibling or a parent is in no chain (a root):
  // whoever holds it keeps it.
  if (previous_sibling_ == nullptr && parent_ == nullptr) return nullptr;
  SceneNode* owner = Owner();
  if (owner != nullptr && owner->last_child_hint_ == this) owner->last_child_hint_ = previous_sibling_;
  if (previous_sibling_ != nullptr) {
    previous_sibling_->next_sibling_ = next_sibling_;
    if (next_sibling_ != nullptr) next_sibling_->previous_sibling_ = previous_sibling_;
  } else {
    parent_->first_child_ = next_sibling_;
    if (next_sibling_ != nullptr) {
      next_sibling_->parent_ = parent_;
      next_sibling_->previous_sibling_ = nullptr;
    }
  }
  parent_ = previous_sibling_ = next_sibling_ = nullptr;
  return std::unique_ptr<SceneNode>(this);
}

// ---- Default forwarding ----------------------------------------------------------
// Slots without a base body (4 to 12) forward as well: only frames and meshes
// are ever made, and each of them overrides what it answers.

bool SceneNode::FindFrameByName(std::string_view name, int32_t* number) {
  ForwardToChildren(&SceneNode::FindFrameByName, name, number);
  return true;
}
bool SceneNode::GetFrameName(int32_t number, std::string* name) {
  ForwardToChildren(&SceneNode::GetFrameName, number, name);
  return true;
}
bool SceneNode::SetRootTransform(uint32_t flag, Matrix4 matrix) {
  ForwardToChildren(&SceneNode::SetRootTransform, flag, matrix);
  return true;
}
bool SceneNode::GetRootTransform(Matrix4** matrix) {
  ForwardToChildren(&SceneNode::GetRootTransform, matrix);
  return true;
}
bool SceneNode::GatherTextureDepths(FrameTextureList& list, double depth) {
  ForwardToChildren(&SceneNode::GatherTextureDepths, list, depth);
  return true;
}
bool SceneNode::RenderNode(platform::Device3D& device, int32_t texture_selector) {
  ForwardToChildren(&SceneNode::RenderNode, device, texture_selector);
  return true;
}
bool SceneNode::RenderNodeSecondPass(platform::Device3D& device) {
  ForwardToChildren(&SceneNode::RenderNodeSecondPass, device);
  return true;
}
bool SceneNode::RebuildMesh() {
  ForwardToChildren(&SceneNode::RebuildMesh);
  return true;
}
bool SceneNode::BuildNodeCollision(uint32_t object_index, int32_t kind, float a, float b, float c) {
  ForwardToChildren(&SceneNode::BuildNodeCollision, object_index, kind, a, b, c);
  return true;
}
bool SceneNode::FreeNodeCollision(uint32_t object_index) {
  ForwardToChildren(&SceneNode::FreeNodeCollision, object_index);
  return true;
}
bool SceneNode::FreeNodeCollisionByNumber(uint32_t object_index, int32_t number) {
  ForwardToChildren(&SceneNode::FreeNodeCollisionByNumber, object_index, number);
  return true;
}
bool SceneNode::BuildNodeCollisionByNumber(uint32_t object_index, int32_t number, int32_t kind) {
  ForwardToChildren(&SceneNode::BuildNodeCollisionByNumber, object_index, number, kind);
  return true;
}
bool SceneNode::UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index) {
  ForwardToChildren(&SceneNode::UpdateNodeCollision, matrix, object_index);
  return true;
}
bool SceneNode::RunReparentPass(ReparentState& state, int32_t moved, int32_t new_parent) {
  ForwardToChildren(&SceneNode::ReparentFrame, state, moved, new_parent);
  return true;
}
bool SceneNode::ReparentFrame(ReparentState& state, int32_t moved, int32_t new_parent) {
  ForwardToChildren(&SceneNode::ReparentFrame, state, moved, new_parent);
  return true;
}
bool SceneNode::SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count) {
  ForwardToChildren(&SceneNode::SumVertexPositions, matrix, sum, count);
  return true;
}
bool SceneNode::MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum) {
  ForwardToChildren(&SceneNode::MaxVertexDistance, matrix, centre, maximum);
  return true;
}
bool SceneNode::MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum) {
  ForwardToChildren(&SceneNode::MinAxisDistance, matrix, point, minimum);
  return true;
}
bool SceneNode::SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                                       uint32_t* count) {
  ForwardToChildren(&SceneNode::SumLimbVertexPositions, number, matrix, sum, count);
  return true;
}
bool SceneNode::MaxLimbVertexDistance(int32_t number, const Matrix4& matrix, const Vector3f& centre,
                                      float* maximum) {
  ForwardToChildren(&SceneNode::MaxLimbVertexDistance, number, matrix, centre, maximum);
  return true;
}
bool SceneNode::GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box) {
  ForwardToChildren(&SceneNode::GetNodeBoundingBox, matrix, box);
  return true;
}
bool SceneNode::ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk) {
  ForwardToChildren(&SceneNode::ExtractNodeGeometry, device, walk);
  return true;
}
bool SceneNode::GetLimbMeshInfo(int32_t limb, int32_t wanted, int32_t* counter, int32_t* texture,
                                std::string* name) {
  ForwardToChildren(&SceneNode::GetLimbMeshInfo, limb, wanted, counter, texture, name);
  return true;
}
bool SceneNode::GetFrameMatrixByName(std::string_view name, Matrix4** matrix) {
  if (*matrix == nullptr) ForwardToChildren(&SceneNode::GetFrameMatrixByName, name, matrix);
  return *matrix == nullptr;
}
bool SceneNode::GetGeometryByName(std::string_view name, MeshArrays* arrays) {
  if (arrays->vertices == nullptr) ForwardToChildren(&SceneNode::GetGeometryByName, name, arrays);
  return arrays->vertices == nullptr;
}
bool SceneNode::LoadFrameMatrices(std::span<const Matrix4> matrices) {
  ForwardToChildren(&SceneNode::LoadFrameMatrices, matrices);
  return true;
}
bool SceneNode::SetFrameMatrix(int32_t number, const Matrix4& matrix) {
  ForwardToChildren(&SceneNode::SetFrameMatrix, number, matrix);
  return true;
}
bool SceneNode::GetFrameMatrix(int32_t number, Matrix4* matrix) {
  ForwardToChildren(&SceneNode::GetFrameMatrix, number, matrix);
  return true;
}
bool SceneNode::GetFrameWorldMatrix(int32_t number, Matrix4* matrix) {
  ForwardToChildren(&SceneNode::GetFrameWorldMatrix, number, matrix);
  return true;
}
bool SceneNode::SetNodeTexture(int32_t number, int32_t texture) {
  ForwardToChildren(&SceneNode::SetNodeTexture, number, texture);
  return true;
}
bool SceneNode::GetNodeTexture(int32_t number, int32_t* texture) {
  ForwardToChildren(&SceneNode::GetNodeTexture, number, texture);
  return true;
}
bool SceneNode::GetMeshNodeName(int32_t number, std::string* name) {
  ForwardToChildren(&SceneNode::GetMeshNodeName, number, name);
  return true;
}
bool SceneNode::QueryNodeTexture(int32_t number, int32_t* texture) {
  ForwardToChildren(&SceneNode::QueryNodeTexture, number, texture);
  return true;
}
bool SceneNode::ScaleFrameTranslation(int32_t number, float x, float y, float z) {
  ForwardToChildren(&SceneNode::ScaleFrameTranslation, number, x, y, z);
  return true;
}
bool SceneNode::ScaleAllFrameTranslations(float x, float y, float z) {
  ForwardToChildren(&SceneNode::ScaleAllFrameTranslations, x, y, z);
  return true;
}
bool SceneNode::ScaleNodeVertices(int32_t number, float x, float y, float z) {
  ForwardToChildren(&SceneNode::ScaleNodeVertices, number, x, y, z);
  return true;
}
bool SceneNode::ScaleAllVertices(float x, float y, float z) {
  ForwardToChildren(&SceneNode::ScaleAllVertices, x, y, z);
  return true;
}
bool SceneNode::ReservedOperation(uint32_t a, uint32_t b) {
  ForwardToChildren(&SceneNode::ReservedOperation, a, b);
  return true;
}
bool SceneNode::ScaleVertexBufferNormals(float factor) {
  ForwardToChildren(&SceneNode::ScaleVertexBufferNormals, factor);
  return true;
}
bool SceneNode::ReplaceNodeGeometry(int32_t number, const MeshGeometry& mesh) {
  ForwardToChildren(&SceneNode::ReplaceNodeGeometry, number, mesh);
  return true;
}
bool SceneNode::SetNodeVisible(int32_t number, uint32_t flag) {
  ForwardToChildren(&SceneNode::SetNodeVisible, number, flag);
  return true;
}
bool SceneNode::ScrollNodeTexture(int32_t number, float du, float dv) {
  ForwardToChildren(&SceneNode::ScrollNodeTexture, number, du, dv);
  return true;
}
bool SceneNode::ScaleNodeTexture(int32_t number, float su, float sv) {
  ForwardToChildren(&SceneNode::ScaleNodeTexture, number, su, sv);
  return true;
}
bool SceneNode::ListFramesToChecklist(std::vector<FrameListEntry>& list) {
  ForwardToChildren(&SceneNode::ListFramesToChecklist, list);
  return true;
}
bool SceneNode::GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes) {
  ForwardToChildren(&SceneNode::GatherMeshBoxes, matrix, boxes);
  return true;
}

bool SceneNode::SaveNodeToX(platform::XDocument& document) {
  ForwardToChildren(&SceneNode::SaveNodeToX, document);
  return true;
}

}  // namespace zv::models
