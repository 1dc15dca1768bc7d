#include "platform/paths/state_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/paths/path_text.h"

namespace zv::platform {
namespace {

constexpr char kOwnName[] = "zentrovex";

// The home folder of the passwd entry of the user who runs the program.
std::string PasswdHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  return found && found->pw_dir && found->pw_dir[0] == '/' ? found->pw_dir : "";
}

}  // namespace

// Not a link: one could be pointed elsewhere by whoever may write its folder.
bool IsOwnFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    errno = EPERM;
    return false;
  }
  return true;
}

namespace {

// Makes each missing folder of `path` private to the user, as the state
// folder's users expect of it, from the one that ends after `from`.
bool MakeFolderChain(const std::string& path, size_t from) {
  for (size_t slash = path.find('/', from);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return true;
}

}  // namespace

std::string StateFolder() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && *xdg == '/') return JoinPath(xdg, kOwnName);
  const std::string home = PasswdHome();
  return home.empty() ? std::string() : JoinPath(home, std::string(".local/state/") + kOwnName);
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return JoinPath(xdg, kOwnName);
  const char* home = std::getenv("HOME");
  const std::string base = home && *home ? home : PasswdHome();
  return JoinPath(base.empty() ? "." : base, std::string(".config/") + kOwnName);
}

std::string SpareStateFolder() { return "/var/tmp/" + std::string(kOwnName) + "-" + std::to_string(::geteuid()); }

std::vector<std::string> StateFolders() {
  std::vector<std::string> folders;
  if (std::string state = StateFolder(); !state.empty()) folders.push_back(std::move(state));
  folders.push_back(SpareStateFolder());
  return folders;
}

std::optional<std::string> FoundStateFolder(const std::string& part, const std::string& state) {
  if (state.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  const std::string folder = part.empty() ? state : JoinPath(state, part);
  if (!IsOwnFolder(state) || (folder != state && !IsOwnFolder(folder))) return std::nullopt;
  return folder;
}

std::optional<std::string> MakeStateFolder(const std::string& part, const std::string& state) {
  if (state.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  // The system's temporary area is the system's to make.
  const size_t from = state == SpareStateFolder() ? state.rfind('/') + 1 : 1;
  if (!MakeFolderChain(state, from)) return std::nullopt;
  // Nothing is made inside a folder before it is seen to be the user's
  // own: another user's, or a link, takes nothing of ours.
  if (!IsOwnFolder(state)) return std::nullopt;
  if (!part.empty() && ::mkdir(JoinPath(state, part).c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  return FoundStateFolder(part, state);
}

int OpenOwnFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags);
  if (fd < 0) {
    if (errno == ELOOP) errno = EINVAL;
    return -1;
  }
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  } else if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = EPERM;
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace zv::platform
