#include "platform/paths/file_content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace zv::platform {
namespace {

constexpr size_t kBlock = 1 << 20;

// The system's own copy, which needs no buffer here: the count copied
// (fewer than `length` when the source ends sooner), or -1 (errno set). With
// `unsupported` set it copied nothing, since it cannot copy between these
// files at all (EXDEV, EINVAL, ENOSYS, EOPNOTSUPP).
int64_t CopyInKernel(int from, off_t in, int to, off_t out, off_t length, bool* unsupported) {
  loff_t read_at = in, write_at = out;
  off_t left = length;
  while (left > 0) {
    const ssize_t n =
        ::copy_file_range(from, &read_at, to, &write_at, static_cast<size_t>(std::min<off_t>(left, kBlock)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *unsupported = left == length &&
                     (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF);
      return -1;
    }
    if (n == 0) break;  // the source got shorter meanwhile
    left -= n;
  }
  return length - left;
}

int64_t CopyThroughBuffer(int from, off_t in, int to, off_t out, off_t length) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<off_t>(length, kBlock)));
  off_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(from, block.data(), static_cast<size_t>(std::min<off_t>(length - done, kBlock)),
                                in + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    for (ssize_t put_done = 0; put_done < got;) {
      const ssize_t put =
          ::pwrite(to, block.data() + put_done, static_cast<size_t>(got - put_done), out + done + put_done);
      if (put < 0 && errno == EINTR) continue;
      if (put == 0) errno = EIO;
      if (put <= 0) return -1;
      put_done += put;
    }
    done += got;
  }
  return done;
}

int64_t CopyRange(int from, off_t in, int to, off_t out, off_t length) {
  bool unsupported = false;
  const int64_t copied = CopyInKernel(from, in, to, out, length, &unsupported);
  if (copied >= 0 || !unsupported) return copied;
  return CopyThroughBuffer(from, in, to, out, length);
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

// Copies `length` bytes of `from` at `in` to `to` at `out`; with
// Holes::kKeep the source's holes are passed over, so the destination must
// hold nothing there. How far it got (less than `length` where the source
// ended sooner), or -1 (errno set) when a read or write failed.
int64_t CopyData(int from, off_t in, int to, off_t out, off_t length, Holes holes) {
  for (off_t at = 0; at < length;) {
    off_t begin = in + at, end = in + length;
    if (holes == Holes::kKeep && !NextData(from, in + at, in + length, &begin, &end)) break;
    const int64_t copied = CopyRange(from, begin, to, out + (begin - in), end - begin);
    if (copied < 0) return -1;
    if (copied < end - begin) return begin - in + copied;
    at = end - in;
  }
  return length;
}

}  // namespace

bool CopyFileContent(int from, int to, Holes holes) {
  struct stat st;
  if (::fstat(from, &st) != 0) return false;
  return CopyData(from, 0, to, 0, st.st_size, holes) >= 0 && ::ftruncate(to, st.st_size) == 0;
}

int64_t CopyFilePart(int from, int to, uint64_t count, Holes holes) {
  const off_t in = ::lseek(from, 0, SEEK_CUR);
  const off_t out = ::lseek(to, 0, SEEK_CUR);
  struct stat source, destination;
  if (in < 0 || out < 0 || ::fstat(from, &source) != 0) return -1;
  const off_t length = std::min<off_t>(static_cast<off_t>(count), std::max<off_t>(source.st_size - in, 0));
  const int64_t copied = CopyData(from, in, to, out, length, holes);
  if (copied < 0) return -1;
  // A part that ends in a hole still reaches its length.
  if (::fstat(to, &destination) != 0 ||
      (destination.st_size < out + copied && ::ftruncate(to, out + copied) != 0))
    return -1;
  if (::lseek(from, in + copied, SEEK_SET) < 0 || ::lseek(to, out + copied, SEEK_SET) < 0) return -1;
  return copied;
}

int64_t CopyFileRange(int from, uint64_t in, int to, uint64_t out, uint64_t length) {
  return CopyData(from, static_cast<off_t>(in), to, static_cast<off_t>(out), static_cast<off_t>(length), Holes::kFill);
}

bool SyncFileData(int fd) {
  for (;;) {
    if (::fdatasync(fd) == 0) return true;
    if (errno == EINVAL || errno == EROFS) return true;
    if (errno != EINTR) return false;
  }
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok;
  for (;;) {
    ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    if (ok || errno != EINTR) break;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

}  // namespace zv::platform
