// Includes, user functions and labels: the parts of a compile that look at
// more than one statement.
#include <unordered_set>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr size_t kMaxFunctions = 1023;
constexpr size_t kMaxIncludes = 255;
constexpr size_t kMaxArguments = 32;
constexpr size_t kMaxLine = 254;
constexpr int32_t kFunctionEntry = 26;
constexpr int32_t kCallFunction = 21;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Compiler::Compiler(const CommandTable& table) : table_(table) { InitBlockKeywords(); }

bool Compiler::Prepare(std::string_view main_text, const std::string& main_name, IncludeReader reader) {
  files_.assign(1, main_name);
  written_names_.assign(1, main_name);
  lines_.clear();
  std::vector<std::string> raw = SplitSourceLines(main_text);
  for (size_t i = 0; i < raw.size(); ++i)
    lines_.push_back(SourceLine{NormalizeLine(raw[i]), raw[i], 0, static_cast<int>(i + 1), false});
  // The main program stops here, before any included text.
  lines_.push_back(SourceLine{"end", "end", 0, static_cast<int>(raw.size() + 1), false});
  include_start_ = lines_.size();
  return ExpandIncludes(reader);
}

bool Compiler::ExpandIncludes(IncludeReader& reader) {
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < lines_.size(); ++i) {
    line_index_ = i;
    if (lines_[i].original.size() > kMaxLine) return Fail(CompileMessage::kLineTooLong);
    const std::string& text = lines_[i].text;
    if (!StartsWith(text, "#include ")) continue;
    std::string_view rest = std::string_view(text).substr(9);
    size_t start = rest.find_first_not_of(' ');
    std::string name;
    if (start != std::string_view::npos) {
      size_t end = rest.find(' ', start);
      name = std::string(rest.substr(start, end == std::string_view::npos ? end : end - start));
    }
    while (!name.empty() && name.front() == '"') name.erase(name.begin());
    while (!name.empty() && name.back() == '"') name.pop_back();
    std::string resolved, content;
    if (name.empty() || !reader(name, &resolved, &content))
      return Fail(std::string(MessageText(CompileMessage::kIncludeNotFound)) + " \"" + name + "\"");
    if (!seen.insert(resolved).second) continue;
    if (files_.size() > kMaxIncludes) return Fail(CompileMessage::kTooManyIncludes);
    const int file = static_cast<int>(files_.size());
    files_.push_back(resolved);
    written_names_.push_back(name);
    std::vector<std::string> raw = SplitSourceLines(content);
    for (size_t k = 0; k < raw.size(); ++k)
      lines_.push_back(SourceLine{NormalizeLine(raw[k]), raw[k], file, static_cast<int>(k + 1), false});
  }
  return true;
}

bool Compiler::ParseFunctionHeader(std::string_view text, std::string* name,
                                   std::vector<std::string>* params) {
  std::string_view rest = text.substr(9);
  size_t open = rest.find('(');
  size_t close = rest.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
      !Trim(rest.substr(close + 1)).empty())
    return Fail(std::string(MessageText(CompileMessage::kBadFunctionHeader)) +
                ": write function NAME(PARAMETERS)");
  *name = Trim(rest.substr(0, open));
  if (!IsVariableName(*name))
    return Fail(std::string(MessageText(CompileMessage::kBadFunctionHeader)) + ": \"" + *name +
                "\" is not a name");
  *params = SplitTopLevel(rest.substr(open + 1, close - open - 1));
  if (params->size() > kMaxArguments) return Fail(CompileMessage::kTooManyArguments);
  for (const std::string& param : *params)
    if (!IsVariableName(param))
      return Fail(std::string(MessageText(CompileMessage::kBadParameter)) + ": \"" + param + "\"");
  return true;
}

void Compiler::CollectDimNames() {
  for (const SourceLine& line : lines_) {
    const std::string& t = line.text;
    bool quoted = false;
    for (size_t i = 0; i + 3 < t.size(); ++i) {
      if (t[i] == '"') quoted = !quoted;
      if (quoted || t.compare(i, 4, "dim ") != 0 || (i > 0 && IsNameChar(t[i - 1]))) continue;
      size_t start = i + 4;
      while (start < t.size() && t[start] == ' ') ++start;
      size_t end = start;
      while (end < t.size() && IsNameChar(t[end])) ++end;
      size_t open = end;
      while (open < t.size() && t[open] == ' ') ++open;
      if (end > start && open < t.size() && t[open] == '(') dim_names_.insert(t.substr(start, end - start));
    }
  }
}

std::string Compiler::UnknownNameMessage(const std::string& name, bool store) const {
  const std::string quoted = "\"" + name + "\"";
  if (store && (table_.FindFunction(name) >= 0 || FindUserFunction(name) >= 0))
    return quoted + " is a function, not an array: nothing can be stored into it";
  if (table_.FindCommand(name) >= 0) return quoted + " is a command, which gives no value";
  return "no command, function or array is named " + quoted + " (an array needs a dim statement)";
}

bool Compiler::ScanUserFunctions() {
  CollectDimNames();
  typing_only_ = true;
  int open_function = -1;
  size_t open_line = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    line_index_ = i;
    current_line_ = static_cast<int>(i + 1);
    const std::string& text = lines_[i].text;
    if (StartsWith(text, "function ")) {
      std::string name;
      std::vector<std::string> params;
      if (!ParseFunctionHeader(text, &name, &params)) return false;
      open_line = i;
      open_function = FindUserFunction(name);
      if (open_function < 0) {
        if (functions_.size() >= kMaxFunctions) return Fail(CompileMessage::kTooManyFunctions);
        UserFunction function;
        function.name = name;
        for (const std::string& param : params) function.parameters += TypeOfName(param);
        function.line = static_cast<int>(i);
        open_function = static_cast<int>(functions_.size());
        function_index_.emplace(name, open_function);
        functions_.push_back(std::move(function));
      } else {
        open_function = -2;  // a second definition; the main pass reports it
      }
    } else if (StartsWith(text, "endfunction")) {
      if (open_function == -1) return Fail(CompileMessage::kEndfunctionOutsideFunction);
      std::string result = text.substr(11);
      size_t colon = result.find(':');
      if (colon != std::string::npos && result.find('"') > colon) result.resize(colon);
      result = Trim(result);
      if (open_function >= 0) {
        char type = 'l';
        if (!result.empty()) {
          ResetTemps();
          Operand typed = CompileExpression(result);
          if (typed.type == 'x') {
            std::string inner = failure_.message;
            failure_.message.clear();
            return Fail(std::string(MessageText(CompileMessage::kBadFunctionResult)) + ": " + inner);
          }
          type = typed.type == 'z' ? 'l' : typed.type;
        }
        functions_[static_cast<size_t>(open_function)].result = type;
      }
      open_function = -1;
    } else if (i >= include_start_ && open_function == -1 && !text.empty()) {
      // Included files contribute only their functions.
      lines_[i].comment_out = true;
    }
  }
  typing_only_ = false;
  if (open_function != -1) {
    line_index_ = open_line;
    return Fail(CompileMessage::kFunctionNotClosed);
  }
  return true;
}

int Compiler::FindUserFunction(std::string_view name) const {
  auto found = function_index_.find(std::string(name));
  return found == function_index_.end() ? -1 : found->second;
}

int Compiler::CountUserCalls(std::string_view text) const {
  if (functions_.empty()) return 0;
  int calls = 0;
  bool quoted = false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted || text[i] != '(' || !OpensCall(text[i - 1])) continue;
    size_t start = i;
    while (start > 0 && IsNameChar(text[start - 1])) --start;
    if (FindUserFunction(text.substr(start, i - start)) >= 0) ++calls;
  }
  return calls;
}

bool Compiler::CompileFunctionHeader(std::string_view text, bool* handled) {
  std::string name;
  std::vector<std::string> params;
  *handled = false;
  const size_t saved_line = line_index_;
  const bool parsed = ParseFunctionHeader(text, &name, &params);
  if (!parsed) {
    failure_ = {};
    line_index_ = saved_line;
    return false;
  }
  int index = FindUserFunction(name);
  if (index < 0) return false;
  *handled = true;
  UserFunction& function = functions_[static_cast<size_t>(index)];
  if (function.entry >= 0)
    return Fail(std::string(MessageText(CompileMessage::kFunctionDefinedTwice)) + ": " + name);
  if (current_function_ != 0) return Fail(CompileMessage::kFunctionNotClosed);
  current_function_ = index + 1;
  // Running into a function from the code before it ends the run.
  EmitWord(kFunctionEntry);
  function.entry = static_cast<int32_t>(CodeSize());
  for (const std::string& param : params) {
    Operand variable = VariableOperand(param, false);
    if (variable.type == 'x') return false;
    EmitWord(static_cast<uint32_t>(variable.number));
  }
  EmitWord(static_cast<uint32_t>(index + 1));
  return true;
}

bool Compiler::CompileUserFunctionCall(std::string_view arguments, int index, Operand* result) {
  const UserFunction& function = functions_[static_cast<size_t>(index)];
  std::vector<std::string> pieces = SplitTopLevel(arguments);
  if (pieces.size() > kMaxArguments) return Fail(CompileMessage::kTooManyArguments);
  std::vector<Operand> operands = {Operand{index, 'u'}, Operand{}, Operand{}};
  std::string types;
  for (const std::string& piece : pieces) {
    Operand value = CompileExpression(piece);
    if (value.type == 'x') return false;
    types += value.type;
    operands.push_back(value);
  }
  if (types != function.parameters)
    return Fail("the arguments of " + function.name + " do not match its parameters: it takes (" +
                DescribeSignature(function.parameters) + "), got (" + DescribeSignature(types) + ")");
  operands[2] = IntConstant(static_cast<int32_t>(pieces.size()));
  if (operands[2].type == 'x') return false;
  // The result comes back in a temporary: the return writes it before it
  // restores the caller's own variables.
  operands[1] = AllocRealTemp(function.result);
  if (operands[1].type == 'x') return false;
  EmitInstruction(kCallFunction, operands);
  last_result_word_ = -1;  // the call's result must come back in its temporary
  *result = operands[1];
  // Values worked out after the statement's last call need not outlive one.
  if (spill_ && --calls_left_ <= 0) spill_ = false;
  if (spill_ && !typing_only_) {
    Operand kept = AllocTemp(function.result);
    if (kept.type == 'x') return false;
    EmitInstruction(assign_codes_[static_cast<size_t>(TypeIndex(kept.type))], {kept, *result});
    *result = kept;
  }
  return true;
}

bool Compiler::ResolveReferences() {
  for (const Label& label : labels_) {
    if (!label.defined) {
      line_index_ = static_cast<size_t>(label.line);
      return Fail(std::string(MessageText(CompileMessage::kLabelNotDefined)) + ": " + label.name);
    }
    for (const auto& [word, data] : label.references)
      code_[word] = static_cast<uint32_t>(data ? numbering::kLiteral + label.data_position
                                               : numbering::kCode + label.code_position);
  }
  for (const UserFunction& function : functions_) {
    if (function.references.empty()) continue;
    if (function.entry < 0) {
      line_index_ = static_cast<size_t>(function.line);
      return Fail("function without a body: " + function.name);
    }
    for (uint32_t word : function.references)
      code_[word] = static_cast<uint32_t>(numbering::kCode + function.entry);
  }
  return true;
}

bool Compiler::CheckArraysDimensioned() {
  for (const auto& table : variables_)
    for (const Variable& variable : table) {
      if (!variable.array) continue;
      bool found = false;
      for (const auto& [name, owner] : dimensioned_) found = found || (name == variable.name && owner == variable.owner);
      if (found) continue;
      line_index_ = static_cast<size_t>(variable.line);
      return Fail(std::string(MessageText(CompileMessage::kArrayNotDimensioned)) + ": " + variable.name);
    }
  return true;
}

}  // namespace zv::compiler
