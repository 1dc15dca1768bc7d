#include "editor/help/generator/help_syntax.h"

namespace zv::helpgen {
namespace {

bool StartsWithFold(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

// Splits "a, b [, c [, d]] [, ...]" into parameters; a parameter that
// begins inside brackets is optional, and so is every one after it.
bool ParseParams(std::string_view text, SyntaxShape* shape, std::string* why) {
  int depth = 0;
  std::string current;
  bool optional = false;
  auto finish = [&]() -> bool {
    std::string param = TrimBlanks(current);
    current.clear();
    if (param.empty()) return true;
    if (param.size() >= 3 && param.compare(param.size() - 3, 3, "...") == 0) {
      shape->open_ended = true;
      return true;
    }
    if (shape->open_ended) {
      *why = "a parameter after \"...\"";
      return false;
    }
    const char last = param.back();
    shape->params.push_back({last == '$' ? 's' : last == '#' ? 'f' : 'l', optional});
    return true;
  };
  for (char c : text) {
    if (c == '[') {
      ++depth;
    } else if (c == ']') {
      if (--depth < 0) {
        *why = "a \"]\" without its \"[\"";
        return false;
      }
    } else if (c == ',') {
      if (!finish()) return false;
    } else {
      if (c != ' ' && TrimBlanks(current).empty()) optional = optional || depth > 0;
      current += c;
    }
  }
  if (depth != 0) {
    *why = "a \"[\" without its \"]\"";
    return false;
  }
  return finish();
}

}  // namespace

std::optional<SyntaxShape> ParseSyntaxLine(const HelpEntry& entry, std::string_view line, std::string* why) {
  SyntaxShape shape;
  if (!StartsWithFold(line, entry.name)) {
    *why = "the line does not start with \"" + entry.name + "\"";
    return std::nullopt;
  }
  std::string_view rest = line.substr(entry.name.size());
  if (entry.kind == HelpEntry::Kind::kFunction) {
    const std::string trimmed = TrimBlanks(rest);
    if (trimmed.size() < 2 || trimmed.front() != '(' || trimmed.back() != ')') {
      *why = "a function's line is name(parameters)";
      return std::nullopt;
    }
    if (!ParseParams(std::string_view(trimmed).substr(1, trimmed.size() - 2), &shape, why)) return std::nullopt;
    return shape;
  }
  if (!rest.empty() && rest[0] != ' ' && rest[0] != '[') {
    *why = "the name is followed by more letters";
    return std::nullopt;
  }
  if (!ParseParams(rest, &shape, why)) return std::nullopt;
  return shape;
}

std::string RowParams(const TableRow& row) {
  const bool function = !row.name.empty() && row.name.back() == '[';
  std::string params = function && !row.signature.empty() ? row.signature.substr(1) : row.signature;
  if (params == "0") params.clear();
  return params;
}

bool RowFitsShape(const TableRow& row, const SyntaxShape& shape) {
  const std::string params = RowParams(row);
  size_t required = 0;
  for (const SyntaxShape::Param& p : shape.params)
    if (!p.optional) ++required;
  if (params.size() < required) return false;
  if (params.size() > shape.params.size() && !shape.open_ended) return false;
  for (size_t i = 0; i < params.size(); ++i) {
    const char c = params[i];
    if (c == 'z' || c == 'a' || i >= shape.params.size()) continue;
    // The compiler turns integers and floats into each other as a row
    // needs, so only strings must match.
    if ((c == 's') != (shape.params[i].type == 's')) return false;
  }
  return true;
}

std::string_view TypeWord(char type) {
  switch (type) {
    case 'f': return "float";
    case 's': return "string";
    default: return "integer";
  }
}

}  // namespace zv::helpgen
