#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Runs the program until something asks for the turn back: a command sets
// the yield flag (a sync, a wait, a drawing command with automatic refresh,
// an error), the time slice is used up, or, in frame-synchronised mode, F11
// or F12 is held (outside a built game) or the draw queue is too long.
void RunVmLoop(Vm& vm);

// In time-slice mode the clock is read every few commands, since reading it
// costs more than a command. The interval adapts: it doubles while the
// commands between two reads take under kClockCheckQuietMs and halves when
// they take longer, so fast loops rarely look and slow commands look at once.
constexpr uint32_t kClockCheckInterval = 32;  // the interval a run starts with
constexpr uint32_t kClockCheckMaxInterval = 4096;
constexpr uint32_t kClockCheckQuietMs = 1;
// Commands between two checks in frame-synchronised mode.
constexpr uint32_t kFrameSyncCheckInterval = 200;
constexpr size_t kDrawQueueYieldLength = 32000;

}  // namespace zv
