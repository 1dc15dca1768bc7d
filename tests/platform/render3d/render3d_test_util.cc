#include "tests/platform/render3d/render3d_test_util.h"

#include <cmath>

#include "platform/surface/convert.h"

namespace zv::platform::test3d {

Matrix4 Perspective(float fov, float aspect, float near_z, float far_z) {
  float s = std::sin(fov / 2), c = std::cos(fov / 2);
  float w = c / s, q = far_z / (far_z - near_z);
  Matrix4 m;
  m.m[0][0] = aspect * w;
  m.m[1][1] = w;
  m.m[2][2] = q;
  m.m[2][3] = 1.0f;
  m.m[3][2] = -q * near_z;
  return m;
}

Matrix4 LookAt(Vector3 eye, Vector3 target, Vector3 up) {
  auto sub = [](Vector3 a, Vector3 b) { return Vector3{a.x - b.x, a.y - b.y, a.z - b.z}; };
  auto dot = [](Vector3 a, Vector3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
  auto norm = [&](Vector3 a) {
    float l = std::sqrt(dot(a, a));
    return Vector3{a.x / l, a.y / l, a.z / l};
  };
  auto cross = [](Vector3 a, Vector3 b) {
    return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  Vector3 view = norm(sub(target, eye));
  float d = dot(up, view);
  Vector3 u = norm(Vector3{up.x - d * view.x, up.y - d * view.y, up.z - d * view.z});
  Vector3 right = cross(u, view);
  Matrix4 m = Matrix4::Identity();
  const Vector3 cols[3] = {right, u, view};
  for (int j = 0; j < 3; ++j) {
    m.m[0][j] = j == 0 ? right.x : (j == 1 ? u.x : view.x);
    m.m[1][j] = j == 0 ? right.y : (j == 1 ? u.y : view.y);
    m.m[2][j] = j == 0 ? right.z : (j == 1 ? u.z : view.z);
    m.m[3][j] = -dot(eye, cols[j]);
  }
  return m;
}

Matrix4 Translation(float x, float y, float z) {
  Matrix4 m = Matrix4::Identity();
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

Matrix4 Scaling(float x, float y, float z) {
  Matrix4 m = Matrix4::Identity();
  m.m[0][0] = x;
  m.m[1][1] = y;
  m.m[2][2] = z;
  return m;
}

Matrix4 RotationY(float a) {
  Matrix4 m = Matrix4::Identity();
  m.m[0][0] = std::cos(a);
  m.m[0][2] = -std::sin(a);
  m.m[2][0] = std::sin(a);
  m.m[2][2] = std::cos(a);
  return m;
}

Matrix4 RotationX(float a) {
  Matrix4 m = Matrix4::Identity();
  m.m[1][1] = std::cos(a);
  m.m[1][2] = std::sin(a);
  m.m[2][1] = -std::sin(a);
  m.m[2][2] = std::cos(a);
  return m;
}

namespace {

// Appends a quad of corners p0..p3 (clockwise as seen from where `n`
// points) as two triangles.
void AddQuad(Mesh& mesh, const Vector3 p[4], Vector3 n, const float uv[4][2]) {
  uint16_t base = static_cast<uint16_t>(mesh.vertices.size());
  for (int i = 0; i < 4; ++i)
    mesh.vertices.push_back(Vertex{p[i].x, p[i].y, p[i].z, n.x, n.y, n.z, uv[i][0], uv[i][1]});
  for (uint16_t i : {0, 1, 2, 0, 2, 3}) mesh.indices.push_back(static_cast<uint16_t>(base + i));
}

}  // namespace

Mesh Cube(float size) {
  float h = size / 2;
  Mesh mesh;
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  struct Face {
    Vector3 n, right, up;
  };
  // Seen from outside along -n, corners run top-left, top-right,
  // bottom-right, bottom-left: clockwise on the screen.
  const Face faces[6] = {
      {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},
      {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
      {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}},
  };
  for (const Face& f : faces) {
    Vector3 c{f.n.x * h, f.n.y * h, f.n.z * h};
    auto corner = [&](float r, float u) {
      return Vector3{c.x + (f.right.x * r + f.up.x * u) * h, c.y + (f.right.y * r + f.up.y * u) * h,
                     c.z + (f.right.z * r + f.up.z * u) * h};
    };
    const Vector3 p[4] = {corner(-1, 1), corner(1, 1), corner(1, -1), corner(-1, -1)};
    AddQuad(mesh, p, f.n, uv);
  }
  return mesh;
}

Mesh Grid(int cells, float cell) {
  Mesh mesh;
  float half = cells * cell / 2;
  for (int z = 0; z < cells; ++z) {
    for (int x = 0; x < cells; ++x) {
      float x0 = x * cell - half, z0 = z * cell - half;
      // Seen from above (looking down -y) with +z up the screen.
      const Vector3 p[4] = {{x0, 0, z0 + cell}, {x0 + cell, 0, z0 + cell}, {x0 + cell, 0, z0}, {x0, 0, z0}};
      const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      AddQuad(mesh, p, Vector3{0, 1, 0}, uv);
    }
  }
  return mesh;
}

Mesh Quad(float x0, float y0, float x1, float y1, float z) {
  Mesh mesh;
  const Vector3 p[4] = {{x0, y1, z}, {x1, y1, z}, {x1, y0, z}, {x0, y0, z}};
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  AddQuad(mesh, p, Vector3{0, 0, -1}, uv);
  return mesh;
}

void UseScreenSpace(Device3D& device) {
  device.SetTransform(TransformState::kWorld, Matrix4::Identity());
  device.SetTransform(TransformState::kView, Matrix4::Identity());
  device.SetTransform(TransformState::kProjection, Matrix4::Identity());
}

namespace {

Vertex ScreenVertexAt(int32_t width, int32_t height, float x, float y, float z, float u, float v) {
  return Vertex{x / (width / 2.0f) - 1.0f, 1.0f - y / (height / 2.0f), z, 0, 0, -1, u, v};
}

}  // namespace

Mesh ScreenTriangle(int32_t width, int32_t height, float x0, float y0, float x1, float y1, float x2,
                    float y2, float z) {
  Mesh mesh;
  mesh.vertices = {ScreenVertexAt(width, height, x0, y0, z, 0, 0), ScreenVertexAt(width, height, x1, y1, z, 1, 0),
                   ScreenVertexAt(width, height, x2, y2, z, 0, 1)};
  mesh.indices = {0, 1, 2};
  return mesh;
}

Mesh ScreenRect(int32_t width, int32_t height, float left, float top, float right, float bottom, float z) {
  Mesh mesh;
  mesh.vertices = {ScreenVertexAt(width, height, left, top, z, 0, 0),
                   ScreenVertexAt(width, height, right, top, z, 1, 0),
                   ScreenVertexAt(width, height, right, bottom, z, 1, 1),
                   ScreenVertexAt(width, height, left, bottom, z, 0, 1)};
  mesh.indices = {0, 1, 2, 0, 2, 3};
  return mesh;
}

SurfacePtr MakeTarget(int32_t width, int32_t height, const PixelFormat& format, int depth_bits) {
  SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = format;
  desc.role = SurfaceRole::kBackBuffer;
  SurfacePtr target = Surface::Create(desc);
  if (depth_bits) {
    SurfaceDesc z = desc;
    z.format = PixelFormat::Depth16();
    z.format.bits = depth_bits;
    z.role = SurfaceRole::kZBuffer;
    target->AttachZBuffer(Surface::Create(z));
  }
  return target;
}

std::unique_ptr<Rig> MakeRig(int32_t width, int32_t height, const PixelFormat& format, int depth_bits) {
  auto rig = std::make_unique<Rig>();
  rig->target = MakeTarget(width, height, format, depth_bits);
  rig->device = rig->render.CreateDevice(DeviceKind::kHal, rig->target);
  Device3D& d = *rig->device;
  d.SetTransform(TransformState::kProjection,
                 Perspective(1.5707964f, static_cast<float>(height) / width, 1.0f, 100.0f));
  d.SetRenderState(RenderState::kAmbient, 0xFFFFFF);
  Material m;
  m.ambient = ColourValue{1, 1, 1, 1};
  d.SetMaterial(m);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kNone);
  if (depth_bits) d.Clear({}, clear::kZBuffer, 0, 1.0f);
  d.BeginScene();
  return rig;
}

VertexBufferPtr MakeBuffer(Render3D& render, const std::vector<Vertex>& vertices) {
  VertexBufferPtr vb =
      render.CreateVertexBuffer(VertexBufferDesc{0, kVertexFormatXyzNormalTex1, static_cast<uint32_t>(vertices.size())});
  std::span<Vertex> out;
  vb->Lock(kLockWriteOnly, &out);
  std::copy(vertices.begin(), vertices.end(), out.begin());
  vb->Unlock();
  return vb;
}

Result DrawMesh(Device3D& device, Render3D& render, const Mesh& mesh) {
  VertexBufferPtr vb = MakeBuffer(render, mesh.vertices);
  return device.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, *vb, 0,
                                       static_cast<uint32_t>(mesh.vertices.size()), mesh.indices);
}

uint32_t PixelRgb(const Surface& surface, int32_t x, int32_t y) {
  return PixelValueToRgb(surface, surface.PixelAt(x, y));
}

Material WhiteDiffuse() {
  Material m;
  m.diffuse = ColourValue{1, 1, 1, 1};
  return m;
}

}  // namespace zv::platform::test3d
