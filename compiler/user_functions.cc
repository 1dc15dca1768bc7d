// Includes, user functions and labels: the parts of a compile that look at
// more than one statement.
#include <algorithm>
#include <unordered_set>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"
#include "platform/text/text_encoding.h"

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

std::string Compiler::UnclosedStringMessage(size_t line_index) const {
  if (line_index >= lines_.size()) return {};
  const std::string& text = lines_[line_index].text;
  const size_t end = std::min(CommentStart(text), text.size());
  size_t open = 0;
  bool quoted = false;
  for (size_t i = 0; i < end; ++i)
    if (text[i] == '"') {
      quoted = !quoted;
      open = i;
    }
  if (!quoted) return {};
  return "a string is not closed: " + Trim(std::string_view(text).substr(open, end - open)) + " (a \" ends it)";
}

bool Compiler::BeginsFile(size_t line) const {
  return line == 0 || line + 1 == include_start_ || lines_[line].file != lines_[line - 1].file;
}

bool Compiler::Prepare(std::string_view main_text, const std::string& main_name, IncludeReader reader) {
  files_.assign(1, main_name);
  written_names_.assign(1, main_name);
  lines_.clear();
  AddSourceLines(main_text, 0);
  // The main program stops here, before any included text.
  lines_.push_back(SourceLine{"end", "end", 0, static_cast<int>(lines_.size() + 1), false, 3, {}});
  include_start_ = lines_.size();
  return ExpandIncludes(reader);
}

void Compiler::AddSourceLines(std::string_view bytes, int file) {
  std::vector<FileLine> lines = ReadSourceLines(bytes);
  for (size_t k = 0; k < lines.size(); ++k) {
    FileLine& line = lines[k];
    const size_t length = line.text.size();
    lines_.push_back(SourceLine{NormalizeLine(line.text), std::move(line.original), file, static_cast<int>(k + 1),
                                false, length, std::move(line.foreign)});
  }
}

std::string Compiler::ForeignTextMessage(std::string_view text) const {
  if (text.find(kForeignByte) == std::string_view::npos) return {};
  return ForeignCharacterMessage(line_index_);
}

std::string Compiler::ForeignCharacterMessage(size_t line_index) const {
  if (line_index >= lines_.size()) return {};
  const SourceLine& line = lines_[line_index];
  // Columns count the blanks that the line's text lost at its start.
  const size_t comment = CommentStart(line.text);
  const size_t comment_column =
      comment == std::string::npos ? std::string::npos : line.length - line.text.size() + comment + 1;
  for (const ForeignCharacter& foreign : line.foreign) {
    if (static_cast<size_t>(foreign.column) >= comment_column) break;
    return "Windows-1252, the character set of programs, has no character " +
           platform::CharacterName(foreign.character) + " (column " + std::to_string(foreign.column) + ")";
  }
  return {};
}

bool Compiler::ExpandIncludes(IncludeReader& reader) {
  std::unordered_set<std::string> seen;
  bool comment_block = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    line_index_ = i;
    if (lines_[i].length > kMaxLine) return Fail(CompileMessage::kLineTooLong);
    const std::string& text = lines_[i].text;
    // An include put aside in a comment block brings nothing in.
    const bool inside_comment = !BeginsFile(i) && comment_block;
    comment_block = CommentBlockAfter(text, inside_comment);
    if (inside_comment || !StartsWith(text, "#include ")) continue;
    std::string_view rest = std::string_view(text).substr(9);
    size_t start = rest.find_first_not_of(' ');
    std::string name;
    if (start != std::string_view::npos) {
      size_t end = rest.find(' ', start);
      name = std::string(rest.substr(start, end == std::string_view::npos ? end : end - start));
    }
    while (!name.empty() && name.front() == '"') name.erase(name.begin());
    while (!name.empty() && name.back() == '"') name.pop_back();
    if (name.find(kForeignByte) != std::string::npos && !lines_[i].foreign.empty())
      return Fail(ForeignCharacterMessage(i));
    std::string resolved, content;
    if (name.empty() || !reader(name, &resolved, &content))
      return Fail(std::string(MessageText(CompileMessage::kIncludeNotFound)) + " \"" + name + "\"");
    if (!seen.insert(resolved).second) continue;
    if (files_.size() > kMaxIncludes) return Fail(CompileMessage::kTooManyIncludes);
    const int file = static_cast<int>(files_.size());
    files_.push_back(resolved);
    written_names_.push_back(name);
    AddSourceLines(content, file);
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

bool Compiler::ScanUserFunctions() {
  CollectDimNames();
  typing_only_ = true;
  // Every function is known, with its parameters, before any result is
  // typed: a result may call a function defined further on.
  std::vector<FunctionResult> results;
  int open_function = -1;
  size_t open_line = 0;
  bool comment_block = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    line_index_ = i;
    current_line_ = static_cast<int>(i + 1);
    const std::string& text = lines_[i].text;
    // A function inside a comment block is none: the main pass compiles no
    // line of it either.
    const bool inside_comment = !BeginsFile(i) && comment_block;
    comment_block = CommentBlockAfter(text, inside_comment);
    if (inside_comment && comment_block) {
      if (i >= include_start_) lines_[i].comment_out = true;
      continue;
    }
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
      if (open_function >= 0 && !result.empty()) results.push_back({open_function, i, std::move(result)});
      open_function = -1;
    } else if (i >= include_start_ && open_function == -1 && !text.empty()) {
      // Included files contribute only their functions.
      lines_[i].comment_out = true;
    }
  }
  if (open_function != -1) {
    line_index_ = open_line;
    return Fail(CompileMessage::kFunctionNotClosed);
  }
  if (!TypeFunctionResults(results)) return false;
  typing_only_ = false;
  return true;
}

bool Compiler::TypeFunctionResult(const FunctionResult& result, char* type) {
  line_index_ = result.line;
  current_line_ = static_cast<int>(result.line + 1);
  ResetTemps();
  const Operand typed = CompileExpression(result.text);
  if (typed.type == 'x') return false;
  *type = typed.type == 'z' ? 'l' : typed.type;
  return true;
}

bool Compiler::TypeFunctionResults(const std::vector<FunctionResult>& results) {
  // A result's type may hang on the results of the functions it calls, so
  // the types are worked out again until none changes; a result not known
  // yet counts as of the type its function's name gives (a string for
  // stars$), also inside the function itself, so that a result which calls
  // its own function types. The rounds go from the last function and from
  // the first in turn, so a chain of calls in either direction is known
  // after one of them.
  for (const FunctionResult& result : results) {
    UserFunction& function = functions_[static_cast<size_t>(result.function)];
    function.result = TypeOfName(function.name);
  }
  for (size_t round = 0; round <= results.size(); ++round) {
    bool changed = false;
    for (size_t k = 0; k < results.size(); ++k) {
      const FunctionResult& result = results[round % 2 == 0 ? results.size() - 1 - k : k];
      const CompileFailure before = failure_;
      char type = 'l';
      if (!TypeFunctionResult(result, &type)) {
        failure_ = before;  // it may type once the others are known
        continue;
      }
      char& known = functions_[static_cast<size_t>(result.function)].result;
      changed = changed || known != type;
      known = type;
    }
    if (!changed) break;
  }
  for (const FunctionResult& result : results) {
    char type = 'l';
    if (!TypeFunctionResult(result, &type)) {
      std::string inner = failure_.message;
      failure_.message.clear();
      return Fail(std::string(MessageText(CompileMessage::kBadFunctionResult)) + ": " + inner);
    }
    functions_[static_cast<size_t>(result.function)].result = type;
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
    valued_names_.insert(param);
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

bool Compiler::CheckBareFunctionNames() {
  for (const BareName& use : bare_function_names_) {
    if (valued_names_.count(use.name)) continue;
    line_index_ = static_cast<size_t>(use.line);
    return Fail(BareFunctionNameMessage(use));
  }
  return true;
}

std::string Compiler::BareFunctionNameMessage(const BareName& use) const {
  const std::string quoted = "\"" + use.name + "\"";
  const int row = table_.FindFunction(use.name);
  const int function = FindUserFunction(use.name);
  // Inside its own function, the call the name stands for would never end.
  if (row < 0 && use.owner == function + 1)
    return quoted + " is never given a value: the result of function " + use.name +
           " is the value written after endfunction";
  const bool takes_nothing = row >= 0 ? table_.Functions()[static_cast<size_t>(row)].signature.size() == 1
                                      : functions_[static_cast<size_t>(function)].parameters.empty();
  return quoted + " is a function: its value is written " + use.name + (takes_nothing ? "()" : "(...)");
}

}  // namespace zv::compiler
