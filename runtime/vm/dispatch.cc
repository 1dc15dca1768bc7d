#include "runtime/vm/dispatch.h"

#include "runtime/vm/errors.h"

namespace zv {
namespace {

// The end-of-command checks that decide when the slice ends.
void CheckSlice(Vm& vm, uint32_t& clock_countdown) {
  if (vm.time_slice_mode) {
    if (--clock_countdown == 0) {
      clock_countdown = kClockCheckInterval;
      if (vm.Host().NowMs() - vm.time_slice_start > vm.time_slice_length) vm.yield = true;
    }
    return;
  }
  if (++vm.command_counter > kFrameSyncCheckInterval) {
    if (!vm.standalone && vm.Host().DebugKeysHeld()) vm.yield = true;
    if (vm.Host().PendingDrawRecords() > kDrawQueueYieldLength) vm.yield = true;
    vm.command_counter = 0;
    vm.input_poll_due = true;
  }
}

}  // namespace

void RunVmLoop(Vm& vm) {
  if (!vm.app_active) return;
  vm.input_poll_due = false;
  vm.time_slice_start = vm.Host().NowMs();
  const HandlerTable& handlers = vm.Handlers();
  const bool tracing = vm.settings.debug_mode;
  uint32_t clock_countdown = kClockCheckInterval;

  while (!vm.yield) {
    const uint32_t pc = vm.pc_;
    vm.command_pc_ = pc;
    if (pc >= vm.code_size_) {
      // The code ran out without an end command.
      vm.RunError(error_code::kUnknownCommand);
      break;
    }
    const uint32_t opcode = vm.code_[pc];
    if (tracing) vm.TraceCommand(pc, opcode);
    const Handler handler = handlers.Get(opcode);
    if (!handler) {
      vm.RunError(error_code::kUnknownCommand);
      break;
    }
    vm.pc_ = pc + 1;
    try {
      handler(vm);
    } catch (...) {
      // Whatever the command changed before the fault stays changed.
      vm.RunError(error_code::kSevereException);
    }
    CheckSlice(vm, clock_countdown);
  }
  vm.yield = false;
  if (tracing) vm.FlushTraceLog();
}

}  // namespace zv
