#include "platform/paths/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/paths/failure_cause.h"
#include "platform/paths/save_journal.h"

namespace zv::platform {
namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr int kLockRounds = 3;

}  // namespace

int OpenRegularFile(const std::string& path, int flags) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Non-blocking only keeps a FIFO from hanging the open.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat st {};
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    const int error = !stated ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::optional<ContentLock> LockForReading(int fd) {
  if (!RecoverKilledSave(fd)) return std::nullopt;
  for (int round = 0;; ++round) {
    {
      ContentLock lock(fd, ContentLock::Kind::kReading);
      if (lock.Refused()) return std::nullopt;
      if (!lock.Waited() || !KilledSaveLeft(fd)) {
        // A killed save of another user's is not silent.
        SayIfMarkedTorn(fd);
        return lock;
      }
      // Saves killed one after another, each while this reader waited.
      if (round == kLockRounds) {
        errno = kHeldBySave;
        return std::nullopt;
      }
    }
    // Undone with the file's lock alone, then read under the reader's again.
    if (!RecoverKilledSave(fd)) return std::nullopt;
  }
}

FileForReading::FileForReading(const std::string& path) : fd_(OpenRegularFile(path, O_RDONLY)) {
  if (fd_ < 0) return;
  reading_ = LockForReading(fd_);
  if (!reading_) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    errno = error;
    return;
  }
  struct stat st {};
  size_ = ::fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

FileForReading::~FileForReading() {
  if (fd_ < 0) return;
  const int error = errno;
  reading_.reset();
  if (stream_) {
    std::fclose(stream_);
  } else {
    ::close(fd_);
  }
  errno = error;
}

std::FILE* FileForReading::Stream() {
  if (!stream_ && fd_ >= 0) stream_ = ::fdopen(fd_, "rb");
  return stream_;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit) {
  FileForReading file(path);
  if (!file.Opened()) return std::nullopt;
  if (file.Size() > limit) {
    errno = EFBIG;
    return std::nullopt;
  }
  // Read to the end, not to the size seen: a writer that does not take
  // the lock may have cut or extended the file since.
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  size_t done = 0;
  for (;;) {
    if (done == bytes.size()) {
      // One byte past the limit is enough to know it is passed.
      bytes.resize(done + std::min<uint64_t>(kChunk, limit - done) + 1);
    }
    const ssize_t got = ::read(file.Fd(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    done += static_cast<size_t>(got);
    if (done > limit) {
      errno = EFBIG;
      return std::nullopt;
    }
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace zv::platform
