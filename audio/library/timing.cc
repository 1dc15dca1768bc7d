#include "audio/library/timing.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock/clock.h"

namespace zv {
namespace {

std::atomic<platform::Clock*> g_clock{nullptr};

uint64_t MicrosecondsNow() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

uint32_t ReadPerfCounter() { return static_cast<uint32_t>(MicrosecondsNow()); }
uint64_t PerfFrequency() { return 1000000; }

uint32_t GetClockMs() {
  if (platform::Clock* clock = g_clock.load()) return clock->NowMs();
  return static_cast<uint32_t>(MicrosecondsNow() / 1000);
}

void SleepMs(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

void SetAudioClock(platform::Clock* clock) { g_clock.store(clock); }

platform::Clock& LibraryClock() {
  class View final : public platform::Clock {
   public:
    uint32_t NowMs() override { return GetClockMs(); }
    void SleepMs(uint32_t ms) override { zv::SleepMs(ms); }
  };
  static View view;
  return view;
}

float UpdateCpuLoad(CpuLoad& load, float k) {
  const uint32_t now = ReadPerfCounter();
  load.block_end = load.current = now;
  const float period = static_cast<float>(now - load.previous_end);
  load.smoothed_period = k * load.smoothed_period + period;
  const float busy = static_cast<float>(load.block_end - load.block_start);
  const float span = (1.0f - k) * load.smoothed_period;
  if (span > 0.0f) load.smoothed_load = k * load.smoothed_load + 100.0f * busy / span;
  load.previous_end = now;
  return (1.0f - k) * load.smoothed_load;
}

}  // namespace zv
