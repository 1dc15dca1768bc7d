// Every syntax line of the reference, in each of the forms its brackets
// allow, compiles as a call of the command it describes: a reader who
// copies a line the reference shows gets the command the entry is about.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/command_table.h"
#include "compiler/compiler.h"
#include "editor/help/generator/help_source.h"
#include "tests/support/test_paths.h"

namespace zv::helpgen {
namespace {

namespace fs = std::filesystem;

// One form of a syntax line: the type of each parameter as the command
// table writes it ('l', 'f' or 's'; 'a' for a label).
using Form = std::string;

char TypeOf(std::string_view param) {
  if (param == "label") return 'a';
  if (param.ends_with("$")) return 's';
  if (param.ends_with("#")) return 'f';
  return 'l';
}

// The value that stands for a parameter: a variable of its type, which fits
// operands that want a value as well as those that store into a variable.
std::string Placeholder(char type) {
  switch (type) {
    case 'a': return "label";
    case 's': return "text$";
    case 'f': return "number#";
    default: return "number";
  }
}

// The forms of "a, b [, c [, d]] [, e ...]": a bracketed group is left out
// whole or kept whole, and what it holds may leave out its own groups; a
// parameter ending in "..." stands for none, one or two values of any type.
class FormExpander {
 public:
  explicit FormExpander(std::string_view text) : text_(text) {}

  std::vector<Form> Expand() {
    std::vector<Form> forms = Group();
    if (pos_ != text_.size()) return {};  // an unmatched "]"
    std::vector<Form> distinct;
    for (const Form& form : forms)
      if (std::find(distinct.begin(), distinct.end(), form) == distinct.end()) distinct.push_back(form);
    return distinct;
  }

 private:
  std::vector<Form> Group() {
    std::vector<Form> forms{""};
    std::string param;
    auto finish = [&] {
      const std::string name = TrimBlanks(param);
      param.clear();
      if (name.empty()) return;
      std::vector<Form> next;
      for (const Form& form : forms) {
        if (name.ends_with("...")) {
          next.push_back(form);
          for (const char* more : {"l", "f", "s", "ls"}) next.push_back(form + more);
        } else {
          next.push_back(form + TypeOf(name));
        }
      }
      forms = std::move(next);
    };
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == ']') {
        --pos_;
        break;
      }
      if (c == ',') {
        finish();
      } else if (c == '[') {
        finish();
        std::vector<Form> inner = Group();
        if (pos_ >= text_.size() || text_[pos_] != ']') return {};
        ++pos_;
        std::vector<Form> next = forms;
        for (const Form& form : forms)
          for (const Form& tail : inner) next.push_back(form + tail);
        forms = std::move(next);
      } else {
        param += c;
      }
    }
    finish();
    return forms;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::string Arguments(const Form& form) {
  std::string out;
  for (char type : form) out += (out.empty() ? "" : ", ") + Placeholder(type);
  return out;
}

struct Call {
  Form form;
  std::string statement;
};

// The statements that call the entry in each form of the line; empty when
// the line is not written as the entry's name and its parameters.
std::vector<Call> Calls(const HelpEntry& entry, const std::string& line) {
  if (line.size() < entry.name.size() || line.compare(0, entry.name.size(), entry.name) != 0) return {};
  std::string rest = line.substr(entry.name.size());
  const bool function = entry.kind == HelpEntry::Kind::kFunction;
  if (function) {
    rest = TrimBlanks(rest);
    if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')') return {};
    rest = rest.substr(1, rest.size() - 2);
  } else if (!rest.empty() && rest[0] != ' ' && rest[0] != '[') {
    return {};
  }
  std::vector<Call> calls;
  for (const Form& form : FormExpander(rest).Expand()) {
    const std::string arguments = Arguments(form);
    calls.push_back({form, function ? "print " + entry.name + "(" + arguments + ")"
                                    : entry.name + (form.empty() ? "" : " " + arguments)});
  }
  return calls;
}

// The operand types of each row the entry describes, by opcode.
std::map<int32_t, std::string> EntryRows(const HelpEntry& entry, const CommandTable& table) {
  std::map<int32_t, std::string> rows;
  const bool function = entry.kind == HelpEntry::Kind::kFunction;
  for (const CommandEntry& row : function ? table.Functions() : table.Commands()) {
    if (row.name != entry.name) continue;
    std::string params = function ? row.signature.substr(1) : row.signature;
    rows[row.code] = params == "0" ? "" : params;
  }
  return rows;
}

// The form passes what the row takes: the same number of operands, each of
// the row's type or to an operand of any type.
bool FormFitsRow(const Form& form, const std::string& params) {
  if (form.size() != params.size()) return false;
  for (size_t i = 0; i < form.size(); ++i)
    if (params[i] != form[i] && params[i] != 'z') return false;
  return true;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<HelpFamily> ReadHelpSource() {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(zv::test::SourcePath("compiler/help")))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<HelpFamily> families;
  std::vector<std::string> problems;
  for (const fs::path& file : files) families.push_back(ParseHelpFamily(ReadText(file), file.filename().string(), &problems));
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
  return families;
}

TEST(HelpSyntaxTest, ExpandsBracketsIntoTheFormsTheyAllow) {
  const std::vector<std::vector<std::string>> cases[] = {
      {{"a b# [, c$ [, d]]"}, {"f", "fs", "fsl"}},
      {{"a b [, c, d]"}, {"l", "lll"}},
      {{"a [b]"}, {"", "l"}},
      {{"a n$ [, x ...]"}, {"s", "sl", "sf", "ss", "sls"}},
      {{"a b [, c"}, {}},
  };
  HelpEntry entry;
  entry.name = "a";
  for (const auto& c : cases) {
    std::vector<std::string> got;
    for (const Call& call : Calls(entry, c[0][0])) got.push_back(call.form);
    EXPECT_EQ(got, c[1]) << c[0][0];
  }
}

TEST(HelpSyntaxTest, EverySyntaxFormCompilesAsTheCommandOfItsEntry) {
  const CommandTable& table = CommandTable::Builtin();
  int forms = 0;
  for (const HelpFamily& family : ReadHelpSource()) {
    for (const HelpEntry& entry : family.entries) {
      if (entry.kind == HelpEntry::Kind::kTopic) continue;
      const std::string where = family.source + ":" + std::to_string(entry.line) + ": ";
      const std::map<int32_t, std::string> rows = EntryRows(entry, table);
      for (const std::string& line : entry.syntax) {
        const std::vector<Call> calls = Calls(entry, line);
        EXPECT_FALSE(calls.empty()) << where << "cannot read \"" << line << "\"";
        for (const auto& [form, statement] : calls) {
          ++forms;
          // Inside a loop, for "exit", and before a label, for "goto".
          const CompileResult result = CompileSource("do\n" + statement + "\nloop\nlabel:\n");
          if (!result.ok) {
            ADD_FAILURE() << where << "\"" << line << "\" shows \"" << statement
                          << "\", which does not compile: " << result.error->message;
            continue;
          }
          // "do" compiles to nothing, so the first word is the opcode the
          // statement runs first: the command, or the function whose value
          // is printed.
          const std::vector<uint32_t>& code = result.program.code;
          const auto row = code.empty() ? rows.end() : rows.find(static_cast<int32_t>(code[0]));
          if (row == rows.end()) {
            ADD_FAILURE() << where << "\"" << line << "\" shows \"" << statement
                          << "\", which does not start with a row of its entry: an operand is converted first, "
                             "or a row of another name runs";
            continue;
          }
          // The compiler would convert a float to an integer operand; the
          // line must not show a float where the row drops the fraction.
          EXPECT_TRUE(FormFitsRow(form, row->second))
              << where << "\"" << line << "\" shows the operands (" << form << ") where the row takes ("
              << row->second << ")";
        }
      }
    }
  }
  EXPECT_GT(forms, 700);
}

}  // namespace
}  // namespace zv::helpgen
