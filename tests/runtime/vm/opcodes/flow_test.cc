#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

class Flow : public CoreTest {};

// for i = first to limit step s: count = count + 1, total = total + i.
struct LoopResult {
  int32_t count, total, last;
};

class CountedLoop : public CoreTest {
 protected:
  LoopResult RunLoop(int32_t first, int32_t limit, int32_t step) {
    assembler = Asm();
    auto& a = assembler;
    uint32_t i = a.IntVar(0), count = a.IntVar(1), total = a.IntVar(2);
    auto top = a.NewLabel(), done = a.NewLabel();
    a.Op(151, {i, I(first)});
    a.Bind(top);
    a.Op(81, {count, count, I(1)});
    a.Op(81, {total, total, i});
    a.Op(7, {i, I(limit), I(step), a.Target(done)});
    a.Op(2, {a.Target(top)});
    a.Bind(done);
    a.Op(test::kEndOp);
    Run();
    return {Int(count), Int(total), Int(i)};
  }
};

TEST_F(CountedLoop, StepsUpAndDown) {
  LoopResult up = RunLoop(1, 10, 1);
  EXPECT_EQ(up.count, 10);
  EXPECT_EQ(up.total, 55);
  EXPECT_EQ(up.last, 11);
  // A negative step leaves when the variable drops below the limit, not when
  // it reaches it.
  LoopResult down = RunLoop(5, 1, -2);
  EXPECT_EQ(down.count, 3);  // 5, 3, 1
  EXPECT_EQ(down.last, -1);
  LoopResult once = RunLoop(7, 1, 1);  // the body runs once before the test
  EXPECT_EQ(once.count, 1);
}

TEST_F(CountedLoop, StepZeroNeverLeavesThroughTheStep) {
  auto& a = assembler;
  uint32_t i = a.IntVar(0), count = a.IntVar(1);
  auto top = a.NewLabel(), done = a.NewLabel(), out = a.NewLabel();
  a.Bind(top);
  a.Op(81, {count, count, I(1)});
  a.Op(115, {Asm::IntTemp(0), count, I(1000)});  // count < 1000
  a.Op(1, {Asm::IntTemp(0), a.Target(out)});
  a.Op(7, {i, I(-5), I(0), a.Target(done)});
  a.Op(2, {a.Target(top)});
  a.Bind(done);
  a.Op(151, {count, I(-1)});
  a.Bind(out);
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Int(count), 1000);
}

TEST_F(Flow, ConditionalAndUnconditionalJumps) {
  auto& a = assembler;
  uint32_t trace = a.StringVar(0);
  auto skip1 = a.NewLabel(), skip2 = a.NewLabel(), skip3 = a.NewLabel(), skip4 = a.NewLabel();
  a.Op(1, {I(0), a.Target(skip1)});       // 0: jumps
  a.Op(87, {trace, trace, S("A")});
  a.Bind(skip1);
  a.Op(9, {I(-1), a.Target(skip2)});      // non-zero: goes on
  a.Op(87, {trace, trace, S("B")});
  a.Bind(skip2);
  a.Op(12, {F(-0.0f), a.Target(skip3)});  // the word of -0.0 is not 0
  a.Op(87, {trace, trace, S("C")});
  a.Bind(skip3);
  a.Op(8, {I(0), a.Target(skip4)});       // jumps whatever its first word
  a.Op(87, {trace, trace, S("D")});
  a.Bind(skip4);
  for (uint32_t op : {2u, 5u, 6u, 10u, 42u}) {
    auto next = a.NewLabel();
    a.Op(op, {a.Target(next)});
    a.Op(87, {trace, trace, S("E")});
    a.Bind(next);
  }
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(Str(trace), "BC");
}

TEST_F(Flow, NestedSubroutinesReturnInOrder) {
  auto& a = assembler;
  uint32_t trace = a.StringVar(0);
  auto outer = a.NewLabel(), inner = a.NewLabel();
  a.Op(87, {trace, trace, S("m")});
  a.Op(41, {a.Target(outer)});
  a.Op(87, {trace, trace, S("M")});
  a.Op(test::kEndOp);
  a.Bind(outer);
  a.Op(87, {trace, trace, S("o")});
  a.Op(41, {a.Target(inner)});
  a.Op(41, {a.Target(inner)});
  a.Op(87, {trace, trace, S("O")});
  a.Op(43);
  a.Bind(inner);
  a.Op(87, {trace, trace, S("i")});
  a.Op(43);
  Run();
  EXPECT_EQ(Str(trace), "moiiOM");
  EXPECT_EQ(vm.call_depth, 0);
  EXPECT_EQ(vm.errors.code, 0);
}

TEST_F(Flow, CallDepthLimitIsError108) {
  auto& a = assembler;
  uint32_t count = a.IntVar(0);
  auto sub = a.NewLabel();
  a.Op(41, {a.Target(sub)});
  a.Op(test::kEndOp);
  a.Bind(sub);
  a.Op(81, {count, count, I(1)});
  a.Op(41, {a.Target(sub)});
  a.Op(43);
  Run(1000);
  EXPECT_EQ(vm.errors.code, 108);
  // The 65534th nested call succeeds; the next one fails and pushes nothing.
  EXPECT_EQ(vm.call_depth, 65534);
  EXPECT_EQ(Int(count), 65534);
  EXPECT_LE(vm.call_stack.size(), 65534u);
}

TEST_F(Flow, RunningIntoAFunctionIsError21) {
  assembler.Op(26);
  assembler.Raw({1});
  assembler.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 21);
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(vm.Pc(), 1u);
}

TEST_F(Flow, EndQuitsWithoutAnError) {
  assembler.Op(81, {Asm::IntTemp(0), I(1), I(1)});
  assembler.Op(test::kEndOp);
  assembler.Op(81, {Asm::IntTemp(0), I(5), I(5)});
  Run();
  EXPECT_TRUE(vm.program_ended);
  EXPECT_EQ(host.quits, 1);
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(Asm::IntTemp(0)), 2);
  EXPECT_EQ(vm.Pc(), 5u);  // just past the end command
}

TEST_F(Flow, JumpToALabelNeverResolvedIsAFault) {
  assembler.Raw({2, 35007});
  Run();
  EXPECT_EQ(vm.errors.code, 10010);
}

}  // namespace
}  // namespace zv
