#pragma once

#include <bit>
#include <initializer_list>
#include <string>

#include "runtime/vm/opcodes/core_handlers.h"
#include "tests/runtime/vm/vm_fixture.h"

namespace zv::test {

constexpr uint32_t kEndOp = 213;

// A machine with the core handlers, running assembled programs to their end.
class CoreTest : public VmTest {
 protected:
  CoreTest() { RegisterCoreHandlers(handlers); }

  // Loads the assembled program and runs slices until it ends, an error
  // or warning stops it, or `max_turns` slices have passed.
  void Run(int max_turns = 100) {
    Load();
    RunVmLoop(vm);  // the slice after a reset runs nothing
    for (int turn = 0; turn < max_turns && !Stopped(); ++turn) RunVmLoop(vm);
  }
  bool Stopped() const { return vm.program_ended || vm.errors.code != 0; }

  // Runs one command, "opcode result operands...", then the end command, on
  // a fresh program.
  void RunOne(uint32_t opcode, uint32_t result, std::initializer_list<uint32_t> operands) {
    assembler = ProgramAssembler();
    Build(opcode, result, operands);
    assembler.Op(kEndOp);
    Run();
  }
  // As RunOne, with operands given as values: constants of their type.
  void Build(uint32_t opcode, uint32_t result, std::initializer_list<uint32_t> operands) {
    assembler.Raw({opcode, result});
    for (uint32_t word : operands) assembler.Raw({word});
  }

  // Values of slots named by assembler operand words (10000 + slot).
  static Slot At(uint32_t word) { return Slot{word - 10000}; }
  int32_t Int(uint32_t word) const { return vm.IntAt(At(word)); }
  float Float(uint32_t word) const { return vm.FloatAt(At(word)); }
  std::string Str(uint32_t word) const { return std::string(vm.StringAt(At(word))); }

  uint32_t I(int32_t v) { return assembler.IntConst(v); }
  uint32_t F(float v) { return assembler.FloatConst(v); }
  uint32_t S(const std::string& v) { return assembler.StringConst(v); }
};

}  // namespace zv::test
