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

struct Found {
  KeptFile kept;
  int number;
};

// The autosaves of `first`'s series in its folder that hold text `saved`
// does not: beside the program the user's own regular files, in the state
// folder those OwnInStateFolder takes.
void AddUnsaved(const std::string& first, const KeptFile& program, const std::optional<SourceText>& saved,
                bool in_state_folder, std::vector<Found>* found) {
  const size_t slash = first.rfind('/');
  const std::string folder = first.substr(0, slash), name = first.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const int number = NumberOf(entry->d_name, name);
    const std::string path = folder + "/" + entry->d_name;
    struct stat st {};
    if (number == 0 || ::lstat(path.c_str(), &st) != 0) continue;
    const bool own = in_state_folder ? OwnInStateFolder(path) : S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
    if (!own || !HoldsUnsavedText(path, saved)) continue;
    KeptFile kept = program;
    kept.path = path;
    kept.device = st.st_dev;
    kept.inode = st.st_ino;
    kept.modified = st.st_mtim;
    found->push_back({kept, number});
  }
  ::closedir(dir);
}

}  // namespace

std::string TextMark(const std::string& text) {
  // FNV-1a: short, and the same in every run.
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char mark[17];
  std::snprintf(mark, sizeof mark, "%016llx", static_cast<unsigned long long>(hash));
  return mark;
}

bool IsInStateFolder(const std::string& path) {
  const std::string state = platform::StateFolder();
  const std::string folder = state + "/autosave/";
  return !state.empty() && path.compare(0, folder.size(), folder) == 0;
}

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

std::string AutosaveBeside(const std::string& folder, const std::string& name) {
  return folder + "/" + name + kSuffix;
}

std::string AutosaveInStateFolder(const std::string& folder, const std::string& name) {
  const std::string state = platform::StateFolder();
  return state.empty() ? std::string() : state + "/autosave/" + name + "." + TextMark(folder) + kSuffix;
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

std::vector<KeptFile> UnsavedAutosaves(const std::string& folder, const std::string& name) {
  const std::optional<SourceText> saved = SavedText(folder, name);
  const KeptFile program{{}, folder, name};
  std::vector<Found> found;
  AddUnsaved(AutosaveBeside(folder, name), program, saved, false, &found);
  const std::string kept = AutosaveInStateFolder(folder, name);
  if (!kept.empty()) AddUnsaved(kept, program, saved, true, &found);
  // Newest first; of two written within one tick of the clock, the later
  // number, which was taken after the other.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    const struct timespec &x = a.kept.modified, &y = b.kept.modified;
    if (x.tv_sec != y.tv_sec) return x.tv_sec > y.tv_sec;
    if (x.tv_nsec != y.tv_nsec) return x.tv_nsec > y.tv_nsec;
    return a.number > b.number;
  });
  std::vector<KeptFile> kept_files;
  for (Found& f : found) kept_files.push_back(std::move(f.kept));
  return kept_files;
}

}  // namespace zv::editor
