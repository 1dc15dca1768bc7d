#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv {
namespace {

using test::CoreTest;
using Asm = test::ProgramAssembler;

constexpr uint32_t kCall = 21, kReturnNothing = 22, kReturnWord = 23, kReturnText = 25;
constexpr uint32_t kProbe = 950;  // records whether the running call saved anything

std::vector<bool> g_saved;
void Probe(Vm& vm) {
  const CallEntry& call = vm.call_stack[static_cast<size_t>(vm.call_depth) - 1];
  g_saved.push_back(call.HasSavedVariables());
}

class Functions : public CoreTest {
 protected:
  Functions() {
    handlers.Set(kProbe, Probe);
    g_saved.clear();
  }

  // Starts function `number` at the current position: the header word, then
  // its entry: one word per parameter and the number word.
  void Function(Asm::Label entry, int number, std::initializer_list<uint32_t> parameters) {
    assembler.Op(26);
    assembler.Bind(entry);
    for (uint32_t p : parameters) assembler.Raw({p});
    assembler.Raw({static_cast<uint32_t>(number)});
  }
};

TEST_F(Functions, RecursionRestoresParametersAndVariables) {
  // function fact(n): local = n; if n <= 1 then return 1
  //                   return local * fact(n - 1)
  auto& a = assembler;
  uint32_t n = a.IntVar(0), local = a.IntVar(1), result = a.IntVar(2);
  a.SetOwner('l', 0, 1);
  a.SetOwner('l', 1, 1);
  auto fact = a.NewLabel(), recurse = a.NewLabel();
  a.Op(kCall, {a.Target(fact), result, I(1), I(6)});
  a.Op(test::kEndOp);
  a.Op(26);
  a.Bind(fact);
  a.Raw({n, 1});
  a.Op(151, {local, n});
  a.Op(117, {Asm::IntTemp(0), n, I(1)});
  a.Op(1, {Asm::IntTemp(0), a.Target(recurse)});
  a.Op(kReturnWord, {I(1)});
  a.Bind(recurse);
  a.Op(91, {Asm::IntTemp(1), n, I(1)});
  a.Op(kCall, {a.Target(fact), Asm::IntTemp(2), I(1), Asm::IntTemp(1)});
  a.Op(71, {Asm::IntTemp(3), local, Asm::IntTemp(2)});
  a.Op(kReturnWord, {Asm::IntTemp(3)});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(result), 720);
  EXPECT_EQ(vm.call_depth, 0);
  EXPECT_EQ(vm.current_function, 0);
}

TEST_F(Functions, StringParametersAndVariablesAreCopiesRestoredWhole) {
  // function echo$(s$, depth): keep$ = s$; s$ = right$(s$, 10)
  //   if depth > 0 then inner$ = echo$(s$, depth - 1)
  //   return keep$
  auto& a = assembler;
  uint32_t s = a.StringVar(0), keep = a.StringVar(1), caller = a.StringVar(2), out = a.StringVar(3);
  uint32_t depth = a.IntVar(0);
  a.SetOwner('s', 0, 1);
  a.SetOwner('s', 1, 1);
  a.SetOwner('l', 0, 1);
  std::string long_text(300, 'q');  // texts past 255 characters are saved whole
  a.Op(153, {caller, S(long_text)});
  auto echo = a.NewLabel(), skip = a.NewLabel();
  a.Op(kCall, {a.Target(echo), out, I(2), caller, I(3)});
  a.Op(test::kEndOp);
  a.Op(26);
  a.Bind(echo);
  a.Raw({s, depth, 1});
  a.Op(153, {keep, s});
  a.Op(248, {s, s, I(10)});
  a.Op(111, {Asm::IntTemp(0), depth, I(0)});
  a.Op(1, {Asm::IntTemp(0), a.Target(skip)});
  a.Op(91, {Asm::IntTemp(1), depth, I(1)});
  a.Op(kCall, {a.Target(echo), Asm::StringTemp(0), I(2), s, Asm::IntTemp(1)});
  a.Bind(skip);
  a.Op(kReturnText, {keep});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Str(out), long_text);
  EXPECT_EQ(Str(caller), long_text);  // the caller's string is not the parameter
}

TEST_F(Functions, ArgumentsAreTakenBeforeAnyParameterIsWritten) {
  // function swap(a, b, n): if n = 0 then return a * 10 + b
  //                         return swap(b, a, n - 1)
  auto& a = assembler;
  uint32_t pa = a.IntVar(0), pb = a.IntVar(1), n = a.IntVar(2), result = a.IntVar(3);
  for (int v = 0; v < 3; ++v) a.SetOwner('l', v, 1);
  auto swap = a.NewLabel(), recurse = a.NewLabel();
  a.Op(kCall, {a.Target(swap), result, I(3), I(1), I(2), I(1)});
  a.Op(test::kEndOp);
  a.Op(26);
  a.Bind(swap);
  a.Raw({pa, pb, n, 1});
  a.Op(101, {Asm::IntTemp(0), n, I(0)});
  a.Op(1, {Asm::IntTemp(0), a.Target(recurse)});
  a.Op(71, {Asm::IntTemp(1), pa, I(10)});
  a.Op(81, {Asm::IntTemp(1), Asm::IntTemp(1), pb});
  a.Op(kReturnWord, {Asm::IntTemp(1)});
  a.Bind(recurse);
  a.Op(91, {Asm::IntTemp(2), n, I(1)});
  a.Op(kCall, {a.Target(swap), Asm::IntTemp(3), I(3), pb, pa, Asm::IntTemp(2)});
  a.Op(kReturnWord, {Asm::IntTemp(3)});
  Run();
  EXPECT_EQ(Int(result), 21);
}

TEST_F(Functions, CallInsideASubroutineSavesTheRunningFunction) {
  // function f(n): if n > 0 then gosub down
  //                return n
  // down: t = f(n - 1): return
  auto& a = assembler;
  uint32_t n = a.IntVar(0), result = a.IntVar(1);
  a.SetOwner('l', 0, 1);
  auto f = a.NewLabel(), down = a.NewLabel(), done = a.NewLabel();
  a.Op(kCall, {a.Target(f), result, I(1), I(3)});
  a.Op(test::kEndOp);
  a.Op(26);
  a.Bind(f);
  a.Raw({n, 1});
  a.Op(kProbe);
  a.Op(111, {Asm::IntTemp(0), n, I(0)});
  a.Op(1, {Asm::IntTemp(0), a.Target(done)});
  a.Op(41, {a.Target(down)});
  a.Bind(done);
  a.Op(kReturnWord, {n});
  a.Bind(down);
  a.Op(91, {Asm::IntTemp(1), n, I(1)});
  a.Op(kCall, {a.Target(f), Asm::IntTemp(2), I(1), Asm::IntTemp(1)});
  a.Op(43);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(result), 3);
  // The calls made in the subroutine saved f's parameter; the first, made by
  // the main program, had nothing to save.
  EXPECT_EQ(g_saved, (std::vector<bool>{false, true, true, true}));
  EXPECT_EQ(vm.call_depth, 0);
}

TEST_F(Functions, CallFromAMainProgramSubroutineSavesNothing) {
  auto& a = assembler;
  uint32_t n = a.IntVar(0), result = a.IntVar(1);
  a.SetOwner('l', 0, 1);
  auto f = a.NewLabel(), sub = a.NewLabel();
  a.Op(41, {a.Target(sub)});
  a.Op(test::kEndOp);
  a.Bind(sub);
  a.Op(kCall, {a.Target(f), result, I(1), I(41)});
  a.Op(43);
  a.Op(26);
  a.Bind(f);
  a.Raw({n, 1});
  a.Op(kProbe);
  a.Op(81, {Asm::IntTemp(0), n, I(1)});
  a.Op(kReturnWord, {Asm::IntTemp(0)});
  Run();
  EXPECT_EQ(Int(result), 42);
  EXPECT_EQ(g_saved, std::vector<bool>{false});
  EXPECT_EQ(vm.call_depth, 0);
}

TEST_F(Functions, ArraysAreNotSavedAndAllArrayFunctionsSaveNothing) {
  // function g(): arr(0) = arr(0) + 1: if arr(0) < 3 then g()
  //               return
  auto& a = assembler;
  uint32_t arr = a.IntVar(0);
  a.SetOwner('l', 0, 1);
  auto g = a.NewLabel(), done = a.NewLabel();
  a.Op(501, {arr, I(0)});
  a.Op(kCall, {a.Target(g), Asm::IntTemp(9), I(0)});
  a.Op(661, {Asm::IntTemp(8), arr, I(0)});
  a.Op(test::kEndOp);
  Function(g, 1, {});
  a.Op(kProbe);
  a.Op(661, {Asm::IntTemp(0), arr, I(0)});
  a.Op(81, {Asm::IntTemp(0), Asm::IntTemp(0), I(1)});
  a.Op(561, {arr, I(0), Asm::IntTemp(0)});
  a.Op(115, {Asm::IntTemp(1), Asm::IntTemp(0), I(3)});
  a.Op(1, {Asm::IntTemp(1), a.Target(done)});
  a.Op(kCall, {a.Target(g), Asm::IntTemp(2), I(0)});
  a.Bind(done);
  a.Op(kReturnNothing);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(Asm::IntTemp(8)), 3);  // the inner calls' changes stay
  EXPECT_EQ(Int(Asm::IntTemp(9)), 0);  // a return without a value gives 0
  EXPECT_EQ(g_saved, (std::vector<bool>{false, false, false}));
}

TEST_F(Functions, ReturnInsideAnOpenSubroutineEndsTheFunction) {
  auto& a = assembler;
  uint32_t result = a.IntVar(0), trace = a.StringVar(0);
  auto f = a.NewLabel(), sub = a.NewLabel();
  a.Op(kCall, {a.Target(f), result, I(0)});
  a.Op(87, {trace, trace, S("back")});
  a.Op(test::kEndOp);
  Function(f, 1, {});
  a.Op(41, {a.Target(sub)});
  a.Op(87, {trace, trace, S("not here")});
  a.Bind(sub);
  a.Op(kReturnWord, {I(9)});
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(result), 9);
  EXPECT_EQ(Str(trace), "back");
  EXPECT_EQ(vm.call_depth, 0);
}

TEST_F(Functions, ReturnsWithNoFunctionRunningDoNothing) {
  auto& a = assembler;
  a.Op(kReturnWord, {I(1)});
  a.Op(kReturnText, {S("x")});
  a.Op(kReturnNothing);
  a.Op(81, {Asm::IntTemp(0), I(2), I(3)});
  a.Op(test::kEndOp);
  Run();
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_EQ(Int(Asm::IntTemp(0)), 5);
}

TEST_F(Functions, RecursionDepthLimitIsError108) {
  auto& a = assembler;
  uint32_t n = a.IntVar(0);
  a.SetOwner('l', 0, 1);
  auto f = a.NewLabel();
  a.Op(kCall, {a.Target(f), Asm::IntTemp(0), I(1), I(0)});
  a.Op(test::kEndOp);
  Function(f, 1, {n});
  a.Op(81, {Asm::IntTemp(1), n, I(1)});
  a.Op(kCall, {a.Target(f), Asm::IntTemp(0), I(1), Asm::IntTemp(1)});
  a.Op(kReturnWord, {n});
  Run(1000);
  EXPECT_EQ(vm.errors.code, 108);
  EXPECT_EQ(vm.call_depth, 65534);
  EXPECT_EQ(vm.IntAt(Slot{slots::kIntVar}), 65533);
  // A reset empties the stack and frees the saved blocks.
  ResetVmState(vm);
  EXPECT_TRUE(vm.call_stack.empty());
}

TEST_F(Functions, MalformedCallsAreFaults) {
  struct Case {
    const char* what;
    uint32_t count;
  } cases[] = {{"negative count", 0xFFFFFFFFu}, {"count past a signed byte", 128}};
  for (const auto& c : cases) {
    assembler = Asm();
    auto f = assembler.NewLabel();
    assembler.Op(kCall, {assembler.Target(f), Asm::IntTemp(0), I(static_cast<int32_t>(c.count))});
    assembler.Op(test::kEndOp);
    Function(f, 1, {});
    assembler.Op(kReturnNothing);
    Run();
    EXPECT_EQ(vm.errors.code, 10010) << c.what;
  }
}

}  // namespace
}  // namespace zv
