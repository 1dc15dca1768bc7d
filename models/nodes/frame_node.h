#pragma once

#include <memory>
#include <string_view>

#include "models/nodes/scene_node.h"

namespace zv::models {

// A frame (limb) of a model: its matrix relative to its parent, and the
// frame operations. While the tree is drawn, measured or placed, a frame
// with children combines its matrix with the one it receives around its
// children, so every mesh sees the world matrix of its own frame. The root
// (number 0) may carry one more matrix, the root transform, applied on top
// when its flag is exactly 1.
class FrameNode : public SceneNode {
 public:
  explicit FrameNode(std::string_view name = {});
  // A frame with that name and number.
  static std::unique_ptr<FrameNode> Create(std::string_view name, int32_t number);

  const Matrix4& local_matrix() const { return local_; }
  void set_local_matrix(const Matrix4& matrix) { local_ = matrix; }
  // The combined matrix the last second pass computed (frames with
  // children only).
  const Matrix4& world_matrix() const { return world_; }
  uint32_t root_transform_flag() const { return root_flag_; }
  const Matrix4& root_matrix() const { return root_matrix_; }

  bool FindFrameByName(std::string_view name, int32_t* number) override;
  bool GetFrameName(int32_t number, std::string* name) override;
  bool SetRootTransform(uint32_t flag, Matrix4 matrix) override;
  bool GetRootTransform(Matrix4** matrix) override;
  bool RenderNode(platform::Device3D& device, int32_t texture_selector) override;
  bool RenderNodeSecondPass(platform::Device3D& device) override;
  bool UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index) override;
  bool GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes) override;
  bool ReparentFrame(ReparentState& state, int32_t moved, int32_t new_parent) override;
  bool SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count) override;
  bool MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum) override;
  bool MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum) override;
  bool SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                              uint32_t* count) override;
  bool MaxLimbVertexDistance(int32_t number, const Matrix4& matrix, const Vector3f& centre,
                             float* maximum) override;
  bool GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box) override;
  bool ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk) override;
  bool GetFrameMatrixByName(std::string_view name, Matrix4** matrix) override;
  bool LoadFrameMatrices(std::span<const Matrix4> matrices) override;
  bool SetFrameMatrix(int32_t number, const Matrix4& matrix) override;
  bool GetFrameMatrix(int32_t number, Matrix4* matrix) override;
  bool GetFrameWorldMatrix(int32_t number, Matrix4* matrix) override;
  bool ScaleFrameTranslation(int32_t number, float x, float y, float z) override;
  bool ScaleAllFrameTranslations(float x, float y, float z) override;
  bool ListFramesToChecklist(std::vector<FrameListEntry>& list) override;
  bool IsFrameNode() const override { return true; }

 private:
  // The matrix the frame's meshes and children stand in, inside `matrix`:
  // the world matrices the render gives them, walked without the device.
  Matrix4 PlacedIn(const Matrix4& matrix) const;
  enum class Bracket { kWithRootStep, kWithoutRootStep, kStoreWorld };
  // Sets the device's world transform to this frame's combined matrix
  // around `children` (which passes the call on to the children), then puts
  // the saved one back. Frames without children leave the device alone.
  template <class Children>
  void WorldBracket(platform::Device3D& device, Bracket kind, Children&& children);
  // True when `frame` is this frame or lies below it.
  bool Contains(const SceneNode* node) const;

  Matrix4 local_ = Matrix4::Identity();
  Matrix4 world_ = Matrix4::Identity();
  uint32_t root_flag_ = 0;
  Matrix4 root_matrix_ = Matrix4::Identity();
};

// Moves frame `moved` under frame `new_parent` (as its last child, with its
// own children): a pass that finds the new parent, then one that moves.
// False, with the tree unchanged, when either frame is missing, the new
// parent lies inside the moved frame, or a frame is the root.
bool ReparentFrames(SceneNode& root, int32_t moved, int32_t new_parent);

}  // namespace zv::models
