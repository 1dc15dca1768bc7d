#include "services/net/part_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace zv {

std::unique_ptr<PartFile> PartFile::Create(const std::string& path) {
  if (path.empty() || path.back() == '/') return nullptr;
  std::string temp = path + ".part-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return nullptr;
  return std::unique_ptr<PartFile>(new PartFile(path, std::move(temp), fd));
}

PartFile::~PartFile() { Discard(); }

bool PartFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

bool PartFile::Commit() {
  if (fd_ < 0) return false;
  // Programs expect the files they fetch to be readable by others too.
  fchmod(fd_, 0644);
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (closed && std::rename(temp_.c_str(), path_.c_str()) == 0) {
    temp_.clear();
    return true;
  }
  Discard();
  return false;
}

void PartFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) std::remove(temp_.c_str());
  temp_.clear();
}

}  // namespace zv
