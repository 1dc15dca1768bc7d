// Bitmaps and images through memory blocks on a started display.
#include <gtest/gtest.h>

#include <cstring>

#include "services/memory/little_endian.h"
#include "services/memory/pixel_conversions.h"
#include "tests/display/graphics_fixture.h"
#include "tests/services/memory/memory_fixture.h"

namespace zv::test {
namespace {

namespace op = memblock_opcode;
using platform::SurfacePtr;

// Records the texture rebuilds the image conversions ask for.
class RecordingNeighbours : public DrawNeighbours {
 public:
  void RebuildImageTexture(int32_t image, bool) override { rebuilt.push_back(image); }
  std::vector<int32_t> rebuilt;
};

class PixelConversions : public MemoryTestOf<GraphicsTest>, public ::testing::WithParamInterface<int32_t> {
 protected:
  void SetUp() override { StartDrawing(false, GetParam()); }

  int32_t Depth() const { return GetParam(); }
  Graphics& G() { return *graphics; }

  // Bitmap `n` of w x h with a pattern that uses every byte of a pixel.
  SurfacePtr MakeBitmap(int32_t n, int32_t w, int32_t h, uint32_t seed = 1) {
    EXPECT_TRUE(G().Bitmaps().CreateSystemSurface(n, w, h, G().Maker()));
    SurfacePtr s = G().Bitmaps().Surface(n);
    Paint(*s, seed);
    return s;
  }
  static void Paint(platform::Surface& s, uint32_t seed) {
    const uint32_t mask = s.Format().bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    for (int32_t y = 0; y < s.Height(); ++y)
      for (int32_t x = 0; x < s.Width(); ++x) s.SetPixelAt(x, y, (seed * 2654435761u + x * 40503u + y * 977u) & mask);
  }
  static bool SamePixels(const platform::Surface& a, const platform::Surface& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
      for (int32_t x = 0; x < a.Width(); ++x)
        if (a.PixelAt(x, y) != b.PixelAt(x, y)) return false;
    return true;
  }
  // A pixel block with this header and `pixel_bytes` bytes after it.
  void MakePixelBlock(int32_t n, uint32_t w, uint32_t h, uint32_t bits, uint32_t pixel_bytes) {
    ASSERT_TRUE(Table().Make(n, 12 + pixel_bytes));
    uint8_t* p = Table().Peek(n)->data();
    le::StoreU32(p, w);
    le::StoreU32(p + 4, h);
    le::StoreU32(p + 8, bits);
    for (uint32_t i = 0; i < pixel_bytes; ++i) p[12 + i] = static_cast<uint8_t>(i * 7 + 1);
  }
  uint32_t Header(int32_t block, int word) { return le::LoadU32(Table().Peek(block)->data() + 4 * word); }
  int32_t ImageIndex(int32_t image) { return G().Pools().image_ids.Get(image); }
  SurfacePtr ImageSurface(int32_t image) { return G().Pools().images[ImageIndex(image)].surface; }
};

INSTANTIATE_TEST_SUITE_P(Depths, PixelConversions, ::testing::Values(16, 32));

TEST_P(PixelConversions, SmallBitmapGivesHeaderAndRows) {
  SurfacePtr bitmap = MakeBitmap(1, 3, 2);
  Do({op::kMakeMemblockFromBitmap, I(4), I(1)});
  ASSERT_EQ(Error(), 0);
  const int bytes = Depth() / 8;
  ASSERT_EQ(Table().Peek(4)->size(), static_cast<uint32_t>(12 + 6 * bytes));
  EXPECT_EQ(Header(4, 0), 3u);
  EXPECT_EQ(Header(4, 1), 2u);
  EXPECT_EQ(Header(4, 2), static_cast<uint32_t>(Depth()));
  for (int y = 0; y < 2; ++y)
    EXPECT_EQ(std::memcmp(Table().Peek(4)->data() + 12 + y * 3 * bytes, bitmap->Row(y), 3 * bytes), 0);
}

TEST_P(PixelConversions, BitmapRoundTripKeepsEveryPixel) {
  SurfacePtr original = MakeBitmap(1, 37, 23);
  Program({{op::kMakeMemblockFromBitmap, I(1), I(1)}, {op::kMakeBitmapFromMemblock, I(2), I(1)}});
  ASSERT_EQ(Error(), 0);
  SurfacePtr copy = G().Bitmaps().Surface(2);
  ASSERT_TRUE(copy);
  EXPECT_EQ(G().Bitmaps().Info(2).width, 37);
  EXPECT_EQ(G().Bitmaps().Info(2).height, 23);
  EXPECT_TRUE(SamePixels(*original, *copy));

  // The screen too, both ways.
  Paint(Back(), 9);
  Program({{op::kMakeMemblockFromBitmap, I(2), I(0)}, {op::kMakeBitmapFromMemblock, I(3), I(2)}});
  ASSERT_EQ(Error(), 0);
  EXPECT_TRUE(SamePixels(Back(), *G().Bitmaps().Surface(3)));
  Paint(Back(), 10);
  Do({op::kMakeBitmapFromMemblock, I(0), I(2)});
  ASSERT_EQ(Error(), 0);
  EXPECT_TRUE(SamePixels(Back(), *G().Bitmaps().Surface(3)));
}

TEST_P(PixelConversions, ImageRoundTripKeepsEveryPixel) {
  SurfacePtr original = MakeBitmap(1, 19, 7);
  Program({{op::kMakeMemblockFromBitmap, I(1), I(1)},
           {op::kMakeImageFromMemblock, I(300), I(1)},
           {op::kMakeMemblockFromImage, I(2), I(300)}});
  ASSERT_EQ(Error(), 0);
  ASSERT_GT(ImageIndex(300), 0);
  const ImageRecord& image = G().Pools().images[ImageIndex(300)];
  EXPECT_EQ(image.in_use, 1);
  EXPECT_EQ(image.width, 19);
  EXPECT_EQ(image.height, 7);
  EXPECT_TRUE(SamePixels(*original, *image.surface));
  EXPECT_EQ(Bytes(2), Bytes(1));
  EXPECT_TRUE(G().images_changed);
}

TEST_P(PixelConversions, ConvertingIntoABlockReplacesIt) {
  MakeBitmap(1, 3, 2);
  ASSERT_TRUE(Table().Make(4, 5000));
  Do({op::kMakeMemblockFromBitmap, I(4), I(1)});
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(Table().Peek(4)->size(), static_cast<uint32_t>(12 + 6 * Depth() / 8));
}

TEST_P(PixelConversions, BitmapOfAnotherSizeIsMadeAnew) {
  SurfacePtr old = MakeBitmap(2, 10, 10);
  G().MakeCurrent(2);
  MakeBitmap(1, 5, 4);
  Program({{op::kMakeMemblockFromBitmap, I(1), I(1)}, {op::kMakeBitmapFromMemblock, I(2), I(1)}});
  ASSERT_EQ(Error(), 0);
  EXPECT_NE(G().Bitmaps().Surface(2), old);
  EXPECT_EQ(G().Bitmaps().Info(2).width, 5);
  EXPECT_EQ(G().Bitmaps().Info(2).height, 4);
  EXPECT_EQ(G().CurrentBitmap(), 0);  // as when the old bitmap is deleted

  // One of the same size keeps its surface and its place as the target.
  G().MakeCurrent(2);
  SurfacePtr kept = G().Bitmaps().Surface(2);
  Do({op::kMakeBitmapFromMemblock, I(2), I(1)});
  EXPECT_EQ(G().Bitmaps().Surface(2), kept);
  EXPECT_EQ(G().CurrentBitmap(), 2);
}

TEST_P(PixelConversions, ScreenTakesThePartOfALargerBlockThatFits) {
  const uint32_t bytes = static_cast<uint32_t>(Depth() / 8);
  MakePixelBlock(1, 700, 3, static_cast<uint32_t>(Depth()), 700 * 3 * bytes);
  Paint(Back(), 3);
  Do({op::kMakeBitmapFromMemblock, I(0), I(1)});
  ASSERT_EQ(Error(), 0);
  const uint8_t* pixels = Table().Peek(1)->data() + 12;
  for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(Back().Row(y), pixels + y * 700 * bytes, 640 * bytes), 0) << y;
  // Below the block's rows the screen is as it was.
  SurfacePtr before = G().MakeSurface(640, 480);
  Paint(*before, 3);
  EXPECT_EQ(std::memcmp(Back().Row(3), before->Row(3), 640 * bytes), 0);
}

TEST_P(PixelConversions, LayoutsBeyondTheBlockAreRefused) {
  SurfacePtr bitmap = MakeBitmap(1, 4, 4);
  MakePixelBlock(2, 100, 100, static_cast<uint32_t>(Depth()), 10);
  for (uint32_t target : {0u, 1u}) {
    Do({op::kMakeBitmapFromMemblock, I(static_cast<int32_t>(target)), I(2)});
    EXPECT_EQ(Error(), 5105);
  }
  EXPECT_EQ(G().Bitmaps().Surface(1), bitmap);
  Do({op::kMakeImageFromMemblock, I(1), I(2)});
  EXPECT_EQ(Error(), 5105);
  EXPECT_EQ(ImageIndex(1), 0);
  ASSERT_TRUE(Table().Make(3, 11));
  Do({op::kMakeBitmapFromMemblock, I(1), I(3)});
  EXPECT_EQ(Error(), 5105);
}

TEST_P(PixelConversions, BlocksOfAnotherDepthAreRefused) {
  const uint32_t other = Depth() == 16 ? 32 : 16;
  MakePixelBlock(1, 2, 2, other, 2 * 2 * other / 8);
  SurfacePtr bitmap = MakeBitmap(3, 2, 2);
  Do({op::kMakeBitmapFromMemblock, I(3), I(1)});
  EXPECT_EQ(Error(), 1000);
  EXPECT_EQ(vm.errors.cause, "the block gives " + std::to_string(other) + " bits per pixel where the bitmap has " +
                                 std::to_string(Depth()));
  EXPECT_EQ(G().Bitmaps().Surface(3), bitmap);
  Do({op::kMakeBitmapFromMemblock, I(0), I(1)});
  EXPECT_EQ(Error(), 1000);
  Do({op::kMakeImageFromMemblock, I(5), I(1)});
  EXPECT_EQ(Error(), 500);
  EXPECT_EQ(ImageIndex(5), 0);
}

TEST_P(PixelConversions, EmptyBlockDeletesTheBitmap) {
  MakeBitmap(1, 4, 4);
  MakePixelBlock(2, 0, 4, static_cast<uint32_t>(Depth()), 0);
  Do({op::kMakeBitmapFromMemblock, I(1), I(2)});
  EXPECT_EQ(Error(), 1002);
  EXPECT_FALSE(G().Bitmaps().Surface(1));
  Do({op::kMakeImageFromMemblock, I(8), I(2)});
  EXPECT_EQ(Error(), 502);
  EXPECT_EQ(ImageIndex(8), 0);
}

TEST_P(PixelConversions, ImageOfTheSameSizeKeepsItsRecord) {
  RecordingNeighbours neighbours;
  G().SetNeighbours(&neighbours);
  MakeBitmap(1, 6, 6, 1);
  MakeBitmap(2, 6, 6, 2);
  MakeBitmap(3, 7, 6, 3);
  Program({{op::kMakeMemblockFromBitmap, I(1), I(1)},
           {op::kMakeMemblockFromBitmap, I(2), I(2)},
           {op::kMakeMemblockFromBitmap, I(3), I(3)},
           {op::kMakeImageFromMemblock, I(40), I(1)}});
  ASSERT_EQ(Error(), 0);
  const int32_t first = ImageIndex(40);
  const SurfacePtr first_surface = ImageSurface(40);
  G().Pools().images[first].texture = 12;
  Do({op::kMakeImageFromMemblock, I(40), I(2)});
  ASSERT_EQ(Error(), 0);
  EXPECT_EQ(ImageIndex(40), first);
  EXPECT_EQ(ImageSurface(40), first_surface);
  EXPECT_TRUE(SamePixels(*ImageSurface(40), *G().Bitmaps().Surface(2)));
  EXPECT_EQ(neighbours.rebuilt, std::vector<int32_t>{first});

  Do({op::kMakeImageFromMemblock, I(40), I(3)});
  ASSERT_EQ(Error(), 0);
  EXPECT_NE(ImageSurface(40), first_surface);
  EXPECT_EQ(ImageSurface(40)->Width(), 7);
  EXPECT_EQ(G().Pools().images[ImageIndex(40)].texture, 0);
  G().SetNeighbours(nullptr);
}

TEST_P(PixelConversions, ImageWithoutSurfaceConvertsToNothing) {
  const int32_t index = G().Pools().AllocImageRecord();
  G().Pools().image_ids.Set(9, index);
  Do({op::kMakeMemblockFromImage, I(1), I(9)});
  EXPECT_EQ(Error(), 0);
  EXPECT_FALSE(Table().Exists(1));
}

TEST_P(PixelConversions, NumberChecksRunInOperandOrder) {
  ExpectRefusals({
      {op::kMakeMemblockFromBitmap, 0, 32, 5101},
      {op::kMakeMemblockFromBitmap, 1, 32, 1001},
      {op::kMakeMemblockFromBitmap, 1, 5, 1002},
      {op::kMakeBitmapFromMemblock, -1, 0, 1001},
      {op::kMakeBitmapFromMemblock, 1, 0, 5101},
      {op::kMakeBitmapFromMemblock, 1, 7, 5103},
      {op::kMakeMemblockFromImage, 256, 0, 5101},
      {op::kMakeMemblockFromImage, 1, 0, 501},
      {op::kMakeMemblockFromImage, 1, 65536, 501},
      {op::kMakeMemblockFromImage, 1, 65535, 502},
      {op::kMakeImageFromMemblock, 0, 0, 501},
      {op::kMakeImageFromMemblock, 1, 0, 5101},
      {op::kMakeImageFromMemblock, 1, 7, 5103},
  });
}

TEST_P(PixelConversions, LockedBitmapLeavesNoBlock) {
  SurfacePtr bitmap = MakeBitmap(1, 2, 2);
  ASSERT_TRUE(Table().Make(6, 4));
  platform::LockedRegion held;
  ASSERT_EQ(bitmap->Lock(nullptr, 0, &held), platform::result::kOk);
  Do({op::kMakeMemblockFromBitmap, I(6), I(1)});
  EXPECT_EQ(Error(), 5104);
  EXPECT_FALSE(Table().Exists(6));
  MakePixelBlock(7, 2, 2, static_cast<uint32_t>(Depth()), 4 * Depth() / 8);
  Do({op::kMakeBitmapFromMemblock, I(1), I(7)});
  EXPECT_EQ(Error(), 1002);
  bitmap->Unlock();
}

}  // namespace
}  // namespace zv::test
