#include "runtime/vm/dispatch.h"

#include <bit>

#include "runtime/vm/errors.h"
#include "runtime/vm/opcodes/hot_handlers.h"

namespace zv {

// The dispatch loop's own access to the machine's program counters.
struct DispatchAccess {
  static void SetCommandPc(Vm& vm, uint32_t pc) { vm.command_pc_ = pc; }
  static uint32_t* Slots(Vm& vm) { return vm.slots_.data(); }
  static OperandCursor& Cursor(Vm& vm) { return vm.cursor_; }
  static uint32_t* HotOperands(Vm& vm) { return vm.hot_operands_.data(); }
  static uint8_t* HotChecked(Vm& vm) { return vm.hot_checked_.data(); }
};

namespace {

// ---- When the slice ends ----------------------------------------------------
//
// Both loops count down a budget of commands; when it runs out they make the
// checks of the current mode and take a new budget. In time-slice mode the
// budget is the clock-check interval, in frame-synchronised mode the commands
// left until the 201st.

struct Slice {
  uint32_t last_clock_read;
};

// Reads the clock, ends the slice when it is used up, and adapts the number
// of commands until the next read.
void CheckClock(Vm& vm, Slice& slice) {
  uint32_t now = vm.Host().NowMs();
  if (now - vm.time_slice_start > vm.time_slice_length) vm.yield = true;
  uint32_t& interval = vm.clock_check_interval;
  if (now - slice.last_clock_read < kClockCheckQuietMs) {
    if (interval < kClockCheckMaxInterval) interval *= 2;
  } else if (interval > 1) {
    interval /= 2;
  }
  slice.last_clock_read = now;
}

void CheckFrameSync(Vm& vm) {
  if (!vm.standalone && vm.Host().DebugKeysHeld()) vm.yield = true;
  if (vm.Host().PendingDrawRecords() > kDrawQueueYieldLength) vm.yield = true;
  vm.command_counter = 0;
  vm.input_poll_due = true;
}

uint32_t Budget(const Vm& vm) {
  if (vm.time_slice_mode) return vm.clock_check_interval;
  return vm.command_counter >= kFrameSyncCheckInterval ? 1 : kFrameSyncCheckInterval + 1 - vm.command_counter;
}

// The budget has run out: the checks of the mode, and the next budget.
uint32_t CheckSlice(Vm& vm, Slice& slice) {
  if (vm.time_slice_mode)
    CheckClock(vm, slice);
  else
    CheckFrameSync(vm);
  return Budget(vm);
}

// Keeps the frame-synchronised command count when a loop stops with part of
// its budget left.
void ReturnBudget(Vm& vm, uint32_t left) {
  if (!vm.time_slice_mode) vm.command_counter = kFrameSyncCheckInterval + 1 - left;
}

// ---- The machine the hot handlers run on inside the loop ----------------------

// A copy of the program counter and the slot base, kept in registers and
// written back to the Vm around every command that goes through the table.
struct InlineMachine {
  InlineMachine(Vm& v, uint32_t& command)
      : cursor(DispatchAccess::Cursor(v)),
        slots(DispatchAccess::Slots(v)),
        checked(DispatchAccess::HotOperands(v)),
        vm(v),
        arrays(v.arrays),
        command_pc(command) {}

  // The loop has checked the operands of the command at this position
  // once (CheckHotOperands): they are read as checked slot and code indices.
  ZV_ALWAYS_INLINE uint32_t NextWord() { return cursor.code[cursor.pc++]; }
  ZV_ALWAYS_INLINE Slot NextSlot() { return Slot{checked[cursor.pc++]}; }
  ZV_ALWAYS_INLINE uint32_t NextTarget() { return checked[cursor.pc++]; }
  ZV_ALWAYS_INLINE int32_t NextInt() { return IntAt(NextSlot()); }
  ZV_ALWAYS_INLINE float NextFloat() { return FloatAt(NextSlot()); }
  ZV_ALWAYS_INLINE void SetPc(uint32_t pc) { cursor.pc = pc; }

  ZV_ALWAYS_INLINE uint32_t WordAt(Slot s) const { return slots[s.index]; }
  ZV_ALWAYS_INLINE int32_t IntAt(Slot s) const { return static_cast<int32_t>(slots[s.index]); }
  ZV_ALWAYS_INLINE float FloatAt(Slot s) const { return std::bit_cast<float>(slots[s.index]); }
  ZV_ALWAYS_INLINE void SetWord(Slot s, uint32_t w) { slots[s.index] = w; }
  ZV_ALWAYS_INLINE void SetInt(Slot s, int32_t v) { slots[s.index] = static_cast<uint32_t>(v); }
  ZV_ALWAYS_INLINE void SetFloat(Slot s, float v) { slots[s.index] = std::bit_cast<uint32_t>(v); }

  void RunError(int32_t code) {
    DispatchAccess::SetCommandPc(vm, command_pc);
    vm.RunError(code);
  }

  OperandCursor cursor;
  uint32_t* slots;
  const uint32_t* checked;
  Vm& vm;
  ArrayTable& arrays;
  uint32_t& command_pc;  // the running command, for error reports
};

ZV_ALWAYS_INLINE Vm& MachineOf(InlineMachine& m) { return m.vm; }

// ---- Checking a hot command's operands once ----------------------------------

// The operands of each hot opcode: S a value slot, T a code address, W a
// word that is not read.
constexpr const char* HotOperandKinds(uint32_t opcode) {
  switch (opcode) {
    case 1: case 9: case 12: return "ST";
    case 2: case 5: case 6: case 10: case 42: return "T";
    case 8: return "WT";
    case 7: return "SSST";
    case 151: case 152: case 154: case 232: case 155: return "SS";
    default: return "SSS";  // arithmetic, comparisons, element stores and reads
  }
}

// Checks the operands of the hot command at `pc` and keeps their slot and
// code indices for the loop; throws OperandFault (runtime error 10010) at
// the first word of the wrong class, before the command has changed
// anything, as its checked reads would. The code is immutable, so a position
// is checked once.
void CheckHotOperands(Vm& vm, uint32_t pc, const char* kinds) {
  OperandCursor cursor = DispatchAccess::Cursor(vm);
  cursor.pc = pc + 1;
  uint32_t* checked = DispatchAccess::HotOperands(vm);
  for (const char* kind = kinds; *kind; ++kind) {
    const uint32_t at = cursor.pc;
    switch (*kind) {
      case 'S': checked[at] = cursor.NextSlot().index; break;
      case 'T': checked[at] = cursor.NextTarget(); break;
      default: checked[at] = cursor.NextWord(); break;
    }
  }
  DispatchAccess::HotChecked(vm)[pc] = 1;
}

// Runs one command through the handler table, with the Vm's program counter
// in step. False when the opcode has no handler: the run then ends with an
// error and the counter rests on the unknown word.
bool RunTableCommand(Vm& vm, InlineMachine& m, uint32_t pc, uint32_t opcode) {
  const Handler handler = vm.Handlers().Get(opcode);
  DispatchAccess::SetCommandPc(vm, pc);
  if (!handler) {
    m.cursor.pc = pc;
    vm.SetPc(pc);
    vm.RunError(error_code::kUnknownCommand);
    return false;
  }
  vm.SetPc(pc + 1);
  handler(vm);
  m.cursor.pc = vm.Pc();
  return true;
}

// ---- The loops ----------------------------------------------------------------
// Each returns when the slice ends; a fault inside a command leaves by
// exception, with `command_pc` on the failing command.

// Every command through the table: for tables with other handlers for the
// hot opcodes, and for DEBUGMODE's trace.
void RunThroughTable(Vm& vm, InlineMachine& m, Slice& slice, uint32_t& command_pc) {
  const bool tracing = vm.settings.debug_mode;
  uint32_t budget = Budget(vm);
  while (!vm.yield) {
    const uint32_t pc = m.cursor.pc;
    command_pc = pc;
    if (pc >= m.cursor.size) {
      // The code ran out without an end command.
      DispatchAccess::SetCommandPc(vm, pc);
      vm.RunError(error_code::kUnknownCommand);
      return;
    }
    const uint32_t opcode = m.cursor.code[pc];
    if (tracing) vm.TraceCommand(pc, opcode);
    if (!RunTableCommand(vm, m, pc, opcode)) return;
    if (--budget == 0) budget = CheckSlice(vm, slice);
  }
  ReturnBudget(vm, budget);
}

// The hot opcodes below this go through a jump table of the loop's own.
constexpr uint32_t kHotOpcodeLimit = 1024;

// Threaded dispatch: each hot command runs inline and jumps straight to the
// next command's code; only the others go through the handler table. Most
// hot commands never yield or raise errors (they only fault), so the yield
// flag is looked at after the others, table commands and slice checks. The opcode fetch
// needs no bounds check: the pc is inside the code or, after a hot command
// that was the last, in the zero words that follow it, whose opcode 0 has no
// handler and ends the run as code that ran out.
void RunThreaded(Vm& vm, InlineMachine& machine, Slice& slice, uint32_t& command_pc) {
  void* jump[kHotOpcodeLimit];
  for (void*& entry : jump) entry = &&table_command;
#define ZV_JUMP_ENTRY(op, call) jump[op] = &&hot_##op;
  ZV_HOT_OPCODES(ZV_JUMP_ENTRY)
  ZV_HOT_RAISING_OPCODES(ZV_JUMP_ENTRY)
#undef ZV_JUMP_ENTRY

  InlineMachine m = machine;
  const uint8_t* hot_checked = DispatchAccess::HotChecked(vm);
  uint32_t budget = Budget(vm);
  uint32_t opcode;

#define ZV_DISPATCH()                                          \
  do {                                                         \
    command_pc = m.cursor.pc;                                  \
    opcode = m.cursor.code[m.cursor.pc++];                     \
    if (opcode < kHotOpcodeLimit) goto* jump[opcode];          \
    goto table_command;                                        \
  } while (0)
#define ZV_NEXT()                                              \
  do {                                                         \
    if (--budget == 0) goto check_slice;                       \
    ZV_DISPATCH();                                             \
  } while (0)

  if (vm.yield) goto done;
  ZV_DISPATCH();

#define ZV_CHECK_OPERANDS(op) \
  if (__builtin_expect(!hot_checked[command_pc], 0)) CheckHotOperands(vm, command_pc, HotOperandKinds(op));
#define ZV_HOT_CASE(op, call) \
  hot_##op:                   \
  ZV_CHECK_OPERANDS(op)       \
  call;                       \
  ZV_NEXT();
  ZV_HOT_OPCODES(ZV_HOT_CASE)
#undef ZV_HOT_CASE
#define ZV_HOT_RAISING_CASE(op, call) \
  hot_##op:                           \
  ZV_CHECK_OPERANDS(op)               \
  call;                               \
  if (vm.yield) goto done;            \
  ZV_NEXT();
  ZV_HOT_RAISING_OPCODES(ZV_HOT_RAISING_CASE)
#undef ZV_HOT_RAISING_CASE
#undef ZV_CHECK_OPERANDS

table_command:
  if (command_pc >= m.cursor.size) {
    DispatchAccess::SetCommandPc(vm, command_pc);
    vm.RunError(error_code::kUnknownCommand);
    goto done;
  }
  machine.cursor = m.cursor;
  if (!RunTableCommand(vm, m, command_pc, opcode)) goto done;
  if (vm.yield) goto done;
  ZV_NEXT();

check_slice:
  machine.cursor = m.cursor;
  budget = CheckSlice(vm, slice);
  if (vm.yield) goto done;
  ZV_DISPATCH();

#undef ZV_NEXT
#undef ZV_DISPATCH
done:
  machine.cursor = m.cursor;
  ReturnBudget(vm, budget);
}

}  // namespace

void RunVmLoop(Vm& vm) {
  if (!vm.app_active) return;
  vm.input_poll_due = false;
  vm.time_slice_start = vm.Host().NowMs();
  if (vm.clock_check_interval == 0) vm.clock_check_interval = 1;
  Slice slice{vm.time_slice_start};
  const bool threaded = !vm.settings.debug_mode && hot::HasHotHandlers(vm.Handlers());
  uint32_t command_pc = vm.Pc();
  InlineMachine m(vm, command_pc);
  for (;;) {
    try {
      if (threaded)
        RunThreaded(vm, m, slice, command_pc);
      else
        RunThroughTable(vm, m, slice, command_pc);
      break;
    } catch (...) {
      // Whatever the command changed before the fault stays changed.
      DispatchAccess::SetCommandPc(vm, command_pc);
      vm.RunError(error_code::kSevereException);
      m.cursor.pc = vm.Pc();
      if (vm.yield) break;
    }
  }
  vm.SetPc(m.cursor.pc);
  vm.yield = false;
  if (vm.settings.debug_mode) vm.FlushTraceLog();
}

}  // namespace zv
