#include "platform/paths/temp_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/paths/path_text.h"

namespace zv::platform {
namespace {

constexpr std::string_view kFolderPrefix = "zentrovex-";
constexpr size_t kFolderLetters = 6;  // mkdtemp's XXXXXX
// The mark: the sticky bit, set once the owner holds the folder's lock, so
// a marked folder whose lock is free is one whose owner has ended. (A folder
// only its owner may write to loses nothing by it, and a mark in the mode
// adds no file that a listing of the folder would show.)
constexpr mode_t kMarkedMode = S_ISVTX | S_IRWXU;

bool IsTempFolderName(std::string_view name) { return IsRandomName(name, kFolderPrefix, kFolderLetters); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// A folder itself, never what a link of that name points to.
int OpenFolder(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// True when `path` is a folder one of our runs made and its run has ended;
// the folder is then removed while its lock is held, so two runs starting
// together do not both go at it.
bool RemoveIfStale(const std::string& path) {
  Descriptor folder(OpenFolder(path));
  if (folder.Get() < 0) return false;
  struct stat own {};
  if (::fstat(folder.Get(), &own) != 0 || !S_ISDIR(own.st_mode) || own.st_uid != ::geteuid() ||
      (own.st_mode & 07777) != kMarkedMode)
    return false;
  if (::flock(folder.Get(), LOCK_EX | LOCK_NB) != 0) return false;
  // Still the folder that was checked, not something put in its place since.
  struct stat now {};
  if (::lstat(path.c_str(), &now) != 0 || now.st_dev != own.st_dev || now.st_ino != own.st_ino) return false;
  RemoveTree(path);
  return true;
}

}  // namespace

std::string TempFolderBase() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

TempFolder::TempFolder() : TempFolder(TempFolderBase()) {}

TempFolder::TempFolder(const std::string& base) {
  std::string pattern = base + "/" + std::string(kFolderPrefix) + std::string(kFolderLetters, 'X');
  if (!::mkdtemp(pattern.data())) return;
  path_ = pattern;
  // Without the lock (a file system that has none) the folder stays
  // unmarked: no other run takes it for one left behind, and this object
  // still removes it.
  lock_fd_ = OpenFolder(path_);
  if (lock_fd_ < 0) return;
  if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lock_fd_);
    lock_fd_ = -1;
    return;
  }
  ::fchmod(lock_fd_, kMarkedMode);
}

TempFolder::~TempFolder() {
  // Removed before the lock goes, so no other run finds it marked and free.
  if (Valid()) RemoveTree(path_);
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

std::string TempFolder::File(const std::string& name) const { return path_ + "/" + name; }

void TempFolder::KeepAfterKill(bool keep) {
  if (lock_fd_ >= 0) ::fchmod(lock_fd_, keep ? S_IRWXU : kMarkedMode);
}

size_t RemoveStaleTempFolders(const std::string& base) {
  size_t removed = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsTempFolderName(it->path().filename().string()) && RemoveIfStale(it->path().string())) ++removed;
  }
  return removed;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace zv::platform
