// Commands dispatched per second on a tight assembled loop: an integer add
// and a counted-loop step, the shape of "for i = 1 to n : total = total + i".
#include <benchmark/benchmark.h>

#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "tests/support/fake_host.h"
#include "tests/support/program_assembler.h"

namespace {

using zv::Slot;
using zv::Vm;

constexpr uint32_t kAdd = 81;
constexpr uint32_t kLoopStep = 7;
constexpr uint32_t kJump = 2;
constexpr uint32_t kEnd = 900;

void Add(Vm& vm) {
  Slot result = vm.NextSlot();
  int32_t left = vm.NextInt();
  int32_t right = vm.NextInt();
  vm.SetInt(result, static_cast<int32_t>(static_cast<uint32_t>(left) + static_cast<uint32_t>(right)));
}

// Variable, limit, step, exit target: add the step, leave past the limit.
void LoopStep(Vm& vm) {
  Slot variable = vm.NextSlot();
  int32_t limit = vm.NextInt();
  int32_t step = vm.NextInt();
  uint32_t exit = vm.NextTarget();
  int32_t value = static_cast<int32_t>(static_cast<uint32_t>(vm.IntAt(variable)) + static_cast<uint32_t>(step));
  vm.SetInt(variable, value);
  if (value > limit) vm.SetPc(exit);
}

void Jump(Vm& vm) { vm.SetPc(vm.NextTarget()); }
void End(Vm& vm) {
  vm.Host().PostQuit();
  vm.yield = true;
}

void BM_DispatchLoop(benchmark::State& state) {
  zv::HandlerTable handlers;
  handlers.Set(kAdd, Add);
  handlers.Set(kLoopStep, LoopStep);
  handlers.Set(kJump, Jump);
  handlers.Set(kEnd, End);
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
    vm.SetInt(Slot{zv::slots::kIntVar + 1}, 0);
    vm.time_slice_mode = false;  // no slice ends: the loop runs to its end
    zv::RunVmLoop(vm);
    zv::RunVmLoop(vm);
    commands += 3 * int64_t{iterations};
  }
  benchmark::DoNotOptimize(vm.IntAt(Slot{zv::slots::kIntVar}));
  state.counters["commands/s"] = benchmark::Counter(static_cast<double>(commands), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DispatchLoop)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
