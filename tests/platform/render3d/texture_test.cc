// Texturing: formats, modulation, filters, addressing, mip levels and the
// colour key, probed on screen-space quads.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/render3d/texel_format.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform {
namespace {

using test3d::Mesh;

// A quad from (left, top) to (right, bottom) on a size x size target whose
// texture coordinates run from (u0, v0) to (u1, v1), lit full white.
struct TexturedQuad {
  std::unique_ptr<test3d::Rig> rig;
  explicit TexturedQuad(int32_t size = 16) : rig(test3d::MakeRig(size, size)) {
    test3d::UseScreenSpace(*rig->device);
  }
  Device3D& device() { return *rig->device; }
  void Draw(float left, float top, float right, float bottom, float u0, float v0, float u1, float v1,
            float z = 0.5f) {
    int32_t size = rig->target->Width();
    Mesh quad = test3d::ScreenRect(size, size, left, top, right, bottom, z);
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
    for (int i = 0; i < 4; ++i) {
      quad.vertices[i].u = uv[i][0];
      quad.vertices[i].v = uv[i][1];
    }
    test3d::DrawMesh(*rig->device, rig->render, quad);
  }
  uint32_t At(int32_t x, int32_t y) const { return test3d::PixelRgb(*rig->target, x, y); }
};

uint32_t Quadrants(int, int x, int y) {  // 2x2: red, green / blue, white
  static const uint32_t c[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  return c[(y / 1) * 2 + (x / 1)];
}

TEST(Texturing, ModulatesTheGouraudColourAndNoTextureActsAsWhite) {
  TexturedQuad q;
  Device3D& d = q.device();
  d.SetRenderState(RenderState::kAmbient, 0x80FF40);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(8, 8), 0x80FF40u);
  TexturePtr t = test3d::MakeTexture(q.rig->render, 2, 2, Argb8888(), [](int, int, int) { return 0xFF8080FFu; });
  d.SetTexture(0, t);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(8, 8), 0x408040u);  // 0x80 x 0x80/255, 0x80 x 1, 0xFF x 0x40/255
}

TEST(Texturing, PointFilterTakesTheNearestTexelAndBilinearBlendsFour) {
  TexturedQuad q;
  Device3D& d = q.device();
  TexturePtr t = test3d::MakeTexture(q.rig->render, 2, 2, PixelFormat::Xrgb8888(), Quadrants);
  d.SetTexture(0, t);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(3, 3), 0xFF0000u);
  EXPECT_EQ(q.At(12, 3), 0x00FF00u);
  EXPECT_EQ(q.At(3, 12), 0x0000FFu);
  EXPECT_EQ(q.At(12, 12), 0xFFFFFFu);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  // Pixel 8's centre is u = 0.5: halfway between the texel centres.
  uint32_t mid = q.At(8, 8);
  EXPECT_NEAR(static_cast<int>(mid >> 16), 128, 2);
  EXPECT_NEAR(static_cast<int>((mid >> 8) & 0xFF), 128, 2);
  EXPECT_NEAR(static_cast<int>(mid & 0xFF), 128, 2);
  uint32_t top = q.At(8, 2);  // between red and green, wrapping in from below
  EXPECT_GT(top >> 16, 60u);
  EXPECT_GT((top >> 8) & 0xFF, 60u);
  // Anisotropic filtering reads as bilinear.
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kAnisotropic);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kAnisotropic);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(8, 8), mid);
}

TEST(Texturing, WrapMirrorAndClampAddressing) {
  // Texture coordinates 0..3 across: texel columns red | green, repeated.
  auto columns = [](int, int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF00FF00u; };
  struct Case {
    uint32_t mode;
    uint32_t expected[6];  // the colour over u = 0..3 in halves
  } cases[] = {
      {texture_address::kWrap, {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}},
      {texture_address::kMirror, {0xFF0000, 0x00FF00, 0x00FF00, 0xFF0000, 0xFF0000, 0x00FF00}},
      {texture_address::kClamp, {0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00}},
  };
  for (const Case& c : cases) {
    TexturedQuad q(48);
    Device3D& d = q.device();
    d.SetTexture(0, test3d::MakeTexture(q.rig->render, 2, 2, PixelFormat::Rgb565(), columns));
    d.SetTextureStageState(0, TextureStageState::kAddress, c.mode);
    q.Draw(0, 0, 48, 48, 0, 0, 3, 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(q.At(i * 8 + 4, 24), c.expected[i]) << c.mode << " " << i;
  }
}

TEST(Texturing, MipFilterNonePointAndLinearPickLevelsByFootprint) {
  // Level colours: 0 red, 1 green, 2 blue, 3 white; a 8x8 texture squeezed
  // onto 2x2 pixels is a footprint of 4 texels per pixel: level 2.
  auto by_level = [](int level, int, int) {
    static const uint32_t c[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    return c[level];
  };
  for (uint32_t mip : {mip_filter::kNone, mip_filter::kPoint, mip_filter::kLinear}) {
    TexturedQuad q(16);
    Device3D& d = q.device();
    d.SetTexture(0, test3d::MakeTexture(q.rig->render, 8, 8, Argb8888(), by_level, 0));
    d.SetTextureStageState(0, TextureStageState::kMipFilter, mip);
    q.Draw(0, 0, 2, 2, 0, 0, 1, 1);       // 4 texels per pixel
    q.Draw(4, 0, 10, 6, 0, 0, 1, 1);      // 1.33 texels per pixel
    q.Draw(0, 8, 16, 16, 0, 0, 1, 1);     // magnified
    uint32_t small = q.At(1, 1), middle = q.At(7, 3), big = q.At(8, 12);
    EXPECT_EQ(big, 0xFF0000u) << mip;
    if (mip == mip_filter::kNone) {
      EXPECT_EQ(small, 0xFF0000u);
      EXPECT_EQ(middle, 0xFF0000u);
    } else if (mip == mip_filter::kPoint) {
      EXPECT_EQ(small, 0x0000FFu);
      EXPECT_EQ(middle, 0xFF0000u);  // log2(1.33) = 0.41 rounds to level 0
    } else {
      EXPECT_EQ(small, 0x0000FFu);
      EXPECT_GT(middle >> 16, 100u);  // between red and green
      EXPECT_GT((middle >> 8) & 0xFF, 60u);
    }
  }
}

TEST(Texturing, ColourKeyRejectsKeyedTexelsOnlyWhileEnabled) {
  TexturedQuad q;
  Device3D& d = q.device();
  d.Clear({}, clear::kTarget, 0xFF123456u, 1.0f);
  auto half = [](int, int x, int) { return x < 1 ? 0xFF000000u : 0xFFFFFFFFu; };
  TexturePtr t = test3d::MakeTexture(q.rig->render, 2, 2, PixelFormat::Rgb565(), half);
  t->SetColorKey(ColorKey{0, 0});
  d.SetTexture(0, t);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(3, 8), 0u);  // key off: black drawn
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF123456u, 1.0f);
  d.SetRenderState(RenderState::kColorKeyEnable, 1);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(3, 8), 0x123456u);  // rejected: the clear colour shows
  EXPECT_EQ(q.At(12, 8), 0xFFFFFFu);
  // Bilinear: keyed texels give way where they weigh more than half.
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF123456u, 1.0f);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1);
  EXPECT_EQ(q.At(5, 8), 0x123456u);
  EXPECT_NE(q.At(10, 8), 0x123456u);
  // A rejected pixel writes no depth either: a farther quad still shows
  // there, and only there.
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF123456u, 1.0f);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1, 0.3f);
  d.SetTexture(0, nullptr);
  d.SetRenderState(RenderState::kAmbient, 0x00FF00);
  q.Draw(0, 0, 16, 16, 0, 0, 1, 1, 0.6f);
  EXPECT_EQ(q.At(3, 8), 0x00FF00u);
  EXPECT_NE(q.At(14, 8), 0x00FF00u);  // drawn (darkened by the keyed neighbour)
}

TEST(Texturing, EveryTextureFormatSamplesItsColoursAndAlpha) {
  struct Case {
    PixelFormat format;
    uint32_t argb;
    uint32_t expected;
  } cases[] = {
      {PixelFormat::Rgb565(), 0xFFFF8000, 0xFF8200},  // green widened from 6 bits
      {PixelFormat::Rgb555(), 0xFF0080FF, 0x0084FF},
      {Argb1555(), 0x80FF0000, 0xFF0000},
      {Argb4444(), 0xF0F0A050, 0xFFAA55},
      {PixelFormat::Xrgb8888(), 0xFF123456, 0x123456},
      {Argb8888(), 0x7F123456, 0x123456},
  };
  for (const Case& c : cases) {
    TexturedQuad q(8);
    TexturePtr t = test3d::MakeTexture(q.rig->render, 4, 4, c.format, [&](int, int, int) { return c.argb; });
    ASSERT_NE(t, nullptr);
    q.device().SetTexture(0, t);
    q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
    EXPECT_EQ(q.At(4, 4), c.expected) << c.format.bits << " " << std::hex << c.format.red_mask;
    EXPECT_EQ(UnpackArgb(c.format, PackArgb(c.format, c.argb)) >> 31, c.argb >> 31);
  }
  // 8 bits through the palette.
  TexturedQuad q(8);
  TexturePtr t = q.rig->render.CreateTexture(TextureDesc{4, 4, PixelFormat::Indexed8(), 1});
  auto palette = std::make_shared<Palette>();
  palette->SetEntry(7, PaletteEntry{10, 200, 30, 0});
  t->SetPalette(palette);
  const BltFx fill{7};
  t->Blt(0, nullptr, nullptr, nullptr, kBltColorFill, &fill);
  q.device().SetTexture(0, t);
  q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
  EXPECT_EQ(q.At(4, 4), 0x0AC81Eu);
}

TEST(Texturing, TexturesArePowersOfTwoUpTo1024WithMipChains) {
  Render3D render;
  EXPECT_EQ(render.CreateTexture(TextureDesc{100, 64, PixelFormat::Rgb565(), 1}), nullptr);
  EXPECT_EQ(render.CreateTexture(TextureDesc{2048, 64, PixelFormat::Rgb565(), 1}), nullptr);
  EXPECT_EQ(render.CreateTexture(TextureDesc{8, 8, PixelFormat::Rgb888(), 1}), nullptr);
  TexturePtr full = render.CreateTexture(TextureDesc{1024, 4, PixelFormat::Rgb565(), 0});
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->LevelCount(), 11);
  EXPECT_EQ(full->Level(10).Width(), 1);
  EXPECT_EQ(full->Level(10).Height(), 1);
  EXPECT_EQ(render.CreateTexture(TextureDesc{4, 4, PixelFormat::Rgb565(), 4}), nullptr);
}

TEST(Texturing, BlitsIntoTexturesConvertWithAlphaAndDeviceSeesTheChange) {
  TexturedQuad q(8);
  TexturePtr t = q.rig->render.CreateTexture(TextureDesc{4, 4, Argb4444(), 1});
  SurfaceDesc desc{4, 4, PixelFormat::Rgb565()};
  SurfacePtr src = Surface::Create(desc);
  const BltFx red{0xF800};
  src->Blt(nullptr, nullptr, nullptr, kBltColorFill, &red);
  ASSERT_EQ(t->Blt(0, nullptr, src.get(), nullptr, 0), 0);
  EXPECT_EQ(t->Level(0).PixelAt(1, 1), 0xFF00u);  // opaque red
  q.device().SetTexture(0, t);
  q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
  EXPECT_EQ(q.At(4, 4), 0xFF0000u);
  // A change through a lock is seen by the next draw.
  LockedRegion region;
  ASSERT_EQ(t->Lock(0, nullptr, 0, &region), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) reinterpret_cast<uint16_t*>(region.bits + y * region.pitch)[x] = 0xF00F;
  t->Unlock(0);
  q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
  EXPECT_EQ(q.At(4, 4), 0x0000FFu);
}

TEST(Texturing, PerspectiveCorrectCoordinatesFollowTheSurfaceNotTheScreen) {
  // A floor in perspective with a texture of two halves along v: the
  // boundary at v = 0.5 lies halfway along the floor (z = 6), well above
  // the screen middle of the floor where an affine mapping would put it.
  auto rig = test3d::MakeRig(64, 64);
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kZEnable, zbuffer::kFalse);
  auto halves = [](int, int, int y) { return y < 1 ? 0xFFFF0000u : 0xFF0000FFu; };
  d.SetTexture(0, test3d::MakeTexture(rig->render, 2, 2, Argb8888(), halves));
  test3d::Mesh floor;
  floor.vertices = {{-2, -1, 2, 0, 1, 0, 0, 1}, {2, -1, 2, 0, 1, 0, 1, 1},
                    {2, -1, 10, 0, 1, 0, 1, 0}, {-2, -1, 10, 0, 1, 0, 0, 0}};
  floor.indices = {0, 3, 2, 0, 2, 1};
  test3d::DrawMesh(d, rig->render, floor);
  // Screen y = 32 + 32 / z: the floor spans 35.2 (z = 10) to 48 (z = 2),
  // v = 0.5 (z = 6) lies at 37.3; affine would put it at 41.6.
  auto colour_at = [&](int y) { return test3d::PixelRgb(*rig->target, 32, y); };
  EXPECT_EQ(colour_at(36), 0xFF0000u);
  EXPECT_EQ(colour_at(39), 0x0000FFu);
  EXPECT_EQ(colour_at(41), 0x0000FFu);
}

}  // namespace
}  // namespace zv::platform

namespace zv::platform {
namespace {

// The bilinear, wrapping, single-level case has a path of its own; inside
// the texture (where wrapping and mirroring read the same texels) it must
// give the bits the general path gives.
TEST(Texturing, TheFastBilinearPathAgreesWithTheGeneralOne) {
  auto noise = [](int, int x, int y) {
    uint32_t h = static_cast<uint32_t>(x * 73856093) ^ static_cast<uint32_t>(y * 19349663);
    return 0xFF000000u | (h * 2654435761u >> 8);
  };
  // Wrapped and mirrored take the fast path; a colour key that no texel
  // matches sends the same draw down the general one.
  std::vector<uint32_t> pictures[3];
  for (int pass = 0; pass < 3; ++pass) {
    auto rig = test3d::MakeRig(48, 48);
    Device3D& d = *rig->device;
    d.SetRenderState(RenderState::kZEnable, zbuffer::kFalse);
    TexturePtr texture = test3d::MakeTexture(rig->render, 16, 16, Argb8888(), noise);
    if (pass == 2) {
      texture->SetColorKey(ColorKey{0x00123457, 0x00123457});
      d.SetRenderState(RenderState::kColorKeyEnable, 1);
    }
    d.SetTexture(0, texture);
    d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
    d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
    d.SetTextureStageState(0, TextureStageState::kAddress,
                           pass == 1 ? texture_address::kMirror : texture_address::kWrap);
    test3d::Mesh slanted;  // in perspective, texture coordinates 0.1..0.9
    slanted.vertices = {{-3, 2, 4, 0, 0, -1, 0.1f, 0.1f}, {3, 2, 9, 0, 0, -1, 0.9f, 0.1f},
                        {3, -2, 9, 0, 0, -1, 0.9f, 0.9f}, {-3, -2, 4, 0, 0, -1, 0.1f, 0.9f}};
    slanted.indices = {0, 1, 2, 0, 2, 3};
    test3d::DrawMesh(d, rig->render, slanted);
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 48; ++x) pictures[pass].push_back(test3d::PixelRgb(*rig->target, x, y));
  }
  EXPECT_EQ(pictures[0], pictures[1]);
  EXPECT_EQ(pictures[0], pictures[2]);
  int drawn = 0;
  for (uint32_t p : pictures[0]) drawn += p != 0;
  EXPECT_GT(drawn, 300);
}

// A texture of one colour is drawn without sampling: its colour shows at
// every filter, keyed away it shows nothing, and once a texel differs the
// texture is sampled again.
TEST(Texturing, APlainColourTextureDrawsItsColourUntilATexelChanges) {
  TexturedQuad q(8);
  Device3D& d = q.device();
  auto plain = [](int, int, int) { return 0xFF20C040u; };
  TexturePtr t = test3d::MakeTexture(q.rig->render, 4, 4, Argb8888(), plain, 0);
  d.SetTexture(0, t);
  d.SetTextureStageState(0, TextureStageState::kMipFilter, mip_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
  q.Draw(0, 0, 8, 8, -3, 0.3f, 5, 1.7f);  // minified, across the wraps
  EXPECT_EQ(q.At(1, 1), 0x20C040u);
  EXPECT_EQ(q.At(6, 5), 0x20C040u);
  t->SetColorKey(ColorKey{0xFF20C040u, 0xFF20C040u});
  d.SetRenderState(RenderState::kColorKeyEnable, 1);
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF123456u, 1.0f);
  q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
  EXPECT_EQ(q.At(4, 4), 0x123456u);
  LockedRegion region;
  ASSERT_EQ(t->Lock(0, nullptr, 0, &region), 0);
  reinterpret_cast<uint32_t*>(region.bits)[0] = 0xFFFF0000u;
  t->Unlock(0);
  d.SetRenderState(RenderState::kColorKeyEnable, 0);
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF123456u, 1.0f);
  q.Draw(0, 0, 8, 8, 0, 0, 1, 1);
  EXPECT_EQ(q.At(0, 0), 0xFF0000u);
  EXPECT_EQ(q.At(7, 7), 0x20C040u);
}

}  // namespace
}  // namespace zv::platform
