#include "engine3d/scene/camera_view.h"

#include "engine3d/engine.h"
#include "engine3d/scene/rotation.h"

namespace zv {
namespace {

void SetView(Engine3D& e) {
  if (platform::Device3D* d = e.Device()) d->SetTransform(platform::TransformState::kView, e.camera.view);
}

// The rotation of the camera's angles (negated unless `forward`), composed
// in the camera's rotation order.
Matrix4 BuildCameraRotation(const CameraState& c, bool forward) {
  const float s = forward ? 1.0f : -1.0f;
  Matrix4 x, y, z;
  MatrixRotationX(x, s * c.angles.x);
  MatrixRotationY(y, s * c.angles.y);
  MatrixRotationZ(z, s * c.angles.z);
  return c.rotation_order == 0 ? x * y * z : z * y * x;
}

Matrix4 Translation(const Vector3f& v) {
  Matrix4 t;
  MatrixTranslation(t, v.x, v.y, v.z);
  return t;
}

}  // namespace

void UpdateCameraLookAt(Engine3D& e) {
  CameraState& c = e.camera;
  BuildLookAtMatrix(c.view, c.position, c.look_at, Vector3f{0, 1, 0});
  SetView(e);
  c.matrix = Matrix4::Identity();
}

void UpdateCameraFromAngles(Engine3D& e) {
  CameraState& c = e.camera;
  c.view = Translation(Vector3f{-c.position.x, -c.position.y, -c.position.z}) * BuildCameraRotation(c, false);
  SetView(e);
  c.matrix = Matrix4::Identity();
}

void UpdateCameraAngles(Engine3D& e) {
  CameraState& c = e.camera;
  const Vector3f degrees = MatrixToEulerAngles(c.matrix);
  c.angles = Vector3f{degrees.x * kDegreesToRadians, degrees.y * kDegreesToRadians, degrees.z * kDegreesToRadians};
  c.view = Translation(Vector3f{-c.position.x, -c.position.y, -c.position.z}) * c.matrix;
  SetView(e);
}

Matrix4 ViewRotation(const CameraState& c) {
  Matrix4 r = c.view;
  r.m[3][0] = r.m[3][1] = r.m[3][2] = 0.0f;
  return r;
}

void UpdateCameraForMode(Engine3D& e) {
  switch (e.camera.mode) {
    case kCameraAngles: return UpdateCameraFromAngles(e);
    case kCameraFree: return UpdateCameraAngles(e);
    default: return UpdateCameraLookAt(e);
  }
}

}  // namespace zv
