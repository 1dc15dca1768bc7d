#include "bench/render3d/bench_scene.h"

#include <cmath>

namespace zv::bench3d {
namespace {

using platform::Matrix4;
using platform::Vertex;

// A fixed pseudo-random sequence, so that both renderers see one scene.
struct Random {
  uint32_t state = 12345;
  float Next() {  // 0..1
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  }
};

Matrix4 Place(float x, float y, float z, float yaw, float pitch, float scale) {
  float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
  // Rotation about x, then about y, then scale and move.
  Matrix4 m;
  m.m[0][0] = cy * scale;
  m.m[0][2] = -sy * scale;
  m.m[1][0] = sp * sy * scale;
  m.m[1][1] = cp * scale;
  m.m[1][2] = sp * cy * scale;
  m.m[2][0] = cp * sy * scale;
  m.m[2][1] = -sp * scale;
  m.m[2][2] = cp * cy * scale;
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  m.m[3][3] = 1;
  return m;
}

// A projection with the device's depth range 0..1: `scale` is the cotangent
// of half the vertical field of view, the aspect 3:4.
Matrix4 Projection(float scale, float near, float far) {
  const float q = far / (far - near);
  Matrix4 m{};
  m.m[0][0] = 0.75f * scale;
  m.m[1][1] = scale;
  m.m[2][2] = q;
  m.m[2][3] = 1;
  m.m[3][2] = -q * near;
  return m;
}

}  // namespace

Scene MakeScene() {
  Scene s;
  // The bipyramid: a pentagon ring at y = 0, apexes at y = +-1.2; smooth
  // normals; u around, v down.
  const float pi = 3.14159265f;
  s.vertices.push_back(Vertex{0, 1.2f, 0, 0, 1, 0, 0.5f, 0});
  for (int i = 0; i < 5; ++i) {
    float a = 2 * pi * i / 5;
    s.vertices.push_back(Vertex{std::cos(a), 0, std::sin(a), std::cos(a), 0, std::sin(a), i / 5.0f * 2, 0.5f});
  }
  s.vertices.push_back(Vertex{0, -1.2f, 0, 0, -1, 0, 0.5f, 1});
  for (int i = 0; i < 5; ++i) {
    uint16_t a = static_cast<uint16_t>(1 + i), b = static_cast<uint16_t>(1 + (i + 1) % 5);
    // Clockwise seen from outside (the ring runs counter-clockwise seen
    // from above).
    s.indices.insert(s.indices.end(), {0, b, a});
    s.indices.insert(s.indices.end(), {6, a, b});
  }
  Random r;
  for (int i = 0; i < kObjects; ++i) {
    float z = 6 + r.Next() * 40;
    float x = (r.Next() * 2 - 1) * z * 0.8f;
    float y = (r.Next() * 2 - 1) * z * 0.6f;
    s.worlds.push_back(Place(x, y, z, r.Next() * 6.28f, r.Next() * 6.28f, 0.9f + r.Next() * 1.4f));
  }
  s.view = Matrix4::Identity();
  s.projection = Projection(1.0f, 1, 100);  // 90 degrees up and down
  s.texels.resize(kTextureSize * kTextureSize);
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x) {
      bool check = ((x >> 5) ^ (y >> 5)) & 1;
      uint32_t shade = static_cast<uint32_t>(128 + 100 * std::sin(x * 0.2f) * std::cos(y * 0.15f));
      s.texels[y * kTextureSize + x] = 0xFF000000u | (check ? shade << 16 | 0x3060 : 0x40 << 16 | shade << 8 | 0xC0);
    }
  return s;
}

SphereScene MakeSphereScene() {
  SphereScene s;
  constexpr float kDegree = 3.14159265f / 180.0f;
  for (int i = 0; i <= kSphereRings; ++i) {
    const float polar = static_cast<float>(i) * 180.0f / kSphereRings * kDegree;
    for (int j = 0; j <= kSphereSegments; ++j) {
      const float around = static_cast<float>(j) * 360.0f / kSphereSegments * kDegree;
      const float x = std::sin(polar) * std::cos(around), y = std::cos(polar), z = std::sin(polar) * std::sin(around);
      s.vertices.push_back(Vertex{x, y, z, x, y, z, static_cast<float>(j) / kSphereSegments,
                                  static_cast<float>(i) / kSphereRings});
    }
  }
  for (int i = 0; i < kSphereRings; ++i)
    for (int j = 0; j < kSphereSegments; ++j) {
      const auto a = static_cast<uint16_t>(i * (kSphereSegments + 1) + j), b = static_cast<uint16_t>(a + 1),
                 c = static_cast<uint16_t>(a + kSphereSegments + 1), d = static_cast<uint16_t>(c + 1);
      s.indices.insert(s.indices.end(), {a, b, c, b, d, c});
    }
  s.view = Matrix4::Identity();
  s.view.m[3][2] = 2.2f;
  const float fov = 1.0814433f;
  s.projection = Projection(std::cos(fov / 2) / std::sin(fov / 2), 1, 3000);
  s.texels.resize(kTextureSize * kTextureSize);
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x) {
      const int cx = x % 32, cy = y % 32;
      const bool cross = (cx >= 14 && cx < 18 && cy >= 4 && cy < 28) || (cy >= 14 && cy < 18 && cx >= 4 && cx < 28);
      const bool even = ((x / 32 + y / 32) & 1) == 0;
      s.texels[y * kTextureSize + x] = cross ? 0xFFFAFAFAu : even ? 0xFFE67828u : 0xFF285AC8u;
    }
  return s;
}

Matrix4 SphereWorld(float degrees) {
  const float a = degrees * 0.017453292f, c = std::cos(a), s = std::sin(a);
  Matrix4 m = Matrix4::Identity();
  m.m[0][0] = c;
  m.m[0][2] = -s;
  m.m[2][0] = s;
  m.m[2][2] = c;
  return m;
}

}  // namespace zv::bench3d
