#pragma once

#include <cstdint>

namespace zv::platform {
class Clock;
}

namespace zv {

// Low 32 bits of a high-resolution counter (nanoseconds here).
uint32_t ReadPerfCounter();
uint64_t PerfFrequency();
// Milliseconds of the library's clock (32 bits, wraps).
uint32_t GetClockMs();
void SleepMs(uint32_t ms);
// Lets tests drive the library's millisecond clock; null restores the
// system clock. Sleeping keeps real time either way.
void SetAudioClock(platform::Clock* clock);
// The library's clock (whichever drives GetClockMs now) for the devices
// that must keep the same time as the library's timers.
platform::Clock& LibraryClock();

// The mixer's CPU-load record: the share of elapsed time spent mixing.
struct CpuLoad {
  uint32_t block_start = 0;
  uint32_t block_end = 0;
  uint32_t previous_end = 0;
  uint32_t current = 0;
  float smoothed_load = 0;
  float smoothed_period = 0;
};

// Updates the load after a block (block_start taken just before it) with
// smoothing factor k; returns the smoothed percentage.
float UpdateCpuLoad(CpuLoad& load, float k);

}  // namespace zv
