// Vertex lighting as the fixed-function pipeline computes it, probed on a
// quad facing the eye (screen space, normal toward the viewer).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform {
namespace {

using test3d::Mesh;

constexpr int32_t kSize = 16;

// A small quad around the centre pixel at depth 0.5 (so that its lit
// corners lie close to the centre), with the normal given, lit by the light
// (index 0) alone, and the colour of the centre.
uint32_t LitColour(const Light& light, Vector3 normal = {0, 0, -1}, const Material& material = test3d::WhiteDiffuse(),
                   bool normalize = false, uint32_t ambient = 0) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetRenderState(RenderState::kAmbient, ambient);
  d.SetRenderState(RenderState::kNormalizeNormals, normalize ? 1 : 0);
  d.SetMaterial(material);
  d.SetLight(0, light);
  d.LightEnable(0, true);
  Mesh quad = test3d::ScreenRect(kSize, kSize, 7.5f, 7.5f, 8.5f, 8.5f);
  for (Vertex& v : quad.vertices) {
    v.nx = normal.x;
    v.ny = normal.y;
    v.nz = normal.z;
  }
  test3d::DrawMesh(d, rig->render, quad);
  return test3d::PixelRgb(*rig->target, kSize / 2, kSize / 2);
}

int Red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }

Light Directional(Vector3 direction) {
  Light l;
  l.type = LightType::kDirectional;
  l.diffuse = ColourValue{1, 1, 1, 0};
  l.direction = direction;
  return l;
}

// Screen space puts the quad at (x, y) in -1..1 and z 0.5.
Light Point(Vector3 position, float range) {
  Light l;
  l.type = LightType::kPoint;
  l.diffuse = ColourValue{1, 1, 1, 0};
  l.position = position;
  l.range = range;
  l.attenuation0 = 1;
  return l;
}

TEST(Lighting, GlobalAmbientTimesMaterialAmbient) {
  Material m;
  m.ambient = ColourValue{0.5f, 1.0f, 0.25f, 0};
  Light off = Directional({0, 0, 1});
  off.diffuse = ColourValue{};
  EXPECT_EQ(LitColour(off, {0, 0, -1}, m, false, 0x80C0FF), 0x40C040u);
}

TEST(Lighting, DirectionalLightIsBrightestHeadOnAndDarkFacingAway) {
  Light l = Directional({0, 0, 1});  // shining along +z, into the quad's face
  int head_on = Red(LitColour(l, {0, 0, -1}));
  int slanted = Red(LitColour(l, {0, std::sqrt(0.5f), -std::sqrt(0.5f)}));
  int away = Red(LitColour(l, {0, 0, 1}));
  EXPECT_EQ(head_on, 255);
  EXPECT_NEAR(slanted, 180, 1);
  EXPECT_EQ(away, 0);
}

TEST(Lighting, PointLightFadesWithTheThreeAttenuationFactorsAndStopsAtItsRange) {
  Light near = Point({0, 0, -1.5f}, 10);  // 2 units in front of the quad
  EXPECT_EQ(Red(LitColour(near)), 255);
  near.attenuation1 = 0.5f;  // 1 / (1 + 0.5 * 2) = 0.5
  EXPECT_NEAR(Red(LitColour(near)), 128, 1);
  near.attenuation1 = 0;
  near.attenuation2 = 0.75f;  // 1 / (1 + 0.75 * 4) = 0.25
  EXPECT_NEAR(Red(LitColour(near)), 64, 1);
  Light short_range = Point({0, 0, -1.5f}, 1.9f);
  EXPECT_EQ(Red(LitColour(short_range)), 0);
  Light behind = Point({0, 0, 2.5f}, 10);  // behind the face
  EXPECT_EQ(Red(LitColour(behind)), 0);
}

TEST(Lighting, SpotLightFullInsideItsInnerConeNoneOutsideItsOuterAndFallsOffBetween) {
  Light spot = Point({0, 0, -1.5f}, 10);
  spot.type = LightType::kSpot;
  spot.falloff = 1;
  spot.theta = 0.4f;
  spot.phi = 0.8f;
  auto at_angle = [&](float angle) {  // the spot turned away from the centre
    Light s = spot;
    s.direction = Vector3{std::sin(angle), 0, std::cos(angle)};
    return Red(LitColour(s));
  };
  EXPECT_EQ(at_angle(0.0f), 255);
  EXPECT_EQ(at_angle(0.15f), 255);  // inside the inner half-angle 0.2
  EXPECT_EQ(at_angle(0.45f), 0);    // outside the outer half-angle 0.4
  int between = at_angle(0.3f);
  EXPECT_GT(between, 60);
  EXPECT_LT(between, 200);
  spot.falloff = 4;
  spot.direction = Vector3{std::sin(0.3f), 0, std::cos(0.3f)};
  EXPECT_LT(Red(LitColour(spot)), between);
}

TEST(Lighting, AnyNumberOfLightsAddUpAndAreClampedAfterTheSum) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetRenderState(RenderState::kAmbient, 0);
  Material m = test3d::WhiteDiffuse();
  d.SetMaterial(m);
  Light dim = Directional({0, 0, 1});
  dim.diffuse = ColourValue{0.1f, 0.2f, -0.5f, 0};  // a negative light subtracts
  for (uint32_t i = 0; i < 12; ++i) {
    d.SetLight(i * 1000, dim);
    d.LightEnable(i * 1000, true);
  }
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 0, 0, kSize, kSize));
  // Red: 1.2, clamped; green 2.4 clamped; blue -6, clamped to 0.
  EXPECT_EQ(test3d::PixelRgb(*rig->target, 4, 4), 0xFFFF00u);
  d.LightEnable(0, false);
  for (uint32_t i = 1; i < 12; ++i) d.LightEnable(i * 1000, i < 3);
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 0, 0, kSize, kSize));
  EXPECT_NEAR(static_cast<int>(test3d::PixelRgb(*rig->target, 4, 4) >> 16), 51, 1);
}

TEST(Lighting, NormalizeNormalsUndoesScaledNormals) {
  Light l = Directional({0, 0, 1});
  Material half;
  half.diffuse = ColourValue{0.5f, 0.5f, 0.5f, 0};
  EXPECT_EQ(Red(LitColour(l, {0, 0, -2}, half, false)), 255);  // 2 x 0.5, not normalised
  EXPECT_NEAR(Red(LitColour(l, {0, 0, -2}, half, true)), 128, 1);
}

TEST(Lighting, WorldScaleCarriesNormalsByItsInverseTranspose) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetTransform(TransformState::kWorld, test3d::Scaling(2, 2, 2));
  d.SetRenderState(RenderState::kAmbient, 0);
  d.SetMaterial(test3d::WhiteDiffuse());
  d.SetLight(0, Directional({0, 0, 1}));
  d.LightEnable(0, true);
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 4, 4, 12, 12));
  EXPECT_NEAR(Red(test3d::PixelRgb(*rig->target, 8, 8)), 128, 1);  // normal shrunk to 0.5
  d.SetRenderState(RenderState::kNormalizeNormals, 1);
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 4, 4, 12, 12));
  EXPECT_EQ(Red(test3d::PixelRgb(*rig->target, 8, 8)), 255);
}

TEST(Lighting, GouraudShadingBlendsTheVertexColoursAcrossTheFace) {
  auto rig = test3d::MakeRig(64, 8);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetRenderState(RenderState::kAmbient, 0);
  d.SetMaterial(test3d::WhiteDiffuse());
  d.SetLight(0, Directional({0, 0, 1}));
  d.LightEnable(0, true);
  Mesh quad = test3d::ScreenRect(64, 8, 0, 0, 64, 8);
  quad.vertices[0].nz = quad.vertices[3].nz = 0;  // left side: unlit
  test3d::DrawMesh(d, rig->render, quad);
  int previous = -1;
  for (int32_t x = 0; x < 64; x += 8) {
    int r = Red(test3d::PixelRgb(*rig->target, x, 4));
    EXPECT_GT(r, previous);
    previous = r;
  }
  EXPECT_LT(Red(test3d::PixelRgb(*rig->target, 0, 4)), 8);
  EXPECT_GT(Red(test3d::PixelRgb(*rig->target, 63, 4)), 247);
}

// One device drawing the same quad again after each lighting input
// changes: every change shows in the next draw, none lingers.
TEST(Lighting, EachChangeBetweenDrawsShowsInTheNextDraw) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  Mesh quad = test3d::ScreenRect(kSize, kSize, 7.5f, 7.5f, 8.5f, 8.5f);
  for (Vertex& v : quad.vertices) v.nz = -2;  // twice too long
  auto draw = [&] {
    test3d::DrawMesh(d, rig->render, quad);
    return test3d::PixelRgb(*rig->target, kSize / 2, kSize / 2);
  };
  d.SetRenderState(RenderState::kAmbient, 0);
  d.SetMaterial(test3d::WhiteDiffuse());
  Light half = Directional({0, 0, 1});
  half.diffuse = ColourValue{0.25f, 0.25f, 0.25f, 0};
  d.SetLight(0, half);
  d.LightEnable(0, true);
  EXPECT_EQ(draw(), 0x808080u);  // 0.25 x 2 = 0.5
  d.SetRenderState(RenderState::kNormalizeNormals, 1);
  EXPECT_EQ(draw(), 0x404040u);
  d.LightEnable(1, true);  // the default light: white, along +z
  EXPECT_EQ(draw(), 0xFFFFFFu);
  d.LightEnable(1, false);
  half.diffuse = ColourValue{0, 0.5f, 0, 0};
  d.SetLight(0, half);
  EXPECT_EQ(draw(), 0x008000u);
  Material red = test3d::WhiteDiffuse();
  red.diffuse = ColourValue{1, 0, 0, 1};
  red.ambient = ColourValue{0, 0, 1, 1};
  d.SetMaterial(red);
  EXPECT_EQ(draw(), 0x000000u);
  d.SetRenderState(RenderState::kAmbient, 0xFFFFFF);
  EXPECT_EQ(draw(), 0x0000FFu);
}

}  // namespace
}  // namespace zv::platform
