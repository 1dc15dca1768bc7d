#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/file_lock.h"

namespace zv::platform {

// Opens `path` with `flags` (and 0666 where it is made) when it is a regular
// file: -1 (errno set) otherwise, EISDIR for a folder and EINVAL for a
// device or pipe, whose open or reads would never end.
int OpenRegularFile(const std::string& path, int flags);

// A regular file open for reading as it stands between saves: a save in
// place of it that was killed is undone first, and while the object lives
// no other program's save rewrites it in place (one rewriting it now is
// waited for), so that what is read is the old content or the new, whole,
// never part of each. Every loader reads a named file through this.
class FileForReading {
 public:
  // Not opened (errno set) where OpenRegularFile does not open it.
  explicit FileForReading(const std::string& path);
  ~FileForReading();
  FileForReading(const FileForReading&) = delete;
  FileForReading& operator=(const FileForReading&) = delete;

  bool Opened() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The size once the file was safe to read.
  uint64_t Size() const { return size_; }
  // A stdio stream on the file, made once and closed with the object.
  std::FILE* Stream();

 private:
  int fd_ = -1;
  std::FILE* stream_ = nullptr;
  uint64_t size_ = 0;
  std::optional<ContentLock> reading_;
};

// The whole content of the regular file `path`, read as FileForReading
// reads it; nothing (errno set) where it cannot be opened or read, or holds
// more than `limit` bytes (EFBIG). A file another program cuts or extends
// meanwhile gives what it held when it was read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  uint64_t limit = std::numeric_limits<uint64_t>::max());

}  // namespace zv::platform
