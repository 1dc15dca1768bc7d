// Statements: each line is split into words and matched, in a fixed order,
// against the label form, the function header, the built-in forms and the
// longest run of leading words that names a command. Forms the virtual
// machine has no opcode for are rewritten into simpler lines and compiled
// again.
#include <algorithm>
#include <utility>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr int kMaxStatementDepth = 200;
constexpr size_t kMaxArguments = 32;
constexpr size_t kMaxWords = 256;
constexpr int32_t kFirstFunctionEnd = 22;
constexpr int32_t kLastFunctionEnd = 25;
constexpr int32_t kFirstFunctionExit = 27;
constexpr int32_t kLastFunctionExit = 30;
constexpr int32_t kCommentBlockStart = 401;
constexpr int32_t kCommentBlockEnd = 402;
// What MatchCommand gives for a statement it found at fault.
constexpr int kMatchFailed = -2;

// Commands that act on a whole array name it by one of its elements: the
// machine finds the array in the element read just before the command,
// which must have read into the command's own operand, a temporary.
bool NamesArrayByElement(int32_t code) { return code >= 5001 && code <= 5006; }

// Words of a statement: runs of non-blank characters; a quoted text stays in
// one word and a ":" outside quotes is a word of its own.
std::vector<std::string> TakeWords(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    if (i >= text.size()) break;
    std::string word;
    if (text[i] == ':') {
      word = ":";
      ++i;
    } else {
      bool quoted = false;
      while (i < text.size()) {
        char c = text[i];
        if (!quoted && (static_cast<unsigned char>(c) <= 32 || c == ':')) break;
        if (c == '"') quoted = !quoted;
        word += c;
        ++i;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string JoinWords(const std::vector<std::string>& words, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to && i < words.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += words[i];
  }
  return out;
}

std::string WithArticle(const std::string& word) {
  return (word.empty() || std::string_view("aeiou").find(word[0]) == std::string_view::npos ? "a " : "an ") + word;
}

std::string LeftTrim(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  return std::string(text.substr(i));
}

// "name:" alone on its line defines a label.
bool IsLabelDefinition(std::string_view text, std::string* name) {
  size_t i = 0;
  while (i < text.size() && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= '0' && text[i] <= '9') ||
                             text[i] == '_'))
    ++i;
  if (i == 0 || i >= text.size() || text[i] != ':') return false;
  for (size_t j = i + 1; j < text.size(); ++j)
    if (static_cast<unsigned char>(text[j]) > 32) return false;
  *name = std::string(text.substr(0, i));
  return true;
}

// In print and read a comma means the same as a semicolon.
void CommasToSemicolons(std::string& text) {
  bool quoted = false;
  int depth = 0;
  for (char& c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0) continue;
    if (c == ':') break;
    if (c == ',') c = ';';
  }
}

// Position of the first character outside quotes and parentheses for which
// `ends` is true.
size_t FindStatementEnd(std::string_view text, const auto& ends) {
  return FindAtTopLevel(text, [&](size_t, char c, int depth) { return depth == 0 && ends(c); });
}

}  // namespace

bool Compiler::Fail(std::string message) {
  if (failure_.message.empty()) {
    failure_.message = std::move(message);
    failure_.line_index = static_cast<int>(line_index_);
  }
  return false;
}

int Compiler::MatchCommand(std::vector<std::string>& words, std::string* arguments, std::string* rest) {
  arguments->clear();
  rest->clear();
  int index = -1;
  size_t matched = 0;
  for (size_t n = words.size(); n >= 1 && index < 0; --n) {
    std::string joined = JoinWords(words, 0, n);
    if (joined.size() > CommandTable::kMaxNameLength) continue;
    index = table_.FindCommand(joined);
    matched = n;
  }
  if (index < 0) return -1;
  *arguments = JoinWords(words, matched, words.size());
  const CommandEntry* entry = &table_.Commands()[static_cast<size_t>(index)];
  const bool no_code = !entry->signature.empty() && entry->signature[0] == 'e';
  const bool print = entry->name == "print", input = entry->name == "input", read = entry->name == "read";
  if (print || read) CommasToSemicolons(*arguments);

  size_t end = FindStatementEnd(*arguments, [&](char c) {
    return c == ':' || (!no_code && c == ';') || (!no_code && input && c == ',');
  });
  if (end == std::string::npos) return index;
  const char end_char = (*arguments)[end];
  *rest = LeftTrim(std::string_view(*arguments).substr(end + 1));
  arguments->resize(end);
  const bool rest_is_statement = !rest->empty() && (*rest)[0] == ':';

  // print and input go on as printc, whose message would name printc.
  if (((print && end_char == ';') || (input && end_char != ':')) && Trim(*arguments).empty()) {
    Fail(entry->name + " has no value before a \";\" or \",\"");
    return kMatchFailed;
  }
  if (print && end_char == ';') {
    // print a; b prints a without a line end, then b.
    index = table_.FindCommand("printc");
    if (rest_is_statement)
      (*rest)[0] = ' ';
    else if (!rest->empty())
      *rest = "print " + *rest;
  } else if (input && (end_char == ';' || end_char == ',')) {
    // input "prompt"; v prints the prompt, then reads v.
    index = table_.FindCommand("printc");
    if (!rest_is_statement) *rest = "input " + *rest;
  } else if (read && end_char == ';') {
    if (!rest_is_statement) *rest = "read " + *rest;
  } else if (end_char == ';' && !rest_is_statement) {
    ended_by_semicolon_ = entry->name;
  }
  return index;
}

bool Compiler::CompileStatement(std::string_view source, bool array_first) {
  if (depth_ >= kMaxStatementDepth) return Fail(CompileMessage::kNestedTooDeep);
  ++depth_;
  const bool saved_spill = spill_;
  const auto saved_temps = next_temp_;
  const auto saved_hidden = next_hidden_;
  struct Restore {
    Compiler* c;
    bool spill;
    int calls_left;
    std::array<int32_t, 3> temps;
    std::array<int, 3> hidden;
    ~Restore() {
      --c->depth_;
      c->spill_ = spill;
      c->calls_left_ = calls_left;
      c->next_temp_ = temps;
      c->next_hidden_ = hidden;
    }
  } restore{this, saved_spill, calls_left_, saved_temps, saved_hidden};

  statement_after_semicolon_of_ = std::exchange(ended_by_semicolon_, {});
  std::string text = LeftTrim(source);
  if (text.empty()) return true;
  if (text.size() > 254) return Fail(CompileMessage::kLineTooLong);

  std::string label;
  if (IsLabelDefinition(text, &label)) return DefineLabel(label);
  if (!comment_block_ && text.compare(0, 9, "function ") == 0) {
    bool handled = false;
    bool ok = CompileFunctionHeader(text, &handled);
    if (handled) return ok;
  }

  std::vector<std::string> words = TakeWords(text);
  if (words.size() > kMaxWords) return Fail(CompileMessage::kLineTooLong);
  if (!words.empty() && words[0][0] == '`') words[0] = "`";
  const std::string& first = words[0];
  auto later_word = [&](std::string_view word) {
    for (size_t i = 2; i < words.size(); ++i)
      if (words[i] == word) return true;
    return false;
  };

  enum Kind { kCommand, kOther, kIf, kFor, kDim, kSelect, kCase, kEndcase, kEndselect, kComment };
  Kind kind = kCommand;
  if (first == "if" && later_word("then")) {
    kind = kIf;
  } else if (first == "for" && later_word("to")) {
    kind = kFor;
  } else if (first == "dim" && words.size() > 1 && [&] {
               const std::string& w = words[1];
               size_t open = w.find('(');
               return open != std::string::npos && open >= 1 && OpensCall(w[open - 1]);
             }()) {
    kind = kDim;
  } else if (first == "select") {
    kind = kSelect;
  } else if (first == "case") {
    kind = kCase;
  } else if (first == "endcase") {
    kind = kEndcase;
  } else if (first == "endselect") {
    kind = kEndselect;
  } else if (first == "rem" || first == "`") {
    kind = kComment;
  }
  if (kind == kComment) return true;

  if (first == "undim" && words.size() > 1) {
    // undim a(10) names the array a; anything after a ":" is a statement.
    array_first = true;
    std::string& name = words[1];
    size_t cut = 0;
    while (cut < name.size() && IsNameChar(name[cut])) ++cut;
    name.resize(cut);
    auto colon = std::find(words.begin() + 2, words.end(), ":");
    words.erase(words.begin() + 2, colon);
  }

  std::string arguments, rest;
  int index = -1;
  if (kind == kCommand) {
    index = MatchCommand(words, &arguments, &rest);
    if (index == kMatchFailed) return false;
    // A variable may share a one-word command's name: line = 1 is the
    // assignment that line=1 is, since no command's operands begin with "=".
    if (index >= 0 && words.size() > 1 && words[1][0] == '=' &&
        table_.Commands()[static_cast<size_t>(index)].name == first)
      index = -1;
    if (index < 0) kind = kOther;
  }

  // Comment blocks: everything between the two statements compiles to
  // nothing (labels and function headers above still count).
  if (index >= 0) {
    int32_t code = table_.Commands()[static_cast<size_t>(index)].code;
    if (code == kCommentBlockStart) {
      comment_block_ = true;
      return true;
    }
    if (code == kCommentBlockEnd) comment_block_ = false;
    else if (comment_block_) return true;
  } else if (comment_block_) {
    return true;
  }

  ResetTemps();
  calls_left_ = CountUserCalls(text);
  spill_ = calls_left_ > 0;

  switch (kind) {
    case kIf:
      if (!CompileSingleLineIf(words)) return Fail(CompileMessage::kBadIf);
      return true;
    case kFor:
      if (!CompileFor(words, &rest)) return Fail(CompileMessage::kBadFor);
      break;
    case kDim:
      if (!CompileDim(words, &rest)) return false;
      break;
    case kSelect:
    case kCase:
    case kEndcase:
    case kEndselect:
      if (!CompileSelectForm(kind - kSelect, words, &rest)) return false;
      break;
    case kOther:
      return CompileAssignmentOrCall(text);
    case kCommand:
      if (!CompileCommand(index, arguments, array_first)) {
        // "set ambient light color 1" is no "set ambient light" whose
        // operand fails, but "set ambient light colour" spelt otherwise.
        const std::string& name = table_.Commands()[static_cast<size_t>(index)].name;
        const size_t name_words = static_cast<size_t>(std::count(name.begin(), name.end(), ' ')) + 1;
        if (std::string respelt = OtherSpellingMessage(text, name_words); !respelt.empty())
          failure_.message = std::move(respelt);
        return false;
      }
      break;
    case kComment:
      return true;
  }
  return rest.empty() || CompileStatement(rest);
}

bool Compiler::CommentBlockAfter(std::string_view text, bool open) const {
  // Inside a block only a remend that begins the line counts; outside one,
  // what follows a remstart or a comment on its line is comment.
  bool statement_start = true;
  for (const std::string& word : TakeWords(text)) {
    const bool first = std::exchange(statement_start, word == ":");
    if (!first || word == ":") continue;
    const int row = table_.FindCommand(word);
    const int32_t code = row < 0 ? 0 : table_.Commands()[static_cast<size_t>(row)].code;
    if (open) {
      if (code != kCommentBlockEnd) return true;
      open = false;
    } else if (word == "rem" || word[0] == '`') {
      return false;
    } else if (code == kCommentBlockStart) {
      return true;
    }
  }
  return open;
}

bool Compiler::CompileCommandText(std::string_view text, bool array_first) {
  std::vector<std::string> words = TakeWords(text);
  std::string arguments, rest;
  int index = MatchCommand(words, &arguments, &rest);
  if (index < 0) return Fail(CompileMessage::kUnknownStatement);
  if (!CompileCommand(index, arguments, array_first)) return false;
  return rest.empty() || CompileStatement(rest);
}

bool Compiler::CompileAssignmentOrCall(std::string_view text) {
  size_t colon = FindStatementEnd(text, [](char c) { return c == ':'; });
  std::string statement(text.substr(0, colon));
  std::string rest = colon == std::string_view::npos ? std::string() : std::string(text.substr(colon + 1));
  auto finish = [&](bool ok) { return ok && (Trim(rest).empty() || CompileStatement(rest)); };

  // A call of a user function as a statement: name(arguments).
  size_t open = statement.find('(');
  size_t close = statement.rfind(')');
  if (open != std::string::npos && close != std::string::npos && close > open &&
      Trim(std::string_view(statement).substr(close + 1)).empty()) {
    int function = FindUserFunction(Trim(std::string_view(statement).substr(0, open)));
    if (function >= 0) {
      Operand result;
      return finish(CompileUserFunctionCall(
          std::string_view(statement).substr(open + 1, close - open - 1), function, &result));
    }
  }

  // An assignment: target = value becomes the command "=" (or "@=" for an
  // array element) with the target and the value as its operands.
  size_t equals = FindStatementEnd(statement, [](char c) { return c == '='; });
  if (equals == std::string::npos || Trim(std::string_view(statement).substr(equals + 1)).empty()) {
    std::string message = NotAStatementMessage(Trim(statement));
    std::string label;
    // A label written with a statement after it, as other BASICs take it.
    if (!Trim(rest).empty() && IsLabelDefinition(Trim(statement) + ":", &label) && !message.ends_with("?)"))
      message += " (a label, " + label + ":, stands alone on its line)";
    return Fail(std::move(message));
  }
  std::string target = Trim(std::string_view(statement).substr(0, equals));
  std::string value = std::string(std::string_view(statement).substr(equals + 1));
  if (target.empty() ||
      FindStatementEnd(target, [](char c) { return c == ' '; }) != std::string::npos) {
    if (std::string other = OtherBasicWordMessage(Trim(statement)); !other.empty()) return Fail(std::move(other));
    return Fail(std::string(MessageText(CompileMessage::kUnknownStatement)) + ": \"" + Trim(statement) +
                "\"");
  }
  size_t bracket = target.find('(');
  if (bracket != std::string::npos && bracket > 0 && OpensCall(target[bracket - 1])) {
    if (target.back() != ')')
      return Fail(std::string(MessageText(CompileMessage::kBadExpression)) + ": \"" + target + "\"");
    std::string name = target.substr(0, bracket);
    if (!dim_names_.count(name)) return Fail(UnknownNameMessage(name, true));
    std::string indices = target.substr(bracket + 1, target.size() - bracket - 2);
    return finish(CompileCommandText("@= " + name + "," + indices + " ," + value, true));
  }
  return finish(CompileCommandText("= " + target + " ," + value, false));
}

// exitfunction gives what endfunction gives: a number of the other kind is
// converted as an assignment converts it; a string for a number, or a number
// for a string, cannot be.
bool Compiler::ConvertToFunctionResult(Operand& value, std::string_view written) {
  const UserFunction& function = functions_[static_cast<size_t>(current_function_ - 1)];
  if (value.type == function.result) return true;
  if (value.type != 's' && function.result != 's') return EmitConversion(value, function.result);
  return Fail("exitfunction " + std::string(written) + " gives " + WithArticle(DescribeSignature({&value.type, 1})) +
              ", but function " + function.name + " gives " +
              WithArticle(DescribeSignature({&function.result, 1})) + ", the type of the value after its endfunction");
}

bool Compiler::MayGiveValue(int index, size_t operand) const {
  const std::string& name = table_.Commands()[static_cast<size_t>(index)].name;
  if (name == "=") return operand == 0;
  // The loop variable of for has its value from the "=" before the loop.
  if (KeywordOfCommand(index) >= 0 || name == "@=") return false;
  // Every other command may store into an operand (read, input, inc, read
  // file byte, ...), but for those that only show or return a value.
  return name != "print" && name != "printc" && name != "endfunction" && name != "exitfunction";
}

bool Compiler::CompileCommand(int index, std::string arguments, bool array_first) {
  const auto& rows = table_.Commands();
  const CommandEntry& entry = rows[static_cast<size_t>(index)];
  if (entry.code == 0) return Fail(CompileMessage::kUnknownStatement);
  std::vector<std::string> pieces = SplitTopLevel(Trim(arguments));
  if (pieces.size() > kMaxArguments) return Fail(CompileMessage::kTooManyArguments);
  if (pieces.empty() && entry.name == "next" && !NameLoopVariable(pieces)) return false;
  if (!pieces.empty() && entry.name == "else")
    return Fail("else stands alone on its line: what the else part does, an if too, goes on the lines after it");
  statement_start_ = static_cast<int32_t>(CodeSize());

  const std::string& signature = entry.signature;
  const bool no_code = !signature.empty() && signature[0] == 'e';
  std::string types;
  std::string written;  // the operands' types before any conversion, for the error
  std::vector<Operand> operands;
  if (!no_code) {
    for (size_t k = 0; k < pieces.size(); ++k) {
      std::string piece = pieces[k];
      if (MayGiveValue(index, k) && IsVariableName(piece)) valued_names_.insert(piece);
      if (KeywordOfCommand(index) >= 0) piece = ReplaceWordOperators(piece);
      Operand operand;
      if (!signature.empty() && signature[0] == 'a') {
        operand = LabelOperand(piece, entry.name == "restore");
        if (operand.type == 'x') return Fail(CompileMessage::kBadLabel);
      } else if (k == 0 && array_first) {
        operand = VariableOperand(piece, true);
      } else if (k + 1 == pieces.size() && NamesArrayByElement(entry.code)) {
        // Its value is never used, so it need not outlive a later call.
        const bool saved_spill = spill_;
        spill_ = false;
        operand = CompileExpression(piece);
        spill_ = saved_spill;
      } else {
        operand = CompileExpression(piece);
      }
      if (operand.type == 'x') return false;
      if (operand.type == 'z') operand.type = 'l';
      written += operand.type == 'd' ? 'a' : operand.type;
      if ((operand.type == 'l' || operand.type == 'f') &&
          !RunAccepts(rows, index, types + operand.type, false)) {
        if (!EmitConversion(operand, operand.type == 'l' ? 'f' : 'l')) return false;
      }
      types += operand.type == 'd' ? 'a' : operand.type;
      operands.push_back(operand);
    }
  }

  if (entry.name == "exitfunction" && operands.size() == 1 && current_function_ != 0) {
    if (!ConvertToFunctionResult(operands[0], pieces[0])) return false;
    types = operands[0].type;
  }

  // The row of this name whose signature fits the compiled operands.
  int chosen = -1;
  for (size_t j = static_cast<size_t>(index); j < rows.size() && rows[j].name == entry.name && chosen < 0;
       ++j) {
    const std::string& sig = rows[j].signature;
    bool fits = (!sig.empty() && sig[0] == 'e') || (sig == "0" && pieces.empty());
    if (!fits && sig.size() == types.size()) {
      fits = true;
      for (size_t k = 0; k < sig.size() && fits; ++k) fits = sig[k] == 'z' || sig[k] == types[k];
    }
    if (fits) chosen = static_cast<int>(j);
  }
  if (chosen < 0) {
    if (entry.name == "=" && written.size() == 2)
      return Fail("cannot assign " + WithArticle(DescribeSignature(written.substr(1))) + " value to " +
                  WithArticle(DescribeSignature(written.substr(0, 1))) + " variable");
    if (entry.name == "@=")
      return Fail("cannot store into the array: give 1 to 5 integer indices and a value of the array's type");
    // return ends a gosub; a function gives its value another way.
    const std::string hint = entry.name == "return" && current_function_ != 0
                                 ? " (a function gives its value with exitfunction, or after its endfunction)"
                                 : "";
    return Fail("wrong parameters for " + entry.name + ": got (" + DescribeSignature(written) + ")" +
                MismatchMessage(rows, index, types, false) + hint);
  }
  const CommandEntry& row = rows[static_cast<size_t>(chosen)];
  if (row.code >= kFirstFunctionExit && row.code <= kLastFunctionExit && current_function_ == 0)
    return Fail("exitfunction outside a function");
  if (!row.signature.empty() && row.signature[0] == 'e') {
    if (row.name == "data") return CompileData(pieces);
    return true;
  }
  // An assignment of a value just worked out into a temporary: the
  // instruction that made it stores into the variable itself instead.
  if (entry.name == "=" && operands.size() == 2 && last_result_word_ >= 0 &&
      static_cast<size_t>(last_result_word_) < code_.size() &&
      code_[static_cast<size_t>(last_result_word_)] == static_cast<uint32_t>(operands[1].number) &&
      operands[1].number < numbering::kIntVar && operands[0].type == operands[1].type) {
    code_[static_cast<size_t>(last_result_word_)] = static_cast<uint32_t>(operands[0].number);
    return true;
  }
  const int keyword = KeywordOfCommand(chosen);
  bool emits_nothing = false;
  if (keyword >= 0 && !HandleBlockKeyword(keyword, operands, pieces.size() == 1 ? pieces[0] : "", &emits_nothing))
    return false;
  if (!emits_nothing) EmitInstruction(row.code, operands);
  if (row.code >= kFirstFunctionEnd && row.code <= kLastFunctionEnd) current_function_ = 0;
  return true;
}

}  // namespace zv::compiler
