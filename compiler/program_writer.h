#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::compiler {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so readers see the old file or the whole new one, never a part.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace zv::compiler
