#include "editor/autosave.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/paths/failure_cause.h"
#include "platform/paths/file_save.h"
#include "platform/paths/state_folder.h"

namespace zv::editor {
namespace {

constexpr char kSuffix[] = ".autosave";
// Autosaves of one program that a folder holds at most: a bound on the
// search for a free name, far beyond any real count.
constexpr int kMostAutosaves = 999;

// FNV-1a of the folder: short, and the same in every run.
std::string FolderMark(const std::string& folder) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string Numbered(const std::string& first, int n) { return n == 1 ? first : first + "-" + std::to_string(n); }

// The number of the autosave `entry` among those named from `first`
// (1 for `first` itself), or 0 for another name.
int NumberOf(const std::string& entry, const std::string& first) {
  if (entry == first) return 1;
  if (entry.size() < first.size() + 2 || entry.compare(0, first.size() + 1, first + "-") != 0) return 0;
  const std::string digits = entry.substr(first.size() + 1);
  if (digits.size() > 3 || digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int n = std::stoi(digits);
  return n >= 2 ? n : 0;
}

// Under the first free name of `first`'s series; nothing (errno set) when
// none could be written.
std::optional<std::string> WriteUnderFreeName(const std::string& first, std::string_view bytes) {
  for (int n = 1; n <= kMostAutosaves; ++n) {
    std::string path = Numbered(first, n);
    if (platform::SaveFile(path, bytes, platform::ExistingFile::kNewName)) return path;
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

// What the state folder holds is offered only where it is the user's own,
// in the user's own folder, and a regular file; anything else there is
// named and passed over.
bool OwnInStateFolder(const std::string& path) {
  const int fd = platform::FoundStateFolder("autosave") ? platform::OpenOwnFile(path) : -1;
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  std::fprintf(stderr, "zentrovex: refused the kept changes \"%s\": %s\n", path.c_str(),
               errno == EPERM ? "another user's, or in a folder others may write" : "no regular file of the user's");
  return false;
}

struct Found {
  std::string path;
  struct timespec modified;
  int number;
};

// The autosaves of `first`'s series in its folder that are newer than
// `program` (all, without one): beside the program the user's own regular
// files, in the state folder those OwnInStateFolder takes.
void AddNewer(const std::string& first, const std::optional<struct timespec>& program, bool in_state_folder,
              std::vector<Found>* found) {
  const size_t slash = first.rfind('/');
  const std::string folder = first.substr(0, slash), name = first.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const int number = NumberOf(entry->d_name, name);
    const std::string path = folder + "/" + entry->d_name;
    struct stat st {};
    if (number == 0 || ::lstat(path.c_str(), &st) != 0) continue;
    if (program && (st.st_mtim.tv_sec < program->tv_sec ||
                    (st.st_mtim.tv_sec == program->tv_sec && st.st_mtim.tv_nsec <= program->tv_nsec)))
      continue;
    const bool own = in_state_folder ? OwnInStateFolder(path) : S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
    if (own) found->push_back({path, st.st_mtim, number});
  }
  ::closedir(dir);
}

}  // namespace

std::string AutosaveBeside(const std::string& folder, const std::string& name) {
  return folder + "/" + name + kSuffix;
}

std::string AutosaveInStateFolder(const std::string& folder, const std::string& name) {
  const std::string state = platform::StateFolder();
  return state.empty() ? std::string() : state + "/autosave/" + name + "." + FolderMark(folder) + kSuffix;
}

std::optional<std::string> WriteAutosave(const std::string& folder, const std::string& name, std::string_view bytes,
                                         std::string* not_beside) {
  if (std::optional<std::string> path = WriteUnderFreeName(AutosaveBeside(folder, name), bytes)) return path;
  if (not_beside) *not_beside = platform::CauseOf(errno);
  const std::string kept = AutosaveInStateFolder(folder, name);
  if (kept.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  if (!platform::MakeStateFolder("autosave")) return std::nullopt;
  return WriteUnderFreeName(kept, bytes);
}

std::vector<std::string> NewerAutosaves(const std::string& folder, const std::string& name) {
  std::optional<struct timespec> program;
  struct stat st {};
  if (::stat((folder + "/" + name).c_str(), &st) == 0) program = st.st_mtim;
  std::vector<Found> found;
  AddNewer(AutosaveBeside(folder, name), program, false, &found);
  const std::string kept = AutosaveInStateFolder(folder, name);
  if (!kept.empty()) AddNewer(kept, program, true, &found);
  // Newest first; of two written within one tick of the clock, the later
  // number, which was taken after the other.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
    if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec > b.modified.tv_nsec;
    return a.number > b.number;
  });
  std::vector<std::string> paths;
  for (Found& f : found) paths.push_back(std::move(f.path));
  return paths;
}

}  // namespace zv::editor
