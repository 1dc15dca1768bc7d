// Operand numbers: variables, constants, temporaries, labels, and the code
// words they end up in.
#include <algorithm>
#include <bit>
#include <cstring>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr size_t kMaxLabels = 2000;
constexpr std::array<int32_t, 3> kVariableBase = {numbering::kIntVar, numbering::kFloatVar,
                                                  numbering::kStringVar};
constexpr std::array<int32_t, 3> kTempBase = {numbering::kIntTemp, numbering::kFloatTemp,
                                              numbering::kStringTemp};
constexpr std::array<CompileMessage, 3> kVariablesFull = {CompileMessage::kTooManyIntVariables,
                                                          CompileMessage::kTooManyFloatVariables,
                                                          CompileMessage::kTooManyStringVariables};
constexpr char kTypeLetters[] = {'l', 'f', 's'};

std::string VariableKey(std::string_view name, int32_t owner, bool array) {
  std::string key(name);
  key += array ? '\x02' : '\x01';
  key += std::to_string(owner);
  return key;
}

}  // namespace

int TypeIndex(char type) {
  switch (type) {
    case 'l': return 0;
    case 'f': return 1;
    case 's': return 2;
  }
  return -1;
}

char OperandTypeOf(int32_t number) {
  if (number < numbering::kIntTemp || number >= numbering::kLabel) return 0;
  if (number >= numbering::kLiteral) return 's';
  if (number < numbering::kIntVar) return kTypeLetters[(number - numbering::kIntTemp) / 1000];
  return kTypeLetters[((number - numbering::kIntVar) % 6000) / 2000];
}

bool Compiler::IsVariableName(std::string_view name) const {
  // A text of digits alone is a number, never a name.
  return !name.empty() && std::all_of(name.begin(), name.end(), IsNameChar) &&
         !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char Compiler::TypeOfName(std::string_view name) const {
  if (name.find('#') != std::string_view::npos) return 'f';
  if (name.find('$') != std::string_view::npos) return 's';
  return 'l';
}

Operand Compiler::VariableOperand(std::string_view name, bool array) {
  if (!IsVariableName(name)) {
    Fail(std::string(MessageText(CompileMessage::kBadExpression)) + ": \"" + std::string(name) + "\"");
    return {};
  }
  const char type = TypeOfName(name);
  const int t = TypeIndex(type);
  if (typing_only_) return {kVariableBase[static_cast<size_t>(t)], type};

  auto& index = variable_index_[static_cast<size_t>(t)];
  auto found = index.find(VariableKey(name, current_function_, array));
  // Arrays of the main program are seen inside functions; plain variables
  // belong to the function that uses them.
  if (found == index.end() && array && current_function_ != 0)
    found = index.find(VariableKey(name, 0, array));
  if (found != index.end()) return {found->second, type};

  auto& table = variables_[static_cast<size_t>(t)];
  if (table.size() >= static_cast<size_t>(numbering::kPerClass)) {
    Fail(kVariablesFull[static_cast<size_t>(t)]);
    return {};
  }
  int32_t number = kVariableBase[static_cast<size_t>(t)] + static_cast<int32_t>(table.size());
  table.push_back(Variable{std::string(name), current_function_, number, array,
                           static_cast<int>(line_index_)});
  index.emplace(VariableKey(name, current_function_, array), number);
  return {number, type};
}

namespace {

// The number of a constant in its class, `first` being the class's first
// number: the one it has, or the next while the class has room (-1 when it
// is full).
template <class Value>
int32_t InternConstant(std::vector<Value>& values, std::unordered_map<Value, int32_t>& index, Value value,
                       int32_t first) {
  auto found = index.find(value);
  if (found != index.end()) return found->second;
  if (values.size() >= static_cast<size_t>(numbering::kPerClass)) return -1;
  const int32_t number = first + static_cast<int32_t>(values.size());
  values.push_back(value);
  index.emplace(value, number);
  return number;
}

}  // namespace

Operand Compiler::IntConstant(int32_t value) {
  if (typing_only_) return {numbering::kIntConst, 'l'};
  const int32_t number = InternConstant(int_constants_, int_constant_index_, value, numbering::kIntConst);
  if (number < 0) {
    Fail(CompileMessage::kTooManyIntConstants);
    return {};
  }
  return {number, 'l'};
}

Operand Compiler::FloatConstant(float value) {
  if (typing_only_) return {numbering::kFloatConst, 'f'};
  const int32_t number =
      InternConstant(float_constants_, float_constant_index_, std::bit_cast<uint32_t>(value), numbering::kFloatConst);
  if (number < 0) {
    Fail(CompileMessage::kTooManyFloatConstants);
    return {};
  }
  return {number, 'f'};
}

Operand Compiler::StringConstant(std::string_view text) {
  if (std::string message = ForeignTextMessage(text); !message.empty()) {
    Fail(std::move(message));
    return {};
  }
  if (text.size() + 2 > 255) {
    Fail(CompileMessage::kStringTooLong);
    return {};
  }
  if (typing_only_) return {numbering::kStringConst, 's'};
  if (string_constants_.size() >= static_cast<size_t>(numbering::kPerClass)) {
    Fail(CompileMessage::kTooManyStringConstants);
    return {};
  }
  int32_t number = numbering::kStringConst + static_cast<int32_t>(string_constants_.size());
  string_constants_.emplace_back(text);
  return {number, 's'};
}

void Compiler::ResetTemps() {
  // Each user function starts in a band of temporaries of its own, and every
  // statement has at least half of them: a late function's long expression
  // compiles as it would in the first. Bands may be shared, as a recursive
  // function shares its own: no temporary outlives a user-function call.
  const int32_t band = (50 * current_function_) % (numbering::kTempsPerClass / 2);
  for (size_t t = 0; t < 3; ++t) next_temp_[t] = kTempBase[t] + band;
  next_hidden_ = {0, 0, 0};
}

Operand Compiler::AllocRealTemp(char type) {
  if (type == 'z') type = 'l';
  const int t = TypeIndex(type);
  if (t < 0) {
    Fail(CompileMessage::kBadExpression);
    return {};
  }
  int32_t number = next_temp_[static_cast<size_t>(t)];
  if (number >= kTempBase[static_cast<size_t>(t)] + numbering::kTempsPerClass) {
    Fail(CompileMessage::kTooManyTemporaries);
    return {};
  }
  ++next_temp_[static_cast<size_t>(t)];
  return {number, type};
}

Operand Compiler::AllocTemp(char type) {
  if (type == 'z') type = 'l';
  if (!spill_ || typing_only_) return AllocRealTemp(type);
  // A statement that calls a user function keeps its intermediate values in
  // variables of the running function: the call may run code (this same
  // function, when it recurses) that reuses every temporary, while the
  // function's own variables are saved and restored around the call.
  const int t = TypeIndex(type);
  if (t < 0) {
    Fail(CompileMessage::kBadExpression);
    return {};
  }
  std::string name = "`";
  name += type;
  name += std::to_string(next_hidden_[static_cast<size_t>(t)]++);
  auto& index = variable_index_[static_cast<size_t>(t)];
  auto found = index.find(VariableKey(name, current_function_, false));
  if (found != index.end()) return {found->second, type};
  auto& table = variables_[static_cast<size_t>(t)];
  if (table.size() >= static_cast<size_t>(numbering::kPerClass)) {
    Fail(kVariablesFull[static_cast<size_t>(t)]);
    return {};
  }
  int32_t number = kVariableBase[static_cast<size_t>(t)] + static_cast<int32_t>(table.size());
  table.push_back(Variable{name, current_function_, number, false, static_cast<int>(line_index_)});
  index.emplace(VariableKey(name, current_function_, false), number);
  return {number, type};
}

void Compiler::EmitWord(uint32_t word) {
  if (typing_only_) return;
  code_.push_back(word);
  code_lines_.push_back(current_line_);
}

bool Compiler::EmitInstruction(int32_t opcode, const std::vector<Operand>& operands) {
  if (typing_only_) return true;
  last_result_word_ = operands.empty() ? -1 : static_cast<int32_t>(CodeSize()) + 1;
  EmitWord(static_cast<uint32_t>(opcode));
  for (const Operand& op : operands) {
    const uint32_t at = CodeSize();
    switch (op.type) {
      case 'a':
      case 'd':
        labels_[static_cast<size_t>(op.number - numbering::kLabel)].references.emplace_back(
            at, op.type == 'd');
        EmitWord(static_cast<uint32_t>(op.number));
        break;
      case 'u':
        functions_[static_cast<size_t>(op.number)].references.push_back(at);
        EmitWord(static_cast<uint32_t>(numbering::kLabel));
        break;
      default:
        EmitWord(static_cast<uint32_t>(op.number));
    }
  }
  return true;
}

int Compiler::FindOrAddLabel(std::string_view name, int32_t owner) {
  std::string key = VariableKey(name, owner, false);
  auto found = label_index_.find(key);
  if (found != label_index_.end()) return found->second;
  if (labels_.size() >= kMaxLabels) {
    Fail(CompileMessage::kTooManyLabels);
    return -1;
  }
  int index = static_cast<int>(labels_.size());
  Label label;
  label.name = std::string(name);
  label.owner = owner;
  label.number = numbering::kLabel + index;
  label.line = static_cast<int>(line_index_);
  labels_.push_back(std::move(label));
  label_index_.emplace(std::move(key), index);
  return index;
}

bool Compiler::DefineLabel(std::string_view name) {
  int index = FindOrAddLabel(name, current_function_);
  if (index < 0) return false;
  Label& label = labels_[static_cast<size_t>(index)];
  if (label.defined) {
    // A definition inside a comment block stands only where no other does:
    // code put aside there may keep the labels of the code that replaced it.
    if (comment_block_) return true;
    if (!label.commented)
      return Fail(std::string(MessageText(CompileMessage::kLabelDefinedTwice)) + ": " + std::string(name));
  }
  label.defined = true;
  label.commented = comment_block_;
  label.code_position = static_cast<int32_t>(CodeSize());
  // A label is also a restore point: the DATA item that follows it.
  label.data_position = static_cast<int32_t>(data_.size());
  return true;
}

Operand Compiler::LabelOperand(std::string_view name, bool data_kind) {
  bool valid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
  if (!valid) {
    Fail(CompileMessage::kBadLabelName);
    return {};
  }
  int index = FindOrAddLabel(name, current_function_);
  if (index < 0) return {};
  return {numbering::kLabel + index, data_kind ? 'd' : 'a'};
}

}  // namespace zv::compiler
