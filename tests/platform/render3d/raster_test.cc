// Coverage, depth, culling, clipping and fill mode of the rasterizer,
// probed on small targets in screen space.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/render3d/device_result.h"
#include "tests/platform/render3d/render3d_test_util.h"

namespace zv::platform {
namespace {

using test3d::DrawMesh;
using test3d::Mesh;
using test3d::PixelRgb;
using test3d::ScreenRect;
using test3d::ScreenTriangle;

constexpr int32_t kSize = 64;

// A rig whose draws add 1 to each channel of every pixel they cover, so
// that the target counts the hits.
std::unique_ptr<test3d::Rig> CountingRig(int32_t size = kSize) {
  auto rig = test3d::MakeRig(size, size);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetRenderState(RenderState::kAmbient, 0x010101);
  d.SetRenderState(RenderState::kZEnable, zbuffer::kFalse);
  d.SetRenderState(RenderState::kAlphaBlendEnable, 1);
  d.SetRenderState(RenderState::kSrcBlend, blend::kOne);
  d.SetRenderState(RenderState::kDestBlend, blend::kOne);
  return rig;
}

int Hits(const test3d::Rig& rig, int32_t x, int32_t y) { return PixelRgb(*rig.target, x, y) & 0xFF; }

// Pixel centres lie at integer coordinates; the rectangle from 2 to 6
// covers columns and rows 2..5.
TEST(Rasterizer, RectangleCoversExactlyThePixelCentresInsideItsTopLeftEdges) {
  auto rig = CountingRig();
  DrawMesh(*rig->device, rig->render, ScreenRect(kSize, kSize, 2, 2, 6, 6));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(Hits(*rig, x, y), (x >= 2 && x < 6 && y >= 2 && y < 6) ? 1 : 0) << x << "," << y;
}

TEST(Rasterizer, TrianglesSharingEdgesHitEveryPixelOnceWithoutGaps) {
  auto rig = CountingRig();
  // A fan of thin triangles around an off-grid centre, edges at awkward
  // slopes and through pixel centres, covering the square 4..60 once.
  const float cx = 31.3f, cy = 29.7f;
  const float ring[][2] = {{4, 4},   {17.5f, 4}, {32, 4},  {47.25f, 4}, {60, 4},  {60, 20},  {60, 32.5f},
                           {60, 60}, {44, 60},   {31, 60}, {13.7f, 60}, {4, 60},  {4, 45.1f}, {4, 31},
                           {4, 16}};
  const int n = sizeof ring / sizeof ring[0];
  Mesh fan;
  for (int i = 0; i < n; ++i) {
    Mesh t = ScreenTriangle(kSize, kSize, cx, cy, ring[i][0], ring[i][1], ring[(i + 1) % n][0],
                            ring[(i + 1) % n][1]);
    uint16_t base = static_cast<uint16_t>(fan.vertices.size());
    fan.vertices.insert(fan.vertices.end(), t.vertices.begin(), t.vertices.end());
    for (uint16_t k : t.indices) fan.indices.push_back(static_cast<uint16_t>(base + k));
  }
  DrawMesh(*rig->device, rig->render, fan);
  for (int32_t y = 0; y < kSize; ++y)
    for (int32_t x = 0; x < kSize; ++x)
      ASSERT_EQ(Hits(*rig, x, y), (x >= 4 && x < 60 && y >= 4 && y < 60) ? 1 : 0) << x << "," << y;
}

TEST(Rasterizer, SmallAndLargeTrianglesTilingTheTargetHitEveryPixelOnce) {
  auto rig = CountingRig();
  // A jittered grid over the whole target: cells from under a pixel to
  // past 16 pixels wide (tiny and large triangles share edges), corners on
  // and off pixel centres, the outer ones on the target's edges.
  const float lines[] = {0, 0.5f, 1.5f, 3, 5.25f, 9, 12, 30, 32.5f, 34, 37.75f, 41, 44, 47.5f, 63, 64};
  const int n = sizeof lines / sizeof lines[0];
  auto corner = [&](int i, int j, float* x, float* y) {
    const bool inner_x = i > 0 && i + 1 < n, inner_y = j > 0 && j + 1 < n;
    *x = lines[i] + (inner_x ? 0.125f * static_cast<float>((i * 7 + j * 3) % 5 - 2) : 0.0f);
    *y = lines[j] + (inner_y ? 0.125f * static_cast<float>((i * 5 + j * 11) % 5 - 2) : 0.0f);
  };
  Mesh tiles;
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      float x[4], y[4];
      corner(i, j, &x[0], &y[0]);
      corner(i + 1, j, &x[1], &y[1]);
      corner(i + 1, j + 1, &x[2], &y[2]);
      corner(i, j + 1, &x[3], &y[3]);
      // Alternate diagonals, so that both windings and slopes occur.
      static constexpr int kSplits[2][2][3] = {{{0, 1, 2}, {0, 2, 3}}, {{0, 1, 3}, {1, 2, 3}}};
      for (const auto& t : kSplits[(i + j) % 2]) {
        Mesh m = ScreenTriangle(kSize, kSize, x[t[0]], y[t[0]], x[t[1]], y[t[1]], x[t[2]], y[t[2]]);
        const uint16_t base = static_cast<uint16_t>(tiles.vertices.size());
        tiles.vertices.insert(tiles.vertices.end(), m.vertices.begin(), m.vertices.end());
        for (uint16_t k : m.indices) tiles.indices.push_back(static_cast<uint16_t>(base + k));
      }
    }
  DrawMesh(*rig->device, rig->render, tiles);
  for (int32_t y = 0; y < kSize; ++y)
    for (int32_t x = 0; x < kSize; ++x) ASSERT_EQ(Hits(*rig, x, y), 1) << x << "," << y;
}

TEST(Rasterizer, PixelCentreOnASharedDiagonalGoesToOneSideOnly) {
  auto rig = CountingRig();
  // The diagonal from (0,0) to (8,8) passes through pixel centres.
  DrawMesh(*rig->device, rig->render, ScreenRect(kSize, kSize, 0, 0, 8, 8));
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(Hits(*rig, i, i), 1);
}

TEST(Rasterizer, NearerSurfaceWinsWhicheverIsDrawnFirstAndEqualDepthPasses) {
  for (bool near_first : {true, false}) {
    auto rig = test3d::MakeRig(kSize, kSize);
    Device3D& d = *rig->device;
    test3d::UseScreenSpace(d);
    Material red, green;
    red.emissive = ColourValue{1, 0, 0, 0};
    green.emissive = ColourValue{0, 1, 0, 0};
    d.SetRenderState(RenderState::kAmbient, 0);
    auto draw = [&](const Material& m, float z) {
      d.SetMaterial(m);
      DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 0, 0, kSize, kSize, z));
    };
    if (near_first) {
      draw(red, 0.25f);
      draw(green, 0.75f);
    } else {
      draw(green, 0.75f);
      draw(red, 0.25f);
    }
    EXPECT_EQ(PixelRgb(*rig->target, 10, 10), 0xFF0000u);
    draw(green, 0.25f);  // less or equal: the same depth draws again
    EXPECT_EQ(PixelRgb(*rig->target, 10, 10), 0x00FF00u);
  }
}

TEST(Rasterizer, DepthWriteOffLeavesTheDepthBufferAndDepthOffIgnoresIt) {
  auto rig = test3d::MakeRig(kSize, kSize, PixelFormat::Xrgb8888(), 32);
  Device3D& d = *rig->device;
  test3d::UseScreenSpace(d);
  d.SetRenderState(RenderState::kAmbient, 0x808080);
  d.SetRenderState(RenderState::kZWriteEnable, 0);
  DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 0, 0, kSize, kSize, 0.2f));
  d.SetRenderState(RenderState::kZWriteEnable, 1);
  d.SetRenderState(RenderState::kAmbient, 0xFFFFFF);
  DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 0, 0, kSize, kSize, 0.6f));
  EXPECT_EQ(PixelRgb(*rig->target, 5, 5), 0xFFFFFFu);  // the first left no depth behind
  d.SetRenderState(RenderState::kAmbient, 0x404040);
  DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 0, 0, kSize, kSize, 0.9f));
  EXPECT_EQ(PixelRgb(*rig->target, 5, 5), 0xFFFFFFu);  // behind: hidden
  d.SetRenderState(RenderState::kZEnable, zbuffer::kFalse);
  DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 0, 0, kSize, kSize, 0.9f));
  EXPECT_EQ(PixelRgb(*rig->target, 5, 5), 0x404040u);
}

TEST(Rasterizer, CounterClockwiseCullingDropsOnlyTrianglesWoundCounterClockwise) {
  auto rig = CountingRig();
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kCullMode, cull_mode::kCcw);
  Mesh clockwise = ScreenTriangle(kSize, kSize, 2, 2, 20, 2, 2, 20);
  Mesh counter = ScreenTriangle(kSize, kSize, 30, 2, 30, 20, 48, 2);
  DrawMesh(d, rig->render, clockwise);
  DrawMesh(d, rig->render, counter);
  EXPECT_EQ(Hits(*rig, 5, 5), 1);
  EXPECT_EQ(Hits(*rig, 33, 5), 0);
  d.SetRenderState(RenderState::kCullMode, cull_mode::kNone);
  DrawMesh(d, rig->render, counter);
  EXPECT_EQ(Hits(*rig, 33, 5), 1);
}

TEST(Rasterizer, TrianglesCrossingTheNearAndFarPlanesAreClippedNotDropped) {
  auto rig = test3d::MakeRig(kSize, kSize);
  Device3D& d = *rig->device;  // perspective: near 1, far 100, looking along +z
  d.SetRenderState(RenderState::kZEnable, zbuffer::kFalse);
  // A floor running from behind the eye to beyond the far plane.
  Mesh floor;
  floor.vertices = {{-5, -1, -50, 0, 1, 0, 0, 0}, {5, -1, -50, 0, 1, 0, 1, 0},
                    {5, -1, 500, 0, 1, 0, 1, 1},  {-5, -1, 500, 0, 1, 0, 0, 1}};
  floor.indices = {0, 3, 2, 0, 2, 1};
  ASSERT_EQ(DrawMesh(d, rig->render, floor), result::kOk);
  EXPECT_EQ(PixelRgb(*rig->target, 32, 60), 0xFFFFFFu);  // the near part, below the centre
  EXPECT_EQ(PixelRgb(*rig->target, 32, 20), 0u);         // nothing above the horizon
  // Beyond the far plane (z 100) the floor is cut off short of the horizon.
  int first_drawn = -1;
  for (int32_t y = 0; y < kSize; ++y)
    if (PixelRgb(*rig->target, 32, y) != 0) {
      first_drawn = y;
      break;
    }
  EXPECT_GT(first_drawn, 32);
  // Wholly behind the eye: nothing, and no crash.
  Mesh behind = floor;
  for (Vertex& v : behind.vertices) v.z = v.z < 0 ? -400 : -0.5f;
  rig->device->Clear({}, clear::kTarget, 0, 1.0f);
  ASSERT_EQ(DrawMesh(d, rig->render, behind), result::kOk);
  for (int32_t y = 0; y < kSize; ++y) EXPECT_EQ(PixelRgb(*rig->target, 32, y), 0u);
}

TEST(Rasterizer, VerticesThatAreNotFiniteOrFarOutDrawNothingAndNeverFault) {
  auto rig = CountingRig();
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  for (float bad : {nan, inf, -inf, 3e38f, -3e38f}) {
    for (int corner = 0; corner < 3; ++corner) {
      Mesh t = ScreenTriangle(kSize, kSize, 2, 2, 40, 2, 2, 40);
      float* fields[3] = {&t.vertices[corner].x, &t.vertices[corner].y, &t.vertices[corner].z};
      for (float* f : fields) {
        Mesh m = t;
        *(f - &t.vertices[corner].x + &m.vertices[corner].x) = bad;
        m.vertices[(corner + 1) % 3].u = nan;
        EXPECT_EQ(DrawMesh(*rig->device, rig->render, m), result::kOk);
      }
    }
  }
  // A perspective view with a far-out vertex: clipped, or left out, safely.
  auto persp = test3d::MakeRig(kSize, kSize);
  Mesh huge;
  huge.vertices = {{-1, -1, 5, 0, 0, -1, 0, 0}, {1, -1, 5, 0, 0, -1, 1, 0}, {3e38f, 3e38f, -3e38f, 0, 0, -1, 1, 1}};
  huge.indices = {0, 1, 2};
  EXPECT_EQ(DrawMesh(*persp->device, persp->render, huge), result::kOk);
}

TEST(Rasterizer, EdgeOnAndDegenerateTrianglesDrawNothing) {
  auto rig = CountingRig();
  Mesh line = ScreenTriangle(kSize, kSize, 2, 2, 30, 30, 16, 16);
  DrawMesh(*rig->device, rig->render, line);
  EXPECT_EQ(rig->device->GetStats().pixels_written, 0u);
}

TEST(Rasterizer, WireframeDrawsTheEdgesAndLeavesTheInteriorUntouched) {
  auto rig = CountingRig();
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kFillMode, fill_mode::kWireframe);
  DrawMesh(d, rig->render, ScreenRect(kSize, kSize, 8, 8, 56, 56));
  EXPECT_GE(Hits(*rig, 30, 8), 1);   // top edge
  EXPECT_GE(Hits(*rig, 8, 30), 1);   // left edge
  EXPECT_GE(Hits(*rig, 30, 56), 1);  // bottom edge
  EXPECT_GE(Hits(*rig, 56, 30), 1);  // right edge
  EXPECT_GE(Hits(*rig, 30, 30), 1);  // the diagonal
  EXPECT_EQ(Hits(*rig, 20, 40), 0);
  EXPECT_EQ(Hits(*rig, 40, 20), 0);
  EXPECT_EQ(Hits(*rig, 4, 4), 0);
}

TEST(Rasterizer, WireframeLeavesOutEdgesThatClippingMade) {
  auto rig = CountingRig();
  Device3D& d = *rig->device;
  d.SetRenderState(RenderState::kFillMode, fill_mode::kWireframe);
  // Reaches far past the left edge of the screen: the cut along column 0
  // is not an edge of the triangle.
  DrawMesh(d, rig->render, ScreenTriangle(kSize, kSize, -150, 10, 50, 10, 50, 50));
  for (int32_t y = 12; y < 20; ++y) EXPECT_EQ(Hits(*rig, 0, y), 0) << y;
  EXPECT_GE(Hits(*rig, 20, 10), 1);
  EXPECT_GE(Hits(*rig, 50, 30), 1);
}

TEST(Rasterizer, ClearFillsTheViewportOrRectanglesOnly) {
  auto rig = test3d::MakeRig(kSize, kSize, PixelFormat::Rgb565());
  Device3D& d = *rig->device;
  d.SetViewport(Viewport{8, 8, 32, 32, 0, 1});
  ASSERT_EQ(d.Clear({}, clear::kTarget, 0xFFFF0000u, 1.0f), result::kOk);
  EXPECT_EQ(PixelRgb(*rig->target, 8, 8), 0xFF0000u);
  EXPECT_EQ(PixelRgb(*rig->target, 39, 39), 0xFF0000u);
  EXPECT_EQ(PixelRgb(*rig->target, 40, 40), 0u);
  EXPECT_EQ(PixelRgb(*rig->target, 7, 8), 0u);
  const Rect rects[] = {{0, 0, 12, 12}, {30, 30, 34, 31}};
  ASSERT_EQ(d.Clear(rects, clear::kTarget, 0xFF0000FFu, 1.0f), result::kOk);
  EXPECT_EQ(PixelRgb(*rig->target, 11, 11), 0x0000FFu);
  EXPECT_EQ(PixelRgb(*rig->target, 12, 12), 0xFF0000u);
  EXPECT_EQ(PixelRgb(*rig->target, 5, 5), 0u);  // outside the viewport
  EXPECT_EQ(PixelRgb(*rig->target, 33, 30), 0x0000FFu);
  EXPECT_EQ(PixelRgb(*rig->target, 33, 31), 0xFF0000u);
  // A depth clear needs a depth buffer and a depth in 0..1.
  EXPECT_NE(d.Clear({}, clear::kZBuffer, 0, 1.5f), result::kOk);
  auto bare = test3d::MakeRig(8, 8, PixelFormat::Xrgb8888(), 0);
  EXPECT_NE(bare->device->Clear({}, clear::kZBuffer, 0, 1.0f), result::kOk);
}

TEST(Rasterizer, ViewportMapsTheScreenAndScissorsDrawing) {
  auto rig = CountingRig();
  Device3D& d = *rig->device;
  d.SetViewport(Viewport{16, 16, 32, 32, 0, 1});
  // The whole clip square lands on the viewport only.
  test3d::Mesh all = ScreenRect(kSize, kSize, 0, 0, kSize, kSize);
  DrawMesh(d, rig->render, all);
  EXPECT_EQ(Hits(*rig, 16, 16), 1);
  EXPECT_EQ(Hits(*rig, 47, 47), 1);
  EXPECT_EQ(Hits(*rig, 48, 48), 0);
  EXPECT_EQ(Hits(*rig, 15, 30), 0);
  EXPECT_EQ(d.GetStats().pixels_written, 32u * 32u);
}

TEST(Rasterizer, SixteenBitTargetsTakeTheColourTruncatedToTheirFields) {
  for (const PixelFormat& f : {PixelFormat::Rgb565(), PixelFormat::Rgb555()}) {
    auto rig = test3d::MakeRig(8, 8, f);
    Device3D& d = *rig->device;
    test3d::UseScreenSpace(d);
    d.SetRenderState(RenderState::kAmbient, 0xFF8040);
    DrawMesh(d, rig->render, ScreenRect(8, 8, 0, 0, 8, 8));
    EXPECT_EQ(rig->target->PixelAt(3, 3), PackRgb(f, 0xFF, 0x80, 0x40));
  }
}

}  // namespace
}  // namespace zv::platform
