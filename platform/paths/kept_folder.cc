#include "platform/paths/kept_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/file_content.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_temporary.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr char kKeptFolder[] = "kept";
constexpr int kNamesBeside = 100;

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Gives the temporary `made` the first free name `base` + `suffix`, then
// with ".1", ".2", ... among the first `limit` (any number where negative);
// the name, or "" (errno set).
std::string NameFree(const SaveTemporary& made, const std::string& base, const std::string& suffix, int limit) {
  for (int n = 0; limit < 0 || n < limit; ++n) {
    const std::string name = base + suffix + (n == 0 ? std::string() : "." + std::to_string(n));
    const bool named = made.name.empty()
                           ? NameSaveTemporary(made.fd, name)
                           : ::renameat2(AT_FDCWD, made.name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0;
    if (named) return name;
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

// Writes `content` as a new file in `folder`, named for `base`; its name,
// or "" (errno set).
std::string KeepIn(const KeptContent& content, const std::string& folder, const std::string& base,
                   const std::string& suffix, int limit) {
  std::optional<SaveTemporary> made = MakeSaveTemporary(folder);
  if (!made) return {};
  std::string name;
  if (CopyFileRange(content.fd, content.at, made->fd, 0, content.size) == static_cast<int64_t>(content.size) &&
      SyncFileData(made->fd))
    name = NameFree(*made, base, suffix, limit);
  const int error = errno;
  if (name.empty() && !made->name.empty()) ::unlink(made->name.c_str());
  ::close(made->fd);
  if (!name.empty()) SyncFolder(folder);
  errno = error;
  return name;
}

struct KeptFile {
  std::string name;
  uint64_t size = 0;
  struct timespec kept {};
};

std::vector<KeptFile> KeptFiles(const std::string& kept) {
  std::vector<KeptFile> files;
  DIR* dir = ::opendir(kept.c_str());
  if (!dir) return files;
  while (const dirent* entry = ::readdir(dir)) {
    // Hidden: a temporary another program is filling now.
    if (entry->d_name[0] == '.') continue;
    const std::string name = JoinPath(kept, entry->d_name);
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
      files.push_back({name, static_cast<uint64_t>(st.st_size), st.st_mtim});
  }
  ::closedir(dir);
  std::sort(files.begin(), files.end(), [](const KeptFile& a, const KeptFile& b) {
    return a.kept.tv_sec != b.kept.tv_sec ? a.kept.tv_sec < b.kept.tv_sec : a.kept.tv_nsec < b.kept.tv_nsec;
  });
  return files;
}

// The bytes the copies beside `path` hold (NAME.kept and its numbered names).
uint64_t BesideBytes(const std::string& path) {
  uint64_t total = 0;
  for (int n = 0; n < kNamesBeside; ++n) {
    struct stat st {};
    const std::string name = path + ".kept" + (n == 0 ? std::string() : "." + std::to_string(n));
    if (::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
  }
  return total;
}

}  // namespace

std::string KeepBeside(const KeptContent& content, const std::string& path, uint64_t limit) {
  // Nothing beside the file is ours to remove: past the bound, the copy
  // goes to the kept folder, which makes room by its own.
  std::string beside;
  if (BesideBytes(path) + content.size <= limit)
    beside = KeepIn(content, FolderPart(path), path, ".kept", kNamesBeside);
  return beside.empty() ? KeepInKeptFolder(content, path, ".kept") : beside;
}

std::string KeepFileBeside(int fd, const std::string& file, const std::string& path, uint64_t limit) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !SyncFileData(fd)) return {};
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (BesideBytes(path) + size <= limit) {
    const std::string beside = NameFree(SaveTemporary{-1, file}, path, ".kept", kNamesBeside);
    if (!beside.empty()) {
      SyncFolder(FolderPart(path));
      return beside;
    }
  }
  const std::string kept = KeepInKeptFolder({fd, 0, size}, path, ".kept");
  if (!kept.empty()) ::unlink(file.c_str());
  return kept;
}

std::string KeepInKeptFolder(const KeptContent& content, const std::string& path, const std::string& suffix) {
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> kept = MakeStateFolder(kKeptFolder, state);
    if (!kept) continue;
    MakeRoomInKept(*kept, content.size);
    const std::string name = KeepIn(content, *kept, JoinPath(*kept, BaseName(path)), suffix, -1);
    if (!name.empty()) return name;
  }
  return {};
}

void MakeRoomInKept(const std::string& kept, uint64_t coming, uint64_t limit) {
  const std::vector<KeptFile> files = KeptFiles(kept);
  uint64_t total = coming;
  for (const KeptFile& file : files) total += file.size;
  for (const KeptFile& file : files) {
    if (total <= limit) break;
    if (::unlink(file.name.c_str()) != 0) continue;
    total -= file.size;
    SayOnStandardError("removed " + Quoted(file.name) + " (" + std::to_string(file.size) +
                       " bytes, the oldest there): " + Quoted(kept) + " keeps at most " +
                       std::to_string(limit >> 20) + " MB");
  }
}

}  // namespace zv::platform
