#include "platform/clock/clock.h"

#include <gtest/gtest.h>

namespace zv::platform {
namespace {

TEST(Clock, ElapsedIsRightAcrossTheWrap) {
  EXPECT_EQ(ElapsedMs(0xFFFFFFF0u, 0x10u), 0x20u);
  ManualClock clock(0xFFFFFFFFu);
  uint32_t before = clock.NowMs();
  clock.SleepMs(5);
  EXPECT_EQ(ElapsedMs(before, clock.NowMs()), 5u);
}

TEST(Clock, SystemClockMovesForward) {
  SystemClock clock;
  uint32_t before = clock.NowMs();
  clock.SleepMs(3);
  EXPECT_GE(ElapsedMs(before, clock.NowMs()), 3u);
}

}  // namespace
}  // namespace zv::platform
