#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine3d/objects/every_pose_radius.h"
#include "engine3d/objects/matrix_math.h"
#include "models/files/keyframes.h"
#include "models/nodes/frame_node.h"
#include "models/nodes/node_services.h"
#include "models/nodes/node_types.h"

namespace zv {

// The rotation that angles (degrees) give in a rotation order: order 1 turns
// about x first, then y, then z; any other order about z first.
Matrix4 AngleRotation(const Vector3f& angles, int32_t rotation_order);

// Result codes of the model operations.
constexpr int32_t kModelOk = 0;
constexpr int32_t kModelFailed = static_cast<int32_t>(0x80004005u);

// An object's geometry: the root frame of its scene-node tree (frames and
// meshes), the number of frames the model file had, and its keyframes. The
// engine reaches the tree only through these methods, each of which runs one
// operation on the root (and so on every node); without a root each does
// nothing. Methods that hand the device's world transform around put it back
// as they found it.
class ObjectModel {
 public:
  ObjectModel() = default;
  ~ObjectModel();
  ObjectModel(const ObjectModel&) = delete;
  ObjectModel& operator=(const ObjectModel&) = delete;

  models::FrameNode* Root() { return root_.get(); }
  bool HasRoot() const { return root_ != nullptr; }
  int32_t FrameCount() const { return frame_count_; }
  // Null when the model has no animation.
  const models::KeyframeSet* Keyframes() const { return keyframes_.get(); }
  // The keyframes to change (null without them).
  models::KeyframeSet* EditKeyframes() {
    PosesChanged();
    return keyframes_.get();
  }
  // The model takes these keyframes (null: it has no animation from now on).
  void SetKeyframes(std::unique_ptr<models::KeyframeSet> keyframes) {
    keyframes_ = std::move(keyframes);
    PosesChanged();
  }
  // The distance from the origin that holds the model in every pose its
  // keyframes can give (RadiusOfEveryPose), worked out once after they or
  // the limbs change; -1 without keyframes or vertices.
  float EveryPoseRadius();

  // Reads an X model file into the empty model: its frame count (the
  // frames counting the root), or 0 when the model had a root already or
  // the file gave none (with the reason in `why`, when given). A model
  // read with a fault leaves what is wrong in `why`; else it is emptied.
  int32_t LoadModel(const std::string& path, models::NodeServices& services, std::string* why = nullptr);
  // Builds the root frame (frame 0, on an empty model) or a further limb
  // frame from a mesh's geometry; false when the mesh makes no mesh node.
  bool AddMeshFrame(int32_t frame, const models::MeshGeometry& mesh, int32_t texture,
                    models::NodeServices& services);

  // ---- Transforms of one frame -------------------------------------------------------
  // S x R x T with R = AngleRotation (angles, rotation order).
  void SetObjectTransformDegrees(int32_t limb, const Vector3f& position, const Vector3f& angles,
                                 const Vector3f& scale, int32_t rotation_order);
  // S x inverse(matrix) x T, for objects turned by their free matrix.
  void SetObjectTransformMatrix(int32_t limb, const Vector3f& position, const Matrix4& matrix,
                                const Vector3f& scale);

  // ---- Bounds, in the object's own space: the root frame's matrix (the
  // object's placement) counts as the identity while they are measured.
  // kModelFailed without vertices or with radius 0 --------------------------------------
  int32_t GetModelBoundingSphere(Vector3f* centre, float* radius);
  int32_t GetModelRadiusFromOrigin(Vector3f* centre, float* radius);
  // The box around the vertices of the meshes that are drawn; false when
  // there are none.
  bool GetModelBoundingBox(Vector3f* minimum, Vector3f* maximum);

  // ---- Forwarded operations ----------------------------------------------------------
  int32_t ReplaceLimbGeometry(int32_t limb, const models::MeshGeometry& mesh);
  // Moves the limb's frame under the parent limb's frame.
  int32_t ReparentLimb(int32_t limb, int32_t parent);
  void ExtractGeometry(platform::Device3D* device, models::GeometryExtraction& walk);
  void GetLimbMesh(int32_t limb, int32_t wanted, int32_t* counter, int32_t* texture, std::string* name);
  void LoadTrackMatrices(std::span<const Matrix4> matrices);
  void SetRootTransform(uint32_t flag, const Matrix4& matrix);
  // The root's own matrix, or null.
  Matrix4* GetRootTransform();
  void GetLimbMatrix(int32_t limb, Matrix4* matrix);
  // The world matrix the last second pass stored for that frame.
  void GetLimbSecondMatrix(int32_t limb, Matrix4* matrix);
  void SetLimbTexture(int32_t limb, int32_t texture);
  void GetLimbTexture(int32_t limb, int32_t* texture);
  void GetLimbName(int32_t limb, std::string* name);
  void GetLimbTextureRecord(int32_t limb, int32_t* texture);
  void ScaleModelNormals(float factor);
  void SetLimbVisible(int32_t limb, uint32_t flag);
  void ListLimbsToChecklist(std::vector<models::FrameListEntry>& list);
  void GatherForFrame(models::FrameTextureList& list, double depth);
  void RenderModel(platform::Device3D& device, int32_t texture_selector);
  void RenderModelSecondPass(platform::Device3D& device);
  void RebuildModel();
  // Collision objects are filed per object: instances share the tree but
  // each files its own. The forms without an object free every object's.
  void BuildModelCollision(int32_t object_index, int32_t kind, float a, float b, float c);
  void FreeModelCollision(int32_t object_index);
  void FreeModelCollision() { FreeModelCollision(0); }
  void BuildLimbCollision(int32_t object_index, int32_t limb, int32_t kind);
  void FreeLimbCollision(int32_t object_index, int32_t limb);
  void FreeLimbCollision(int32_t limb) { FreeLimbCollision(0, limb); }
  // Places the object's collision objects where its frames put its meshes,
  // inside `base` (an instance sets its own root frame matrix first).
  void UpdateModelCollision(int32_t object_index, const Matrix4& base);
  // The box of every mesh that is drawn, placed inside `base` as the
  // collision objects are.
  std::vector<models::MeshBox> GatherMeshBoxes(const Matrix4& base);
  void ScrollLimbTexture(int32_t limb, float du, float dv);
  void ScaleLimbTexture(int32_t limb, float su, float sv);

 private:
  void PosesChanged() { every_pose_radius_known_ = false; }
  void MeshesChanged() {
    mesh_reaches_.clear();
    PosesChanged();
  }

  std::unique_ptr<models::FrameNode> root_;
  int32_t frame_count_ = 0;
  std::unique_ptr<models::KeyframeSet> keyframes_;
  MeshReaches mesh_reaches_;
  float every_pose_radius_ = -1.0f;
  bool every_pose_radius_known_ = false;
};

}  // namespace zv
