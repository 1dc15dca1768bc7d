#include "platform/paths/file_content.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace zv::platform {
namespace {

constexpr size_t kBlock = 1 << 20;

// The system's own copy, which needs no buffer here; false with errno
// EXDEV, EINVAL, ENOSYS or EOPNOTSUPP where it cannot copy between these
// files at all (it then copied nothing).
bool CopyInKernel(int from, int to, off_t offset, off_t length, bool* unsupported) {
  loff_t in = offset, out = offset;
  off_t left = length;
  while (left > 0) {
    const ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<size_t>(std::min<off_t>(left, kBlock)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *unsupported = left == length &&
                     (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF);
      return false;
    }
    if (n == 0) return true;  // the source got shorter meanwhile
    left -= n;
  }
  return true;
}

bool CopyThroughBuffer(int from, int to, off_t offset, off_t length) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<off_t>(length, kBlock)));
  while (length > 0) {
    const ssize_t got = ::pread(from, block.data(), static_cast<size_t>(std::min<off_t>(length, kBlock)), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::pwrite(to, block.data() + done, static_cast<size_t>(got - done), offset + done);
      if (put < 0 && errno == EINTR) continue;
      if (put == 0) errno = EIO;
      if (put <= 0) return false;
      done += put;
    }
    offset += got;
    length -= got;
  }
  return true;
}

bool CopyRange(int from, int to, off_t offset, off_t length) {
  bool unsupported = false;
  if (CopyInKernel(from, to, offset, length, &unsupported)) return true;
  return unsupported && CopyThroughBuffer(from, to, offset, length);
}

// The range of data at or after `at`, up to the hole after it; false when
// only a hole is left. Where the file system cannot tell, all is data.
bool NextData(int fd, off_t at, off_t size, off_t* begin, off_t* end) {
  const off_t data = ::lseek(fd, at, SEEK_DATA);
  if (data < 0) {
    if (errno == ENXIO) return false;
    *begin = at;
    *end = size;
    return true;
  }
  const off_t hole = ::lseek(fd, data, SEEK_HOLE);
  *begin = data;
  *end = hole < 0 ? size : std::min(hole, size);
  return data < size;
}

}  // namespace

bool CopyFileContent(int from, int to, Holes holes) {
  struct stat st;
  if (::fstat(from, &st) != 0) return false;
  const off_t size = st.st_size;
  for (off_t at = 0; at < size;) {
    off_t begin = at, end = size;
    if (holes == Holes::kKeep && !NextData(from, at, size, &begin, &end)) break;
    if (!CopyRange(from, to, begin, end - begin)) return false;
    at = end;
  }
  return ::ftruncate(to, size) == 0;
}

}  // namespace zv::platform
