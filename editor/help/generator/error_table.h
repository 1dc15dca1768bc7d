#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "editor/help/generator/help_source.h"

namespace zv::helpgen {

// The runtime's error messages by code, read from its table of
// ZV_ERROR_TEXT(code, message number, "text") lines.
std::map<int, std::string> ParseErrorTable(std::string_view text);

// Gives every error of the families its message; an error the table does
// not know is a problem.
void ResolveErrors(const std::map<int, std::string>& table, std::vector<HelpFamily>* families,
                   std::vector<std::string>* problems);

}  // namespace zv::helpgen
