#pragma once

#include <cstdint>
#include <vector>

#include "platform/render3d/types.h"

namespace zv::bench3d {

// The benchmark scene: 1000 pentagonal bipyramids (10 triangles each,
// 10,000 in all) scattered in front of the camera, each with its own world
// matrix, lit by a directional and a point light and textured with one
// 256x256 texture, bilinear, depth-tested, at 640x480.
constexpr int kWidth = 640, kHeight = 480;
constexpr int kObjects = 1000;
constexpr int kTextureSize = 256;

struct Scene {
  std::vector<platform::Vertex> vertices;   // one bipyramid
  std::vector<uint16_t> indices;            // 30: ten triangles
  std::vector<platform::Matrix4> worlds;    // one per object
  platform::Matrix4 view, projection;
  std::vector<uint32_t> texels;             // 0xAARRGGBB, kTextureSize squared
};

Scene MakeScene();

}  // namespace zv::bench3d
