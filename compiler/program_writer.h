#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::compiler {

// Saves `bytes` as the file `path` (platform::SaveFile): readers see the
// old file or the whole new one, never a part.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace zv::compiler
