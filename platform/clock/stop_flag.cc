#include "platform/clock/stop_flag.h"

namespace zv::platform {

void StopFlag::Stop() {
  {
    // Set under the lock, so that a thread between its look at the flag
    // and its wait cannot miss the wake-up.
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
}

bool StopFlag::Nap(std::chrono::steady_clock::duration length) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_for(lock, length, [this] { return Stopped(); });
}

}  // namespace zv::platform
