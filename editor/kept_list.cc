#include "editor/kept_list.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "editor/autosave.h"
#include "platform/paths/file_save.h"
#include "platform/paths/state_folder.h"

namespace zv::editor {
namespace {

constexpr char kListPart[] = "autosave-list";
constexpr char kEntryEnding[] = ".kept";
// What a list entry holds, each ended by a zero byte: the autosave, its
// program's folder and the program's name (empty for an unnamed one).
constexpr size_t kEntryFields = 3;

std::string EntryName(const std::string& autosave) { return TextMark(autosave) + kEntryEnding; }

bool NewerThan(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

std::string ReadOwn(const std::string& path) {
  std::string bytes;
  const int fd = platform::OpenOwnFile(path);
  if (fd < 0) return bytes;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return bytes;
}

std::optional<KeptFile> ParseEntry(const std::string& bytes) {
  std::vector<std::string> fields;
  for (size_t at = 0; at < bytes.size() && fields.size() < kEntryFields;) {
    const size_t end = bytes.find('\0', at);
    if (end == std::string::npos) return std::nullopt;
    fields.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  if (fields.size() != kEntryFields || fields[0].empty() || fields[0][0] != '/') return std::nullopt;
  KeptFile kept;
  kept.path = fields[0];
  kept.folder = fields[1];
  kept.name = fields[2];
  return kept;
}

// The lists there are: the state folder's, and the spare one's where the
// state folder took no entry.
std::vector<std::string> Lists() {
  std::vector<std::string> lists;
  for (const std::string& state : platform::StateFolders())
    if (std::optional<std::string> list = platform::FoundStateFolder(kListPart, state)) lists.push_back(*list);
  return lists;
}

// The entry that lists `path` in `list`, where there is one.
std::optional<KeptFile> ListedIn(const std::string& list, const std::string& path) {
  std::optional<KeptFile> kept = ParseEntry(ReadOwn(list + "/" + EntryName(path)));
  if (kept && kept->path != path) return std::nullopt;
  return kept;
}

std::optional<KeptFile> ListedAt(const std::string& path) {
  for (const std::string& list : Lists())
    if (std::optional<KeptFile> kept = ListedIn(list, path)) return kept;
  return std::nullopt;
}

void Unlist(const std::string& path) {
  for (const std::string& list : Lists())
    if (ListedIn(list, path)) ::unlink((list + "/" + EntryName(path)).c_str());
}

// A name's ending ".autosave", or ".autosave-N", taken off; nothing for a
// name without one.
std::optional<std::string> WithoutAutosaveEnding(const std::string& name) {
  const std::string ending = ".autosave";
  size_t at = name.rfind(ending);
  if (at == std::string::npos || at == 0) return std::nullopt;
  const std::string rest = name.substr(at + ending.size());
  if (!rest.empty() && (rest.size() < 2 || rest[0] != '-' || rest[1] == '0' ||
                        rest.find_first_not_of("0123456789", 1) != std::string::npos))
    return std::nullopt;
  return name.substr(0, at);
}

}  // namespace

bool IsAutosaveName(const std::string& name) { return WithoutAutosaveEnding(name).has_value(); }

std::optional<SourceText> SavedText(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name;
  struct stat st {};
  if (name.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return LoadSourceFile(path);
}

bool HoldsUnsavedText(const std::string& path, const std::optional<SourceText>& saved) {
  if (!saved) return true;
  const std::optional<SourceText> kept = LoadSourceFile(path);
  return !kept || kept->lines != saved->lines || kept->header != saved->header;
}

std::optional<KeptFile> OwnKeptFile(KeptFile kept) {
  struct stat st {};
  if (::lstat(kept.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return std::nullopt;
  if (IsInStateFolder(kept.path) && !OwnInStateFolder(kept.path)) return std::nullopt;
  kept.device = st.st_dev;
  kept.inode = st.st_ino;
  kept.modified = st.st_mtim;
  return kept;
}

std::optional<KeptFile> ListKept(const std::string& path, const std::string& folder, const std::string& name) {
  std::optional<KeptFile> kept = OwnKeptFile({path, folder, name});
  if (!kept) return kept;
  const std::string entry = path + '\0' + folder + '\0' + name + '\0';
  for (const std::string& state : platform::StateFolders()) {
    const std::optional<std::string> list = platform::MakeStateFolder(kListPart, state);
    if (list && platform::SaveFile(*list + "/" + EntryName(path), entry, platform::ExistingFile::kReplace, 0600))
      break;
  }
  return kept;
}

// Adds the autosaves `list` names to `found`; entries of autosaves gone or
// holding their program's text go.
void AddListed(const std::string& list, std::vector<KeptFile>* found) {
  DIR* dir = ::opendir(list.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= sizeof kEntryEnding || name.compare(name.size() - 5, 5, kEntryEnding) != 0) continue;
    const std::optional<KeptFile> listed = ParseEntry(ReadOwn(list + "/" + name));
    if (!listed) continue;
    const std::optional<KeptFile> kept = OwnKeptFile(*listed);
    if (!kept || !HoldsUnsavedText(kept->path, SavedText(kept->folder, kept->name))) {
      stale.push_back(list + "/" + name);
      continue;
    }
    found->push_back(*kept);
  }
  ::closedir(dir);
  for (const std::string& entry : stale) ::unlink(entry.c_str());
}

std::vector<KeptFile> ListedKeptFiles() {
  std::vector<KeptFile> found;
  for (const std::string& list : Lists()) AddListed(list, &found);
  std::sort(found.begin(), found.end(),
            [](const KeptFile& a, const KeptFile& b) { return NewerThan(a.modified, b.modified); });
  return found;
}

KeptFile KeptFileAt(const std::string& path, const std::string& app_folder) {
  if (std::optional<KeptFile> listed = ListedAt(path)) return *listed;
  const size_t slash = path.rfind('/');
  KeptFile kept;
  kept.path = path;
  kept.folder = slash == std::string::npos ? app_folder : path.substr(0, slash);
  kept.name = WithoutAutosaveEnding(path.substr(slash + 1)).value_or(std::string());
  if (IsInStateFolder(path)) {
    // NAME.kqa.MARK: the mark of its folder, which it does not tell.
    const size_t mark = kept.name.rfind('.');
    if (mark != std::string::npos) kept.name.erase(mark);
    kept.folder = app_folder;
  }
  struct stat st {};
  if (kept.name == kUnnamedFileName && ::stat((kept.folder + "/" + kept.name).c_str(), &st) != 0) kept.name.clear();
  return kept;
}

bool RemoveKept(const KeptFile& kept) {
  struct stat st {};
  if (::lstat(kept.path.c_str(), &st) == 0) {
    // Another file that took the name since keeps it, and its listing; so
    // does the autosave of another running editor, which keeps its text.
    if (st.st_dev != kept.device || st.st_ino != kept.inode || st.st_mtim.tv_sec != kept.modified.tv_sec ||
        st.st_mtim.tv_nsec != kept.modified.tv_nsec || HeldByAnotherEditor(kept.path))
      return false;
    ::unlink(kept.path.c_str());
  }
  Unlist(kept.path);
  return true;
}

}  // namespace zv::editor
