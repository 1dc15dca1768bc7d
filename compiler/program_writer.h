#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::compiler {

// Saves `bytes` as the file `path` (platform::SaveFile): readers see the
// old file or the whole new one, never a part. A `work_file` of the
// process's own temporary folder is not synced (platform::SaveWorkFile).
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         bool work_file = false);

}  // namespace zv::compiler
