#pragma once

#include <cstdint>

#include "platform/clock/clock.h"
#include "platform/window/headless/headless_window.h"

namespace zv {

// The clock of a headless editor session. Waits are skipped while its
// script has events still to come, so a scripted session runs as fast as it
// can; the time spent working passes as it really does, so a program busy
// in a loop still sees its timer move and ends its slices. Once the script
// is played out nothing more can come: waits are real, and a program left
// waiting for a key waits idly until it is stopped. Without a script every
// wait is skipped.
class ScriptClock final : public platform::Clock {
 public:
  ScriptClock() : start_(real_.NowMs()) {}

  void Follow(const platform::HeadlessWindow& script) { script_ = &script; }

  uint32_t NowMs() override { return real_.NowMs() - start_ + skipped_; }
  void SleepMs(uint32_t ms) override {
    if (script_ && script_->PendingEvents() == 0)
      real_.SleepMs(ms);
    else
      skipped_ += ms;
  }

 private:
  platform::SystemClock real_;
  uint32_t start_;
  uint32_t skipped_ = 0;
  const platform::HeadlessWindow* script_ = nullptr;
};

}  // namespace zv
