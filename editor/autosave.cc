#include "editor/autosave.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Writes `bytes` as the new file `path`, held from before it has its name.
bool WriteHeld(const std::string& path, std::string_view bytes, std::optional<HeldAutosave>* hold) {
  std::optional<platform::FileSave> save = platform::FileSave::Begin(path, platform::ExistingFile::kNewName);
  if (!save || !save->Write(bytes)) return false;
  // The lock goes with the open file, which takes the name: no other editor
  // ever sees the autosave unheld while this one keeps it.
  const int fd = ::fcntl(save->Fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  HeldAutosave held(fd);
  if (::flock(fd, LOCK_SH) != 0 || !save->Finish()) return false;
  *hold = std::move(held);
  return true;
}

// Under the first free name of `first`'s series; nothing (errno set) when
// none could be written.
std::optional<std::string> WriteUnderFreeName(const std::string& first, std::string_view bytes,
                                              std::optional<HeldAutosave>* hold) {
  for (int n = 1; n <= kMostAutosaves; ++n) {
    std::string path = Numbered(first, n);
    if (WriteHeld(path, bytes, hold)) return path;
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

// The state folder (or the spare one) whose autosaves `path` lies in; empty
// for none.
std::string StateFolderOf(const std::string& path) {
  for (const std::string& state : platform::StateFolders()) {
    const std::string folder = state + "/autosave/";
    if (path.compare(0, folder.size(), folder) == 0) return state;
  }
  return {};
}

bool IsInStateFolder(const std::string& path) { return !StateFolderOf(path).empty(); }

bool OwnInStateFolder(const std::string& path) {
  const std::string state = StateFolderOf(path);
  const int fd = !state.empty() && platform::FoundStateFolder("autosave", state) ? platform::OpenOwnFile(path) : -1;
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

std::string AutosaveInStateFolder(const std::string& folder, const std::string& name, const std::string& state) {
  return state.empty() ? std::string() : state + "/autosave/" + name + "." + TextMark(folder) + kSuffix;
}

HeldAutosave& HeldAutosave::operator=(HeldAutosave&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

HeldAutosave::~HeldAutosave() {
  if (fd_ >= 0) ::close(fd_);
}

bool HeldByAnotherEditor(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // A look that takes the lock for a moment: whoever holds the file keeps it.
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

std::optional<std::string> WriteAutosave(const std::string& folder, const std::string& name, std::string_view bytes,
                                         std::string* not_beside, std::optional<HeldAutosave>* hold) {
  if (std::optional<std::string> path = WriteUnderFreeName(AutosaveBeside(folder, name), bytes, hold)) return path;
  if (not_beside) *not_beside = platform::CauseOf(errno);
  // The state folder, then the spare one, which a full or read-only home
  // leaves to the user still.
  int cause = ENOENT;
  for (const std::string& state : platform::StateFolders()) {
    const std::string kept = AutosaveInStateFolder(folder, name, state);
    if (kept.empty()) continue;
    if (!platform::MakeStateFolder("autosave", state)) {
      cause = errno;
      continue;
    }
    if (std::optional<std::string> path = WriteUnderFreeName(kept, bytes, hold)) return path;
    cause = errno;
  }
  errno = cause;
  return std::nullopt;
}

std::vector<KeptFile> UnsavedAutosaves(const std::string& folder, const std::string& name) {
  const std::optional<SourceText> saved = SavedText(folder, name);
  const KeptFile program{{}, folder, name};
  std::vector<Found> found;
  AddUnsaved(AutosaveBeside(folder, name), program, saved, false, &found);
  for (const std::string& state : platform::StateFolders())
    if (const std::string kept = AutosaveInStateFolder(folder, name, state); !kept.empty())
      AddUnsaved(kept, program, saved, true, &found);
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
