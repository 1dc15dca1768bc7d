// The device's state: what is set is what is read back, what it does not
// carry is refused, and scenes and buffers follow their rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/render3d/device_result.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform {
namespace {

using test3d::MakeRig;

Matrix4 Awkward(float seed) {
  Matrix4 m;
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = seed / (i + 3) - 1e-7f * i;
  m.m[1][2] = std::numeric_limits<float>::denorm_min();
  m.m[2][1] = -0.0f;
  return m;
}

TEST(Device3DState, TransformsReadBackBitForBitAsAMatrixStack) {
  auto rig = MakeRig(32, 32);
  Device3D& d = *rig->device;
  // The engine pushes WORLD, draws, and puts the saved one back.
  for (TransformState s : {TransformState::kWorld, TransformState::kView, TransformState::kProjection}) {
    Matrix4 first = Awkward(1.7f), second = Awkward(-3.1f), out;
    ASSERT_EQ(d.SetTransform(s, first), result::kOk);
    ASSERT_EQ(d.GetTransform(s, &out), result::kOk);
    EXPECT_EQ(std::memcmp(&out, &first, sizeof out), 0);
    Matrix4 saved = out;
    d.SetTransform(s, second);
    d.SetTransform(s, saved);
    d.GetTransform(s, &out);
    EXPECT_EQ(std::memcmp(&out, &first, sizeof out), 0);
  }
}

TEST(Device3DState, ViewportKeepsItsDepthRangeAndRefusesWhatLeavesTheTarget) {
  auto rig = MakeRig(64, 48);
  Device3D& d = *rig->device;
  Viewport v;
  ASSERT_EQ(d.GetViewport(&v), result::kOk);
  EXPECT_EQ(v, (Viewport{0, 0, 64, 48, 0.0f, 1.0f}));
  Viewport locked{8, 4, 32, 20, 0.0f, 0.0f};
  ASSERT_EQ(d.SetViewport(locked), result::kOk);
  d.GetViewport(&v);
  EXPECT_EQ(v, locked);
  EXPECT_NE(d.SetViewport(Viewport{40, 0, 32, 10, 0, 1}), result::kOk);
  EXPECT_NE(d.SetViewport(Viewport{0, 0, 64, 48, 0, 1.5f}), result::kOk);
  EXPECT_NE(d.SetViewport(Viewport{0, 0, 0, 48, 0, 1}), result::kOk);
  d.GetViewport(&v);
  EXPECT_EQ(v, locked);
}

TEST(Device3DState, UnsupportedStatesAndValuesAreRefusedAndTheOldValueKept) {
  auto rig = MakeRig(16, 16);
  Device3D& d = *rig->device;
  uint32_t value = 0;
  ASSERT_EQ(d.SetRenderState(RenderState::kSrcBlend, blend::kDestColor), result::kOk);
  EXPECT_NE(d.SetRenderState(RenderState::kSrcBlend, 7), result::kOk);  // destination alpha
  d.GetRenderState(RenderState::kSrcBlend, &value);
  EXPECT_EQ(value, blend::kDestColor);
  EXPECT_NE(d.SetRenderState(RenderState::kZEnable, zbuffer::kUseW), result::kOk);  // no W-buffer
  EXPECT_NE(d.SetRenderState(RenderState::kCullMode, 2), result::kOk);              // clockwise
  EXPECT_NE(d.SetRenderState(RenderState::kFogTableMode, fog_mode::kLinear), result::kOk);
  EXPECT_NE(d.SetRenderState(RenderState::kFogVertexMode, 1), result::kOk);  // exponential
  EXPECT_NE(d.SetTextureStageState(1, TextureStageState::kAddress, texture_address::kWrap), result::kOk);
  EXPECT_NE(d.SetTextureStageState(0, TextureStageState::kColorOp, 2), result::kOk);
  EXPECT_EQ(d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kAnisotropic), result::kOk);
  ASSERT_EQ(d.SetRenderState(RenderState::kFogEnd, Device3D::FloatBits(250.0f)), result::kOk);
  d.GetRenderState(RenderState::kFogEnd, &value);
  EXPECT_EQ(value, Device3D::FloatBits(250.0f));
}

TEST(Device3DState, LightsAndMaterialsReadBackAndEnablingAnUnsetIndexMakesTheDefaultLight) {
  auto rig = MakeRig(16, 16);
  Device3D& d = *rig->device;
  Light light;
  EXPECT_EQ(d.GetLight(70000, &light), result::kLightNotSet);
  ASSERT_EQ(d.LightEnable(70000, true), result::kOk);
  ASSERT_EQ(d.GetLight(70000, &light), result::kOk);
  EXPECT_EQ(light.type, LightType::kDirectional);
  EXPECT_EQ(light.diffuse, (ColourValue{1, 1, 1, 0}));
  EXPECT_EQ(light.direction, (Vector3{0, 0, 1}));

  Light spot;
  spot.type = LightType::kSpot;
  spot.theta = 0.3f;
  spot.phi = 0.2f;  // an inner cone wider than the outer one
  EXPECT_NE(d.SetLight(3, spot), result::kOk);
  spot.phi = 0.6f;
  spot.range = 3000;
  spot.attenuation2 = 1.0f / 1000000.0f;
  ASSERT_EQ(d.SetLight(3, spot), result::kOk);
  Light back;
  d.GetLight(3, &back);
  EXPECT_EQ(back, spot);
  bool on = true;
  d.GetLightEnable(3, &on);
  EXPECT_FALSE(on);

  Material m;
  m.diffuse = ColourValue{0.5f, 0.25f, 1, 0};
  m.ambient = ColourValue{0.5f, 0.5f, 0.5f, 0};
  ASSERT_EQ(d.SetMaterial(m), result::kOk);
  Material out;
  d.GetMaterial(&out);
  EXPECT_EQ(out, m);
  m.diffuse.r = std::nanf("");
  EXPECT_NE(d.SetMaterial(m), result::kOk);
}

TEST(Device3DState, ScenesNestNeitherWayAndDrawingNeedsOne) {
  auto rig = MakeRig(16, 16);  // the rig opens a scene
  Device3D& d = *rig->device;
  EXPECT_EQ(d.BeginScene(), result::kSceneInScene);
  ASSERT_EQ(d.EndScene(), result::kOk);
  EXPECT_EQ(d.EndScene(), result::kSceneNotInScene);
  test3d::Mesh quad = test3d::ScreenRect(16, 16, 0, 0, 16, 16);
  EXPECT_EQ(test3d::DrawMesh(d, rig->render, quad), result::kSceneNotInScene);
  rig->target->MarkLost();
  EXPECT_EQ(d.BeginScene(), result::kSurfaceLost);
  rig->target->Restore();
  LockedRegion region;
  rig->target->Lock(nullptr, 0, &region);
  EXPECT_EQ(d.BeginScene(), result::kSurfaceBusy);
  rig->target->Unlock();
  EXPECT_EQ(d.BeginScene(), result::kOk);
}

TEST(Device3DState, VertexBuffersLockUnlockAndOptimiseOnce) {
  Render3D render;
  EXPECT_EQ(render.CreateVertexBuffer(VertexBufferDesc{0, 0x102, 4}), nullptr);
  EXPECT_EQ(render.CreateVertexBuffer(VertexBufferDesc{0, kVertexFormatXyzNormalTex1, 0}), nullptr);
  VertexBufferPtr vb = render.CreateVertexBuffer(
      VertexBufferDesc{vb_caps::kSystemMemory | vb_caps::kWriteOnly, kVertexFormatXyzNormalTex1, 3});
  ASSERT_NE(vb, nullptr);
  EXPECT_EQ(vb->Desc().caps, vb_caps::kSystemMemory | vb_caps::kWriteOnly);
  std::span<Vertex> v;
  ASSERT_EQ(vb->Lock(kLockWriteOnly, &v), result::kOk);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[2].u, 0.0f);  // zeroed
  v[1].x = 5;
  std::span<Vertex> again;
  EXPECT_EQ(vb->Lock(0, &again), result::kVertexBufferLocked);
  EXPECT_EQ(vb->Optimize(), result::kVertexBufferLocked);
  vb->Unlock();
  EXPECT_EQ(vb->Vertices()[1].x, 5.0f);
  EXPECT_EQ(vb->Optimize(), result::kOk);
  EXPECT_EQ(vb->Lock(0, &again), result::kVertexBufferOptimized);
}

TEST(Device3DState, DrawingFromALockedBufferOrOfAnotherPrimitiveFailsAndBadIndicesAreSkipped) {
  auto rig = MakeRig(16, 16);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  test3d::Mesh quad = test3d::ScreenRect(16, 16, 0, 0, 16, 16);
  VertexBufferPtr vb = test3d::MakeBuffer(rig->render, quad.vertices);
  std::span<Vertex> v;
  vb->Lock(0, &v);
  EXPECT_EQ(d.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, *vb, 0, 4, quad.indices),
            result::kVertexBufferLocked);
  vb->Unlock();
  EXPECT_EQ(d.DrawIndexedPrimitiveVB(static_cast<PrimitiveType>(5), *vb, 0, 4, quad.indices),
            result::kInvalidPrimitiveType);
  EXPECT_NE(d.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, *vb, 2, 4, quad.indices), result::kOk);
  // Indices reach past the vertices given: those triangles are skipped.
  const uint16_t indices[] = {0, 1, 2, 0, 2, 9, 65535, 1, 2};
  EXPECT_EQ(d.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, *vb, 0, 4, indices), result::kOk);
  EXPECT_EQ(d.GetStats().triangles_drawn, 1u);
}

TEST(Device3DState, DeviceTakes16To32BitTargetsWithAMatchingDepthBuffer) {
  Render3D render;
  EXPECT_NE(render.CreateDevice(DeviceKind::kHal, test3d::MakeTarget(8, 8, PixelFormat::Rgb565())), nullptr);
  EXPECT_NE(render.CreateDevice(DeviceKind::kRgb, test3d::MakeTarget(8, 8, PixelFormat::Rgb555(), 32)), nullptr);
  EXPECT_NE(render.CreateDevice(DeviceKind::kHal, test3d::MakeTarget(8, 8, PixelFormat::Rgb888())), nullptr);
  EXPECT_EQ(render.CreateDevice(DeviceKind::kHal, test3d::MakeTarget(8, 8, PixelFormat::Indexed8())), nullptr);
  SurfacePtr target = test3d::MakeTarget(8, 8, PixelFormat::Xrgb8888(), 0);
  SurfaceDesc small{4, 4, PixelFormat::Depth16(), SurfaceRole::kZBuffer};
  target->AttachZBuffer(Surface::Create(small));
  EXPECT_EQ(render.CreateDevice(DeviceKind::kHal, target), nullptr);
}

TEST(Device3DState, CapabilityProfileAdvertisesWhatTheRasterizerDoes) {
  DeviceCaps caps = SoftwareDeviceCaps(DeviceKind::kHal);
  for (uint32_t f : {blend::kZero, blend::kOne, blend::kSrcColor, blend::kInvSrcColor, blend::kSrcAlpha,
                     blend::kInvSrcAlpha, blend::kDestColor, blend::kInvDestColor}) {
    EXPECT_TRUE(caps.triangle.src_blend & BlendCap(f));
    EXPECT_TRUE(caps.triangle.dest_blend & BlendCap(f));
  }
  EXPECT_FALSE(caps.triangle.src_blend & BlendCap(7));
  EXPECT_TRUE(caps.triangle.raster & raster_caps::kFogVertex);
  EXPECT_FALSE(caps.triangle.raster & (raster_caps::kFogTable | raster_caps::kWBuffer));
  EXPECT_TRUE(caps.triangle.texture & texture_caps::kTransparency);
  EXPECT_TRUE(caps.triangle.texture & texture_caps::kPow2);
  EXPECT_FALSE(caps.triangle.texture_filter & (filter_caps::kMinAnisotropic | filter_caps::kMagAnisotropic));
  EXPECT_EQ(caps.triangle.texture_address, address_caps::kWrap | address_caps::kMirror | address_caps::kClamp);
  EXPECT_EQ(caps.max_texture_width, 1024);
  EXPECT_TRUE(caps.dev & dev_caps::kHwRasterization);
  EXPECT_FALSE(SoftwareDeviceCaps(DeviceKind::kRgb).dev & dev_caps::kHwRasterization);
  EXPECT_EQ(caps.render_bit_depth, bit_depth::k16 | bit_depth::k24 | bit_depth::k32);
  for (const PixelFormat& f : TextureFormats()) EXPECT_TRUE(IsTextureFormat(f));
}

}  // namespace
}  // namespace zv::platform
