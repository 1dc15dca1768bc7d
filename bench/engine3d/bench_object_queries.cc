// What reading an object back costs a BASIC program: ten million object
// position queries against a loop of the same length that reads a plain
// integer variable, both timed by the program itself in one run. The ratio
// is the figure that counts (goal: at most 3).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/engine3d/program_run.h"

namespace zv {
namespace {

constexpr int kReads = 10000000;

std::string Program() {
  const std::string n = std::to_string(kReads);
  return "sync on\nsync rate 0\nhide mouse\nmake object cube 1, 10\nposition object 1, 1.5, 2, 3\n"
         "k = 7\n"
         "t = timer()\nfor i = 1 to " + n + " : x# = object position x(1) : next i\nq = timer() - t\n"
         "t = timer()\nfor i = 1 to " + n + " : y = k : next i\nv = timer() - t\n"
         "print q; \" \"; v\nend\n";
}

void BM_ObjectPositionQueries(benchmark::State& state) {
  for (auto _ : state) {
    const auto printed = bench::RunProgram(Program());
    int query_ms = 0, variable_ms = 0;
    if (!printed || std::sscanf(printed->c_str(), "%d %d", &query_ms, &variable_ms) != 2 || query_ms <= 0 ||
        variable_ms <= 0) {
      state.SkipWithError("the program did not run");
      return;
    }
    state.SetIterationTime(query_ms / 1000.0);
    state.counters["query_ms"] = query_ms;
    state.counters["variable_ms"] = variable_ms;
    state.counters["ratio"] = static_cast<double>(query_ms) / variable_ms;
    state.counters["ns_per_query"] = query_ms * 1e6 / kReads;
  }
}
BENCHMARK(BM_ObjectPositionQueries)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
