#pragma once

#include <initializer_list>
#include <vector>

#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"
#include "tests/runtime/vm/opcodes/core_fixture.h"

namespace zv::test {

// A machine with the core and memory-block commands and a block service.
template <typename Base = CoreTest>
class MemoryTestOf : public Base {
 protected:
  MemoryTestOf() {
    RegisterMemoryHandlers(this->handlers);
    this->vm.memory_blocks = &memory;
  }

  // Runs the instructions, each an opcode and its operand words, then the
  // end command, as one program; the next program starts afresh.
  void Program(std::initializer_list<std::vector<uint32_t>> instructions) {
    for (const std::vector<uint32_t>& words : instructions)
      for (uint32_t w : words) this->assembler.Raw({w});
    this->assembler.Op(kEndOp);
    this->Run();
    this->assembler = ProgramAssembler();
  }
  // One instruction, then the end command.
  void Do(std::vector<uint32_t> words) { Program({std::move(words)}); }

  // A command of two number operands and the error it must raise.
  struct Refusal {
    uint32_t opcode;
    int32_t first, second;
    int32_t error;
  };
  void ExpectRefusals(std::initializer_list<Refusal> refusals) {
    for (const Refusal& r : refusals) {
      Do({r.opcode, this->I(r.first), this->I(r.second)});
      EXPECT_EQ(Error(), r.error) << r.opcode << " " << r.first << ", " << r.second;
    }
  }

  int32_t Error() const { return this->vm.errors.code; }
  MemblockTable& Table() { return memory.Table(); }
  std::vector<uint8_t> Bytes(int32_t block) {
    const BlockMemory* b = Table().Peek(block);
    return b ? std::vector<uint8_t>(b->data(), b->data() + b->size()) : std::vector<uint8_t>();
  }

  MemoryBlocks memory;
};

using MemoryTest = MemoryTestOf<>;

}  // namespace zv::test
