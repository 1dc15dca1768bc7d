#include "runtime/vm/dispatch.h"

#include <stdexcept>

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

void Count(Vm&) { ++g_count; }
void Jump(Vm& vm) { vm.SetPc(vm.NextTarget()); }
void Tick(Vm&) {
  ++g_count;
  g_host->clock.Advance(1);
}
void Yield(Vm& vm) { vm.yield = true; }
void Throw(Vm&) { throw std::runtime_error("fault"); }
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

TEST_F(Dispatch, FaultInsideAHandlerBecomesSevereException) {
  assembler.Op(kThrow);
  assembler.Op(kCount);
  Load();
  RunVmLoop(vm);
  RunVmLoop(vm);
  EXPECT_EQ(vm.errors.code, error_code::kSevereException);
  EXPECT_EQ(g_count, 0);
  EXPECT_EQ(FormatErrorText(vm.errors), "System Error : Severe Exception!. ");
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

}  // namespace
}  // namespace zv
