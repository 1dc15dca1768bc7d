#include "display/codecs/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/paths/file_lock.h"
#include "platform/paths/save_journal.h"

namespace zv::codecs {
namespace {

// Closes the descriptor when the scope ends.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads the whole regular file of at most `limit` bytes into the buffer
// that `allocate(size)` gives (a pointer to `size` bytes); false when it
// cannot be opened or read.
template <typename Allocate>
bool ReadWholeFile(const std::string& path, size_t limit, Allocate allocate) {
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return false;
  struct stat info {};
  if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // Whole again where a save in place of it was killed, and not read while
  // another program rewrites it.
  platform::RecoverKilledSave(file.fd);
  const platform::ContentLock reading(file.fd, platform::ContentLock::Kind::kReading);
  if (::fstat(file.fd, &info) != 0) return false;
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > limit) return false;
  const size_t size = static_cast<size_t>(info.st_size);
  uint8_t* bytes = allocate(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(file.fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path, size_t limit) {
  std::vector<uint8_t> bytes;
  const bool read = ReadWholeFile(path, limit, [&bytes](size_t size) {
    bytes.resize(size);
    return bytes.data();
  });
  if (!read) return std::nullopt;
  return bytes;
}

std::optional<FileContents> ReadFileContents(const std::string& path, size_t limit) {
  std::unique_ptr<uint8_t[]> data;
  size_t length = 0;
  const bool read = ReadWholeFile(path, limit, [&](size_t size) {
    data = std::make_unique_for_overwrite<uint8_t[]>(size);
    length = size;
    return data.get();
  });
  if (!read) return std::nullopt;
  return FileContents(std::move(data), length);
}

}  // namespace zv::codecs
