#pragma once

#include <string>

#include "platform/clock/clock.h"
#include "runtime/vm/vm.h"

namespace zv::test {

// A host on a manual clock that records what the machine asks of it.
class FakeHost : public VmHost {
 public:
  uint32_t NowMs() override { return clock.NowMs(); }
  void PostQuit() override { ++quits; }
  bool DebugKeysHeld() override { return debug_keys; }
  size_t PendingDrawRecords() override { return draw_records; }
  bool SetClipboardText(std::string_view text) override {
    if (!clipboard_available) return false;
    clipboard = text;
    return true;
  }

  platform::ManualClock clock;
  int quits = 0;
  bool debug_keys = false;
  size_t draw_records = 0;
  bool clipboard_available = true;
  std::string clipboard;
};

}  // namespace zv::test
