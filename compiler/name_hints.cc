// Messages for text that names nothing the language knows: which words are
// unknown, and the commands or functions of the table they come close to.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "compiler/compile_messages.h"
#include "compiler/compiler_context.h"
#include "compiler/source_text.h"

namespace zv::compiler {
namespace {

constexpr size_t kMaxSuggestions = 3;

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (const char c : text)
    if (c != ' ') out += c;
  return out;
}

// A name written this short is more likely a name of the program's own
// than the start of a row's name.
constexpr size_t kShortestStart = 4;

// The number of letters to add, remove, change or swap with their
// neighbour that turn `a` into `b` (the optimal string alignment distance).
size_t SpellingDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// How many slips a name may hold and still be taken for a row's name: one
// in a short name, one in every four letters of a longer one.
size_t SlipsAllowed(std::string_view written) { return std::max<size_t>(1, written.size() / 4); }

// The name without the type sign at its end ("left$" -> "left").
std::string_view WithoutTypeSign(std::string_view name) {
  return !name.empty() && (name.back() == '$' || name.back() == '#') ? name.substr(0, name.size() - 1) : name;
}

// Names of the rows (each once) that `written` comes closest to: one that
// differs from it only by blanks, else only by a type sign ("left" for
// "left$"), else those that begin with it as words (a name without its last
// word), else those nearest in spelling, else those that begin with it when
// blanks are ignored (for a written name that is not short). None when more
// than a few come equally close.
std::vector<std::string> CloseNames(const std::vector<CommandEntry>& rows, std::string_view written) {
  const std::string bare = WithoutBlanks(written);
  const std::string as_words = std::string(written) + " ";
  std::array<std::vector<std::string>, 5> found;
  // A short name may as well be one of the program's own, misspelt or not.
  size_t nearest = bare.size() >= kShortestStart ? SlipsAllowed(written) : 0;
  const auto add = [](std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  for (const CommandEntry& row : rows) {
    const std::string& name = row.name;
    if (name.empty() || name[0] < 'a' || name[0] > 'z') continue;
    const std::string name_bare = WithoutBlanks(name);
    if (name_bare == bare) add(found[0], name);
    if (name != written && WithoutTypeSign(name) == WithoutTypeSign(written)) add(found[1], name);
    if (name.starts_with(as_words)) add(found[2], name);
    if (const size_t slips = SpellingDistance(written, name); slips > 0 && slips <= nearest) {
      if (slips < nearest) found[3].clear();
      nearest = slips;
      add(found[3], name);
    }
    if (bare.size() >= kShortestStart && name_bare.starts_with(bare)) add(found[4], name);
  }
  for (const auto& names : found)
    if (!names.empty()) return names.size() <= kMaxSuggestions ? names : std::vector<std::string>();
  return {};
}

// " (did you mean "a", "b" or "c"?)", empty for no names.
std::string Suggestion(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  std::string text = " (did you mean ";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += Quoted(names[i]);
  }
  return text + "?)";
}

// How `word` stands at `i` between two operands, as other BASICs write
// their operator words: 0 not so, 1 between blanks, 2 touching a group.
int OperatorWordAt(std::string_view text, size_t i, std::string_view word) {
  const size_t after = i + word.size();
  if (i == 0 || after >= text.size() || text.compare(i, word.size(), word) != 0) return 0;
  const bool blank_before = text[i - 1] == ' ', blank_after = text[after] == ' ';
  if ((!blank_before && text[i - 1] != ')') || (!blank_after && text[after] != '(')) return 0;
  return blank_before && blank_after ? 1 : 2;
}

// A "-" at `i` that stands where an operand begins and is followed by a
// name or a bracket: the language takes a sign before a number only.
bool SignBeforeAName(std::string_view text, size_t i) {
  size_t before = i;
  while (before > 0 && text[before - 1] == ' ') --before;
  if (before > 0 && std::string_view("^*/+-=<>!&|(,").find(text[before - 1]) == std::string_view::npos) return false;
  size_t after = i + 1;
  while (after < text.size() && text[after] == ' ') ++after;
  if (after >= text.size()) return false;
  const char next = text[after];
  return next == '(' || next == '_' || std::isalpha(static_cast<unsigned char>(next));
}

// The name or bracket after the sign at `i`, as the hint shows it.
std::string NegatedOperand(std::string_view text, size_t i) {
  size_t start = i + 1;
  while (text[start] == ' ') ++start;
  size_t end = start;
  while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                               std::string_view("_#$").find(text[end]) != std::string_view::npos))
    ++end;
  const bool call = end < text.size() && text[end] == '(';
  return std::string(text.substr(start, end - start)) + (call ? "(...)" : "");
}

// Words of other BASICs that the language writes otherwise, with what it
// writes: the nearest spelling would name the wrong command ("wend" is not
// "end").
struct OtherWord {
  std::string_view word;
  std::string_view hint;
};
constexpr std::string_view kElseIf = "write else on its own line, then if ... endif inside it";
constexpr OtherWord kOtherWords[] = {
    {"wend", "a while loop ends with endwhile"},
    {"elseif", kElseIf},
    {"elsif", kElseIf},
};

// The language spells some commands "colour" and others "color".
std::string OtherColourSpelling(std::string_view word) {
  if (word == "color") return "colour";
  if (word == "colour") return "color";
  return std::string(word);
}

}  // namespace

std::string OtherBasicWordMessage(std::string_view statement) {
  const std::string_view first = statement.substr(0, statement.find_first_of(" ("));
  for (const OtherWord& other : kOtherWords)
    if (first == other.word) return "no command is named " + Quoted(first) + " (" + std::string(other.hint) + ")";
  return {};
}

std::string OperatorWordHint(std::string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (OperatorWordAt(text, i, "mod")) return " (there is no mod: for integers write a - (a / b) * b)";
    const bool starts = i == 0 || text[i - 1] == ' ' || text[i - 1] == '(';
    if (starts && text.compare(i, 4, "not ") == 0) return " (there is no not: write c = 0, or (c = 0) as a value)";
    // In a condition the words between blanks are operators already.
    const int joined = std::max(OperatorWordAt(text, i, "and"), OperatorWordAt(text, i, "or"));
    if (joined == 2) return " (write a blank on each side of and and or)";
    if (joined == 1 || text.compare(i, 2, "<>") == 0)
      return " (and, or and <> join the conditions of if, while, until and the other block statements; elsewhere "
             "write &, | and (a = b) = 0)";
    if (text[i] == '-' && SignBeforeAName(text, i))
      return " (a sign stands only before a number: write 0 - " + NegatedOperand(text, i) + ")";
  }
  return {};
}

std::string Compiler::UnknownNameMessage(const std::string& name, bool store) const {
  const std::string quoted = Quoted(name);
  if (store && (table_.FindFunction(name) >= 0 || FindUserFunction(name) >= 0))
    return quoted + " is a function, not an array: nothing can be stored into it";
  if (table_.FindCommand(name) >= 0) return quoted + " is a command, which gives no value";
  const std::vector<std::string> close = CloseNames(table_.Functions(), name);
  return "no command, function or array is named " + quoted +
         (close.empty() ? " (an array needs a dim statement)" : Suggestion(close));
}

std::string Compiler::OtherSpellingMessage(std::string_view statement, size_t matched) const {
  std::string written, respelt, message;
  size_t n = 0;
  for (const std::string& word : SplitTopLevel(statement, ' ')) {
    if (word.empty()) continue;
    written += (n == 0 ? "" : " ") + word;
    respelt += (n == 0 ? "" : " ") + OtherColourSpelling(word);
    if (respelt.size() > CommandTable::kMaxNameLength) break;
    if (++n > matched && respelt != written && table_.FindCommand(respelt) >= 0)
      message = "no command is named " + Quoted(written) + Suggestion({respelt});
  }
  return message;
}

std::string Compiler::NotAStatementMessage(const std::string& statement) {
  if (std::string respelt = OtherSpellingMessage(statement, 0); !respelt.empty()) return respelt;
  if (std::string other = OtherBasicWordMessage(statement); !other.empty()) return other;
  // A user function written as a command.
  const std::string first = statement.substr(0, statement.find(' '));
  if (const int function = FindUserFunction(first); function >= 0)
    return Quoted(first) + " is a function: it is called with brackets, as in " + first +
           (functions_[static_cast<size_t>(function)].parameters.empty() ? "()" : "(...)");
  // name(...) alone.
  const size_t open = statement.find('(');
  if (open != std::string::npos && statement.back() == ')') {
    const std::string name = Trim(std::string_view(statement).substr(0, open));
    const std::vector<std::string> name_words = SplitTopLevel(name, ' ');
    if (!name_words.empty() && std::all_of(name_words.begin(), name_words.end(),
                                           [this](const std::string& word) { return IsVariableName(word); })) {
      if (table_.FindCommand(name) >= 0)
        return Quoted(name) + " is a command: its operands follow its name without brackets";
      if (table_.FindFunction(name) < 0 && !dim_names_.count(name)) return UnknownNameMessage(name, false);
    }
  }
  if (!IsVariableName(statement) && IsExpression(statement)) {
    const std::string value = statement.starts_with('"') ? statement : Quoted(statement);
    if (!statement_after_semicolon_of_.empty())
      return "a value alone is not a statement: " + value + " (the \";\" before it ends the " +
             statement_after_semicolon_of_ + " statement; print takes values one after another, as in print a; b)";
    return "a value alone is not a statement: " + value + " (write, for example, x = " + statement + ")";
  }

  // The leading words that begin a command, and the word after them that
  // does not go on with it; a word that is no name is where the operands
  // begin.
  const std::vector<std::string> words = SplitTopLevel(statement, ' ');
  size_t known = 0;
  std::string begun;
  for (; known < words.size() && IsVariableName(words[known]); ++known) {
    const std::string longer = begun.empty() ? words[known] : begun + " " + words[known];
    const auto& rows = table_.Commands();
    const bool begins = std::any_of(rows.begin(), rows.end(),
                                    [&](const CommandEntry& row) { return row.name.starts_with(longer + " "); });
    if (!begins) break;
    begun = longer;
  }
  std::string unknown = begun;
  if (known < words.size() && IsVariableName(words[known])) unknown += (unknown.empty() ? "" : " ") + words[known];
  if (unknown.empty())
    return std::string(MessageText(CompileMessage::kUnknownStatement)) + ": " + Quoted(statement);
  return "no command is named " + Quoted(unknown) + Suggestion(CloseNames(table_.Commands(), unknown));
}

bool Compiler::IsExpression(std::string_view text) {
  const CompileFailure failure = failure_;
  const bool typing = typing_only_;
  typing_only_ = true;
  const Operand typed = CompileExpression(text);
  typing_only_ = typing;
  failure_ = failure;
  return typed.type != 'x';
}

}  // namespace zv::compiler
