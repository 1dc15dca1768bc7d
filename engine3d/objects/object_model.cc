#include "engine3d/objects/object_model.h"

#include <limits>

#include "models/files/model_builder.h"
#include "models/files/x_model_reader.h"
#include "platform/render3d/device.h"

namespace zv {
namespace {

namespace p = platform;

// Puts the device's WORLD transform back as it was when it leaves.
class WorldKept {
 public:
  explicit WorldKept(p::Device3D* device) : device_(device) {
    if (device_) device_->GetTransform(p::TransformState::kWorld, &saved_);
  }
  ~WorldKept() {
    if (device_) device_->SetTransform(p::TransformState::kWorld, saved_);
  }
  WorldKept(const WorldKept&) = delete;
  WorldKept& operator=(const WorldKept&) = delete;

 private:
  p::Device3D* device_;
  Matrix4 saved_;
};

Matrix4 ScaleMatrix(const Vector3f& scale) {
  Matrix4 s;
  MatrixScaling(s, scale.x, scale.y, scale.z);
  return s;
}

Matrix4 TranslationMatrix(const Vector3f& position) {
  Matrix4 t;
  MatrixTranslation(t, position.x, position.y, position.z);
  return t;
}

// Sets the root frame's matrix aside for as long as it lives: the model is
// measured in the object's own space, as it was when the object was made.
class OwnSpace {
 public:
  explicit OwnSpace(models::FrameNode* root) : root_(root) {
    if (!root_) return;
    saved_ = root_->local_matrix();
    root_->set_local_matrix(Matrix4::Identity());
  }
  ~OwnSpace() {
    if (root_) root_->set_local_matrix(saved_);
  }
  OwnSpace(const OwnSpace&) = delete;
  OwnSpace& operator=(const OwnSpace&) = delete;

 private:
  models::FrameNode* root_;
  Matrix4 saved_;
};

}  // namespace

Matrix4 AngleRotation(const Vector3f& angles, int32_t rotation_order) {
  Matrix4 x, y, z;
  MatrixRotationX(x, angles.x * kDegreesToRadians);
  MatrixRotationY(y, angles.y * kDegreesToRadians);
  MatrixRotationZ(z, angles.z * kDegreesToRadians);
  return rotation_order == 1 ? x * y * z : z * y * x;
}

ObjectModel::~ObjectModel() {
  if (root_) root_->ReleaseNodeResources();
}

int32_t ObjectModel::LoadModel(const std::string& path, models::NodeServices& services, std::string* why) {
  if (root_) return 0;
  models::XModel model = models::ReadXModel(path, services);
  if (!model.root) {
    if (why) *why = model.error;
    return 0;
  }
  root_ = std::move(model.root);
  frame_count_ = model.frame_count;
  keyframes_ = std::move(model.keyframes);
  MeshesChanged();
  if (why) *why = model.warning;
  return frame_count_;
}

bool ObjectModel::AddMeshFrame(int32_t frame, const models::MeshGeometry& mesh, int32_t texture,
                               models::NodeServices& services) {
  MeshesChanged();
  return models::AddMeshFrame(root_, frame, mesh, texture, services);
}

void ObjectModel::SetObjectTransformDegrees(int32_t limb, const Vector3f& position, const Vector3f& angles,
                                            const Vector3f& scale, int32_t rotation_order) {
  if (!root_) return;
  // The root's matrix places the object, which the poses leave out.
  if (limb != 0) PosesChanged();
  root_->SetFrameMatrix(limb, ScaleMatrix(scale) * AngleRotation(angles, rotation_order) * TranslationMatrix(position));
}

void ObjectModel::SetObjectTransformMatrix(int32_t limb, const Vector3f& position, const Matrix4& matrix,
                                           const Vector3f& scale) {
  if (!root_) return;
  if (limb != 0) PosesChanged();
  Matrix4 inverse = Matrix4::Identity();
  MatrixInvertAffine(inverse, matrix);
  root_->SetFrameMatrix(limb, ScaleMatrix(scale) * inverse * TranslationMatrix(position));
}

int32_t ObjectModel::GetModelBoundingSphere(Vector3f* centre, float* radius) {
  *centre = Vector3f{};
  *radius = -1.0f;
  if (!root_) return kModelFailed;
  OwnSpace own(root_.get());
  Vector3f sum;
  uint32_t count = 0;
  const Matrix4 identity = Matrix4::Identity();
  root_->SumVertexPositions(identity, &sum, &count);
  if (count > 0) {
    const float n = static_cast<float>(count);
    *centre = Vector3f{sum.x / n, sum.y / n, sum.z / n};
  }
  root_->MaxVertexDistance(identity, *centre, radius);
  return *radius > 0.0f ? kModelOk : kModelFailed;
}

int32_t ObjectModel::GetModelRadiusFromOrigin(Vector3f* centre, float* radius) {
  *centre = Vector3f{};
  *radius = -1.0f;
  if (!root_) return kModelFailed;
  OwnSpace own(root_.get());
  root_->MaxVertexDistance(Matrix4::Identity(), *centre, radius);
  return *radius > 0.0f ? kModelOk : kModelFailed;
}

bool ObjectModel::GetModelBoundingBox(Vector3f* minimum, Vector3f* maximum) {
  constexpr float kNone = std::numeric_limits<float>::max();
  models::BoundingBox box{kNone, kNone, kNone, -kNone, -kNone, -kNone};
  if (root_) {
    OwnSpace own(root_.get());
    root_->GetNodeBoundingBox(Matrix4::Identity(), &box);
  }
  if (box.min_x > box.max_x) {
    *minimum = *maximum = Vector3f{};
    return false;
  }
  *minimum = Vector3f{box.min_x, box.min_y, box.min_z};
  *maximum = Vector3f{box.max_x, box.max_y, box.max_z};
  return true;
}

float ObjectModel::EveryPoseRadius() {
  if (!keyframes_ || !root_) return -1.0f;
  if (!every_pose_radius_known_) {
    every_pose_radius_ = RadiusOfEveryPose(*root_, *keyframes_, mesh_reaches_);
    every_pose_radius_known_ = true;
  }
  return every_pose_radius_;
}

int32_t ObjectModel::ReplaceLimbGeometry(int32_t limb, const models::MeshGeometry& mesh) {
  if (!root_) return kModelFailed;
  MeshesChanged();
  root_->ReplaceNodeGeometry(limb, mesh);
  return kModelOk;
}

int32_t ObjectModel::ReparentLimb(int32_t limb, int32_t parent) {
  if (!root_) return kModelOk;
  PosesChanged();
  return models::ReparentFrames(*root_, limb, parent) ? kModelOk : kModelFailed;
}

void ObjectModel::ExtractGeometry(p::Device3D* device, models::GeometryExtraction& walk) {
  if (!root_ || !device) return;
  WorldKept kept(device);
  root_->ExtractNodeGeometry(*device, walk);
}

void ObjectModel::GetLimbMesh(int32_t limb, int32_t wanted, int32_t* counter, int32_t* texture,
                              std::string* name) {
  if (root_) root_->GetLimbMeshInfo(limb, wanted, counter, texture, name);
}

void ObjectModel::LoadTrackMatrices(std::span<const Matrix4> matrices) {
  if (root_) root_->LoadFrameMatrices(matrices);
}

void ObjectModel::SetRootTransform(uint32_t flag, const Matrix4& matrix) {
  if (root_) root_->SetRootTransform(flag, matrix);
}

Matrix4* ObjectModel::GetRootTransform() {
  Matrix4* matrix = nullptr;
  if (root_) root_->GetRootTransform(&matrix);
  return matrix;
}

void ObjectModel::GetLimbMatrix(int32_t limb, Matrix4* matrix) {
  if (root_) root_->GetFrameMatrix(limb, matrix);
}

void ObjectModel::GetLimbSecondMatrix(int32_t limb, Matrix4* matrix) {
  if (root_) root_->GetFrameWorldMatrix(limb, matrix);
}

void ObjectModel::SetLimbTexture(int32_t limb, int32_t texture) {
  if (root_) root_->SetNodeTexture(limb, texture);
}

void ObjectModel::GetLimbTexture(int32_t limb, int32_t* texture) {
  if (root_) root_->GetNodeTexture(limb, texture);
}

void ObjectModel::GetLimbName(int32_t limb, std::string* name) {
  // The limb's frame's name, as the checklist of limbs gives it: the name of
  // the frame's mesh is its texture's or colour's.
  if (root_) root_->GetFrameName(limb, name);
}

void ObjectModel::GetLimbTextureRecord(int32_t limb, int32_t* texture) {
  if (root_) root_->QueryNodeTexture(limb, texture);
}

void ObjectModel::ScaleModelNormals(float factor) {
  if (root_) root_->ScaleVertexBufferNormals(factor);
}

void ObjectModel::SetLimbVisible(int32_t limb, uint32_t flag) {
  if (root_) root_->SetNodeVisible(limb, flag);
}

void ObjectModel::ListLimbsToChecklist(std::vector<models::FrameListEntry>& list) {
  if (root_) root_->ListFramesToChecklist(list);
}

void ObjectModel::GatherForFrame(models::FrameTextureList& list, double depth) {
  if (root_) root_->GatherTextureDepths(list, depth);
}

void ObjectModel::RenderModel(p::Device3D& device, int32_t texture_selector) {
  if (!root_) return;
  WorldKept kept(&device);
  root_->RenderNode(device, texture_selector);
}

void ObjectModel::RenderModelSecondPass(p::Device3D& device) {
  if (!root_) return;
  WorldKept kept(&device);
  root_->RenderNodeSecondPass(device);
}

void ObjectModel::RebuildModel() {
  if (root_) root_->RebuildMesh();
}

void ObjectModel::BuildModelCollision(int32_t object_index, int32_t kind, float a, float b, float c) {
  if (root_) root_->BuildNodeCollision(static_cast<uint32_t>(object_index), kind, a, b, c);
}

void ObjectModel::FreeModelCollision(int32_t object_index) {
  if (root_) root_->FreeNodeCollision(static_cast<uint32_t>(object_index));
}

void ObjectModel::BuildLimbCollision(int32_t object_index, int32_t limb, int32_t kind) {
  if (root_) root_->BuildNodeCollisionByNumber(static_cast<uint32_t>(object_index), limb, kind);
}

void ObjectModel::FreeLimbCollision(int32_t object_index, int32_t limb) {
  if (root_) root_->FreeNodeCollisionByNumber(static_cast<uint32_t>(object_index), limb);
}

void ObjectModel::UpdateModelCollision(int32_t object_index, const Matrix4& base) {
  if (root_) root_->UpdateNodeCollision(base, static_cast<uint32_t>(object_index));
}

std::vector<models::MeshBox> ObjectModel::GatherMeshBoxes(const Matrix4& base) {
  std::vector<models::MeshBox> boxes;
  if (root_) root_->GatherMeshBoxes(base, boxes);
  return boxes;
}

void ObjectModel::ScrollLimbTexture(int32_t limb, float du, float dv) {
  if (root_) root_->ScrollNodeTexture(limb, du, dv);
}

void ObjectModel::ScaleLimbTexture(int32_t limb, float su, float sv) {
  if (root_) root_->ScaleNodeTexture(limb, su, sv);
}

}  // namespace zv
