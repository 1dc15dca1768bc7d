// Start-up of a headless run, from the call to the first instruction of the
// program: paths, settings, window, subsystems, program load, display start.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>

#include "platform/paths/temp_folder.h"
#include "runtime/console/console_commands.h"
#include "runtime/startup.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/support/program_assembler.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kMark = 9990;  // the first instruction: notes the time and ends
Clock::time_point g_first_instruction;

void Mark(zv::Vm& vm) {
  g_first_instruction = Clock::now();
  vm.Host().PostQuit();
  vm.yield = true;
}

void BM_StartupToFirstInstruction(benchmark::State& state) {
  zv::platform::TempFolder folder;
  zv::test::ProgramAssembler assembler;
  for (int i = 0; i < 200; ++i) assembler.StringConst("constant " + std::to_string(i));
  assembler.Op(kMark);
  const std::vector<uint8_t> program = assembler.Bytes();

  zv::StartOptions options;
  options.executable_path = "/proc/self/exe";
  options.headless = true;
  options.app_folder = folder.Path() + "/";
  for (auto _ : state) {
    zv::StartServices services;
    services.echo = [](std::string_view) {};
    services.register_handlers = [](zv::HandlerTable& table) {
      zv::RegisterCoreHandlers(table);
      zv::RegisterConsoleHandlers(table);
      table.Set(kMark, Mark);
    };
    services.compile = [&](const std::string& path, std::string*) {
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(program.data()), static_cast<std::streamsize>(program.size()));
      return true;
    };
    const auto start = Clock::now();
    zv::RunRuntime(options, std::move(services));
    state.SetIterationTime(std::chrono::duration<double>(g_first_instruction - start).count());
  }
}
BENCHMARK(BM_StartupToFirstInstruction)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
