#include "platform/paths/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <compare>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/signals/stop_signals.h"

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

struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  auto operator<=>(const FileKey&) const = default;
};

std::optional<FileKey> KeyOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return FileKey{st.st_dev, st.st_ino};
}

// False (errno set) when another open file holds a conflicting lock
// (EAGAIN or EACCES) or the file system has none.
bool SetRecordLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// The locks this program holds itself, which its own never wait for: the
// files it holds flock'd, and its record locks. A reader's record lock is
// counted by descriptor (readers may share one), and is let go while the
// program rewrites the file itself.
class OwnLocks {
 public:
  void AddWriter(FileKey file) {
    const std::lock_guard guard(mutex_);
    ++writers_[file];
  }
  void RemoveWriter(FileKey file) {
    const std::lock_guard guard(mutex_);
    const auto it = writers_.find(file);
    if (it != writers_.end() && --it->second == 0) writers_.erase(it);
  }
  bool HoldsWriter(FileKey file) {
    const std::lock_guard guard(mutex_);
    return writers_.contains(file);
  }

  // True when the program rewrites the file now: the reader then takes no
  // lock, and gets one when the rewrite ends.
  bool AddReader(FileKey file, int fd) {
    const std::lock_guard guard(mutex_);
    ++readers_[file][fd];
    return rewrites_.contains(file);
  }
  void RemoveReader(FileKey file, int fd) {
    const std::lock_guard guard(mutex_);
    auto& fds = readers_[file];
    if (--fds[fd] == 0) {
      fds.erase(fd);
      SetRecordLock(fd, F_UNLCK);
    }
    if (fds.empty()) readers_.erase(file);
  }

  // True when the program rewrites the file already, and this rewrite is
  // within it; otherwise the program's readers let their locks go.
  bool AddRewrite(FileKey file) {
    const std::lock_guard guard(mutex_);
    if (rewrites_[file]++ > 0) return true;
    for (const int fd : ReadersOf(file)) SetRecordLock(fd, F_UNLCK);
    return false;
  }
  // Ends a rewrite; the first, which holds the file's lock as `fd` (-1 when
  // it holds none), hands it on to the program's readers.
  void RemoveRewrite(FileKey file, int fd) {
    const std::lock_guard guard(mutex_);
    if (--rewrites_[file] > 0) return;
    rewrites_.erase(file);
    // Turned into a reader's lock first, so that no other program's rewrite
    // comes between.
    if (fd >= 0) SetRecordLock(fd, F_RDLCK);
    for (const int reader : ReadersOf(file)) SetRecordLock(reader, F_RDLCK);
    if (fd >= 0) SetRecordLock(fd, F_UNLCK);
  }

 private:
  std::vector<int> ReadersOf(FileKey file) const {
    std::vector<int> fds;
    if (const auto it = readers_.find(file); it != readers_.end())
      for (const auto& [fd, count] : it->second) fds.push_back(fd);
    return fds;
  }

  std::mutex mutex_;
  std::map<FileKey, int> writers_;
  std::map<FileKey, std::map<int, int>> readers_;
  std::map<FileKey, int> rewrites_;
};

OwnLocks& Own() {
  static OwnLocks own;
  return own;
}

void Nap() {
  const timespec step{0, kWaitStepMs * 1000000L};
  ::nanosleep(&step, nullptr);
}

// Tries `attempt` until it succeeds, the wait has passed, or a stop signal
// asks the program to end.
template <typename Attempt>
bool WithinWait(Attempt attempt, int wait_ms = kBriefWaitMs) {
  for (int waited = 0;; waited += kWaitStepMs) {
    if (attempt()) return true;
    if (waited >= wait_ms || StopSignal() != 0) return false;
    Nap();
  }
}

// The cause of a wait on another program's hold that ended unfinished.
int WaitCause(int held) { return StopSignal() != 0 ? EINTR : held; }

bool HeldByAnother() { return errno == EAGAIN || errno == EACCES; }

// Whether the lock that another open file holds on the file open as `fd` is
// a rewrite's (not readers').
bool HeldBySave(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type == F_WRLCK;
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
      errno = WaitCause(kHeldBySave);
      return;
    }
    struct stat locked {}, named {};
    if (::fstat(fd_, &locked) == 0 && ::stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
        locked.st_ino == named.st_ino) {
      device_ = locked.st_dev;
      inode_ = locked.st_ino;
      Own().AddWriter({device_, inode_});
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
    Own().RemoveWriter({device_, inode_});
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
  Own().AddWriter({device_, inode_});
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
  if (held_) Own().RemoveWriter({device_, inode_});
  held_ = false;
}

bool WaitForWriters(int fd) {
  const std::optional<FileKey> file = KeyOf(fd);
  if (!file || Own().HoldsWriter(*file)) return true;
  const bool free = WithinWait([&] {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    return errno != EWOULDBLOCK && errno != EINTR;  // a file system without locks
  });
  if (!free) {
    errno = WaitCause(kHeldOpenForWriting);
    return false;
  }
  ::flock(fd, LOCK_UN);
  return true;
}

ContentLock::ContentLock(int fd, Kind kind) : kind_(kind) {
  const std::optional<FileKey> file = fd >= 0 ? KeyOf(fd) : std::nullopt;
  if (!file) return;
  const bool reading = kind == Kind::kReading;
  registered_ = true;
  device_ = file->device;
  inode_ = file->inode;
  if (reading) fd_ = fd;
  // Within the program's own rewrite of the file nothing is waited for.
  if (reading ? Own().AddReader(*file, fd) : Own().AddRewrite(*file)) return;
  bool unguarded = false, held = false;
  const bool locked = WithinWait(
      [&] {
        if (SetRecordLock(fd, reading ? F_RDLCK : F_WRLCK)) return true;
        unguarded = !HeldByAnother();
        held = held || !unguarded;
        return unguarded;
      },
      reading ? kLongWaitMs : kBriefWaitMs);
  waited_ = held;
  // Neither side reads or leaves part of each content.
  refused_ = !locked;
  const int cause = refused_ ? WaitCause(reading || HeldBySave(fd) ? kHeldBySave : kHeldByReaders) : 0;
  if (locked && !unguarded) {
    fd_ = fd;
  } else {
    Release();
  }
  if (refused_) errno = cause;
}

ContentLock::~ContentLock() { Release(); }

ContentLock::ContentLock(ContentLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      kind_(other.kind_),
      registered_(std::exchange(other.registered_, false)),
      device_(other.device_),
      inode_(other.inode_),
      refused_(other.refused_),
      waited_(other.waited_) {}

ContentLock& ContentLock::operator=(ContentLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    kind_ = other.kind_;
    registered_ = std::exchange(other.registered_, false);
    device_ = other.device_;
    inode_ = other.inode_;
    refused_ = other.refused_;
    waited_ = other.waited_;
  }
  return *this;
}

void ContentLock::Release() {
  if (!registered_) return;
  const int error = errno;
  if (kind_ == Kind::kReading) {
    // A reader within the program's rewrite holds its descriptor too, whose
    // lock the rewrite's end gave it.
    Own().RemoveReader({device_, inode_}, fd_);
  } else {
    Own().RemoveRewrite({device_, inode_}, fd_);
  }
  registered_ = false;
  fd_ = -1;
  errno = error;
}

}  // namespace zv::platform
