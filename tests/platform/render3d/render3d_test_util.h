#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/render3d/render3d.h"

namespace zv::platform::test3d {

// Matrices built as the engine builds them (row vectors, depth 0..1).
Matrix4 Perspective(float fov, float aspect, float near_z, float far_z);
Matrix4 LookAt(Vector3 eye, Vector3 target, Vector3 up);
Matrix4 Translation(float x, float y, float z);
Matrix4 Scaling(float x, float y, float z);
Matrix4 RotationY(float radians);
Matrix4 RotationX(float radians);

struct Mesh {
  std::vector<Vertex> vertices;
  std::vector<uint16_t> indices;
};
// A cube of side `size` around the origin, four vertices per face, faces
// wound clockwise seen from outside.
Mesh Cube(float size);
// A flat grid of `cells` x `cells` squares of `cell` size on y = 0, facing
// up, texture coordinates one per cell.
Mesh Grid(int cells, float cell);
// One quad from (x0, y0) to (x1, y1) on the plane z, facing -z (toward a
// camera looking along +z), texture coordinates 0..1.
Mesh Quad(float x0, float y0, float x1, float y1, float z);

// Screen-space drawing for the probes: identity transforms, so that a
// vertex given in pixels of a width x height viewport (and a depth 0..1)
// lands exactly there.
void UseScreenSpace(Device3D& device);
Mesh ScreenTriangle(int32_t width, int32_t height, float x0, float y0, float x1, float y1, float x2,
                    float y2, float z = 0.5f);
Mesh ScreenRect(int32_t width, int32_t height, float left, float top, float right, float bottom,
                float z = 0.5f);

// A target surface of the format with a depth buffer attached (16 or 32
// bits; 0 for none), cleared to black.
SurfacePtr MakeTarget(int32_t width, int32_t height, const PixelFormat& format, int depth_bits = 16);

// A device on a new target with a view looking along +z from the origin
// with a 90 degree field of view, near 1 and far 100, lighting that makes
// every face full white (ambient 0xFFFFFF, ambient material 1), solid fill,
// no culling, depth on, and a scene open.
struct Rig {
  Render3D render;
  SurfacePtr target;
  std::unique_ptr<Device3D> device;
};
std::unique_ptr<Rig> MakeRig(int32_t width, int32_t height,
                             const PixelFormat& format = PixelFormat::Xrgb8888(), int depth_bits = 16);

VertexBufferPtr MakeBuffer(Render3D& render, const std::vector<Vertex>& vertices);
// Draws the mesh with the current state.
Result DrawMesh(Device3D& device, Render3D& render, const Mesh& mesh);

// A texture of `format` whose texel (x, y) is colour(x, y) (0xAARRGGBB).
template <typename Fn>
TexturePtr MakeTexture(Render3D& render, int32_t width, int32_t height, const PixelFormat& format,
                       Fn colour, int32_t levels = 1);

// 0x00RRGGBB of a target pixel.
uint32_t PixelRgb(const Surface& surface, int32_t x, int32_t y);

// Full white material for the lighting tests: diffuse 1, ambient 0.
Material WhiteDiffuse();

}  // namespace zv::platform::test3d

#include "tests/platform/render3d/render3d_test_util_inl.h"
