#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine3d/objects/matrix_math.h"

namespace zv {

// Camera modes: which of the camera's values holds its orientation.
enum CameraMode : int32_t { kCameraLookAt = 0, kCameraAngles = 1, kCameraFree = 2 };

// The projection a run starts with and the camera-locked pass always uses.
constexpr float kDefaultNear = 1.0f;
constexpr float kDefaultFar = 3000.0f;
constexpr float kDefaultFov = 3.1415927f / 2.905f;

// The one camera.
struct CameraState {
  Vector3f position;
  Vector3f look_at{0, 0, 100};
  Vector3f angles;  // radians
  Matrix4 matrix = Matrix4::Identity();  // the free rotation of mode 2
  int32_t mode = kCameraLookAt;
  uint8_t rotation_order = 1;  // 0: Rx Ry Rz, 1: Rz Ry Rx
  uint8_t auto_camera = 1;     // making an object places the camera to view it
  float near_range = kDefaultNear, far_range = kDefaultFar, fov = kDefaultFov;
  Matrix4 view = Matrix4::Identity();  // the last VIEW transform set
  Vector3f follow_last_good;
};

// Scene-wide render settings, kept here and sent to the device at once.
struct RenderSettings {
  uint32_t fog_on = 0;
  float fog_end = 1000.0f;
  uint32_t fog_colour = 0;
  double ambient_level = 0.5;
  uint32_t ambient_colour = 0xFFFFFF;
  int32_t mipmap_mode = 2;
  uint32_t normalize_normals = 1;
  uint32_t wireframe_all = 0;
  uint32_t texture_address_mode = 1;  // 1 wrap, 2 mirror, 3 clamp
  Matrix4 projection = Matrix4::Identity();
  Matrix4 world = Matrix4::Identity();     // WORLD between objects
  Matrix4 identity = Matrix4::Identity();  // VIEW of camera-locked drawing
};

// Materials the render selects per object.
enum MaterialSelection : uint32_t { kSceneMaterial = 1, kAmbientOnlyMaterial = 2, kDiffuseOnlyMaterial = 3 };

// What was last sent to the device of each state the objects change, so
// that only changes are sent. The values are those the device set-up
// leaves.
struct RenderStateCache {
  uint32_t depth_test = 1, depth_write = 1;
  uint32_t blend_state = 0;  // 1 blending, 2 colour key, 3 both
  uint32_t ghost_mode1 = 0;
  uint32_t wireframe = 0;
  uint32_t culling = 1;
  uint32_t filtering = 1;
  uint32_t material = kSceneMaterial;
  uint32_t fog = 0;
  uint32_t normalise = 1;
  uint32_t texture_address = 1;
};

// The marks of a 3D object's render record that the display's sprite
// record does not carry, kept beside it by record index.
struct RenderMarks {
  uint32_t culled = 0;
  uint32_t depth_test = 1, depth_write = 1;
  uint32_t depth_sorted = 0;
  uint32_t colour_key = 0;
  uint32_t ghost = 0;
  int16_t ghost_mode = 0;
  uint32_t wireframe = 0, culling = 1, filtering = 1, unlit = 0, fog = 1, ambient = 1;
  uint32_t camera_locked = 0;
  // Set by each render: drawn with the objects locked to the camera (locked
  // itself, or hanging from one that is), and how far before the camera.
  uint32_t before_camera = 0;
  float camera_depth = 0;
  uint32_t pass_mark = 0;
  uint32_t address_mode = 1;
  uint32_t drawn = 0;
  double distance = 0;
  // Its place in the render list: records made later stand after it.
  uint64_t list_place = 0;
};

// The backdrop: an object fixed in front of the camera, drawn first.
struct BackdropState {
  int32_t object = 0;
  int32_t render_record = -1;
  int32_t texture = 0;
  uint8_t shown = 0, pending = 0, colour_texture = 0;
  // What the program asked the backdrop to show before it came up: it comes
  // up showing that (an image number 0: the colour).
  uint32_t first_colour = 128;
  int32_t first_image = 0;
};

}  // namespace zv
