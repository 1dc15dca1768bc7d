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

// The scene of textured_sphere.kqa as the engine draws it, for a peer to
// draw the same: a sphere of radius 1 with 100 segments around and 50 from
// pole to pole (10,000 triangles), its 256 x 256 checker texture, the
// default camera 2.2 units before it (field of view 1.0814433 radians, near
// 1, far 3000) and the default light (white, along 0.2, -0.7, 0.1) with
// half ambient and half diffuse material.
constexpr int kSphereRings = 50, kSphereSegments = 100;

struct SphereScene {
  std::vector<platform::Vertex> vertices;
  std::vector<uint16_t> indices;            // 30,000: ten thousand triangles
  platform::Matrix4 view, projection;
  std::vector<uint32_t> texels;             // 0xAARRGGBB, kTextureSize squared
  platform::Vector3 light_direction{0.2f, -0.7f, 0.1f};
  float ambient_level = 0.5f;
};

SphereScene MakeSphereScene();
// The sphere turned `degrees` about y, as the program turns it.
platform::Matrix4 SphereWorld(float degrees);

}  // namespace zv::bench3d
