#include "display/codecs/file_bytes.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/paths/file_read.h"

namespace zv::codecs {
namespace {

// Reads the whole regular file of at most `limit` bytes into the buffer
// that `allocate(size)` gives (a pointer to `size` bytes); false when it
// cannot be opened or read.
template <typename Allocate>
bool ReadWholeFile(const std::string& path, size_t limit, Allocate allocate) {
  platform::FileForReading file(path);
  if (!file.Opened() || file.Size() > limit) return false;
  const size_t size = static_cast<size_t>(file.Size());
  uint8_t* bytes = allocate(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(file.Fd(), bytes + done, size - done);
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
