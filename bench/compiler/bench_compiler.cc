// Compile speed on a generated program of 50,000 lines: assignments with
// expressions, blocks, arrays, strings, calls of value and user functions.
#include <benchmark/benchmark.h>

#include <string>

#include "compiler/compiler.h"

namespace {

std::string GenerateProgram(int lines) {
  std::string text = "dim a(1000)\ndim s$(100)\n";
  int written = 2;
  for (int block = 0; written < lines - 6; ++block) {
    const std::string n = std::to_string(block % 1500);
    text += "x" + n + " = x" + n + " + " + std::to_string(block % 997) + " * (y - 3) / 2\n";
    text += "if x" + n + " > 10 and y < 5\n";
    text += "  a(" + std::to_string(block % 1000) + ") = x" + n + " - a(y)\n";
    text += "else\n  f# = f# * 1.5 + sqrt(y)\nendif\n";
    text += "for i = 1 to 10 step 2 : t$ = left$(t$ + u$, 8) : next i\n";
    text += "while y < 3 : y = y + 1 : endwhile\n";
    text += "z = twice(y) + len(t$)\n";
    written += 9;
  }
  text += "end\nfunction twice(v)\nendfunction v * 2\n";
  return text;
}

void BM_Compile50000Lines(benchmark::State& state) {
  const int lines = 50000;
  const std::string source = GenerateProgram(lines);
  for (auto _ : state) {
    zv::CompileResult result = zv::CompileSource(source);
    if (!result.ok) {
      state.SkipWithError(zv::FormatCompileError(*result.error).c_str());
      break;
    }
    benchmark::DoNotOptimize(result.program.code.data());
  }
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Compile50000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
