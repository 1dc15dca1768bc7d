#include "editor/help/generator/help_source.h"

#include <cstdlib>

namespace zv::helpgen {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

// Splits "keyword rest" when the line starts with one of the keywords.
bool TakeKeyword(std::string_view line, std::string_view keyword, std::string* rest) {
  if (line.substr(0, keyword.size()) != keyword) return false;
  if (line.size() > keyword.size() && line[keyword.size()] != ' ') return false;
  *rest = TrimBlanks(line.substr(keyword.size()));
  return true;
}

std::vector<std::string> SplitOn(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    std::string part = TrimBlanks(text.substr(start, end - start));
    if (!part.empty()) parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

// Collects text lines into paragraphs: a blank line ends one, and a line
// starting with "- " is an item of its own.
class ParagraphBuilder {
 public:
  explicit ParagraphBuilder(std::vector<std::string>* out) : out_(out) {}
  void Line(const std::string& line) {
    if (line.empty()) {
      open_ = false;
      return;
    }
    if (!open_ || line.rfind("- ", 0) == 0) {
      out_->push_back(line);
      open_ = true;
      return;
    }
    out_->back() += " " + line;
  }
  void Close() { open_ = false; }

 private:
  std::vector<std::string>* out_;
  bool open_ = false;
};

}  // namespace

std::string TrimBlanks(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && IsBlank(text[a])) ++a;
  while (b > a && IsBlank(text[b - 1])) --b;
  return std::string(text.substr(a, b - a));
}

std::string Slug(std::string_view text) {
  std::string out;
  bool gap = false;
  for (char c : text) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9')) {
      if (gap && !out.empty()) out += '_';
      out += lower;
      gap = false;
    } else {
      gap = true;
    }
  }
  return out;
}

std::vector<std::string> HelpEntry::RowNames() const {
  switch (kind) {
    case Kind::kCommand: return {name};
    case Kind::kFunction: return {name + "["};
    case Kind::kTopic: return covers;
  }
  return {};
}

std::string HelpEntry::Key() const {
  switch (kind) {
    case Kind::kCommand: return name;
    case Kind::kFunction: return "function " + name;
    case Kind::kTopic: return "topic " + LowerAscii(name);
  }
  return name;
}

std::string HelpEntry::Heading() const {
  return kind == Kind::kFunction ? name + "()" : name;
}

HelpFamily ParseHelpFamily(std::string_view text, const std::string& file_name,
                           std::vector<std::string>* problems) {
  HelpFamily family;
  family.source = file_name;
  int line_number = 0;
  auto problem = [&](const std::string& what) {
    problems->push_back(file_name + ":" + std::to_string(line_number) + ": " + what);
  };

  HelpEntry* entry = nullptr;
  HelpExample* example = nullptr;
  bool in_intro = false;
  ParagraphBuilder intro(&family.intro);
  ParagraphBuilder body(nullptr);

  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    if (!raw.empty() && raw[0] == '|') {
      if (!example) {
        problem("a program line outside an example");
        continue;
      }
      std::string_view code = raw.substr(1);
      if (!code.empty() && code[0] == ' ') code.remove_prefix(1);
      example->lines.emplace_back(code);
      continue;
    }
    example = nullptr;
    if (!raw.empty() && raw[0] == ';') continue;
    const std::string line = TrimBlanks(raw);
    std::string rest;

    auto start_entry = [&](HelpEntry::Kind kind) {
      if (family.id.empty()) problem("an entry before the family line");
      family.entries.push_back(HelpEntry{});
      entry = &family.entries.back();
      entry->kind = kind;
      entry->name = kind == HelpEntry::Kind::kTopic ? rest : LowerAscii(rest);
      entry->line = line_number;
      in_intro = false;
      body = ParagraphBuilder(&entry->paragraphs);
      if (rest.empty()) problem("an entry needs a name");
    };

    if (TakeKeyword(line, "@family", &rest)) {
      if (!family.id.empty()) problem("a second family line");
      family.id = Slug(rest);
      if (family.id.empty()) problem("the family needs a name");
    } else if (TakeKeyword(line, "@title", &rest)) {
      family.title = rest;
    } else if (TakeKeyword(line, "@intro", &rest)) {
      in_intro = true;
      intro.Close();
      if (!rest.empty()) intro.Line(rest);
    } else if (TakeKeyword(line, "@command", &rest)) {
      start_entry(HelpEntry::Kind::kCommand);
    } else if (TakeKeyword(line, "@function", &rest)) {
      start_entry(HelpEntry::Kind::kFunction);
    } else if (TakeKeyword(line, "@topic", &rest)) {
      start_entry(HelpEntry::Kind::kTopic);
    } else if (TakeKeyword(line, "@example", &rest)) {
      std::vector<HelpExample>& list = entry ? entry->examples : family.examples;
      list.push_back(HelpExample{rest, "", {}, line_number});
      example = &list.back();
      const std::string slug = Slug(rest);
      if (slug.empty()) problem("an example needs a title");
      example->file = "examples/" + family.id + "_" + slug + ".kqa";
      body.Close();
      intro.Close();
    } else if (!entry && !in_intro && !line.empty()) {
      problem("text outside the introduction and the entries: " + line);
    } else if (!entry) {
      intro.Line(line);
    } else if (TakeKeyword(line, "@covers", &rest)) {
      for (std::string& name : SplitOn(rest, ';')) entry->covers.push_back(LowerAscii(name));
      if (entry->kind != HelpEntry::Kind::kTopic) problem("covers belongs to a topic");
    } else if (TakeKeyword(line, "@syntax", &rest)) {
      entry->syntax.push_back(rest);
    } else if (TakeKeyword(line, "@form", &rest)) {
      entry->forms.push_back(rest);
    } else if (TakeKeyword(line, "@error", &rest)) {
      char* after = nullptr;
      const long code = std::strtol(rest.c_str(), &after, 10);
      if (code <= 0 || code > 99999) {
        problem("an error line needs the error's number");
      } else {
        entry->errors.push_back(
            HelpError{static_cast<int>(code), "", TrimBlanks(after ? std::string_view(after) : std::string_view())});
      }
    } else if (TakeKeyword(line, "@see", &rest)) {
      for (std::string& key : SplitOn(rest, ';')) entry->see.push_back(LowerAscii(key));
    } else {
      body.Line(line);
    }
  }
  if (family.id.empty()) problem("the file has no family line");
  if (family.title.empty()) family.title = family.id;
  return family;
}

}  // namespace zv::helpgen
