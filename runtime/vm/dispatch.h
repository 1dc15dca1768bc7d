#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Runs the program until something asks for the turn back: a command sets
// the yield flag (a sync, a wait, a drawing command with automatic refresh,
// an error), the time slice is used up, or, in frame-synchronised mode, F11
// or F12 is held (outside a built game) or the draw queue is too long.
void RunVmLoop(Vm& vm);

// Commands between two looks at the clock in time-slice mode. The clock
// costs more than a command, so it is read every few commands; a slice
// overruns its length by at most this many commands.
constexpr uint32_t kClockCheckInterval = 32;
// Commands between two checks in frame-synchronised mode.
constexpr uint32_t kFrameSyncCheckInterval = 200;
constexpr size_t kDrawQueueYieldLength = 32000;

}  // namespace zv
