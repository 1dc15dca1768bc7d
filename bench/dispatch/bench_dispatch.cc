// Commands dispatched per second on a tight assembled loop run by the core
// handlers: an integer add, the counted-loop step and a jump, the shape of
// "for i = 1 to n : total = total + i : next".
#include <benchmark/benchmark.h>

#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"

namespace {

using zv::Slot;
using zv::Vm;

constexpr uint32_t kAdd = 81;
constexpr uint32_t kLoopStep = 7;
constexpr uint32_t kJump = 2;
constexpr uint32_t kEnd = 213;

void BM_DispatchLoop(benchmark::State& state) {
  zv::HandlerTable handlers;
  zv::RegisterCoreHandlers(handlers);
  zv::test::FakeHost host;
  Vm vm(handlers, host);

  const int32_t iterations = static_cast<int32_t>(state.range(0));
  zv::test::ProgramAssembler a;
  auto top = a.NewLabel(), done = a.NewLabel();
  a.Bind(top);
  a.Op(kAdd, {a.IntVar(0), a.IntVar(0), a.IntVar(1)});
  a.Op(kLoopStep, {a.IntVar(1), a.IntConst(iterations), a.IntConst(1), a.Target(done)});
  a.Op(kJump, {a.Target(top)});
  a.Bind(done);
  a.Op(kEnd);
  zv::InstallProgram(vm, a.Finish());

  int64_t commands = 0;
  for (auto _ : state) {
    zv::ResetVmState(vm);
    vm.SetInt(Slot{zv::slots::kIntVar}, 0);
    vm.SetInt(Slot{zv::slots::kIntVar + 1}, 1);
    vm.time_slice_mode = false;  // no slice ends: the loop runs to its end
    zv::RunVmLoop(vm);
    zv::RunVmLoop(vm);
    commands += 3 * int64_t{iterations};
  }
  uint32_t expected = 0;
  for (int32_t i = 1; i <= iterations; ++i) expected += static_cast<uint32_t>(i);
  if (vm.WordAt(Slot{zv::slots::kIntVar}) != expected) state.SkipWithError("the loop summed wrongly");
  state.counters["commands/s"] = benchmark::Counter(static_cast<double>(commands), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DispatchLoop)->Arg(1000000)->Unit(benchmark::kMillisecond);

// User-function calls per second: fib(n) = n < 2 ? n : fib(n - 1) + fib(n - 2),
// a function with one parameter and one variable of its own that every
// inner call saves and restores.
void BM_RecursiveCalls(benchmark::State& state) {
  zv::HandlerTable handlers;
  zv::RegisterCoreHandlers(handlers);
  zv::test::FakeHost host;
  Vm vm(handlers, host);

  zv::test::ProgramAssembler a;
  uint32_t n = a.IntVar(0), first = a.IntVar(1), result = a.IntVar(2);
  a.SetOwner('l', 0, 1);
  a.SetOwner('l', 1, 1);
  const uint32_t t0 = a.IntTemp(0), t1 = a.IntTemp(1), t2 = a.IntTemp(2);
  auto fib = a.NewLabel(), recurse = a.NewLabel();
  a.Op(21, {a.Target(fib), result, a.IntConst(1), a.IntConst(static_cast<int32_t>(state.range(0)))});
  a.Op(kEnd);
  a.Op(26);
  a.Bind(fib);
  a.Raw({n, 1});
  a.Op(115, {t0, n, a.IntConst(2)});
  a.Op(1, {t0, a.Target(recurse)});
  a.Op(23, {n});
  a.Bind(recurse);
  a.Op(91, {t1, n, a.IntConst(1)});
  // Call results go to temporaries: the return writes the result before it
  // restores the caller's variables.
  a.Op(21, {a.Target(fib), t2, a.IntConst(1), t1});
  a.Op(151, {first, t2});
  a.Op(91, {t1, n, a.IntConst(2)});
  a.Op(21, {a.Target(fib), t2, a.IntConst(1), t1});
  a.Op(81, {t2, first, t2});
  a.Op(23, {t2});
  zv::InstallProgram(vm, a.Finish());

  int64_t calls = 0;
  for (auto _ : state) {
    zv::ResetVmState(vm);
    vm.time_slice_mode = false;
    zv::RunVmLoop(vm);
    zv::RunVmLoop(vm);
    // fib(n) makes 2 * fib(n + 1) - 1 calls.
    calls += 2 * int64_t{10946} - 1;
  }
  if (vm.IntAt(Slot{zv::slots::kIntVar + 2}) != 6765) state.SkipWithError("fib(20) came out wrong");
  state.counters["calls/s"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecursiveCalls)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
