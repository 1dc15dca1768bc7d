#include "display/sprite_blit.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

using platform::Rect;

struct Clip {
  Rect source, dest;
};

Clip ClipOf(int32_t x, int32_t y, float sx, float sy, bool flipped, bool mirrored, int32_t w = 20, int32_t h = 10) {
  Clip c;
  c.source = Rect{0, 0, 0, 0};
  ClipBlitRects(platform::Size{640, 480}, c.source, c.dest, x, y, w, h, sx, sy, flipped, mirrored);
  return c;
}

TEST(ClipBlitRects, InsideTheTargetNothingIsCut) {
  const Clip c = ClipOf(5, 6, 1.0f, 1.0f, false, false);
  EXPECT_EQ(c.source, (Rect{0, 0, 20, 10}));
  EXPECT_EQ(c.dest, (Rect{5, 6, 25, 16}));
}

TEST(ClipBlitRects, OffTheLeftCutsTheLeftOrWhenMirroredTheRight) {
  EXPECT_EQ(ClipOf(-10, 0, 1.0f, 1.0f, false, false).source, (Rect{10, 0, 20, 10}));
  EXPECT_EQ(ClipOf(-10, 0, 1.0f, 1.0f, false, true).source, (Rect{0, 0, 10, 10}));
  EXPECT_EQ(ClipOf(-10, 0, 1.0f, 1.0f, false, false).dest, (Rect{0, 0, 10, 10}));
}

TEST(ClipBlitRects, ScaledTwiceTenPixelsOffTheTopLosesFiveRows) {
  EXPECT_EQ(ClipOf(0, -10, 2.0f, 2.0f, false, false).source, (Rect{0, 5, 20, 10}));
  EXPECT_EQ(ClipOf(0, -10, 2.0f, 2.0f, true, false).source, (Rect{0, 0, 20, 5}));
  EXPECT_EQ(ClipOf(0, -10, 2.0f, 2.0f, false, false).dest, (Rect{0, 0, 40, 10}));
}

TEST(ClipBlitRects, RightAndBottomEdgesCutTheOppositeSidesWhenMirrored) {
  Clip c = ClipOf(630, 475, 1.0f, 1.0f, false, false);
  EXPECT_EQ(c.source, (Rect{0, 0, 10, 5}));
  EXPECT_EQ(c.dest, (Rect{630, 475, 640, 480}));
  c = ClipOf(630, 475, 1.0f, 1.0f, true, true);
  EXPECT_EQ(c.source, (Rect{10, 5, 20, 10}));
}

TEST(ClipBlitRects, WhollyOutsideOrScaledToNothingLeavesNoDestination) {
  EXPECT_TRUE(ClipOf(700, 0, 1.0f, 1.0f, false, false).dest.Empty());
  EXPECT_TRUE(ClipOf(-30, 0, 1.0f, 1.0f, false, false).dest.Empty());
  EXPECT_TRUE(ClipOf(10, 10, 0.0f, 0.0f, false, false).dest.Empty());
  EXPECT_TRUE(ClipOf(-10, -10, 0.0f, 1.0f, false, false).dest.Empty());
  // Far positions do not overflow.
  EXPECT_TRUE(ClipOf(2147483000, 0, 2500.0f, 1.0f, false, false).dest.Empty());
}

}  // namespace
}  // namespace zv
