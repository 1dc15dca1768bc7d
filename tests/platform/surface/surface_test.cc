#include <gtest/gtest.h>

#include <cstring>

#include "platform/surface/surface.h"
#include "tests/platform/surface/surface_test_util.h"

namespace zv::platform {
namespace {

using test::FillPattern;
using test::MakeSurface;
using test::Pattern;

TEST(SurfaceCreate, RefusesEmptySizesAndFormats) {
  EXPECT_EQ(MakeSurface(0, 4, PixelFormat::Rgb565()), nullptr);
  EXPECT_EQ(MakeSurface(4, -1, PixelFormat::Rgb565()), nullptr);
  EXPECT_EQ(MakeSurface(4, 4, PixelFormat{}), nullptr);
  auto s = MakeSurface(3, 2, PixelFormat::Rgb888());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Pitch(), 12);  // 9 bytes rounded up to whole words
  EXPECT_EQ(s->PixelAt(2, 1), 0u);
}

TEST(SurfaceLock, GivesTheRectangleAndRefusesASecondLock) {
  auto s = MakeSurface(8, 4, PixelFormat::Rgb565());
  FillPattern(*s);
  Rect r{2, 1, 6, 3};
  LockedRegion region;
  ASSERT_EQ(s->Lock(&r, kLockWait, &region), result::kOk);
  EXPECT_EQ(region.width, 4);
  EXPECT_EQ(region.height, 2);
  EXPECT_EQ(region.pitch, 16);
  uint16_t first;
  std::memcpy(&first, region.bits, 2);
  EXPECT_EQ(first, Pattern(2, 1, s->Format()));

  LockedRegion again;
  EXPECT_EQ(s->Lock(nullptr, 0, &again), result::kSurfaceBusy);
  auto other = MakeSurface(8, 4, PixelFormat::Rgb565());
  EXPECT_EQ(other->BltFast(0, 0, s.get(), nullptr, 0), result::kSurfaceBusy);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, kBltColorFill), result::kSurfaceBusy);
  EXPECT_EQ(s->Unlock(), result::kOk);
  EXPECT_EQ(s->Unlock(), result::kNotLocked);
  Rect outside{0, 0, 9, 1};
  EXPECT_EQ(s->Lock(&outside, 0, &again), result::kInvalidRect);
}

TEST(SurfaceLock, ArenaSurfacesHaveThirtyTwoBitAddresses) {
  SurfaceDesc desc;
  desc.width = 64;
  desc.height = 64;
  desc.format = PixelFormat::Xrgb8888();
  desc.home = PixelHome::kLowArena;
  auto s = Surface::Create(desc);
  ASSERT_NE(s, nullptr);
  LockedRegion region;
  ASSERT_EQ(s->Lock(nullptr, 0, &region), result::kOk);
  EXPECT_LT(reinterpret_cast<uintptr_t>(region.bits), uintptr_t{1} << 32);
  s->Unlock();
}

TEST(FlipChain, FlipExchangesTheBuffersContents) {
  SurfaceDesc desc;
  desc.width = 4;
  desc.height = 2;
  desc.format = PixelFormat::Xrgb8888();
  desc.role = SurfaceRole::kPrimary;
  auto primary = Surface::Create(desc);
  desc.role = SurfaceRole::kBackBuffer;
  auto back = Surface::Create(desc);
  primary->AttachBackBuffer(back);
  primary->SetPixelAt(0, 0, 0x111111);
  back->SetPixelAt(0, 0, 0x222222);

  ASSERT_EQ(primary->Flip(), result::kOk);
  EXPECT_EQ(primary->PixelAt(0, 0), 0x222222u);
  EXPECT_EQ(back->PixelAt(0, 0), 0x111111u);
  ASSERT_EQ(primary->Flip(), result::kOk);
  EXPECT_EQ(primary->PixelAt(0, 0), 0x111111u);

  LockedRegion region;
  back->Lock(nullptr, 0, &region);
  EXPECT_EQ(primary->Flip(), result::kSurfaceBusy);
  back->Unlock();
  EXPECT_EQ(back->Flip(), result::kNotFlippable);
}

TEST(LostSurfaces, FailUntilRestored) {
  auto context = std::make_shared<SurfaceContext>();
  SurfaceDesc desc;
  desc.width = 2;
  desc.height = 2;
  desc.format = PixelFormat::Rgb565();
  auto a = Surface::Create(desc, context);
  auto b = Surface::Create(desc, context);
  a->MarkLost();
  LockedRegion region;
  EXPECT_EQ(a->Lock(nullptr, 0, &region), result::kSurfaceLost);
  EXPECT_EQ(a->BltFast(0, 0, b.get(), nullptr, 0), result::kSurfaceLost);
  EXPECT_EQ(b->BltFast(0, 0, a.get(), nullptr, 0), result::kSurfaceLost);
  context->restore_fails = true;
  EXPECT_EQ(a->Restore(), result::kFail);
  context->restore_fails = false;
  EXPECT_EQ(a->Restore(), result::kOk);
  EXPECT_EQ(a->BltFast(0, 0, b.get(), nullptr, 0), result::kOk);
}

TEST(SurfaceGamma, OnlyThePrimaryHasAGammaRamp) {
  auto plain = MakeSurface(1, 1, PixelFormat::Rgb565());
  EXPECT_EQ(plain->SetGammaRamp(GammaRamp::Identity()), result::kUnsupported);
  SurfaceDesc desc;
  desc.width = 1;
  desc.height = 1;
  desc.format = PixelFormat::Xrgb8888();
  desc.role = SurfaceRole::kPrimary;
  auto primary = Surface::Create(desc);
  GammaRamp dark{};
  EXPECT_EQ(primary->SetGammaRamp(dark), result::kOk);
  EXPECT_EQ(primary->GetGammaRamp(), dark);
}

TEST(SurfaceResize, KeepsTheFormatAndClearsThePixels) {
  auto s = MakeSurface(2, 2, PixelFormat::Xrgb8888());
  FillPattern(*s);
  ASSERT_EQ(s->Resize(5, 3), result::kOk);
  EXPECT_EQ(s->Width(), 5);
  EXPECT_EQ(s->Height(), 3);
  EXPECT_EQ(s->PixelAt(4, 2), 0u);
  EXPECT_EQ(s->Resize(0, 3), result::kInvalidParams);
}

}  // namespace
}  // namespace zv::platform
