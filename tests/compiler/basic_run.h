#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>

#include "compiler/compiler.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "runtime/vm/program_file.h"
#include "runtime/vm/vm.h"
#include "tests/support/fake_host.h"

namespace zv::test {

// Compiles BASIC source, takes the program through its file form (encode,
// decode) into a machine with the core handlers and runs it to its end.
// Programs are checked through their variables: variable k of a type is the
// k-th of that type the program names, so tests name the ones they check
// first.
class BasicRun {
 public:
  BasicRun() : vm(handlers, host) { RegisterCoreHandlers(handlers); }

  // False when the program does not compile (see `compiled.error`) or its
  // file does not load.
  bool Run(std::string_view source, const CompileOptions& options = {}) {
    compiled = CompileSource(source, "test.kqa", options);
    if (!compiled.ok) return false;
    auto decoded = DecodeProgramFile(EncodeProgramFile(compiled.program));
    if (!std::holds_alternative<ProgramFile>(decoded)) {
      ADD_FAILURE() << std::get<ProgramFileError>(decoded).message;
      return false;
    }
    if (!InstallProgram(vm, std::get<ProgramFile>(decoded))) return false;
    ResetVmState(vm);
    for (int turn = 0; turn < 1000 && !vm.program_ended && host.quits == 0; ++turn) RunVmLoop(vm);
    return true;
  }

  std::string Error() const { return compiled.error ? FormatCompileError(*compiled.error) : ""; }

  int32_t Int(uint32_t k) const { return vm.IntAt(Slot{slots::kIntVar + k}); }
  float Float(uint32_t k) const { return vm.FloatAt(Slot{slots::kFloatVar + k}); }
  std::string String(uint32_t k) const { return std::string(vm.StringAt(Slot{slots::kStringVar + k})); }

  HandlerTable handlers;
  FakeHost host;
  Vm vm;
  CompileResult compiled;
};

}  // namespace zv::test
