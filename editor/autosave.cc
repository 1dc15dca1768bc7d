#include "editor/autosave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/paths/state_folder.h"

namespace zv::editor {
namespace {

constexpr char kSuffix[] = ".autosave";

// FNV-1a of the folder: short, and the same in every run.
std::string FolderMark(const std::string& folder) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::optional<struct timespec> ModifiedAt(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return st.st_mtim;
}

// What the state folder holds is offered only where it is the user's own,
// in the user's own folder, and a regular file; anything else there is
// named and passed over.
bool OwnAutosave(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  const int fd = platform::FoundStateFolder("autosave") ? platform::OpenOwnFile(path) : -1;
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  std::fprintf(stderr, "zentrovex: refused the kept changes \"%s\": %s\n", path.c_str(),
               errno == EPERM ? "another user's, or in a folder others may write" : "no regular file of the user's");
  return false;
}

bool Later(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

std::string AutosaveBeside(const std::string& folder, const std::string& name) {
  return folder + "/" + name + kSuffix;
}

std::string AutosaveInStateFolder(const std::string& folder, const std::string& name) {
  const std::string state = platform::StateFolder();
  return state.empty() ? std::string() : state + "/autosave/" + name + "." + FolderMark(folder) + kSuffix;
}

std::optional<std::string> NewerAutosave(const std::string& folder, const std::string& name) {
  const std::optional<struct timespec> program = ModifiedAt(folder + "/" + name);
  for (const std::string& path : {AutosaveBeside(folder, name), AutosaveInStateFolder(folder, name)}) {
    if (path.empty() || (path != AutosaveBeside(folder, name) && !OwnAutosave(path))) continue;
    const std::optional<struct timespec> kept = ModifiedAt(path);
    if (kept && (!program || Later(*kept, *program))) return path;
  }
  return std::nullopt;
}

}  // namespace zv::editor
