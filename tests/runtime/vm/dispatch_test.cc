#include "runtime/vm/dispatch.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/ini/ini_file.h"
#include "platform/paths/temp_folder.h"
#include "runtime/vm/errors.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/runtime/vm/vm_fixture.h"

namespace zv {
namespace {

// Opcodes of the test handlers.
constexpr uint32_t kCount = 900;     // counts, no operands
constexpr uint32_t kJump = 901;      // jumps to its target
constexpr uint32_t kTick = 902;      // counts and moves the clock 1 ms
constexpr uint32_t kYield = 903;     // asks for the turn back
constexpr uint32_t kThrow = 904;     // fails inside the handler
constexpr uint32_t kAddInt = 905;    // result, left, right
constexpr uint32_t kEnd = 906;       // ends the run
constexpr uint32_t kFill = 907;      // counts; fills the draw queue on call kFillAfter
constexpr int kFillAfter = 1000;

int g_count;
test::FakeHost* g_host;
std::exception_ptr g_fault;  // what kThrow throws

void Count(Vm&) { ++g_count; }
void Jump(Vm& vm) { vm.SetPc(vm.NextTarget()); }
void Tick(Vm&) {
  ++g_count;
  g_host->clock.Advance(1);
}
void Yield(Vm& vm) { vm.yield = true; }
void Throw(Vm&) { std::rethrow_exception(g_fault); }
void AddInt(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t left = vm.NextInt();
  int32_t right = vm.NextInt();
  vm.SetInt(result, left + right);
}
void Fill(Vm&) {
  if (++g_count == kFillAfter) g_host->draw_records = kDrawQueueYieldLength + 1;
}
void End(Vm& vm) {
  vm.Host().PostQuit();
  vm.yield = true;
  vm.program_ended = true;
}

class Dispatch : public test::VmTest {
 protected:
  Dispatch() {
    g_count = 0;
    g_host = &host;
    handlers.Set(kCount, Count);
    handlers.Set(kJump, Jump);
    handlers.Set(kTick, Tick);
    handlers.Set(kYield, Yield);
    handlers.Set(kThrow, Throw);
    handlers.Set(kAddInt, AddInt);
    handlers.Set(kEnd, End);
    handlers.Set(kFill, Fill);
  }

  // An endless loop of `opcode`.
  void LoopOf(uint32_t opcode) {
    auto top = assembler.NewLabel();
    assembler.Bind(top);
    assembler.Op(opcode);
    assembler.Op(kJump, {assembler.Target(top)});
    Load();
  }
};

TEST_F(Dispatch, FirstSliceAfterResetRunsNothing) {
  assembler.Op(kCount);
  Load();
  RunVmLoop(vm);
  EXPECT_EQ(g_count, 0);
  EXPECT_FALSE(vm.yield);
}

TEST_F(Dispatch, YieldFlagEndsTheSliceAfterTheCommand) {
  assembler.Op(kCount);
  assembler.Op(kYield);
  assembler.Op(kCount);
  assembler.Op(kEnd);
  Load();
  RunVmLoop(vm);  // clears the reset's flag
  RunVmLoop(vm);
  EXPECT_EQ(g_count, 1);
  EXPECT_EQ(vm.Pc(), 2u);
  RunVmLoop(vm);
  EXPECT_EQ(g_count, 2);
  EXPECT_EQ(host.quits, 1);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(Dispatch, TimeSliceEndsShortlyAfterItsLength) {
  LoopOf(kTick);
  RunVmLoop(vm);
  uint32_t start = host.clock.NowMs();
  RunVmLoop(vm);
  uint32_t used = host.clock.NowMs() - start;
  EXPECT_GT(used, vm.time_slice_length);
  EXPECT_LE(used, vm.time_slice_length + kClockCheckInterval);
}

TEST_F(Dispatch, TimeSliceSurvivesTheClockWrap) {
  LoopOf(kTick);
  host.clock.Set(0xFFFFFFF0u);
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_LE(g_count, static_cast<int>(vm.time_slice_length + kClockCheckInterval));
}

TEST_F(Dispatch, FrameSyncModeYieldsOnALongDrawQueue) {
  LoopOf(kCount);
  vm.time_slice_mode = false;
  host.draw_records = kDrawQueueYieldLength + 1;
  RunVmLoop(vm);
  RunVmLoop(vm);
  // Counts alternate with jumps; the check comes on every 201st command.
  EXPECT_GT(g_count, 0);
  EXPECT_LE(g_count, 101);
  EXPECT_TRUE(vm.input_poll_due);
}

TEST_F(Dispatch, DebugKeysYieldOnlyOutsideABuiltGame) {
  LoopOf(kFill);
  vm.time_slice_mode = false;
  host.debug_keys = true;
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_LE(g_count, 101);

  // In a built game the keys are ignored: the slice runs on until the draw
  // queue fills.
  vm.standalone = true;
  g_count = 0;
  RunVmLoop(vm);
  EXPECT_GE(g_count, kFillAfter);
}

TEST_F(Dispatch, UnknownOpcodeEndsTheRunWithAnError) {
  assembler.Op(kCount);
  assembler.Raw({4321});
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(g_count, 1);
  EXPECT_EQ(vm.errors.code, error_code::kUnknownCommand);
  EXPECT_EQ(host.quits, 1);
  EXPECT_EQ(vm.Pc(), 1u);  // rests on the unknown word
  EXPECT_FALSE(vm.yield);
}

TEST_F(Dispatch, RunningOffTheEndIsAnError) {
  assembler.Op(kCount);
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, error_code::kUnknownCommand);
}

TEST_F(Dispatch, FaultInsideAHandlerEndsTheRunAsOutOfMemoryOrSevereException) {
  const struct {
    std::exception_ptr fault;
    int32_t code;
    const char* text;
  } cases[] = {
      {std::make_exception_ptr(std::runtime_error("fault")), error_code::kSevereException,
       "System Error : Severe Exception! "},
      // A result that does not fit names itself after the exclamation.
      {std::make_exception_ptr(std::overflow_error("2 / 0 does not fit")), error_code::kSevereException,
       "System Error : Severe Exception! 2 / 0 does not fit. "},
      {std::make_exception_ptr(std::bad_alloc()), error_code::kOutOfMemory, "System Error : Out of memory. "},
      {std::make_exception_ptr(std::length_error("vector")), error_code::kOutOfMemory,
       "System Error : Out of memory. "},
  };
  assembler.Op(kThrow);
  assembler.Op(kCount);
  Load();
  for (const auto& c : cases) {
    g_fault = c.fault;
    ResetVmState(vm);
    RunVmLoop(vm);
    RunVmLoop(vm);
    EXPECT_EQ(vm.errors.code, c.code) << c.text;
    EXPECT_EQ(g_count, 0);
    EXPECT_EQ(FormatErrorText(vm.errors), c.text);
  }
}

TEST_F(Dispatch, OperandOfTheWrongClassIsAFault) {
  // A literal where the command reads a slot, and a command cut short by the
  // end of the code.
  assembler.Op(kAddInt, {assembler.IntVar(0), assembler.Literal(3), assembler.IntConst(1)});
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, error_code::kSevereException);

  test::ProgramAssembler cut;
  cut.Op(kAddInt, {cut.IntVar(0)});
  ASSERT_TRUE(InstallProgram(vm, cut.Finish()));
  ResetVmState(vm);
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, error_code::kSevereException);
}

TEST_F(Dispatch, HandlersReadAndStoreThroughSlots) {
  assembler.Op(kAddInt, {assembler.IntVar(0), assembler.IntConst(40), assembler.IntConst(2)});
  assembler.Op(kEnd);
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), 42);
}

TEST_F(Dispatch, InactiveApplicationRunsNothing) {
  assembler.Op(kCount);
  Load();
  vm.yield = false;
  vm.app_active = false;
  RunVmLoop(vm);
  EXPECT_EQ(g_count, 0);
}

TEST_F(Dispatch, DebugModeTracesEachPositionIntoTheLog) {
  platform::TempFolder temp;
  vm.settings.debug_mode = true;
  vm.settings.app_folder = temp.Path() + "/";
  assembler.Op(kCount);
  assembler.Op(kEnd);
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  auto log = platform::IniFile::Load(temp.File("KQ.LOG"));
  EXPECT_EQ(log.Get("ZENTROVEXLOOPMIDDLE", "PC0"), std::to_string(kCount));
  EXPECT_EQ(log.Get("ZENTROVEXLOOPMIDDLE", "PC1"), std::to_string(kEnd));
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// The dispatch loop runs the core's hot commands inline, reading operands it
// checked once per code position; a word of the wrong class must still end
// the run with 10010 before the command changes anything, every time.
class HotDispatch : public test::VmTest {
 protected:
  HotDispatch() { RegisterCoreHandlers(handlers); }
};

TEST_F(HotDispatch, HotCommandWithABadOperandFaultsBeforeWriting) {
  auto& a = assembler;
  a.Op(81, {a.IntVar(0), a.IntConst(5), a.Literal(3)});  // a literal where a slot belongs
  a.Op(213);
  Load();
  vm.SetInt(Slot{slots::kIntVar}, 42);
  for (int run = 0; run < 2; ++run) {
    ResetVmState(vm);
    vm.SetPc(0);
    RunVmLoop(vm);
    RunVmLoop(vm);
    EXPECT_EQ(vm.errors.code, error_code::kSevereException);
    EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), 42);
  }
}

TEST_F(HotDispatch, LoopOfHotCommandsComputesLikeTheHandlers) {
  // total = 0 : for i = 1 to 100 : total = total + (i & 7) : next
  auto& a = assembler;
  auto top = a.NewLabel(), done = a.NewLabel();
  a.Op(151, {a.IntVar(0), a.IntConst(0)});
  a.Op(91, {a.IntVar(1), a.IntConst(1), a.IntConst(1)});
  a.Bind(top);
  a.Op(7, {a.IntVar(1), a.IntConst(100), a.IntConst(1), a.Target(done)});
  a.Op(123, {a.IntTemp(0), a.IntVar(1), a.IntConst(7)});
  a.Op(81, {a.IntVar(0), a.IntVar(0), a.IntTemp(0)});
  a.Op(8, {a.IntConst(0), a.Target(top)});
  a.Bind(done);
  a.Op(213);
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, 0);
  int expected = 0;
  for (int i = 1; i <= 100; ++i) expected += i & 7;
  EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), expected);
}

// The same assembled program on the loop's fast paths and through the
// handler table must end alike: words of the wrong class, jumps into the
// middle of a command, a comparison whose next jump cannot run with it, a
// call site whose count changes.
Handler g_table_add;
void TableAdd(Vm& vm) { g_table_add(vm); }

struct Outcome {
  std::vector<uint32_t> words;
  int32_t error;
  uint32_t command_pc;
  bool operator==(const Outcome&) const = default;
};

Outcome RunAssembled(ProgramFile program, bool fast) {
  HandlerTable handlers;
  RegisterCoreHandlers(handlers);
  if (!fast) {
    g_table_add = handlers.Get(81);
    handlers.Set(81, TableAdd);
  }
  test::FakeHost host;
  test::RecordingServices services;
  Vm vm(handlers, host);
  vm.input = &services.input;
  EXPECT_TRUE(InstallProgram(vm, program));
  ResetVmState(vm);
  for (int turn = 0; turn < 50 && !vm.program_ended && host.quits == 0; ++turn) RunVmLoop(vm);
  Outcome out{{}, vm.errors.code, vm.CommandPc()};
  for (uint32_t slot = 0; slot < slots::kIntConst; ++slot)
    out.words.push_back(SlotTypeOf(slot) == SlotType::kString ? 0 : vm.WordAt(Slot{slot}));
  return out;
}

Outcome RunBothWays(test::ProgramAssembler& a) {
  ProgramFile program = a.Finish();
  Outcome fast = RunAssembled(program, true);
  EXPECT_TRUE(fast == RunAssembled(program, false));
  return fast;
}

TEST(FastPathEdges, JumpIntoTheMiddleOfACommand) {
  // The jump lands on the second operand of a sum: that word runs as a
  // command of its own (no handler: error 10009), as the table would run it.
  test::ProgramAssembler a;
  auto inside = a.NewLabel();
  a.Op(81, {a.IntVar(0), a.IntConst(2), a.IntConst(3)});
  a.Op(2, {a.Target(inside)});
  uint32_t at = a.Position();
  a.Raw({81, a.IntVar(1)});
  a.Bind(inside);
  a.Raw({a.IntConst(4), a.IntConst(5)});
  a.Op(213);
  Outcome out = RunBothWays(a);
  EXPECT_EQ(out.error, error_code::kUnknownCommand);
  EXPECT_EQ(out.command_pc, at + 2);
}

TEST(FastPathEdges, CommandsThatCannotJoinTheirNeighbour) {
  test::ProgramAssembler a;
  auto skip = a.NewLabel(), pair_jump = a.NewLabel(), compare = a.NewLabel(), done = a.NewLabel();
  // A jump on another slot than the comparison's result: it jumps, since
  // its own slot is 0.
  a.Op(115, {a.IntTemp(0), a.IntConst(1), a.IntConst(2)});
  a.Op(1, {a.IntTemp(1), a.Target(skip)});
  a.Op(81, {a.IntVar(0), a.IntVar(0), a.IntConst(1)});
  a.Bind(skip);
  // The jump of a comparison pair reached straight: it reads the slot as it
  // is (1, no jump); then the comparison runs (0) and the jump leaves.
  a.Op(151, {a.IntTemp(2), a.IntConst(1)});
  a.Op(2, {a.Target(pair_jump)});
  a.Bind(compare);
  a.Op(111, {a.IntTemp(2), a.IntConst(1), a.IntConst(2)});
  a.Bind(pair_jump);
  a.Op(1, {a.IntTemp(2), a.Target(done)});
  a.Op(81, {a.IntVar(1), a.IntVar(1), a.IntConst(1)});
  a.Op(2, {a.Target(compare)});
  a.Bind(done);
  // A comparison before a jump whose target is no code address: the jump
  // faults (10010) when it runs.
  a.Op(117, {a.IntTemp(3), a.IntConst(1), a.IntConst(2)});
  a.Op(1, {a.IntTemp(3), a.IntConst(0)});
  a.Op(213);
  Outcome out = RunBothWays(a);
  EXPECT_EQ(out.error, error_code::kSevereException);
  EXPECT_EQ(out.words[slots::kIntVar], 0u);
  EXPECT_EQ(out.words[slots::kIntVar + 1], 1u);

  // A loop's jump back onto a step whose limit word is no slot: the step
  // faults when it runs, after the jump.
  test::ProgramAssembler b;
  auto step = b.NewLabel(), exit = b.NewLabel();
  b.Op(8, {b.IntConst(0), b.Target(step)});
  b.Op(81, {b.IntVar(0), b.IntVar(0), b.IntConst(1)});
  b.Bind(step);
  uint32_t at = b.Position();
  b.Op(7, {b.IntVar(1), b.Literal(3), b.IntConst(1), b.Target(exit)});
  b.Bind(exit);
  b.Op(213);
  Outcome bad_step = RunBothWays(b);
  EXPECT_EQ(bad_step.error, error_code::kSevereException);
  EXPECT_EQ(bad_step.command_pc, at);
  EXPECT_EQ(bad_step.words[slots::kIntVar], 0u);
}

TEST(FastPathEdges, CallSiteWhoseCountChanges) {
  // The same call runs with 2 arguments, then with a count past a signed
  // byte, which must fault (10010) though the site ran fast before.
  // f(a, b) returns a * 10 + b.
  test::ProgramAssembler a;
  uint32_t pa = a.IntVar(0), pb = a.IntVar(1), count = a.IntVar(2), sum = a.IntVar(3), turn = a.IntVar(4);
  a.SetOwner('l', 0, 1);
  a.SetOwner('l', 1, 1);
  auto f = a.NewLabel(), again = a.NewLabel(), done = a.NewLabel();
  a.Op(151, {count, a.IntConst(2)});
  a.Bind(again);
  a.Op(21, {a.Target(f), a.IntTemp(0), count, a.IntConst(4), a.IntConst(7)});
  a.Op(81, {sum, sum, a.IntTemp(0)});
  a.Op(81, {turn, turn, a.IntConst(1)});
  a.Op(151, {count, a.IntConst(128)});
  a.Op(115, {a.IntTemp(1), turn, a.IntConst(2)});
  a.Op(1, {a.IntTemp(1), a.Target(done)});
  a.Op(2, {a.Target(again)});
  a.Bind(done);
  a.Op(213);
  a.Op(26);
  a.Bind(f);
  a.Raw({pa, pb, 1});
  a.Op(71, {a.IntTemp(2), pa, a.IntConst(10)});
  a.Op(81, {a.IntTemp(2), a.IntTemp(2), pb});
  a.Op(23, {a.IntTemp(2)});
  Outcome out = RunBothWays(a);
  EXPECT_EQ(out.error, error_code::kSevereException);
  EXPECT_EQ(out.words[slots::kIntVar + 3], 47u);
  EXPECT_EQ(out.words[slots::kIntVar + 4], 1u);
}

}  // namespace
}  // namespace zv
