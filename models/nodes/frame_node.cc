#include "models/nodes/frame_node.h"

#include "platform/render3d/device.h"
#include "platform/render3d/matrix.h"

namespace zv::models {

using platform::TransformState;

FrameNode::FrameNode(std::string_view name) : SceneNode(name) {}

std::unique_ptr<FrameNode> FrameNode::Create(std::string_view name, int32_t number) {
  auto frame = std::make_unique<FrameNode>(name);
  frame->set_number(number);
  return frame;
}

template <class Children>
void FrameNode::WorldBracket(platform::Device3D& device, Bracket kind, Children&& children) {
  // A frame without children moves nothing; the place of one at the end of
  // a chain of bones is still asked for, so the second pass stores it.
  if (first_child() == nullptr && kind != Bracket::kStoreWorld) return;
  Matrix4 saved = Matrix4::Identity();
  device.GetTransform(TransformState::kWorld, &saved);
  Matrix4 combined = platform::Multiply(local_, saved);
  if (kind != Bracket::kWithoutRootStep && number() == 0 && root_flag_ == 1)
    combined = platform::Multiply(root_matrix_, combined);
  if (kind == Bracket::kStoreWorld) world_ = combined;
  if (first_child() == nullptr) return;
  device.SetTransform(TransformState::kWorld, combined);
  children();
  device.SetTransform(TransformState::kWorld, saved);
}

bool FrameNode::Contains(const SceneNode* node) const {
  // Up the ancestors only: an earlier sibling of the target (or of one of
  // its ancestors) does not hold it.
  for (; node != nullptr; node = node->Owner())
    if (node == this) return true;
  return false;
}

bool FrameNode::FindFrameByName(std::string_view name, int32_t* number) {
  if (this->name() == name) {
    *number = this->number();
    return false;
  }
  return SceneNode::FindFrameByName(name, number);
}

bool FrameNode::GetFrameName(int32_t number, std::string* name) {
  if (this->number() == number) {
    *name = this->name();
    return false;
  }
  return SceneNode::GetFrameName(number, name);
}

bool FrameNode::SetRootTransform(uint32_t flag, Matrix4 matrix) {
  if (number() == 0) {
    root_flag_ = flag;
    root_matrix_ = matrix;
  }
  return SceneNode::SetRootTransform(flag, matrix);
}

bool FrameNode::GetRootTransform(Matrix4** matrix) {
  if (number() == 0) *matrix = &root_matrix_;
  return SceneNode::GetRootTransform(matrix);
}

bool FrameNode::RenderNode(platform::Device3D& device, int32_t texture_selector) {
  WorldBracket(device, Bracket::kWithRootStep,
               [&] { ForwardToChildren(&SceneNode::RenderNode, device, texture_selector); });
  return true;
}

bool FrameNode::RenderNodeSecondPass(platform::Device3D& device) {
  WorldBracket(device, Bracket::kStoreWorld,
               [&] { ForwardToChildren(&SceneNode::RenderNodeSecondPass, device); });
  return true;
}

Matrix4 FrameNode::PlacedIn(const Matrix4& matrix) const {
  Matrix4 combined = platform::Multiply(local_, matrix);
  if (number() == 0 && root_flag_ == 1) combined = platform::Multiply(root_matrix_, combined);
  return combined;
}

// Placing collision objects needs no device.
bool FrameNode::UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index) {
  if (first_child() != nullptr) ForwardToChildren(&SceneNode::UpdateNodeCollision, PlacedIn(matrix), object_index);
  return true;
}

bool FrameNode::GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes) {
  if (first_child() != nullptr) ForwardToChildren(&SceneNode::GatherMeshBoxes, PlacedIn(matrix), boxes);
  return true;
}

bool FrameNode::ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk) {
  WorldBracket(device, Bracket::kWithoutRootStep,
               [&] { ForwardToChildren(&SceneNode::ExtractNodeGeometry, device, walk); });
  return true;
}

bool FrameNode::ReparentFrame(ReparentState& state, int32_t moved, int32_t new_parent) {
  if (state.phase == 0 && number() == new_parent && state.target == nullptr) state.target = this;
  if (state.phase == 1 && number() == moved && state.target != nullptr && !Contains(state.target)) {
    FrameNode* target = state.target;
    target->AddChildNode(DetachNode());
    state.phase = 2;
  }
  return SceneNode::ReparentFrame(state, moved, new_parent);
}

bool ReparentFrames(SceneNode& root, int32_t moved, int32_t new_parent) {
  ReparentState state;
  root.RunReparentPass(state, moved, new_parent);
  state.phase = 1;
  root.RunReparentPass(state, moved, new_parent);
  return state.phase == 2;
}

// ---- Walked matrix: children see local x incoming, siblings the incoming one -----

bool FrameNode::SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::SumVertexPositions, combined, sum, count);
  return true;
}

bool FrameNode::MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::MaxVertexDistance, combined, centre, maximum);
  return true;
}

bool FrameNode::MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::MinAxisDistance, combined, point, minimum);
  return true;
}

bool FrameNode::SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                                       uint32_t* count) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::SumLimbVertexPositions, number, combined, sum, count);
  return true;
}

bool FrameNode::MaxLimbVertexDistance(int32_t number, const Matrix4& matrix,
                                      const Vector3f& centre, float* maximum) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::MaxLimbVertexDistance, number, combined, centre, maximum);
  return true;
}

bool FrameNode::GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box) {
  Matrix4 combined = platform::Multiply(local_, matrix);
  ForwardToChildren(&SceneNode::GetNodeBoundingBox, combined, box);
  return true;
}

// ---- Frames by name and number ------------------------------------------------------

bool FrameNode::GetFrameMatrixByName(std::string_view name, Matrix4** matrix) {
  if (*matrix == nullptr && this->name() == name) *matrix = &local_;
  return SceneNode::GetFrameMatrixByName(name, matrix);
}

bool FrameNode::LoadFrameMatrices(std::span<const Matrix4> matrices) {
  // A frame numbered beyond the array (a model with more frames than the
  // caller's tracks) keeps its matrix.
  if (number() >= 1 && static_cast<size_t>(number()) <= matrices.size())
    local_ = matrices[static_cast<size_t>(number()) - 1];
  return SceneNode::LoadFrameMatrices(matrices);
}

bool FrameNode::SetFrameMatrix(int32_t number, const Matrix4& matrix) {
  if (this->number() == number) local_ = matrix;
  return SceneNode::SetFrameMatrix(number, matrix);
}

bool FrameNode::GetFrameMatrix(int32_t number, Matrix4* matrix) {
  if (this->number() == number) *matrix = local_;
  return SceneNode::GetFrameMatrix(number, matrix);
}

bool FrameNode::GetFrameWorldMatrix(int32_t number, Matrix4* matrix) {
  if (this->number() == number) *matrix = world_;
  return SceneNode::GetFrameWorldMatrix(number, matrix);
}

bool FrameNode::ScaleFrameTranslation(int32_t number, float x, float y, float z) {
  if (this->number() == number) {
    local_.m[3][0] *= x;
    local_.m[3][1] *= y;
    local_.m[3][2] *= z;
  }
  return SceneNode::ScaleFrameTranslation(number, x, y, z);
}

bool FrameNode::ScaleAllFrameTranslations(float x, float y, float z) {
  local_.m[3][0] *= x;
  local_.m[3][1] *= y;
  local_.m[3][2] *= z;
  return SceneNode::ScaleAllFrameTranslations(x, y, z);
}

bool FrameNode::ListFramesToChecklist(std::vector<FrameListEntry>& list) {
  if (number() > 0) list.push_back({number(), name()});
  return SceneNode::ListFramesToChecklist(list);
}

}  // namespace zv::models
