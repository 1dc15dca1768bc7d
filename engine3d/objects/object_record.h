#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine3d/objects/matrix_math.h"
#include "platform/render3d/texture.h"

namespace zv {

class ObjectModel;

// One limb of an object: limb 0 is the object's root frame, the others are
// the model's further frames or limbs added from meshes.
struct LimbRecord {
  int32_t in_use = 0;
  int32_t shown = 0;
  int32_t image_number = 0;  // the image a program textured it with
  int32_t image_index = 0;   // that image's record
  Vector3f offset;
  Vector3f angles;           // degrees
  Vector3f scale;
  int32_t may_link = 0;      // 1: the link command may move it under another limb once
  int32_t grid_mesh = 0;     // mesh record of a matrix or backdrop grid; 0 = none
  int32_t extra = 0;         // read by a limb query, never written
  Vector3f world_position;   // recomputed on demand
  Vector3f world_angles;     // radians
};

// The limbs of an object, shared by the instances made from it.
using LimbArray = std::vector<LimbRecord>;

// Rotation orders of objects.
constexpr int32_t kRotateZyx = 0;  // about z first, then y, then x
constexpr int32_t kRotateXyz = 1;  // about x first, then y, then z

// A 3D object: its placement, model, limbs, animation, bounds and collision
// state. The matrix terrain, the backdrop and the static scene keep their
// objects in the same records. A record is cleared when it is allocated.
struct ObjectRecord {
  int32_t in_use = 0;
  int32_t is_static = 0;          // its geometry moved into the static scene
  int32_t render_record = 0;      // its record in the display's sprite pool
  int32_t number = 0;
  Vector3f angles;                // degrees
  Vector3f scale;
  int32_t rotation_order = kRotateZyx;
  int32_t free_rotation = 0;      // 1: `free_matrix` holds the orientation
  Matrix4 free_matrix;
  int32_t glued_to = 0;           // object index; never culled while glued
  int32_t glued_limb = 0;
  int32_t collision_on = 0;
  int32_t previous_hit = 0;
  // Shared with the instances made from this object; the last user frees it.
  std::shared_ptr<ObjectModel> model;
  int32_t limb_count = 0;
  // Animation.
  float frame_count = 0;
  int32_t playing = 0, looping = 0;
  float current_frame = 0, speed = 0, start_frame = 0, end_frame = 0;
  int32_t transition_active = 0;
  float transition_step = 0;
  std::vector<float> source_rotations, target_rotations;        // 4 per limb
  std::vector<float> source_scales, target_scales;              // 3 per limb
  std::vector<float> source_translations, target_translations;  // 3 per limb
  float transition_target = 0, transition_progress = 0;
  int32_t animated = 0;           // on the animated-object list
  std::vector<Matrix4> pose;      // its last pose, kept while it shares its model
  uint8_t pose_stale = 0;         // its frame was set since it was last posed
  // Bounds.
  int32_t collision_kind = 0;
  Vector3f collision_sizes;       // the sizes the kind was built with
  // The bounding sphere and the size follow its pose: measured when asked
  // for, after its limbs changed or it was posed.
  float bound_radius = 0;         // whole units, + 1
  Vector3f bound_centre;
  Vector3f size;
  uint8_t bounds_stale = 0;       // its limbs changed or it was posed since they were measured
  float cull_radius = 0;          // whole units from the origin, + 1
  // Collision.
  uint8_t collision_mode = 0;     // 0: collision library, 1: own box
  int32_t box_collision = 0;
  Vector3f box_min, box_max, box_centre;
  uint8_t own_box = 0;
  uint8_t box_replaces_shapes = 0;  // a collision box made for it gave up its library shapes
  int32_t last_hit = 0, wanted_partner = 0;
  uint8_t partner_hit = 0;
  // Shared with the instances made from this object; grows by doubling.
  std::shared_ptr<LimbArray> limbs;
  // Matrix terrain and backdrop grids.
  float grid_width = 0, grid_depth = 0;
  int32_t tiles_x = 0, tiles_z = 0;
  int32_t texture_tiles = 0, texture_tiles_x = 0, texture_tiles_z = 0;
  uint64_t limb_data_frame = 0;   // the render its limbs' world data was worked out in

  int32_t LimbCapacity() const { return limbs ? static_cast<int32_t>(limbs->size()) : 0; }
  LimbRecord* Limb(int32_t limb) {
    return limbs && limb >= 0 && limb < LimbCapacity() ? &(*limbs)[static_cast<size_t>(limb)] : nullptr;
  }
};

// Geometry made by the mesh commands, the primitive makers and the
// conversions: positions and normals (3 floats each), u, v per vertex, and
// per face its corner count followed by a vertex index and a normal index
// per corner.
struct MeshRecord {
  int32_t in_use = 0;
  int32_t vertex_count = 0;
  int32_t normal_count = 0;
  int32_t face_count = 0;
  int32_t face_data_count = 0;
  std::vector<float> vertices;
  std::vector<float> normals;
  std::vector<uint32_t> face_data;
  std::vector<float> tex_coords;
};

// A texture the device samples, and where it came from.
struct TextureRecord {
  platform::TexturePtr surface;
  int32_t source_image = 0;
  int32_t source_width = 0, source_height = 0;
  int32_t texture_width = 0, texture_height = 0;
  uint8_t compressed = 0;
  int32_t mipmapped = 0;
  // Shared through the texture cache: the key it is found by (empty for a
  // texture made from an image, which no lookup finds) and its users.
  bool cached = false;
  std::string cache_key;
  int32_t references = 0;
};

}  // namespace zv
