#include "tests/platform/render3d/golden_scene.h"

#include <numbers>

#include "platform/render3d/matrix.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform::test3d {
namespace {

constexpr float kDegree = std::numbers::pi_v<float> / 180.0f;

uint32_t Checker(int level, int x, int y) {
  // Each mip level tinted so that mip selection shows in the picture.
  static const uint32_t tints[] = {0xFFE0E0E0, 0xFFE0C0C0, 0xFFC0E0C0, 0xFFC0C0E0,
                                   0xFFE0E0A0, 0xFFA0E0E0, 0xFFE0A0E0, 0xFFFFFFFF};
  bool dark = ((x >> (4 - std::min(level, 4))) ^ (y >> (4 - std::min(level, 4)))) & 1;
  return dark ? 0xFF404040u : tints[level & 7];
}

uint32_t Bricks(int, int x, int y) {
  int row = y / 8;
  int shift = (row & 1) * 8;
  bool mortar = (y % 8) == 0 || ((x + shift) % 16) == 0;
  return mortar ? 0xFFC8C8C0u : 0xFFA04828u + static_cast<uint32_t>(((x * 7 + y * 13) % 5) * 0x080402);
}

uint32_t Arrow(int, int x, int y) {
  bool stem = x >= 6 && x < 10 && y >= 6;
  bool head = y < 8 && std::abs(x - 8) <= y;
  return (stem || head) ? 0xFFF0D020u : 0xFF2040A0u;
}

uint32_t Holes(int, int x, int y) {
  int dx = (x & 15) - 8, dy = (y & 15) - 8;
  return dx * dx + dy * dy < 20 ? 0xFF000000u : 0xFF30C050u;  // black is keyed away
}

void Draw(Device3D& d, Render3D& r, const Mesh& mesh, const Matrix4& world) {
  d.SetTransform(TransformState::kWorld, world);
  DrawMesh(d, r, mesh);
}

Mesh WithUvScale(Mesh mesh, float scale) {
  for (Vertex& v : mesh.vertices) {
    v.u *= scale;
    v.v *= scale;
  }
  return mesh;
}

}  // namespace

SurfacePtr RenderGoldenScene(const PixelFormat& format, int32_t width, int32_t height) {
  Render3D render;
  SurfacePtr target = MakeTarget(width, height, format, 16);
  std::unique_ptr<Device3D> device = render.CreateDevice(DeviceKind::kHal, target);
  Device3D& d = *device;

  d.SetTransform(TransformState::kProjection, Perspective(1.0814433f, static_cast<float>(height) / width, 1.0f, 3000.0f));
  d.SetTransform(TransformState::kView, LookAt({0, 6, -11}, {0, 1, 2}, {0, 1, 0}));
  d.SetRenderState(RenderState::kAmbient, 0x505050);
  d.SetRenderState(RenderState::kNormalizeNormals, 1);
  d.SetRenderState(RenderState::kFogVertexMode, fog_mode::kLinear);
  d.SetRenderState(RenderState::kFogColor, 0x8098B0);
  d.SetRenderState(RenderState::kFogStart, Device3D::FloatBits(8.0f));
  d.SetRenderState(RenderState::kFogEnd, Device3D::FloatBits(42.0f));
  d.SetRenderState(RenderState::kFogEnable, 1);
  Material scene;
  scene.diffuse = ColourValue{0.6f, 0.6f, 0.6f, 0};
  scene.ambient = ColourValue{0.4f, 0.4f, 0.4f, 0};
  d.SetMaterial(scene);

  Light sun;
  sun.type = LightType::kDirectional;
  sun.diffuse = ColourValue{1, 1, 1, 0};
  sun.direction = Vector3{0.2f, -0.7f, 0.1f};
  sun.range = 3000;
  d.SetLight(0, sun);
  d.LightEnable(0, true);
  Light lamp;
  lamp.type = LightType::kPoint;
  lamp.diffuse = ColourValue{1.0f, 0.4f, 0.2f, 0};
  lamp.position = Vector3{-6, 2, -3};
  lamp.range = 9;
  lamp.attenuation0 = 1;
  lamp.attenuation2 = 1.0f / ((9.0f / 3) * (9.0f / 3));
  lamp.falloff = 1;
  d.SetLight(1, lamp);
  d.LightEnable(1, true);
  Light spot;
  spot.type = LightType::kSpot;
  spot.diffuse = ColourValue{0.3f, 0.5f, 1.0f, 0};
  spot.position = Vector3{1.5f, 8, -4.5f};
  spot.direction = Vector3{0, -1, 0};
  spot.range = 30;
  spot.attenuation0 = 1;
  spot.theta = 20 * kDegree;
  spot.phi = 40 * kDegree;
  spot.falloff = 1;
  d.SetLight(2, spot);
  d.LightEnable(2, true);

  TexturePtr ground = MakeTexture(render, 32, 32, PixelFormat::Rgb565(), Checker, 0);
  TexturePtr bricks = MakeTexture(render, 32, 32, Argb8888(), Bricks);
  TexturePtr arrow = MakeTexture(render, 16, 16, Argb4444(), Arrow);
  TexturePtr holes = MakeTexture(render, 32, 32, Argb1555(), Holes);
  holes->SetColorKey(ColorKey{0x8000, 0x8000});

  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF8098B0u, 1.0f);
  d.BeginScene();

  // Ground: mip-mapped, trilinear, wrapped; then its lines.
  d.SetTexture(0, ground);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMipFilter, mip_filter::kLinear);
  Draw(d, render, WithUvScale(Grid(32, 1.5f), 2.0f), Matrix4::Identity());
  d.SetTexture(0, nullptr);
  d.SetRenderState(RenderState::kFillMode, fill_mode::kWireframe);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kNone);
  Draw(d, render, Grid(16, 3.0f), Translation(0, 0.02f, 0));
  d.SetRenderState(RenderState::kFillMode, fill_mode::kSolid);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kCcw);
  d.SetTextureStageState(0, TextureStageState::kMipFilter, mip_filter::kNone);

  // Bilinear bricks.
  d.SetTexture(0, bricks);
  Draw(d, render, Cube(2.5f), Multiply(RotationY(30 * kDegree), Translation(-4, 1.25f, 0)));
  // Point-sampled, mirrored arrows.
  d.SetTexture(0, arrow);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kPoint);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kPoint);
  d.SetTextureStageState(0, TextureStageState::kAddress, texture_address::kMirror);
  Draw(d, render, WithUvScale(Cube(2.5f), 2.0f), Multiply(RotationY(-20 * kDegree), Translation(0, 1.25f, 4)));
  // Colour-keyed holes, clamped, seen from both sides.
  d.SetTexture(0, holes);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kAddress, texture_address::kClamp);
  d.SetRenderState(RenderState::kColorKeyEnable, 1);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kNone);
  Draw(d, render, Cube(2.5f), Multiply(RotationY(15 * kDegree), Translation(4.5f, 1.25f, 0)));
  d.SetRenderState(RenderState::kColorKeyEnable, 0);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kCcw);
  // An untextured cube blended additively, without writing depth.
  d.SetTexture(0, nullptr);
  d.SetTextureStageState(0, TextureStageState::kAddress, texture_address::kWrap);
  d.SetRenderState(RenderState::kAlphaBlendEnable, 1);
  d.SetRenderState(RenderState::kSrcBlend, blend::kOne);
  d.SetRenderState(RenderState::kDestBlend, blend::kOne);
  d.SetRenderState(RenderState::kZWriteEnable, 0);
  Material glow;
  glow.diffuse = ColourValue{0.15f, 0.25f, 0.6f, 0};
  glow.ambient = ColourValue{0.1f, 0.1f, 0.3f, 0};
  d.SetMaterial(glow);
  Draw(d, render, Cube(1.5f), Multiply(RotationX(35 * kDegree), Translation(0, 4, -2)));
  d.SetMaterial(scene);
  d.SetRenderState(RenderState::kAlphaBlendEnable, 0);
  d.SetRenderState(RenderState::kZWriteEnable, 1);
  // A far cube that the fog all but swallows.
  d.SetTexture(0, bricks);
  Draw(d, render, Cube(3.0f), Translation(-2, 1.5f, 22));

  d.EndScene();
  return target;
}

}  // namespace zv::platform::test3d
