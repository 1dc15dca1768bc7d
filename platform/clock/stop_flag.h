#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zv::platform {

// How a worker thread is told to stop: it looks at the flag between naps,
// and a stop also ends the nap it is taking, so the thread that stops it
// joins it at once instead of waiting out the nap.
class StopFlag {
 public:
  // Before the thread starts (again).
  void Reset() { stopped_.store(false, std::memory_order_release); }
  void Stop();
  bool Stopped() const { return stopped_.load(std::memory_order_acquire); }
  // Sleeps `ms` milliseconds, or less when stopped; true once stopped.
  bool Nap(uint32_t ms) { return Nap(std::chrono::milliseconds(ms)); }
  bool Nap(std::chrono::steady_clock::duration length);

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stopped_{false};
};

}  // namespace zv::platform
