#include "runtime/attached/kept_names.h"

#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>

#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

fs::path AbsoluteFile(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  return ec ? fs::path(path).lexically_normal() : absolute.lexically_normal();
}

// The lines of the list in `folder`; none when it has no list.
std::string ReadList(const fs::path& folder) {
  std::ifstream in(folder / kKeptListName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool Names(std::string_view list, std::string_view relative) {
  while (!list.empty()) {
    const size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (platform::EqualNoCase(line, relative)) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

bool IsKeptOnDisk(const std::string& path) {
  const fs::path file = AbsoluteFile(path);
  // Every folder above is asked, not only the nearest: a folder made after
  // a deletion was listed above it does not bring the file back.
  for (fs::path folder = file.parent_path();; folder = folder.parent_path()) {
    if (Names(ReadList(folder), file.lexically_relative(folder).generic_string())) return true;
    if (folder == folder.parent_path()) return false;
  }
}

bool KeepOnDisk(const std::string& path) {
  const fs::path file = AbsoluteFile(path);
  fs::path folder = file.parent_path();
  std::error_code ec;
  while (!fs::is_directory(folder, ec) && folder != folder.parent_path()) folder = folder.parent_path();
  const std::string relative = file.lexically_relative(folder).generic_string();
  std::string list = ReadList(folder);
  if (Names(list, relative)) return true;
  if (!list.empty() && list.back() != '\n') list += '\n';
  list += relative + '\n';
  return WriteVirtualFile((folder / kKeptListName).string(),
                          std::span(reinterpret_cast<const uint8_t*>(list.data()), list.size()));
}

}  // namespace zv
