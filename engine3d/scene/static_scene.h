#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine3d/objects/matrix_math.h"
#include "engine3d/scene/static_boxes.h"
#include "platform/render3d/types.h"
#include "platform/render3d/vertex_buffer.h"

namespace zv {

// Where a polygon stood on the screen as an occluder in the last frame.
struct StaticOccluder {
  uint8_t on = 0;
  float min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  float depth = 0;
};

// One piece of static geometry: a triangle list in world space with its
// bounding sphere and what the per-frame culling needs. A polygon owned by
// an object follows the ownerless polygon that contains it; every other
// polygon is culled by its own sphere.
struct StaticPolygon {
  std::vector<platform::Vertex> vertices;
  std::vector<uint16_t> indices;
  int32_t owner = 0;                  // object record index; 0 = none
  Vector3f centre;                    // mean of the positions
  float radius = 0;                   // 1.25 x the farthest position
  float height_extent = 0;
  uint8_t visible = 0;
  uint8_t has_occluder_box = 0;
  uint8_t height_extent_in_use = 0;
  uint8_t geometry_dropped = 0;       // only occludes
  uint8_t full_height = 0;            // occludes the screen's whole height
  std::array<Vector3f, 8> occluder_box{};  // corners relative to the centre
  StaticOccluder occluder;
  const StaticPolygon* container = nullptr;
};

// The polygons of one texture (0: untextured), drawn together.
struct StaticGroup {
  int32_t texture = 0;
  std::vector<std::unique_ptr<StaticPolygon>> polygons;
};

// The static scene: geometry that never moves, grouped by texture and
// drawn in batches through one vertex buffer, and the collision boxes.
struct StaticScene {
  static constexpr uint32_t kFirstCapacity = 4000;

  std::vector<StaticGroup> groups;
  // The polygons of the groups that belong to an object, by its record
  // index: an object that goes finds its own without walking the scene.
  std::unordered_map<int32_t, std::vector<StaticPolygon*>> owned;
  StaticBoxes boxes;
  uint32_t occlusion_on = 1;  // the screen-space occlusion pass

  // The shared vertex buffer and the batch being filled.
  platform::VertexBufferPtr vertex_buffer;
  uint32_t capacity = 0;
  std::vector<uint16_t> batch_indices;

  bool HasGroups() const { return !groups.empty(); }
};

// A mesh record's arrays as the static scene takes them: positions,
// normals and u, v per vertex; faces as a corner count followed by (vertex,
// normal) pairs.
struct StaticMeshData {
  std::span<const float> positions, normals, tex_coords;
  std::span<const uint32_t> face_data;
  uint32_t face_count = 0;
};

// How an added piece takes part: an occluder (with `second` as well it
// only occludes and is not drawn), the height extent (second without
// occluder), and a full-height occluder.
struct StaticPieceMode {
  bool occluder = false;
  bool second = false;
  bool full_height = false;
  int32_t owner = 0;
};

// The polygon of a mesh, faces triangulated as fans; null when the mesh
// has no vertices, more than 16-bit indices reach, or a face names a vertex
// it does not have.
std::unique_ptr<StaticPolygon> MakeStaticPolygon(const StaticMeshData& mesh, const StaticPieceMode& mode);
// Adds the polygon to the group of its texture (a new group at the end
// when there is none; `*made_group` tells), first finding the ownerless
// polygon that contains an owned one.
void AddStaticPolygon(StaticScene& scene, int32_t texture, std::unique_ptr<StaticPolygon> polygon,
                      bool* made_group);
// Removes every polygon the object owns.
void RemoveStaticGeometryOf(StaticScene& scene, int32_t owner);
void AddStaticBox(StaticScene& scene, const Vector3f& a, const Vector3f& b);

// 1 when the box from new_min to new_max meets a collision box; `push`
// (zeroed first) then holds how far the box went in, along the face the
// previous box was nearest to (later boxes overwrite what earlier ones
// set on the same axis).
int32_t StaticBoxCollision(const StaticScene& scene, const Vector3f& previous_min, const Vector3f& previous_max,
                           const Vector3f& new_min, const Vector3f& new_max, Vector3f* push);
// 1 when a cube of half-size `radius` moved from start towards end in steps
// of `step` (1 when not above 0) touches a collision box; `*stop` is where
// it stops (the start when nothing is touched).
int32_t StaticLineCollision(const StaticScene& scene, const Vector3f& start, const Vector3f& end, float radius,
                            float step, Vector3f* stop);

}  // namespace zv
