#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/vm/program_file.h"

namespace zv::test {

// Writes program files from opcodes and operand words, the way the compiler
// numbers them, so the virtual machine can be tested without the compiler.
//
//   ProgramAssembler a;
//   auto loop = a.NewLabel();
//   a.Bind(loop);
//   a.Op(81, {a.IntVar(0), a.IntVar(0), a.IntConst(1)});
//   a.Op(2, {a.Target(loop)});
//   ProgramFile file = a.Finish();
class ProgramAssembler {
 public:
  struct Label {
    int id;
  };

  static uint32_t IntTemp(int i) { return 10000 + i; }
  static uint32_t FloatTemp(int i) { return 11000 + i; }
  static uint32_t StringTemp(int i) { return 12000 + i; }
  uint32_t IntVar(int i);
  uint32_t FloatVar(int i);
  uint32_t StringVar(int i);
  uint32_t IntConst(int32_t value);
  uint32_t FloatConst(float value);
  uint32_t StringConst(const std::string& text);
  static uint32_t Literal(int value) { return 25000 + value; }

  Label NewLabel();
  // The label stands for the next instruction's position.
  void Bind(Label label);
  // An operand that becomes the label's code address when the program is
  // finished.
  uint32_t Target(Label label);

  // Appends an instruction: the opcode, then its operand words.
  void Op(uint32_t opcode, std::initializer_list<uint32_t> operands = {});
  // Appends words exactly as given (no label fix-ups).
  void Raw(std::initializer_list<uint32_t> words);
  // Source line recorded for the words appended from now on.
  void Line(int line) { line_ = line; }
  uint32_t Position() const { return static_cast<uint32_t>(file_.code.size()); }

  void Data(int32_t value);
  void Data(float value);
  void Data(const std::string& text);
  void SetOwner(char type, int variable, int32_t function);

  ProgramFile Finish();
  std::vector<uint8_t> Bytes() { return EncodeProgramFile(Finish()); }

 private:
  static constexpr uint32_t kLabelMarker = 35000;
  void Append(uint32_t word);
  void UseVariable(std::vector<int32_t>& owners, int32_t& count, int i);

  ProgramFile file_;
  std::vector<int64_t> label_positions_;
  std::vector<std::pair<size_t, int>> fixups_;  // code index -> label id
  int line_ = 0;
};

}  // namespace zv::test
