#include "runtime/vm/numeric/random.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(Random, SeededWithOneGivesTheKnownSequence) {
  SeedRandom(1);
  EXPECT_EQ(RandomDraw(), 41u);
  EXPECT_EQ(RandomDraw(), 18467u);
  EXPECT_EQ(RandomDraw(), 6334u);
  EXPECT_EQ(RandomState(), 1u * 214013u * 214013u * 214013u + 2531011u * (1u + 214013u + 214013u * 214013u));
}

TEST(Random, DrawsStayBelow32768AndFollowTheState) {
  SeedRandom(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    uint32_t before = RandomState();
    uint32_t draw = RandomDraw();
    EXPECT_LE(draw, kRandomMax);
    EXPECT_EQ(RandomState(), before * 214013u + 2531011u);
    EXPECT_EQ(draw, (RandomState() >> 16) & 32767u);
  }
}

}  // namespace
}  // namespace zv
