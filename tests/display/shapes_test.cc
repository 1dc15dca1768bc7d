#include <gtest/gtest.h>

#include <cmath>

#include "display/shapes.h"

namespace zv {
namespace {

using platform::PixelFormat;
using platform::Surface;
using platform::SurfacePtr;

SurfacePtr MakeSurface(int32_t w, int32_t h, PixelFormat format = PixelFormat::Xrgb8888()) {
  platform::SurfaceDesc desc;
  desc.width = w;
  desc.height = h;
  desc.format = format;
  return Surface::Create(desc);
}

int32_t Count(const Surface& s, uint32_t value) {
  int32_t n = 0;
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) n += s.PixelAt(x, y) == value;
  return n;
}

// Every step of the line, one at a time: what the clipped drawing must
// match, pixel for pixel.
void ReferenceLine(Surface& s, double x1, double y1, double x2, double y2, uint32_t pixel) {
  const double dx = x2 - x1, dy = y2 - y1, length = std::sqrt(dx * dx + dy * dy);
  const double ux = length == 0 ? 0 : dx / length, uy = length == 0 ? 0 : dy / length;
  for (double t = 0.0; t <= length; t += 1.0) {
    const double px = std::trunc(x1 + t * ux), py = std::trunc(y1 + t * uy);
    if (px >= 0 && py >= 0 && px < s.Width() && py < s.Height())
      s.SetPixelAt(static_cast<int32_t>(px), static_cast<int32_t>(py), pixel);
  }
}

void ExpectSame(const Surface& a, const Surface& b) {
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) ASSERT_EQ(a.PixelAt(x, y), b.PixelAt(x, y)) << x << "," << y;
}

TEST(Shapes, ClippedLinesSetTheSamePixelsAsEveryStepWould) {
  const double lines[][4] = {{-100, -37, 150, 90}, {200, 10, -50, 30}, {20, -200, 21, 200},
                             {-1, -1, 3, 3},       {-0.5, 5, 70, 5},   {63.9, 47.9, -400, -300}};
  for (const auto& l : lines) {
    SurfacePtr clipped = MakeSurface(64, 48), reference = MakeSurface(64, 48);
    DrawLine(*clipped, l[0], l[1], l[2], l[3], 1);
    ReferenceLine(*reference, l[0], l[1], l[2], l[3], 1);
    ExpectSame(*clipped, *reference);
    EXPECT_GT(Count(*clipped, 1), 0);
  }
}

TEST(Shapes, AnEllipseIsTheLinesBetweenItsPoints) {
  SurfacePtr drawn = MakeSurface(64, 48), reference = MakeSurface(64, 48);
  DrawEllipse(*drawn, 10, 40, 40.0f, 25.0f, 1);
  const double cx = 10.5, cy = 40.5;
  double px = cx + 40.0, py = cy;
  for (double a = -0.06; a <= 6.33; a += 0.0628) {
    const double nx = cx + std::cos(a) * 40.0, ny = cy + std::sin(a) * 25.0;
    ReferenceLine(*reference, px, py, nx, ny, 1);
    px = nx;
    py = ny;
  }
  ExpectSame(*drawn, *reference);
}

TEST(Shapes, AStraightLineOfLengthTenSetsElevenPixels) {
  SurfacePtr s = MakeSurface(32, 32);
  DrawLine(*s, 3, 4, 3, 14, 5);
  EXPECT_EQ(Count(*s, 5), 11);
  EXPECT_EQ(s->PixelAt(3, 14), 5u);
}

TEST(Shapes, ALineStepsByItsLengthNotByItsLongerSide) {
  SurfacePtr s = MakeSurface(32, 32);
  DrawLine(*s, 0, 0, 3, 4, 5);  // length 5: six steps
  EXPECT_LE(Count(*s, 5), 6);
  EXPECT_EQ(s->PixelAt(0, 0), 5u);
}

TEST(Shapes, BoxesExcludeTheirRightAndBottomEdges) {
  SurfacePtr s = MakeSurface(16, 16, PixelFormat::Rgb565());
  DrawBox(*s, platform::Rect{2, 3, 6, 5}, 0xF800);
  EXPECT_EQ(Count(*s, 0xF800), 8);
  DrawBox(*s, platform::Rect{-5, -5, 100, 100}, 1);
  EXPECT_EQ(Count(*s, 1), 256);
}

TEST(Shapes, AnEllipseOfRadiusZeroIsADot) {
  SurfacePtr s = MakeSurface(16, 16);
  DrawEllipse(*s, 7, 8, 0.0f, 0.0f, 9);
  EXPECT_EQ(Count(*s, 9), 1);
  EXPECT_EQ(s->PixelAt(7, 8), 9u);
}

TEST(Shapes, ACircleTouchesItsFourExtremes) {
  SurfacePtr s = MakeSurface(100, 100);
  DrawEllipse(*s, 50, 50, 20.0f, 20.0f, 3);
  EXPECT_EQ(s->PixelAt(70, 50), 3u);
  EXPECT_EQ(s->PixelAt(50, 70), 3u);
  EXPECT_EQ(s->PixelAt(50, 50), 0u);
  EXPECT_GT(Count(*s, 3), 100);
}

}  // namespace
}  // namespace zv
