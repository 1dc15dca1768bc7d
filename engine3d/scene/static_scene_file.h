#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine3d/scene/static_scene.h"

namespace zv {

// A static scene file (little-endian, byte-packed, no header):
// - per group the byte 1, its texture record number (u32) and its polygons,
//   each as the byte 1 and the polygon; the byte 0 ends the group; the byte
//   0 ends the groups;
// - a polygon: vertex count V (u32), V vertices of 8 floats (position,
//   normal, u, v), index count I (u32), I indices (u16), centre, radius and
//   height extent (5 floats), the five flag bytes (visible, occluder box,
//   height extent in use, geometry dropped, full height), the occluder
//   box's 8 corners (24 floats), the frame's occluder state (its flag byte
//   and 3 padding bytes, then min x, min y, max x, max y, depth);
// - per collision box the byte 1 and its 6 floats; the byte 0 ends the
//   boxes and the file.
std::vector<uint8_t> EncodeStaticScene(const StaticScene& scene);

// What a file holds: the groups (each with the texture number the file
// gives) and the collision boxes.
struct StaticSceneFile {
  std::vector<StaticGroup> groups;
  std::vector<StaticBox> boxes;
};

// Nothing for a file that ends before its end bytes, whose counts reach
// past its end, or whose triangles name vertices the polygon does not
// have. A polygon that only occludes comes without geometry.
std::optional<StaticSceneFile> DecodeStaticScene(std::span<const uint8_t> file);

}  // namespace zv
