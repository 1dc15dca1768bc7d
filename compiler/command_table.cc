#include "compiler/command_table.h"

#include <cstdlib>

namespace zv {

extern const unsigned char kCommandTableText[];
extern const std::size_t kCommandTableTextSize;

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

// The code field: blanks anywhere are dropped, then the leading digits (with
// an optional sign) are read; no digits read as 0.
int32_t ParseCode(std::string_view field) {
  std::string digits;
  for (char c : field)
    if (c != ' ' && c != '\t') digits += c;
  long long value = 0;
  size_t i = 0;
  bool negative = false;
  if (i < digits.size() && (digits[i] == '-' || digits[i] == '+')) negative = digits[i++] == '-';
  for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
    value = value * 10 + (digits[i] - '0');
    if (value > 0x7fffffff) return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// The signature field: letters lower-cased, blanks and control characters
// dropped.
std::string ParseSignature(std::string_view field) {
  std::string out;
  for (char c : field) {
    if (static_cast<unsigned char>(c) < 33) continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return out;
}

}  // namespace

CommandTable CommandTable::Parse(std::string_view text) {
  CommandTable table;
  size_t pos = 0;
  int line = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view row = text.substr(pos, end - pos);
    pos = end + 1;
    ++line;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    while (!row.empty() && static_cast<unsigned char>(row.front()) < 32) row.remove_prefix(1);
    if (row.empty() || row.front() == ';') continue;

    size_t first = row.find('%');
    size_t second = first == std::string_view::npos ? first : row.find('%', first + 1);
    if (second == std::string_view::npos) {
      table.problems_.push_back("line " + std::to_string(line) + ": a row needs two \"%\"");
      continue;
    }
    table.Add(LowerAscii(std::string(row.substr(0, first))),
              ParseCode(row.substr(first + 1, second - first - 1)),
              ParseSignature(row.substr(second + 1)), line);
  }
  return table;
}

void CommandTable::Add(std::string name, int32_t code, std::string signature, int line) {
  const std::string where = "line " + std::to_string(line) + ": ";
  bool function = !name.empty() && name.back() == '[';
  if (function) name.pop_back();
  if (name.size() > kMaxNameLength) {
    problems_.push_back(where + "the name is longer than 255 characters");
    return;
  }
  if (signature.size() > kMaxSignatureLength) {
    problems_.push_back(where + "the signature is longer than 32 characters");
    return;
  }
  std::vector<CommandEntry>& rows = function ? functions_ : commands_;
  if (rows.size() >= (function ? kMaxFunctions : kMaxCommands)) {
    problems_.push_back(where + (function ? "the function table is full" : "the command table is full"));
    return;
  }
  int index = static_cast<int>(rows.size());
  auto& by_name = function ? function_index_ : command_index_;
  by_name.emplace(name, index);
  if (function && first_array_function_ < 0 && !name.empty() && name[0] == '@')
    first_array_function_ = index;
  rows.push_back(CommandEntry{std::move(name), code, std::move(signature)});
}

const CommandTable& CommandTable::Builtin() {
  static const CommandTable table = Parse(std::string_view(
      reinterpret_cast<const char*>(kCommandTableText), kCommandTableTextSize));
  return table;
}

int CommandTable::FindCommand(std::string_view name) const {
  auto it = command_index_.find(std::string(name));
  return it == command_index_.end() ? -1 : it->second;
}

int CommandTable::FindFunction(std::string_view name) const {
  auto it = function_index_.find(std::string(name));
  return it == function_index_.end() ? -1 : it->second;
}

std::optional<std::pair<int, std::string>> CommandTable::FindByCode(int code) const {
  if (code == 0) return std::nullopt;
  for (size_t i = 0; i < commands_.size(); ++i)
    if (commands_[i].code == code) return std::make_pair(static_cast<int>(i), commands_[i].name);
  for (size_t i = 0; i < functions_.size(); ++i)
    if (functions_[i].code == code)
      return std::make_pair(static_cast<int>(commands_.size() + i), functions_[i].name);
  return std::nullopt;
}

char CommandTable::ParamChar(int index, int n) const {
  if (index < 0 || n < 0) return 0;
  const CommandEntry* row = nullptr;
  if (static_cast<size_t>(index) < commands_.size())
    row = &commands_[static_cast<size_t>(index)];
  else if (static_cast<size_t>(index) - commands_.size() < functions_.size())
    row = &functions_[static_cast<size_t>(index) - commands_.size()];
  if (!row || static_cast<size_t>(n) >= row->signature.size()) return 0;
  return row->signature[static_cast<size_t>(n)];
}

const CommandCatalog& BuiltinCommandCatalog() {
  static const CommandTableCatalog catalog(CommandTable::Builtin());
  return catalog;
}

}  // namespace zv
