#include "platform/clock/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock/stop_flag.h"

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

// A thread stopped in the middle of a long nap is joined at once, not
// once the nap is over.
TEST(StopFlag, AStopEndsTheNapAtOnce) {
  using std::chrono::steady_clock;
  constexpr auto kNap = std::chrono::seconds(10);
  StopFlag stop;
  std::atomic<bool> napping{false};
  steady_clock::duration slept{};
  std::thread sleeper([&] {
    const steady_clock::time_point start = steady_clock::now();
    napping = true;
    EXPECT_TRUE(stop.Nap(kNap));
    slept = steady_clock::now() - start;
  });
  while (!napping) std::this_thread::yield();
  stop.Stop();
  sleeper.join();
  EXPECT_LT(slept, kNap);
  stop.Reset();
  EXPECT_FALSE(stop.Nap(1));
}

}  // namespace
}  // namespace zv::platform
