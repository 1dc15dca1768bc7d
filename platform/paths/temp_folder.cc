#include "platform/paths/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zv::platform {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zentrovex-XXXXXX";
  if (char* made = ::mkdtemp(pattern.data())) path_ = made;
}

TempFolder::~TempFolder() {
  if (Valid()) RemoveTree(path_);
}

std::string TempFolder::File(const std::string& name) const { return path_ + "/" + name; }

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace zv::platform
