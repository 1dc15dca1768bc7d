#include "services/net/part_file.h"

#include <cerrno>

namespace zv {

std::unique_ptr<PartFile> PartFile::Create(const std::string& path) {
  if (path.empty() || path.back() == '/') {
    errno = path.empty() ? ENOENT : EISDIR;
    return nullptr;
  }
  auto save = platform::FileSave::Begin(path);
  if (!save) return nullptr;
  return std::unique_ptr<PartFile>(new PartFile(std::move(*save)));
}

}  // namespace zv
