#pragma once

#include <cstdint>

namespace zv::platform {

// The millisecond clock that programs and the message pump pace themselves by.
// It is 32 bits wide and wraps about every 49.7 days, so callers compare
// times by unsigned difference, never by order.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// Milliseconds since an arbitrary start, from the monotonic clock.
class SystemClock final : public Clock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// A clock that only moves when told to; sleeping advances it. For tests and
// for headless runs on virtual time.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t start = 0) : now_(start) {}
  uint32_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { now_ += ms; }
  void Advance(uint32_t ms) { now_ += ms; }
  void Set(uint32_t ms) { now_ = ms; }

 private:
  uint32_t now_;
};

// Milliseconds from `earlier` to `later`, correct across the wrap.
inline uint32_t ElapsedMs(uint32_t earlier, uint32_t later) { return later - earlier; }

}  // namespace zv::platform
