#include "editor/help/generator/error_table.h"

#include <cstdlib>

namespace zv::helpgen {

std::map<int, std::string> ParseErrorTable(std::string_view text) {
  std::map<int, std::string> table;
  constexpr std::string_view kMark = "ZV_ERROR_TEXT(";
  size_t pos = 0;
  while ((pos = text.find(kMark, pos)) != std::string_view::npos) {
    pos += kMark.size();
    const size_t end = text.find('\n', pos);
    const std::string line(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    const size_t open = line.find('"');
    const size_t close = line.rfind('"');
    if (open == std::string::npos || close <= open) continue;
    const int code = std::atoi(line.c_str());
    table[code] = line.substr(open + 1, close - open - 1);
  }
  return table;
}

void ResolveErrors(const std::map<int, std::string>& table, std::vector<HelpFamily>* families,
                   std::vector<std::string>* problems) {
  for (HelpFamily& family : *families) {
    for (HelpEntry& entry : family.entries) {
      for (HelpError& error : entry.errors) {
        auto it = table.find(error.code);
        if (it == table.end()) {
          problems->push_back(family.source + ":" + std::to_string(entry.line) + ": " + entry.Heading() +
                              ": the runtime has no error " + std::to_string(error.code));
          continue;
        }
        error.meaning = it->second;
      }
    }
  }
}

}  // namespace zv::helpgen
