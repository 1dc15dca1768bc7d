#include "platform/paths/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zv::platform {

FileLock::FileLock(const std::string& path) {
  for (;;) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat locked {}, named {};
    if (::fstat(fd_, &locked) == 0 && ::stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
        locked.st_ino == named.st_ino)
      return;
    ::close(fd_);
    fd_ = -1;
  }
}

FileLock::~FileLock() {
  const int error = errno;  // a failed update's cause outlives the lock
  if (fd_ >= 0) ::close(fd_);  // which lets the lock go
  errno = error;
}

}  // namespace zv::platform
