#include "platform/paths/state_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/paths/path_text.h"

namespace zv::platform {
namespace {

// Makes each missing folder of `path` private to the user, as the state
// folder's users expect of it.
bool MakeFolderChain(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace

std::string StateFolder() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && *xdg == '/') return JoinPath(xdg, "zentrovex");
  const char* home = std::getenv("HOME");
  return JoinPath(home && *home == '/' ? home : "/tmp", ".local/state/zentrovex");
}

std::optional<std::string> MakeStateFolder(const std::string& part) {
  std::string folder = part.empty() ? StateFolder() : JoinPath(StateFolder(), part);
  if (!MakeFolderChain(folder)) return std::nullopt;
  return folder;
}

}  // namespace zv::platform
