// What the 3D commands and queries cost a BASIC program per call, each
// finding its object, limb or matrix first: one run times a loop of each
// kind (a limb query, a matrix query, a limb command, an object command)
// against a loop of the same length that reads a plain integer variable.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <string>

#include "bench/engine3d/program_run.h"

namespace zv {
namespace {

// The timed loops, in the order the program prints their times: fewer
// calls of the limb command, whose transform rebuild dwarfs the rest.
struct Loop {
  const char* name;
  const char* body;
  int calls;
};
constexpr std::array<Loop, 5> kLoops = {{
    {"limb_query", "x# = limb offset x(1, 0)", 10000000},
    {"matrix_query", "x# = matrix position x(1)", 10000000},
    {"limb_command", "offset limb 1, 0, 1, 2, 3", 1000000},
    {"object_command", "show object 1", 10000000},
    {"variable", "y = k", 10000000},
}};

std::string Program() {
  std::string source =
      "sync on\nsync rate 0\nhide mouse\nmake object cube 1, 10\nmake matrix 1, 100, 100, 10, 10\nk = 7\n";
  for (size_t i = 0; i < kLoops.size(); ++i)
    source += "t = timer()\nfor i = 1 to " + std::to_string(kLoops[i].calls) + " : " + kLoops[i].body +
              " : next i\nt" + std::to_string(i) + " = timer() - t\n";
  source += "print t0; \" \"; t1; \" \"; t2; \" \"; t3; \" \"; t4\nend\n";
  return source;
}

void BM_ObjectCommands(benchmark::State& state) {
  for (auto _ : state) {
    const auto printed = bench::RunProgram(Program());
    std::array<int, 5> ms{};
    if (!printed || std::sscanf(printed->c_str(), "%d %d %d %d %d", &ms[0], &ms[1], &ms[2], &ms[3], &ms[4]) != 5) {
      state.SkipWithError("the program did not run");
      return;
    }
    int total = 0;
    for (size_t i = 0; i < ms.size(); ++i) {
      total += ms[i];
      state.counters[std::string("ns_") + kLoops[i].name] = ms[i] * 1e6 / kLoops[i].calls;
    }
    state.SetIterationTime(total / 1000.0);
  }
}
BENCHMARK(BM_ObjectCommands)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
