#include "tests/support/program_assembler.h"

#include <bit>
#include <stdexcept>

namespace zv::test {

void ProgramAssembler::UseVariable(std::vector<int32_t>& owners, int32_t& count, int i) {
  if (static_cast<int>(owners.size()) <= i) owners.resize(i + 1, 0);
  if (count <= i) count = i + 1;
}

uint32_t ProgramAssembler::IntVar(int i) {
  UseVariable(file_.int_owners, file_.int_variables, i);
  return 13000 + i;
}
uint32_t ProgramAssembler::FloatVar(int i) {
  UseVariable(file_.float_owners, file_.float_variables, i);
  return 15000 + i;
}
uint32_t ProgramAssembler::StringVar(int i) {
  UseVariable(file_.string_owners, file_.string_variables, i);
  return 17000 + i;
}

uint32_t ProgramAssembler::IntConst(int32_t value) {
  for (size_t k = 0; k < file_.int_constants.size(); ++k)
    if (file_.int_constants[k] == value) return static_cast<uint32_t>(19000 + k);
  file_.int_constants.push_back(value);
  return static_cast<uint32_t>(19000 + file_.int_constants.size() - 1);
}

uint32_t ProgramAssembler::FloatConst(float value) {
  uint32_t bits = std::bit_cast<uint32_t>(value);
  for (size_t k = 0; k < file_.float_constants.size(); ++k)
    if (file_.float_constants[k] == bits) return static_cast<uint32_t>(21000 + k);
  file_.float_constants.push_back(bits);
  return static_cast<uint32_t>(21000 + file_.float_constants.size() - 1);
}

uint32_t ProgramAssembler::StringConst(const std::string& text) {
  file_.string_constants.push_back(text);
  return static_cast<uint32_t>(23000 + file_.string_constants.size() - 1);
}

ProgramAssembler::Label ProgramAssembler::NewLabel() {
  label_positions_.push_back(-1);
  return Label{static_cast<int>(label_positions_.size() - 1)};
}

void ProgramAssembler::Bind(Label label) { label_positions_.at(label.id) = Position(); }

uint32_t ProgramAssembler::Target(Label label) { return kLabelMarker + label.id; }

void ProgramAssembler::Append(uint32_t word) {
  file_.code.push_back(word);
  file_.lines.push_back(line_);
}

void ProgramAssembler::Op(uint32_t opcode, std::initializer_list<uint32_t> operands) {
  Append(opcode);
  for (uint32_t word : operands) {
    if (word >= kLabelMarker && word < kLabelMarker + label_positions_.size())
      fixups_.emplace_back(file_.code.size(), static_cast<int>(word - kLabelMarker));
    Append(word);
  }
}

void ProgramAssembler::Raw(std::initializer_list<uint32_t> words) {
  for (uint32_t word : words) Append(word);
}

void ProgramAssembler::Data(int32_t value) {
  file_.data.push_back(DataItem{'l', static_cast<uint32_t>(value), {}});
}
void ProgramAssembler::Data(float value) {
  file_.data.push_back(DataItem{'f', std::bit_cast<uint32_t>(value), {}});
}
void ProgramAssembler::Data(const std::string& text) { file_.data.push_back(DataItem{'s', 0, text}); }

void ProgramAssembler::SetOwner(char type, int variable, int32_t function) {
  switch (type) {
    case 'l': IntVar(variable); file_.int_owners[variable] = function; break;
    case 'f': FloatVar(variable); file_.float_owners[variable] = function; break;
    case 's': StringVar(variable); file_.string_owners[variable] = function; break;
  }
}

ProgramFile ProgramAssembler::Finish() {
  ProgramFile out = file_;
  for (auto [index, id] : fixups_) {
    int64_t position = label_positions_.at(id);
    if (position < 0) throw std::logic_error("label used but never bound");
    out.code[index] = static_cast<uint32_t>(37000 + position);
  }
  return out;
}

}  // namespace zv::test
