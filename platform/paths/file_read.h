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

// The reader's lock on the regular file open as `fd` (readable), taken once
// the file is whole: a save in place of it that was killed is undone first,
// and again after a wait for a rewrite (whose saver may have been killed
// meanwhile). While the lock lives no other program's save rewrites the
// file in place, so what is read is the old content or the new, never part
// of each. Nothing (errno set) when a rewrite held the file for ten seconds
// (kHeldBySave) or a killed save could not be undone: the file is not to be
// read then. A file that bears the mark of a killed save in place whose
// journal is another user's is read as it is, and standard error says it
// may be torn.
std::optional<ContentLock> LockForReading(int fd);

// A regular file open for reading as it stands between saves, under
// LockForReading for as long as the object lives. Every loader reads a
// named file through this.
class FileForReading {
 public:
  // Not opened (errno set) where OpenRegularFile does not open it, or the
  // lock is not to be had.
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
