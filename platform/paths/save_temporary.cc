#include "platform/paths/save_temporary.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "platform/paths/path_text.h"

namespace zv::platform {
namespace {

constexpr std::string_view kSavePrefix = ".zv-save-";
constexpr size_t kSaveLetters = 6;  // mkostemp's XXXXXX
constexpr int kNamingAttempts = 100;

// Earlier builds named their temporaries so and held no lock on them: one
// that has not changed for this long was left by a save that ended.
constexpr std::string_view kEarlierPrefix = ".zv-write-";
constexpr time_t kEarlierAgeSeconds = 10 * 60;

bool IsTemporaryName(std::string_view name) { return IsRandomName(name, kSavePrefix, kSaveLetters); }
bool IsEarlierTemporaryName(std::string_view name) { return IsRandomName(name, kEarlierPrefix, kSaveLetters); }

std::string RandomName() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::array<unsigned char, kSaveLetters> bytes{};
  if (::getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(::random());
  std::string name(kSavePrefix);
  for (unsigned char b : bytes) name += kLetters[b % (sizeof kLetters - 1)];
  return name;
}

// An unnamed file is named through /proc; without it none is made.
int OpenUnnamed(const std::string& folder) {
  if (::access("/proc/self/fd", X_OK) != 0) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

// Removes the temporary at `path` when its owner has ended: `unlocked_age`
// seconds since its last change tell so where its owner held no lock.
bool RemoveIfEnded(const std::string& path, std::optional<time_t> unlocked_age = std::nullopt) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ended = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                     ::flock(fd, LOCK_EX | LOCK_NB) == 0 && NameLeadsTo(path, fd) &&
                     (!unlocked_age || ::time(nullptr) - st.st_mtime > *unlocked_age);
  const bool removed = ended && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

// Unnamed temporaries leave nothing to sweep, but earlier builds and file
// systems without them may have: each folder is swept once a run.
void SweepOnce(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> swept;
  {
    const std::lock_guard guard(mutex);
    if (!swept.insert(folder).second) return;
  }
  RemoveEndedSaves(folder);
}

}  // namespace

std::optional<SaveTemporary> MakeSaveTemporary(const std::string& folder) {
  SweepOnce(folder);
  const int fd = OpenUnnamed(folder);
  if (fd >= 0) return SaveTemporary{fd, {}};
  // Where the file system has no unnamed files the temporary is named.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return std::nullopt;
  return MakeNamedSaveTemporary(folder);
}

std::optional<SaveTemporary> MakeNamedSaveTemporary(const std::string& folder) {
  RemoveEndedSaves(folder);
  for (int attempt = 0; attempt < kNamingAttempts; ++attempt) {
    std::string path = JoinPath(folder, std::string(kSavePrefix) + std::string(kSaveLetters, 'X'));
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // A file system without locks keeps the file unlocked, and then no sweep
    // can take it for one left behind either.
    const bool locked = ::flock(fd, LOCK_EX) == 0;
    if (!locked && errno != EINTR) return SaveTemporary{fd, path};
    // Another program's sweep may have taken the new file in the moment
    // before it was locked: then its name is gone, and another is made.
    if (locked && NameLeadsTo(path, fd)) return SaveTemporary{fd, path};
    ::close(fd);
  }
  errno = EEXIST;
  return std::nullopt;
}

bool NameLeadsTo(const std::string& path, int fd) {
  struct stat own {}, named {};
  return ::fstat(fd, &own) == 0 && ::lstat(path.c_str(), &named) == 0 && own.st_dev == named.st_dev &&
         own.st_ino == named.st_ino;
}

bool NameSaveTemporary(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

std::optional<std::string> NameSaveTemporaryIn(int fd, const std::string& folder) {
  for (int attempt = 0; attempt < kNamingAttempts; ++attempt) {
    std::string path = JoinPath(folder, RandomName());
    if (NameSaveTemporary(fd, path)) return path;
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

size_t RemoveEndedSaves(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return 0;
  size_t removed = 0;
  while (const dirent* entry = ::readdir(dir))
    if ((IsTemporaryName(entry->d_name) && RemoveIfEnded(JoinPath(folder, entry->d_name))) ||
        (IsEarlierTemporaryName(entry->d_name) && RemoveIfEnded(JoinPath(folder, entry->d_name), kEarlierAgeSeconds)))
      ++removed;
  ::closedir(dir);
  return removed;
}

}  // namespace zv::platform
