#include "runtime/vm/dispatch.h"

#include <algorithm>
#include <bit>

#include "runtime/vm/errors.h"
#include "runtime/vm/opcodes/function_calls.h"
#include "runtime/vm/opcodes/hot_handlers.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {

// The dispatch loop's own access to the machine's program counters.
struct DispatchAccess {
  static void SetCommandPc(Vm& vm, uint32_t pc) { vm.command_pc_ = pc; }
  static uint32_t* Slots(Vm& vm) { return vm.slots_.data(); }
  static const OperandCursor& Cursor(const Vm& vm) { return vm.cursor_; }
  // The decoded form of the code, every entry first sent to `decode`.
  static DirectEntry* DirectCode(Vm& vm, const void* decode) {
    const size_t size = size_t{vm.cursor_.size} + 1;
    if (vm.direct_.size() != size) vm.direct_.assign(size, DirectEntry{decode, {}});
    return vm.direct_.data();
  }
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
  // A program that never syncs would otherwise never see the pump end it.
  if (vm.Host().StopSignalled()) vm.yield = true;
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

// One hot command's view of the machine: operands from its decoded entry,
// slots through a base kept in a register. The loop makes one per command;
// after it the program counter moves past the operands read, or to the
// jump target.
struct InlineMachine {
  const DirectEntry* entry;
  uint32_t* slots;
  Vm& vm;
  ArrayTable& arrays;
  uint32_t pc;  // the running command
  uint32_t next = 0;
  uint32_t target = 0;
  bool jumped = false;

  ZV_ALWAYS_INLINE uint32_t NextWord() { return entry->operands[next++]; }
  ZV_ALWAYS_INLINE Slot NextSlot() { return Slot{entry->operands[next++]}; }
  ZV_ALWAYS_INLINE uint32_t NextTarget() { return entry->operands[next++]; }
  ZV_ALWAYS_INLINE int32_t NextInt() { return IntAt(NextSlot()); }
  ZV_ALWAYS_INLINE float NextFloat() { return FloatAt(NextSlot()); }
  // Operands that decoding checked further (kinds 'A' and 'R').
  ZV_ALWAYS_INLINE uint32_t NextNumericArrayEntry() { return entry->operands[next++]; }
  ZV_ALWAYS_INLINE Slot NextNumberResult() { return NextSlot(); }
  ZV_ALWAYS_INLINE void SetPc(uint32_t to) {
    target = to;
    jumped = true;
  }

  ZV_ALWAYS_INLINE uint32_t WordAt(Slot s) const { return slots[s.index]; }
  ZV_ALWAYS_INLINE int32_t IntAt(Slot s) const { return static_cast<int32_t>(slots[s.index]); }
  ZV_ALWAYS_INLINE float FloatAt(Slot s) const { return std::bit_cast<float>(slots[s.index]); }
  ZV_ALWAYS_INLINE void SetWord(Slot s, uint32_t w) { slots[s.index] = w; }
  ZV_ALWAYS_INLINE void SetInt(Slot s, int32_t v) { slots[s.index] = static_cast<uint32_t>(v); }
  ZV_ALWAYS_INLINE void SetFloat(Slot s, float v) { slots[s.index] = std::bit_cast<uint32_t>(v); }

  void RunError(int32_t code) {
    DispatchAccess::SetCommandPc(vm, pc);
    vm.RunError(code);
  }
  void RunError(int32_t code, std::string_view file, std::string_view cause) {
    DispatchAccess::SetCommandPc(vm, pc);
    vm.RunError(code, file, cause);
  }
  void RunWarning(int32_t code) {
    DispatchAccess::SetCommandPc(vm, pc);
    vm.RunWarning(code);
  }
};

ZV_ALWAYS_INLINE Vm& MachineOf(InlineMachine& m) { return m.vm; }

// ---- Decoding a hot command's operands once ----------------------------------

// The operands of each hot opcode: S a value slot, T a code address, W a
// word that is not read, R a slot that is not a string's, A an int or float
// variable named as an array (kept as its array entry).
constexpr const char* HotOperandKinds(uint32_t opcode) {
  switch (opcode) {
    case 561: case 566: return "ASS";
    case 562: case 567: return "ASSS";
    case 661: case 666: return "RAS";
    case 662: case 667: return "RASS";
    case 1: case 9: case 12: return "ST";
    case 2: case 5: case 6: case 10: case 42: return "T";
    case 8: return "WT";
    case 7: return "SSST";
    case 151: case 152: case 154: case 232: case 155: return "SS";
    default: return "SSS";  // arithmetic, comparisons, element stores and reads
  }
}

// Checks the operands of the hot command at `pc` into its entry; throws
// OperandFault (runtime error 10010) at the first word of the wrong class,
// before the command has changed anything, as its checked reads would.
void DecodeOperands(const Vm& vm, uint32_t pc, const char* kinds, DirectEntry& entry) {
  OperandCursor cursor = DispatchAccess::Cursor(vm);
  cursor.pc = pc + 1;
  for (int k = 0; kinds[k]; ++k) {
    switch (kinds[k]) {
      case 'S': entry.operands[k] = cursor.NextSlot().index; break;
      case 'T': entry.operands[k] = cursor.NextTarget(); break;
      case 'R': {
        Slot s = cursor.NextSlot();
        if (core::IsStringSlot(s)) throw OperandFault("a number read into a string slot");
        entry.operands[k] = s.index;
        break;
      }
      case 'A': {
        Slot s = cursor.NextSlot();
        if (!core::IsIntVariable(s) && !core::IsFloatVariable(s))
          throw OperandFault("array operand is not a variable of the command's type");
        entry.operands[k] = s.index - slots::kIntVar;
        break;
      }
      default: entry.operands[k] = cursor.NextWord(); break;
    }
  }
}

// True when the comparison at `pc` is followed by a conditional jump on its
// result (an if): that jump's entry is decoded too, and the loop may run
// the two together.
bool FollowedByBranchOnResult(const Vm& vm, uint32_t pc, DirectEntry* comparison) {
  const OperandCursor& cursor = DispatchAccess::Cursor(vm);
  const uint32_t next = pc + 4;
  if (next >= cursor.size) return false;
  const uint32_t opcode = cursor.code[next];
  if (opcode != 1 && opcode != 9 && opcode != 12) return false;
  try {
    DecodeOperands(vm, next, "ST", comparison[4]);
  } catch (const OperandFault&) {
    return false;  // the jump faults when it runs
  }
  return comparison[4].operands[0] == comparison->operands[0];
}

// True when the jump whose entry is `jump` lands on a loop step (the end
// of a for loop): that step's entry is decoded too, and the loop may run the
// two together.
bool JumpsToALoopStep(const Vm& vm, const DirectEntry& jump, DirectEntry* base) {
  const uint32_t target = jump.operands[1];
  if (DispatchAccess::Cursor(vm).code[target] != 7) return false;
  try {
    DecodeOperands(vm, target, "SSST", base[target]);
  } catch (const OperandFault&) {
    return false;  // the step faults when it runs
  }
  return true;
}

// Runs one command through the handler table. False when the opcode has no
// handler: the run then ends with an error and the counter rests on the
// unknown word.
bool RunTableCommand(Vm& vm, uint32_t pc) {
  const uint32_t opcode = DispatchAccess::Cursor(vm).code[pc];
  const Handler handler = vm.Handlers().Get(opcode);
  DispatchAccess::SetCommandPc(vm, pc);
  if (!handler) {
    vm.SetPc(pc);
    vm.RunError(error_code::kUnknownCommand);
    return false;
  }
  vm.SetPc(pc + 1);
  handler(vm);
  return true;
}

// ---- The loops ----------------------------------------------------------------
// Each returns when the slice ends, with the Vm's program counter in step; a
// fault inside a command leaves by exception, with `command_pc` on the
// failing command.

// Every command through the table: for tables with other handlers for the
// hot opcodes, and for DEBUGMODE's trace.
void RunThroughTable(Vm& vm, Slice& slice, uint32_t& command_pc) {
  const bool tracing = vm.settings.debug_mode;
  uint32_t budget = Budget(vm);
  while (!vm.yield) {
    const uint32_t pc = vm.Pc();
    command_pc = pc;
    if (pc >= vm.CodeSize()) {
      // The code ran out without an end command.
      DispatchAccess::SetCommandPc(vm, pc);
      vm.RunError(error_code::kUnknownCommand);
      return;
    }
    if (tracing) vm.TraceCommand(pc, DispatchAccess::Cursor(vm).code[pc]);
    if (!RunTableCommand(vm, pc)) return;
    if (--budget == 0) budget = CheckSlice(vm, slice);
  }
  ReturnBudget(vm, budget);
}

// Direct threading over the decoded code: each position's entry names the
// code that runs its command, and each hot command runs inline and jumps
// straight to the next one's. A position runs `decode` the first time,
// which checks a hot command's operands into its entry, or sends the
// position to the handler table for good. Most hot commands never yield or
// raise errors (they only fault), so the yield flag is looked at after the
// others, table commands and slice checks.
void RunThreaded(Vm& vm, Slice& slice, uint32_t& command_pc) {
  DirectEntry* const base = DispatchAccess::DirectCode(vm, &&decode);
  const bool fast_calls = HasFunctionCallHandlers(vm.Handlers());
  const uint32_t code_size = vm.CodeSize();
  uint32_t* const slots = DispatchAccess::Slots(vm);
  ArrayTable& arrays = vm.arrays;
  DirectEntry* ip = base + std::min(vm.Pc(), code_size);
  uint32_t budget = Budget(vm);

  try {
#define ZV_DISPATCH() goto* ip->label
#define ZV_NEXT()                              \
  do {                                         \
    if (--budget == 0) goto check_slice;       \
    ZV_DISPATCH();                             \
  } while (0)
// Runs `call` on a machine over the entry at `ip`, then moves `ip` on.
#define ZV_RUN_HOT(call)                                                         \
  do {                                                                           \
    InlineMachine m{ip, slots, vm, arrays, static_cast<uint32_t>(ip - base)};   \
    call;                                                                        \
    ip = m.jumped ? base + m.target : ip + 1 + m.next;                           \
  } while (0)

    if (vm.yield) goto done;
    ZV_DISPATCH();

#define ZV_HOT_CASE(op, call) \
  hot_##op:                   \
  ZV_RUN_HOT(call);           \
  ZV_NEXT();
    ZV_HOT_OPCODES(ZV_HOT_CASE)
#undef ZV_HOT_CASE
// A comparison and the conditional jump on its result after it: two
// commands, the jump's entry decoded with the comparison's.
#define ZV_COMPARE_BRANCH_CASE(op, call)                                   \
  hot_##op##_branch:                                                       \
  ZV_RUN_HOT(call);                                                        \
  if (--budget == 0) goto check_slice;                                     \
  ip = slots[ip->operands[0]] == 0 ? base + ip->operands[1] : ip + 3;      \
  ZV_NEXT();
    ZV_HOT_COMPARISONS(ZV_COMPARE_BRANCH_CASE)
#undef ZV_COMPARE_BRANCH_CASE
#define ZV_HOT_RAISING_CASE(op, call) \
  hot_##op:                           \
  ZV_RUN_HOT(call);                   \
  if (vm.yield) goto done;            \
  ZV_NEXT();
    ZV_HOT_RAISING_OPCODES(ZV_HOT_RAISING_CASE)
#undef ZV_HOT_RAISING_CASE

  // The jump back of a for loop onto its loop step: two commands, the
  // step's entry decoded with the jump's.
  hot_jump_to_step:
    ip = base + ip->operands[1];
    if (--budget == 0) goto check_slice;
    goto hot_7;

  fast_call: {
    uint32_t next;
    if (!FastCall(vm, slots, ip->operands[0], next)) goto table_command;
    ip = base + next;
    ZV_NEXT();
  }
  fast_return_word: {
    uint32_t next;
    if (!FastReturn(vm, slots, slots[ip->operands[0]], next)) goto table_command;
    ip = base + next;
    ZV_NEXT();
  }
  fast_return_nothing: {
    uint32_t next;
    if (!FastReturn(vm, slots, 0, next)) goto table_command;
    ip = base + next;
    ZV_NEXT();
  }

  decode: {
    const uint32_t pc = static_cast<uint32_t>(ip - base);
    if (pc >= code_size) {
      // The code ran out without an end command.
      DispatchAccess::SetCommandPc(vm, pc);
      vm.RunError(error_code::kUnknownCommand);
      goto done;
    }
    const uint32_t opcode = DispatchAccess::Cursor(vm).code[pc];
    const void* label = &&table_command;
    const char* kinds = HotOperandKinds(opcode);
    switch (opcode) {
#define ZV_DECODE_CASE(op, call) \
  case op:                       \
    label = &&hot_##op;          \
    break;
      ZV_HOT_OPCODES(ZV_DECODE_CASE)
      ZV_HOT_RAISING_OPCODES(ZV_DECODE_CASE)
#undef ZV_DECODE_CASE
      case 21:
        if (fast_calls) {
          const int32_t site = DecodeFastCall(vm, pc + 1);
          if (site >= 0) {
            ip->operands[0] = static_cast<uint32_t>(site);
            label = &&fast_call;
          }
        }
        kinds = "";
        break;
      case 23: case 24: case 28: case 29:
        if (fast_calls) label = &&fast_return_word;
        kinds = "S";
        break;
      case 22: case 27:
        if (fast_calls) label = &&fast_return_nothing;
        kinds = "";
        break;
      default:
        break;
    }
    if (label == &&table_command) {
      ip->label = label;
      goto table_command;
    }
    DecodeOperands(vm, pc, kinds, *ip);
    ip->label = label;
    switch (opcode) {
      case 8:
        if (JumpsToALoopStep(vm, *ip, base)) {
          base[ip->operands[1]].label = &&hot_7;
          ip->label = &&hot_jump_to_step;
        }
        break;
#define ZV_FUSE_CASE(op, call)                       \
  case op:                                           \
    if (FollowedByBranchOnResult(vm, pc, ip)) {      \
      ip[4].label = &&hot_1;                         \
      ip->label = &&hot_##op##_branch;               \
    }                                                \
    break;
      ZV_HOT_COMPARISONS(ZV_FUSE_CASE)
#undef ZV_FUSE_CASE
      default:
        break;
    }
    ZV_DISPATCH();
  }

  table_command: {
    if (!RunTableCommand(vm, static_cast<uint32_t>(ip - base))) goto done;
    ip = base + std::min(vm.Pc(), code_size);
    if (vm.yield) goto done;
    ZV_NEXT();
  }

  check_slice:
    budget = CheckSlice(vm, slice);
    if (vm.yield) goto done;
    ZV_DISPATCH();

#undef ZV_RUN_HOT
#undef ZV_NEXT
#undef ZV_DISPATCH
  done:
    vm.SetPc(static_cast<uint32_t>(ip - base));
    ReturnBudget(vm, budget);
  } catch (...) {
    command_pc = static_cast<uint32_t>(ip - base);
    throw;
  }
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
  for (;;) {
    try {
      if (threaded)
        RunThreaded(vm, slice, command_pc);
      else
        RunThroughTable(vm, slice, command_pc);
      break;
    } catch (...) {
      // Whatever the command changed before the fault stays changed.
      DispatchAccess::SetCommandPc(vm, command_pc);
      vm.RunFault();
      if (vm.yield) break;
    }
  }
  vm.yield = false;
  if (vm.settings.debug_mode) vm.FlushTraceLog();
}

}  // namespace zv
