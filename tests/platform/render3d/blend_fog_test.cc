// Blend factors on a known destination, and linear vertex fog.
#include <gtest/gtest.h>

#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform {
namespace {

constexpr int32_t kSize = 8;

// Source colour 0x4080C0 with texture alpha 0x40 over the destination
// 0x80FF20, blended with the pair given.
uint32_t Blended(uint32_t src_factor, uint32_t dest_factor) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.Clear({}, clear::kTarget, 0xFF80FF20u, 1.0f);
  d.SetTexture(0, test3d::MakeTexture(rig->render, 1, 1, Argb8888(), [](int, int, int) { return 0x404080C0u; }));
  d.SetRenderState(RenderState::kAlphaBlendEnable, 1);
  d.SetRenderState(RenderState::kSrcBlend, src_factor);
  d.SetRenderState(RenderState::kDestBlend, dest_factor);
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 0, 0, kSize, kSize));
  return test3d::PixelRgb(*rig->target, 4, 4);
}

// (a x b + 127) / 255 per channel.
uint32_t Mul(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }
uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) {
  return std::min(r, 255u) << 16 | std::min(g, 255u) << 8 | std::min(b, 255u);
}

TEST(Blending, EachPairTheEngineUsesOnAKnownDestination) {
  const uint32_t s[3] = {0x40, 0x80, 0xC0}, dst[3] = {0x80, 0xFF, 0x20}, sa = 0x40;
  auto expect = [&](uint32_t sf, uint32_t df, auto src_weight, auto dst_weight) {
    uint32_t out[3];
    for (int i = 0; i < 3; ++i) {
      uint32_t sum = s[i] * src_weight(i) + dst[i] * dst_weight(i);
      out[i] = (sum + 127) / 255;
    }
    EXPECT_EQ(Blended(sf, df), Pack(out[0], out[1], out[2])) << sf << "/" << df;
  };
  auto zero = [](int) { return 0u; };
  auto one = [](int) { return 255u; };
  auto src_colour = [&](int i) { return s[i]; };
  auto inv_src_colour = [&](int i) { return 255 - s[i]; };
  auto src_alpha = [&](int) { return sa; };
  auto inv_src_alpha = [&](int) { return 255 - sa; };
  auto dst_colour = [&](int i) { return dst[i]; };
  auto inv_dst_colour = [&](int i) { return 255 - dst[i]; };
  // The ghost pairs of the engine's blend table, then the plain pair.
  expect(blend::kOne, blend::kInvSrcColor, one, inv_src_colour);
  expect(blend::kInvDestColor, blend::kOne, inv_dst_colour, one);
  expect(blend::kOne, blend::kOne, one, one);
  expect(blend::kDestColor, blend::kOne, dst_colour, one);
  expect(blend::kDestColor, blend::kSrcColor, dst_colour, src_colour);
  expect(blend::kDestColor, blend::kZero, dst_colour, zero);
  expect(blend::kZero, blend::kSrcColor, zero, src_colour);
  expect(blend::kInvDestColor, blend::kInvSrcColor, inv_dst_colour, inv_src_colour);
  expect(blend::kZero, blend::kInvSrcColor, zero, inv_src_colour);
  expect(blend::kSrcAlpha, blend::kInvSrcAlpha, src_alpha, inv_src_alpha);
  expect(blend::kOne, blend::kZero, one, zero);
  (void)Mul;
}

TEST(Blending, WithoutBlendingTheSourceReplacesTheDestination) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.Clear({}, clear::kTarget, 0xFF80FF20u, 1.0f);
  d.SetRenderState(RenderState::kSrcBlend, blend::kZero);  // ignored while blending is off
  d.SetRenderState(RenderState::kAmbient, 0x102030);
  test3d::DrawMesh(d, rig->render, test3d::ScreenRect(kSize, kSize, 0, 0, kSize, kSize));
  EXPECT_EQ(test3d::PixelRgb(*rig->target, 4, 4), 0x102030u);
}

// A wall facing the eye at view depth `z`, white, with linear fog from 10
// to 50 in a blue fog colour.
uint32_t FoggedAt(float z, bool fog_on = true) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kFogVertexMode, fog_mode::kLinear);
  d.SetRenderState(RenderState::kFogColor, 0x2040FF);
  d.SetRenderState(RenderState::kFogStart, Device3D::FloatBits(10.0f));
  d.SetRenderState(RenderState::kFogEnd, Device3D::FloatBits(50.0f));
  d.SetRenderState(RenderState::kFogEnable, fog_on ? 1 : 0);
  test3d::DrawMesh(d, rig->render, test3d::Quad(-z, -z, z, z, z));
  return test3d::PixelRgb(*rig->target, 4, 4);
}

TEST(Fog, LinearVertexFogReachesItsColourAtTheFogEnd) {
  EXPECT_EQ(FoggedAt(5), 0xFFFFFFu);    // before the start: untouched
  EXPECT_EQ(FoggedAt(50), 0x2040FFu);   // at the end: the fog colour
  EXPECT_EQ(FoggedAt(90), 0x2040FFu);   // beyond: the fog colour
  uint32_t half = FoggedAt(30);         // halfway
  EXPECT_NEAR(static_cast<int>(half >> 16), (255 + 0x20) / 2, 1);
  EXPECT_NEAR(static_cast<int>((half >> 8) & 0xFF), (255 + 0x40) / 2, 1);
  EXPECT_EQ(half & 0xFF, 0xFFu);
  EXPECT_EQ(FoggedAt(50, false), 0xFFFFFFu);
}

TEST(Fog, FogAppliesAfterTheTextureModulation) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kFogVertexMode, fog_mode::kLinear);
  d.SetRenderState(RenderState::kFogColor, 0xFFFFFF);
  d.SetRenderState(RenderState::kFogStart, Device3D::FloatBits(0.0f));
  d.SetRenderState(RenderState::kFogEnd, Device3D::FloatBits(40.0f));
  d.SetRenderState(RenderState::kFogEnable, 1);
  d.SetTexture(0, test3d::MakeTexture(rig->render, 1, 1, Argb8888(), [](int, int, int) { return 0xFF000000u; }));
  test3d::DrawMesh(d, rig->render, test3d::Quad(-30, -30, 30, 30, 30));  // fog factor 0.25
  EXPECT_NEAR(static_cast<int>(test3d::PixelRgb(*rig->target, 4, 4) & 0xFF), 191, 1);
}

}  // namespace
}  // namespace zv::platform
