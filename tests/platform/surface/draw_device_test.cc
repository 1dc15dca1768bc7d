#include <gtest/gtest.h>

#include "platform/surface/draw_device.h"

namespace zv::platform {
namespace {

TEST(StandardModes, ListsTwelveSizesInThreeDepthsWithoutRepeats) {
  auto modes = StandardModes(DisplayMode{1920, 1080, 32});
  ASSERT_EQ(modes.size(), 36u);
  EXPECT_EQ(modes.front(), (DisplayMode{320, 200, 16}));
  EXPECT_EQ(modes[3], (DisplayMode{320, 240, 16}));
  EXPECT_EQ(modes.back(), (DisplayMode{1920, 1080, 32}));
  EXPECT_EQ(StandardModes(DisplayMode{800, 600, 32}).size(), 33u);
}

TEST(DrawDevice, ModeChangesNeedExclusiveFullScreen) {
  DrawDevice device(EnumerateAdapters().front(), DisplayMode{1024, 768, 32});
  EXPECT_EQ(device.SetDisplayMode(640, 480, 16), result::kNoExclusiveMode);
  device.SetCooperativeLevel(CooperativeLevel::kExclusiveFullScreen);
  EXPECT_EQ(device.SetDisplayMode(640, 480, 8), result::kInvalidMode);
  EXPECT_EQ(device.SetDisplayMode(641, 480, 16), result::kInvalidMode);
  ASSERT_EQ(device.SetDisplayMode(800, 600, 24), result::kOk);
  EXPECT_EQ(device.CurrentMode(), (DisplayMode{800, 600, 24}));

  SurfaceDesc primary;
  primary.role = SurfaceRole::kPrimary;
  auto surface = device.CreateSurface(primary);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->Width(), 800);
  EXPECT_EQ(surface->Format(), PixelFormat::Rgb888());

  device.SetCooperativeLevel(CooperativeLevel::kNormal);
  EXPECT_EQ(device.CurrentMode(), (DisplayMode{1024, 768, 32}));
}

TEST(DrawDevice, EnumerationStopsWhenTheVisitorSaysSo) {
  DrawDevice device(EnumerateAdapters().front(), DisplayMode{1024, 768, 32});
  int seen = 0;
  device.EnumDisplayModes([&](const DisplayMode&) { return ++seen < 4; });
  EXPECT_EQ(seen, 4);
}

TEST(DrawDevice, VideoSurfacesCountAgainstTheBudget) {
  DrawDevice device(EnumerateAdapters().front(), DisplayMode{1024, 768, 32});
  uint64_t total = 0, free_before = 0, free_after = 0;
  ASSERT_EQ(device.GetAvailableMemory(MemoryPool::kVideo, &total, &free_before), result::kOk);
  EXPECT_EQ(free_before, total);
  SurfaceDesc desc;
  desc.width = 100;
  desc.height = 10;
  desc.pool = MemoryPool::kVideo;
  {
    auto s = device.CreateSurface(desc);
    ASSERT_NE(s, nullptr);
    device.GetAvailableMemory(MemoryPool::kVideo, nullptr, &free_after);
    EXPECT_EQ(free_before - free_after, 4000u);
  }
  device.GetAvailableMemory(MemoryPool::kVideo, nullptr, &free_after);
  EXPECT_EQ(free_after, free_before);

  desc.width = 16384;
  desc.height = 8192;  // 512 MiB at 32 bits
  Result error = result::kOk;
  EXPECT_EQ(device.CreateSurface(desc, &error), nullptr);
  EXPECT_EQ(error, result::kOutOfMemory);
}

TEST(DrawDevice, FlipChainLivesInTheLowArena) {
  DrawDevice device(EnumerateAdapters().front(), DisplayMode{1024, 768, 32});
  device.SetCooperativeLevel(CooperativeLevel::kExclusiveFullScreen);
  device.SetDisplayMode(640, 480, 16);
  auto primary = device.CreateFlipChain();
  ASSERT_NE(primary, nullptr);
  ASSERT_NE(primary->AttachedBackBuffer(), nullptr);
  EXPECT_EQ(primary->AttachedBackBuffer()->Home(), PixelHome::kLowArena);
  EXPECT_EQ(primary->Home(), PixelHome::kLowArena);
  EXPECT_EQ(primary->AttachedBackBuffer()->Width(), 640);
}

TEST(DrawDevice, LostSurfacesRestoreTogether) {
  DrawDevice device(EnumerateAdapters().front(), DisplayMode{1024, 768, 32});
  SurfaceDesc desc;
  desc.width = 2;
  desc.height = 2;
  auto a = device.CreateSurface(desc);
  auto b = device.CreateSurface(desc);
  device.LoseSurfaces(false);
  EXPECT_TRUE(a->IsLost());
  EXPECT_EQ(device.RestoreAllSurfaces(), result::kFail);
  device.LoseSurfaces(true);
  EXPECT_EQ(device.RestoreAllSurfaces(), result::kOk);
  EXPECT_FALSE(a->IsLost());
  EXPECT_FALSE(b->IsLost());
}

TEST(Adapters, ThePrimaryCardHasNoGuid) {
  auto adapters = EnumerateAdapters();
  ASSERT_EQ(adapters.size(), 1u);
  EXPECT_FALSE(adapters[0].guid.has_value());
  EXPECT_EQ(adapters[0].description, kPrimaryAdapterDescription);
}

}  // namespace
}  // namespace zv::platform
