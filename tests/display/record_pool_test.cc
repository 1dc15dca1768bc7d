#include <gtest/gtest.h>

#include <vector>

#include "display/id_map.h"
#include "display/record_pool.h"
#include "display/record_pools.h"

namespace zv {
namespace {

struct Plain {
  int32_t value = 7;
};

std::vector<int32_t> InUse(const RecordPool<Plain>& pool) {
  std::vector<int32_t> order;
  for (int32_t i = pool.Head(); i != kNoRecord; i = pool.Next(i)) order.push_back(i);
  return order;
}

TEST(RecordPool, GrowsByDoublingBeforeTheFreeListRunsShort) {
  RecordPool<Plain> pool(2, 4);
  EXPECT_EQ(pool.Alloc(), 0);
  EXPECT_EQ(pool.Capacity(), 4);  // 0 > 2 - 4
  EXPECT_EQ(pool.Alloc(), 1);
  EXPECT_EQ(pool.Capacity(), 8);  // 1 > 4 - 4
  for (int i = 0; i < 20; ++i) pool.Alloc();
  EXPECT_EQ(pool.Count(), 22);
  EXPECT_GE(pool.Capacity() - pool.Count(), 3);
  EXPECT_EQ(InUse(pool).size(), 22u);
}

TEST(RecordPool, KeepsAllocationOrderAndReusesTheLastFreed) {
  RecordPool<Plain> pool(16, 12);
  const int32_t a = pool.Alloc(), b = pool.Alloc(), c = pool.Alloc();
  EXPECT_EQ(InUse(pool), (std::vector<int32_t>{a, b, c}));
  ASSERT_TRUE(pool.Free(b));
  EXPECT_EQ(InUse(pool), (std::vector<int32_t>{a, c}));
  EXPECT_EQ(pool.Prev(c), a);
  EXPECT_EQ(pool.Alloc(), b);  // last freed, first taken
  EXPECT_EQ(InUse(pool), (std::vector<int32_t>{a, c, b}));
}

TEST(RecordPool, FreeingTheHeadOfTwoLeavesOneRecordWithoutLinks) {
  RecordPool<Plain> pool(16, 12);
  const int32_t a = pool.Alloc(), b = pool.Alloc();
  ASSERT_TRUE(pool.Free(a));
  EXPECT_EQ(pool.Head(), b);
  EXPECT_EQ(pool.Tail(), b);
  EXPECT_EQ(pool.Prev(b), kNoRecord);
  EXPECT_EQ(pool.Next(b), kNoRecord);
  ASSERT_TRUE(pool.Free(b));
  EXPECT_EQ(pool.Head(), kNoRecord);
  EXPECT_EQ(pool.Tail(), kNoRecord);
  EXPECT_EQ(pool.Count(), 0);
  EXPECT_EQ(pool.Alloc(), b);
}

TEST(RecordPool, RefusesDoubleFreesAndRecordsNotInUse) {
  RecordPool<Plain> pool(16, 12);
  EXPECT_FALSE(pool.Free(0));  // nothing in use
  const int32_t a = pool.Alloc(), b = pool.Alloc();
  EXPECT_FALSE(pool.Free(5));
  EXPECT_FALSE(pool.Free(-1));
  EXPECT_FALSE(pool.Free(1000));
  ASSERT_TRUE(pool.Free(a));
  EXPECT_FALSE(pool.Free(a));
  EXPECT_EQ(pool.Count(), 1);
  EXPECT_EQ(InUse(pool), (std::vector<int32_t>{b}));
  // The free list is intact: two new records are two different records.
  const int32_t c = pool.Alloc(), d = pool.Alloc();
  EXPECT_NE(c, d);
  EXPECT_NE(c, b);
  EXPECT_NE(d, b);
}

TEST(RecordPool, ResetEmptiesWithoutShrinkingAndRestoresDefaults) {
  RecordPool<Plain> pool(2, 4);
  for (int i = 0; i < 10; ++i) pool[pool.Alloc()].value = 1;
  const int32_t capacity = pool.Capacity();
  pool.Reset();
  EXPECT_EQ(pool.Count(), 0);
  EXPECT_EQ(pool.Capacity(), capacity);
  EXPECT_EQ(pool.Alloc(), 0);
  EXPECT_EQ(pool[0].value, 7);
}

TEST(RecordPool, AFullPoolThatCannotGrowGivesNoRecord) {
  RecordPool<Plain> pool(4, 2, /*limit=*/4);
  for (int i = 0; i < 4; ++i) EXPECT_NE(pool.Alloc(), kNoRecord);
  EXPECT_EQ(pool.Alloc(), kNoRecord);
  EXPECT_EQ(pool.Count(), 4);
}

TEST(IdMap, ChecksItsRange) {
  IdMap map;
  EXPECT_TRUE(map.Set(1, 5));
  EXPECT_TRUE(map.Set(65535, 6));
  EXPECT_FALSE(map.Set(0, 7));
  EXPECT_FALSE(map.Set(65536, 8));
  EXPECT_FALSE(map.Set(-3, 8));
  EXPECT_EQ(map.Get(1), 5);
  EXPECT_EQ(map.Get(65535), 6);
  EXPECT_EQ(map.Get(0), 0);
  EXPECT_EQ(map.Get(65536), 0);
  EXPECT_EQ(map.Get(-1), 0);
  map.Clear();
  EXPECT_EQ(map.Get(1), 0);
}

TEST(RecordPools, ImagesOfAResetProgramStartAtIndexOne) {
  RecordPools pools;
  pools.Reset();
  EXPECT_EQ(pools.AllocImageRecord(), 1);
  EXPECT_TRUE(pools.images.InUse(0));
}

TEST(RecordPools, NewSpritesHoldTheirDefaults) {
  RecordPools pools;
  pools.Reset();
  const int32_t s = pools.AllocSpriteRecord();
  pools.sprites[s].x = 9;
  pools.sprites[s].scale_x = 3.0f;
  ASSERT_TRUE(pools.FreeSpriteRecord(s));
  const SpriteRecord& fresh = pools.sprites[pools.AllocSpriteRecord()];
  EXPECT_EQ(fresh.x, 0);
  EXPECT_EQ(fresh.scale_x, 1.0f);
  EXPECT_EQ(fresh.saved_background[0], kNoRecord);
  EXPECT_EQ(fresh.saved_background[1], kNoRecord);
}

TEST(RecordPools, FreeingASpriteReleasesItsSavedBackgrounds) {
  RecordPools pools;
  pools.Reset();
  const int32_t s = pools.AllocSpriteRecord();
  const int32_t back0 = pools.AllocImageRecord(), back1 = pools.AllocImageRecord();
  pools.sprites[s].saved_background = {back0, back1};
  pools.sprites[s].backsave = 1;
  const int32_t images_before = pools.images.Count();
  ASSERT_TRUE(pools.FreeSpriteRecord(s));
  EXPECT_EQ(pools.images.Count(), images_before - 2);
  EXPECT_FALSE(pools.images.InUse(back0));
  EXPECT_FALSE(pools.FreeSpriteRecord(s));
}

TEST(RecordPools, FreeingAnImageReleasesItsSurface) {
  RecordPools pools;
  pools.Reset();
  const int32_t i = pools.AllocImageRecord();
  platform::SurfaceDesc desc;
  desc.width = desc.height = 4;
  desc.format = platform::PixelFormat::Rgb565();
  pools.images[i].surface = platform::Surface::Create(desc);
  std::weak_ptr<platform::Surface> surface = pools.images[i].surface;
  ASSERT_TRUE(pools.FreeImageRecord(i));
  EXPECT_TRUE(surface.expired());
  EXPECT_FALSE(pools.FreeImageRecord(i));
}

}  // namespace
}  // namespace zv
