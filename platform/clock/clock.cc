#include "platform/clock/clock.h"

#include <chrono>
#include <thread>

namespace zv::platform {

uint32_t SystemClock::NowMs() {
  auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
  return static_cast<uint32_t>(ms);  // wraps by design
}

void SystemClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace zv::platform
