#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// Splits a command line into arguments at blanks; a double-quoted run keeps
// its blanks and loses its quotes ("a b" c -> {a b, c}).
std::vector<std::string> SplitCommandArguments(std::string_view line);

// True for an address such as "http://host/page" or "mailto:someone": a
// scheme of two or more letters before ':' (one letter is a drive).
bool LooksLikeAddress(std::string_view file);

}  // namespace zv::platform
