#include "platform/paths/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "platform/paths/failure_cause.h"

namespace zv::platform {
namespace {

// How long a save waits for a writer or a reader to let go of a file.
constexpr int kBriefWaitMs = 1000;
// How long a reader waits for a rewrite in place to end, and an update of
// a small file (an INI file, a kept list) for another's: longer than any
// save of one takes, shorter than a hang, since another program may hold a
// lock on the file for reasons of its own (a database does).
constexpr int kLongWaitMs = 10000;
constexpr int kWaitStepMs = 10;

// The files this program holds flock'd itself: its own saves onto them do
// not wait for itself.
class OwnLocks {
 public:
  void Add(dev_t device, ino_t inode) {
    const std::lock_guard guard(mutex_);
    ++held_[{device, inode}];
  }
  void Remove(dev_t device, ino_t inode) {
    const std::lock_guard guard(mutex_);
    const auto it = held_.find({device, inode});
    if (it != held_.end() && --it->second == 0) held_.erase(it);
  }
  bool Holds(dev_t device, ino_t inode) {
    const std::lock_guard guard(mutex_);
    return held_.contains({device, inode});
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<dev_t, ino_t>, int> held_;
};

OwnLocks& Own() {
  static OwnLocks own;
  return own;
}

void Nap() {
  const timespec step{0, kWaitStepMs * 1000000L};
  ::nanosleep(&step, nullptr);
}

// Tries `attempt` until it succeeds or the brief wait has passed.
template <typename Attempt>
bool WithinWait(Attempt attempt, int wait_ms = kBriefWaitMs) {
  for (int waited = 0;; waited += kWaitStepMs) {
    if (attempt()) return true;
    if (waited >= wait_ms) return false;
    Nap();
  }
}

// False (errno set) when another program holds a conflicting lock (EAGAIN
// or EACCES) or the file system has none.
bool SetRecordLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(fd, F_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool HeldByAnother() { return errno == EAGAIN || errno == EACCES; }

// Whether the lock that another program holds on the file open as `fd` is
// a rewrite's (not readers').
bool HeldBySave(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type == F_WRLCK;
}

}  // namespace

FileLock::FileLock(const std::string& path) {
  for (;;) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
      fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      made_ = fd_ >= 0;
      if (fd_ < 0 && errno == EEXIST) continue;
    }
    if (fd_ < 0) return;
    const bool taken = WithinWait(
        [&] {
          if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
          return errno != EWOULDBLOCK && errno != EINTR;  // a file system without locks
        },
        kLongWaitMs);
    if (!taken) {
      ::close(fd_);
      fd_ = -1;
      made_ = false;
      errno = kHeldBySave;
      return;
    }
    struct stat locked {}, named {};
    if (::fstat(fd_, &locked) == 0 && ::stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
        locked.st_ino == named.st_ino) {
      device_ = locked.st_dev;
      inode_ = locked.st_ino;
      Own().Add(device_, inode_);
      return;
    }
    ::close(fd_);
    fd_ = -1;
    made_ = false;
  }
}

FileLock::~FileLock() {
  const int error = errno;  // a failed update's cause outlives the lock
  if (fd_ >= 0) {
    Own().Remove(device_, inode_);
    ::close(fd_);  // which lets the lock go
  }
  errno = error;
}

WritingLock::WritingLock(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) return;
  held_ = true;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  Own().Add(device_, inode_);
}

WritingLock::~WritingLock() { Release(); }

WritingLock::WritingLock(WritingLock&& other) noexcept
    : held_(std::exchange(other.held_, false)), device_(other.device_), inode_(other.inode_) {}

WritingLock& WritingLock::operator=(WritingLock&& other) noexcept {
  if (this != &other) {
    Release();
    held_ = std::exchange(other.held_, false);
    device_ = other.device_;
    inode_ = other.inode_;
  }
  return *this;
}

// The flock itself goes with the file's descriptor.
void WritingLock::Release() {
  if (held_) Own().Remove(device_, inode_);
  held_ = false;
}

bool WaitForWriters(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || Own().Holds(st.st_dev, st.st_ino)) return true;
  const bool free = WithinWait([&] {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    return errno != EWOULDBLOCK && errno != EINTR;  // a file system without locks
  });
  if (!free) {
    errno = kHeldOpenForWriting;
    return false;
  }
  ::flock(fd, LOCK_UN);
  return true;
}

ContentLock::ContentLock(int fd, Kind kind) {
  if (fd < 0) return;
  const bool reading = kind == Kind::kReading;
  bool unguarded = false, held = false;
  const bool locked = WithinWait(
      [&] {
        if (SetRecordLock(fd, reading ? F_RDLCK : F_WRLCK)) return true;
        unguarded = !HeldByAnother();
        held = held || !unguarded;
        return unguarded;
      },
      reading ? kLongWaitMs : kBriefWaitMs);
  if (locked && !unguarded) fd_ = fd;
  waited_ = held;
  // Neither side reads or leaves part of each content.
  refused_ = !locked;
  if (refused_) errno = reading || HeldBySave(fd) ? kHeldBySave : kHeldByReaders;
}

ContentLock::~ContentLock() { Release(); }

ContentLock::ContentLock(ContentLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), refused_(other.refused_), waited_(other.waited_) {}

ContentLock& ContentLock::operator=(ContentLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    refused_ = other.refused_;
    waited_ = other.waited_;
  }
  return *this;
}

void ContentLock::Release() {
  if (fd_ < 0) return;
  const int error = errno;
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  ::fcntl(fd_, F_SETLK, &lock);
  fd_ = -1;
  errno = error;
}

}  // namespace zv::platform
