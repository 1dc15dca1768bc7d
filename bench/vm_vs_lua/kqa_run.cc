// Compiles a .kqa program and runs it to its end in this process, on the
// core handlers and with no display, then prints the program's first
// integer, float and string variables, so its result can be compared with
// the same program in another language.
#include <cstdio>
#include <string>
#include <variant>

#include "compiler/compiler.h"
#include "platform/clock/clock.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/errors.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"

namespace {

class BenchHost : public zv::VmHost {
 public:
  uint32_t NowMs() override { return clock_.NowMs(); }
  void PostQuit() override { quit = true; }
  bool quit = false;

 private:
  zv::platform::SystemClock clock_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kqa_run FILE.kqa\n");
    return 2;
  }
  zv::CompileResult compiled = zv::CompileFile(argv[1], "");
  if (!compiled.ok) {
    std::fprintf(stderr, "%s\n", zv::FormatCompileError(*compiled.error).c_str());
    return 1;
  }
  zv::HandlerTable handlers;
  zv::RegisterCoreHandlers(handlers);
  BenchHost host;
  zv::Vm vm(handlers, host);
  auto decoded = zv::DecodeProgramFile(zv::EncodeProgramFile(compiled.program));
  if (!std::holds_alternative<zv::ProgramFile>(decoded) ||
      !zv::InstallProgram(vm, std::get<zv::ProgramFile>(decoded)))
    return 1;
  zv::ResetVmState(vm);
  while (!vm.program_ended && !host.quit) zv::RunVmLoop(vm);
  if (vm.errors.code != 0) {
    std::fprintf(stderr, "%s\n", zv::FormatErrorText(vm.errors).c_str());
    return 1;
  }
  std::printf("%d %g %s\n", vm.IntAt(zv::Slot{zv::slots::kIntVar}),
              static_cast<double>(vm.FloatAt(zv::Slot{zv::slots::kFloatVar})),
              std::string(vm.StringAt(zv::Slot{zv::slots::kStringVar})).c_str());
  return 0;
}
