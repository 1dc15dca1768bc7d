// Statement forms rewritten into simpler lines: the single-line if, for,
// dim, select and case; and DATA items, which are stored, not compiled.
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr size_t kMaxDataItems = 9999;
constexpr size_t kMaxDimensioned = 2000;
constexpr size_t kMaxLine = 254;
// Stops the run before the first turn of a for loop whose step is a
// fraction that counts as 0.
constexpr int32_t kCheckLoopStep = 44;
// Records whether a case of the first select has matched; each later select
// has this name followed by its number.
constexpr const char* kSelectHiddenVariable = "welldoneifyoufindthistempvarorv";

std::string Join(const std::vector<std::string>& words, size_t from, size_t to, std::string_view between = " ") {
  std::string out;
  for (size_t i = from; i < to && i < words.size(); ++i) {
    if (!out.empty()) out += between;
    out += words[i];
  }
  return out;
}

size_t FindOutsideQuotes(std::string_view text, std::string_view what, size_t from = 0) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (!quoted && i >= from && text.compare(i, what.size(), what) == 0) return i;
  }
  return std::string_view::npos;
}

// True when `name` stands in the expression as a name of its own, outside
// quotes.
bool NamesVariable(std::string_view expression, std::string_view name) {
  for (size_t at = FindOutsideQuotes(expression, name); at != std::string_view::npos;
       at = FindOutsideQuotes(expression, name, at + 1)) {
    const size_t after = at + name.size();
    if ((at == 0 || !IsNameChar(expression[at - 1])) && (after >= expression.size() || !IsNameChar(expression[after])))
      return true;
  }
  return false;
}

// The words before a word ":" stay; the words after it become the rest.
std::string SplitOffColonRest(std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] != ":") continue;
    std::string rest = Join(words, i + 1, words.size());
    words.resize(i);
    return rest;
  }
  return {};
}

}  // namespace

bool Compiler::CompileSingleLineIf(const std::vector<std::string>& words) {
  size_t then = 2;
  while (then < words.size() && words[then] != "then") ++then;
  if (!CompileStatement("if " + Join(words, 1, then))) return false;
  if (then + 1 >= words.size()) return Fail("nothing after then");
  size_t otherwise = then + 1;
  while (otherwise < words.size() && words[otherwise] != "else") ++otherwise;
  if (!CompileStatement(Join(words, then + 1, otherwise))) return false;
  if (otherwise + 1 < words.size()) {
    if (!CompileStatement("else") || !CompileStatement(Join(words, otherwise + 1, words.size())))
      return false;
  }
  return CompileStatement("endif");
}

bool Compiler::CompileFor(const std::vector<std::string>& words, std::string* rest) {
  std::string text = Join(words, 1, words.size());
  size_t colon = FindOutsideQuotes(text, ":");
  if (colon != std::string::npos) {
    *rest = text.substr(colon + 1);
    text.resize(colon);
  }
  size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  std::string variable = Trim(std::string_view(text).substr(0, equals));
  std::string after = text.substr(equals + 1);
  size_t to = FindOutsideQuotes(" " + after, " to ");
  if (to == std::string::npos) return false;
  std::string start = Trim(std::string_view(" " + after).substr(0, to));
  std::string tail = (" " + after).substr(to + 4);
  // "step" as a word of its own ends the limit.
  size_t step_at = std::string::npos;
  for (size_t p = FindOutsideQuotes(tail, " step"); p != std::string::npos;
       p = FindOutsideQuotes(tail, " step", p + 1)) {
    if (p + 5 >= tail.size() || !IsNameChar(tail[p + 5])) {
      step_at = p;
      break;
    }
  }
  std::string end = Trim(std::string_view(tail).substr(0, step_at));
  std::string step = step_at == std::string::npos ? "1" : Trim(std::string_view(tail).substr(step_at + 5));
  if (variable.empty() || start.empty() || end.empty() || step.empty()) return false;
  if (!IsVariableName(variable) || TypeOfName(variable) != 'l')
    return Fail(CompileMessage::kForNeedsIntVariable);
  // The loop counts in whole numbers: a step written with a fraction would
  // be cut without a word (0.5 to 0, a loop that never moves).
  if (IsFloatLiteral(step)) {
    const double value = std::strtod(step.c_str(), nullptr);
    if (const double whole = std::trunc(value); value != whole)
      return Fail(std::string(MessageText(CompileMessage::kForCountsWholeNumbers)) + ": step " + step +
                  " would be cut to " + std::to_string(static_cast<long long>(whole)));
  }
  // The loop variable starts one step before the start; the for command adds
  // the step before each turn, working the end and the step out again.
  Operand from = CompileExpression(start);
  if (from.type == 'x') return false;
  Operand by = CompileExpression(step);
  if (by.type == 'x') return false;
  if (!CompileCommandText("= " + variable + " ,?" + std::to_string(from.number) + "-?" + std::to_string(by.number),
                          false))
    return false;
  // A fraction worked out as the program runs is looked at before the first
  // turn, where it would be cut to 0. A step of 0 itself is the program's
  // own (an exit may end the loop); one that depends on the loop variable
  // is worked out again at each turn from another value.
  if (by.type == 'f' && !IsFloatLiteral(step) && !NamesVariable(step, variable)) EmitInstruction(kCheckLoopStep, {by});
  return CompileStatement("for " + variable + ",(" + end + "),(" + step + ")");
}

bool Compiler::CompileDim(const std::vector<std::string>& words, std::string* rest) {
  std::string text = Join(words, 1, words.size());
  size_t colon = text.find(':');
  if (colon != std::string::npos) {
    *rest = text.substr(colon + 1);
    text.resize(colon);
  }
  size_t open = text.find('(');
  size_t close = text.rfind(')');
  const std::string bad = MessageText(CompileMessage::kBadDim);
  if (const std::vector<std::string> arrays = SplitTopLevel(text); arrays.size() > 1)
    return Fail(bad + ": it makes one array (write dim " + Join(arrays, 0, arrays.size(), " : dim ") + ")");
  if (open == std::string::npos || close == std::string::npos || close < open ||
      !Trim(std::string_view(text).substr(close + 1)).empty())
    return Fail(bad);
  std::string name = Trim(std::string_view(text).substr(0, open));
  std::string bounds = text.substr(open + 1, close - open - 1);
  if (!CompileCommandText("dim " + name + "," + bounds, true)) {
    std::string inner = failure_.message;
    failure_.message.clear();
    return Fail(inner.empty() ? bad : bad + ": " + inner);
  }
  if (dimensioned_.size() >= kMaxDimensioned) return Fail(CompileMessage::kTooManyArrays);
  dimensioned_.emplace_back(name, current_function_);
  return true;
}

bool Compiler::CompileData(const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    DataItem data;
    if (IsIntLiteral(item)) {
      errno = 0;
      long long value = std::strtoll(item.c_str(), nullptr, 10);
      if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        return Fail(std::string(MessageText(CompileMessage::kIntegerOutOfRange)) + ": " + item);
      data.type = 'l';
      data.word = static_cast<uint32_t>(static_cast<int32_t>(value));
    } else if (IsFloatLiteral(item)) {
      data.type = 'f';
      data.word = std::bit_cast<uint32_t>(static_cast<float>(std::strtod(item.c_str(), nullptr)));
    } else if (IsStringLiteral(item)) {
      data.type = 's';
      data.text = item.substr(1, item.size() - 2);
      if (std::string message = ForeignTextMessage(data.text); !message.empty()) return Fail(std::move(message));
    } else if (std::string_view number = FindUnsupportedNumber(item); !number.empty()) {
      return Fail(UnsupportedNumberMessage(number));
    } else {
      return Fail(std::string(MessageText(CompileMessage::kBadDataItem)) + ": " + item);
    }
    if (data_.size() >= kMaxDataItems) return Fail(CompileMessage::kTooManyDataItems);
    data_.push_back(std::move(data));
  }
  return true;
}

bool Compiler::CompileSelectForm(int kind, const std::vector<std::string>& source_words, std::string* rest) {
  std::vector<std::string> words = source_words;
  *rest = SplitOffColonRest(words);
  const std::string misplaced = MessageText(CompileMessage::kSelectMisplaced);
  // A case, an endcase and the endselect each find the blocks inside the
  // select closed, but for the case that an endcase ends.
  auto blocks_closed = [&](bool case_may_stay) {
    if (blocks_.size() <= select_depth_) return true;
    if (case_may_stay && blocks_.size() == select_depth_ + 1 && blocks_.back().from_case) return true;
    return Fail(std::string(MessageText(CompileMessage::kBlockNotClosed)) + ": " + BlockNeeds(blocks_.back()) +
                LineMention(blocks_.back().line));
  };
  switch (kind) {
    case 0:  // select EXPRESSION
      if (select_open_)
        return Fail(misplaced + ": select inside a select (the select" + LineMention(select_line_) +
                    " needs endselect)");
      if (words.size() != 2) return Fail(misplaced + ": select takes one expression written without blanks");
      // Each case compiles the expression on its own line; its characters
      // are the select line's.
      if (std::string message = ForeignTextMessage(words[1]); !message.empty()) return Fail(std::move(message));
      select_open_ = true;
      default_seen_ = false;
      select_expression_ = words[1];
      select_depth_ = blocks_.size();
      select_line_ = static_cast<int>(line_index_);
      // Each select records its match in a variable of its own: a select in
      // a subroutine that a case calls leaves the caller's match alone.
      select_variable_ = kSelectHiddenVariable + (selects_ == 0 ? "" : std::to_string(selects_));
      ++selects_;
      return CompileStatement(select_variable_ + "=0");
    case 1: {  // case VALUES or case default
      if (!select_open_) return Fail(misplaced + ": case outside a select");
      if (!blocks_closed(false)) return false;
      if (words.size() < 2) return Fail(misplaced + ": case needs a value");
      std::string line;
      const bool is_default = words.size() == 2 && words[1] == "default";
      if (is_default) {
        default_seen_ = true;
        line = "if " + select_variable_ + "=0";
      } else {
        if (default_seen_) return Fail(CompileMessage::kCaseAfterDefault);
        // Every value is tested, with or without blanks after the commas.
        line = "if ";
        for (const std::string& value : SplitTopLevel(Join(words, 1, words.size()))) {
          if (value.empty()) return Fail(misplaced + ": an empty case value");
          if (line.size() > 3) line += " or ";
          line += select_expression_ + "=" + value;
        }
        if (line.size() > kMaxLine) return Fail(CompileMessage::kLineTooLong);
      }
      if (!CompileStatement(line)) return false;
      blocks_.back().from_case = true;
      return is_default || CompileStatement(select_variable_ + "=1");
    }
    case 2:  // endcase
      if (!select_open_) return Fail(misplaced + ": endcase outside a select");
      if (blocks_.size() <= select_depth_) return Fail(misplaced + ": endcase without case");
      if (!blocks_closed(true)) return false;
      blocks_.back().from_case = false;  // the endif below closes it
      return CompileStatement("endif");
    default:  // endselect
      if (!select_open_) return Fail(misplaced + ": endselect outside a select");
      if (!blocks_closed(false)) return false;
      select_open_ = false;
      return true;
  }
}

bool Compiler::CheckSelectClosed() {
  if (!select_open_) return true;
  line_index_ = static_cast<size_t>(select_line_);
  return Fail(std::string(MessageText(CompileMessage::kBlockNotClosed)) + ": select needs endselect");
}

}  // namespace zv::compiler
