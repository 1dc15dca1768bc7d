#include "platform/paths/save_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/file_content.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_temporary.h"
#include "platform/paths/state_folder.h"
#include "platform/paths/test_stop.h"

namespace zv::platform {
namespace {

constexpr char kSavesFolder[] = "saves";
// Where old content goes that cannot be kept beside its file.
constexpr char kKeptFolder[] = "kept";
constexpr char kBesidePrefix[] = ".zv-journal-";
constexpr int kKeptNames = 100;
// A journal whose file is not there (deleted, or on a file system not
// mounted now) is kept this long for whoever may still look for the old
// content, then swept.
constexpr time_t kOrphanSeconds = 7 * 24 * 60 * 60;

void Say(const std::string& text) { std::fprintf(stderr, "zentrovex: %s\n", text.c_str()); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Why a folder of ours failed its checks, or could not be made.
std::string FolderCause(int error) {
  return error == EPERM ? "it is another user's, or others may write it" : CauseOf(error);
}

// The path as the startup sweep can open it from any working folder.
std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return JoinPath(cwd.data(), path);
}

std::string PathOf(int fd) {
  std::vector<char> text(4096);
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(self.c_str(), text.data(), text.size());
  return n > 0 ? std::string(text.data(), static_cast<size_t>(n)) : std::string();
}

std::string BesideName(const std::string& file_path, const FileIdentity& file) {
  return JoinPath(FolderPart(file_path), kBesidePrefix + JournalName(file));
}

bool JournalNamed(int fd, const std::string& path) {
  struct stat own {}, named {};
  return ::fstat(fd, &own) == 0 && ::lstat(path.c_str(), &named) == 0 && own.st_dev == named.st_dev &&
         own.st_ino == named.st_ino;
}

int Reopen(int fd, int flags) {
  return ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags | O_CLOEXEC);
}

// Gives the temporary `made` the first free name `base`.kept, `base`.kept.1,
// ...; the name, or "" (errno set).
std::string NameFree(const SaveTemporary& made, const std::string& base) {
  for (int n = 0; n < kKeptNames; ++n) {
    const std::string name = base + ".kept" + (n == 0 ? std::string() : "." + std::to_string(n));
    const bool named = made.name.empty()
                           ? NameSaveTemporary(made.fd, name)
                           : ::renameat2(AT_FDCWD, made.name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0;
    if (named) return name;
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

// Writes the journal's old content as a file of its own beside `path` (in
// the state folder where that folder takes no new file), never over a file
// that is there; its name, or "" (errno set).
std::string KeepAside(int journal, const JournalHeader& header, const std::string& path) {
  std::string folder = FolderPart(path), base = path;
  std::optional<SaveTemporary> made = MakeSaveTemporary(folder);
  if (!made) {
    const std::optional<std::string> kept = MakeStateFolder(kKeptFolder);
    if (!kept) return {};
    folder = *kept;
    base = JoinPath(folder, path.substr(path.rfind('/') + 1));
    made = MakeSaveTemporary(folder);
    if (!made) return {};
  }
  std::string name;
  if (CopyFileRange(journal, header.content_at, made->fd, 0, header.old_size) ==
          static_cast<int64_t>(header.old_size) &&
      SyncFileData(made->fd))
    name = NameFree(*made, base);
  const int error = errno;
  if (name.empty() && !made->name.empty()) ::unlink(made->name.c_str());
  ::close(made->fd);
  if (!name.empty()) SyncFolder(folder);
  errno = error;
  return name;
}

// Copies the journal's old content back over the file and syncs it.
bool CopyBack(int journal, const JournalHeader& header, int target) {
  const ContentLock rewriting(target, ContentLock::Kind::kRewriting);
  return !rewriting.Refused() &&
         CopyFileRange(journal, header.content_at, target, 0, header.old_size) ==
             static_cast<int64_t>(header.old_size) &&
         ::ftruncate(target, static_cast<off_t>(header.old_size)) == 0 && SyncFileData(target);
}

// Not synced: a journal that a power cut brings back finds the file old or
// new, whole, and goes.
void RemoveJournal(const std::string& name) { ::unlink(name.c_str()); }

enum class Outcome { kNone, kLive, kDealt, kFailed };

// The journal's file is changed or gone: the old content goes beside it.
Outcome SetAside(int journal, const JournalHeader& header, const std::string& name, const std::string& why) {
  const std::string kept = KeepAside(journal, header, header.path);
  if (kept.empty()) {
    Say("a save of " + Quoted(header.path) + " was killed and " + why + "; its old content stays in " +
        Quoted(name) + " (it could not be kept as a file: " + CauseOf(errno) + ")");
    return Outcome::kDealt;
  }
  RemoveJournal(name);
  Say("a save of " + Quoted(header.path) + " was killed and " + why + "; the content it had before that save is kept as " +
      Quoted(kept));
  return Outcome::kDealt;
}

// Brings the file open as `file` (readable) to a whole state against the
// journal: undone where every part is the old or the new content of that
// save, kept as it is otherwise.
Outcome Settle(int journal, const JournalHeader& header, const std::string& name, int file) {
  switch (JudgeFile(file, journal, header)) {
    case FileState::kNew:
      // The save was done but for dropping its journal.
      if (!SyncFileData(file)) return Outcome::kFailed;
      RemoveJournal(name);
      return Outcome::kDealt;
    case FileState::kOld:
      RemoveJournal(name);
      return Outcome::kDealt;
    case FileState::kPart: {
      const int writable = Reopen(file, O_WRONLY);
      const bool back = writable >= 0 && CopyBack(journal, header, writable);
      const int error = errno;
      if (writable >= 0) ::close(writable);
      if (!back) {
        errno = error;
        return Outcome::kFailed;
      }
      RemoveJournal(name);
      return Outcome::kDealt;
    }
    case FileState::kOther:
      break;
  }
  return SetAside(journal, header, name, "the file was changed since");
}

// Opens the file a journal names for the sweep: never a link, a pipe or a
// device, never waiting. -1 (errno set) otherwise; EINVAL for no regular file.
int OpenNamedFile(const std::string& path) {
  const int found = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (found < 0) return -1;
  struct stat st {};
  int fd = -1;
  if (::fstat(found, &st) != 0) {
  } else if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
  } else {
    fd = Reopen(found, O_RDONLY | O_NONBLOCK);
  }
  const int error = errno;
  ::close(found);
  errno = error;
  return fd;
}

bool SameFile(const JournalHeader& header, int fd) {
  const std::optional<FileIdentity> found = IdentityOf(fd);
  // Where the file system keeps neither birth nor generation, an inode
  // number alone may be another file's: the path must agree too.
  return found && *found == header.file && (header.file.strong || PathOf(fd) == header.path);
}

// Deals with the journal `name` when its saver has ended. `target`, when
// given (>= 0), is the file it must belong to; otherwise the file its
// header names is opened.
Outcome RecoverJournal(const std::string& name, int target) {
  const int journal = OpenOwnFile(name);
  if (journal < 0) {
    const int error = errno;
    if (error != ENOENT)
      Say("refused the journal " + Quoted(name) + ": " +
          (error == EINVAL ? std::string("it is no regular file") : FolderCause(error)));
    errno = error;
    return Outcome::kNone;
  }
  Outcome outcome = Outcome::kNone;
  const std::optional<JournalHeader> header = ReadHeader(journal);
  if (::flock(journal, LOCK_EX | LOCK_NB) != 0) {
    outcome = Outcome::kLive;
  } else if (!JournalNamed(journal, name)) {
  } else if (!header) {
    Say("refused " + Quoted(name) + ": it is no journal of a save");
  } else if (target >= 0) {
    if (SameFile(*header, target)) outcome = Settle(journal, *header, name, target);
  } else {
    const int file = OpenNamedFile(header->path);
    struct stat st {};
    if (file >= 0 && SameFile(*header, file)) {
      outcome = Settle(journal, *header, name, file);
    } else if (file >= 0) {
      outcome = SetAside(journal, *header, name, "the file was replaced since");
    } else if (errno == EINVAL || errno == ELOOP) {
      Say("refused the journal " + Quoted(name) + ": it names " + Quoted(header->path) + ", which is no regular file");
    } else if (errno == ENOENT && ::fstat(journal, &st) == 0 && ::time(nullptr) - st.st_mtime > kOrphanSeconds) {
      RemoveJournal(name);
    }
    if (file >= 0) ::close(file);
  }
  const int error = errno;
  ::close(journal);
  errno = error;
  return outcome;
}

// Says once a run why saves in place go without a journal.
void SayUnjournalled(const std::string& why) {
  static std::once_flag said;
  std::call_once(said, [&] { Say("saves in place go without a journal in this run: " + why); });
}

std::string StateFolderCause() {
  const std::string state = StateFolder();
  if (state.empty()) return "there is no state folder (no XDG_STATE_HOME, and no home folder in the user's passwd entry)";
  return "the state folder " + Quoted(state) + ": " + FolderCause(errno);
}

}  // namespace

std::optional<SaveJournal> SaveJournal::Keep(int target, const std::string& path, int new_content,
                                             uint64_t new_size) {
  struct stat st {};
  const std::optional<FileIdentity> file = IdentityOf(target);
  if (!file || ::fstat(target, &st) != 0) return std::nullopt;
  JournalHeader header;
  header.file = *file;
  header.old_size = static_cast<uint64_t>(st.st_size);
  header.new_size = new_size;
  header.path = AbsolutePath(path);
  std::optional<std::vector<uint64_t>> hashes = HashNewContent(new_content, header.old_size, new_size);
  if (!hashes) return std::nullopt;
  header.new_hashes = std::move(*hashes);
  header.knows_new = true;
  std::string why;
  if (const std::optional<std::string> folder = MakeStateFolder(kSavesFolder)) {
    std::optional<SaveJournal> kept = Write(*folder, JoinPath(*folder, JournalName(*file)), target, header);
    if (kept || errno == ETXTBSY) return kept;
    why = "the state folder " + Quoted(*folder) + ": " + CauseOf(errno);
  } else {
    why = StateFolderCause();
  }
  const std::string beside = BesideName(header.path, *file);
  std::optional<SaveJournal> kept = Write(FolderPart(beside), beside, target, header);
  if (kept || errno == ETXTBSY) return kept;
  SayUnjournalled(why + "; beside the file " + Quoted(header.path) + ": " + CauseOf(errno));
  SaveJournal none;
  none.old_size_ = header.old_size;
  return none;
}

std::optional<SaveJournal> SaveJournal::Write(const std::string& folder, const std::string& name, int target,
                                              const JournalHeader& header) {
  // A journal left by a killed save of this file goes first.
  if (::access(name.c_str(), F_OK) == 0 && RecoverJournal(name, target) == Outcome::kFailed) return std::nullopt;
  std::optional<SaveTemporary> temporary = MakeSaveTemporary(folder);
  if (!temporary) return std::nullopt;
  SaveJournal journal;
  journal.fd_ = temporary->fd;
  journal.old_size_ = header.old_size;
  const std::vector<uint8_t> head = HeaderBytes(header);
  journal.content_at_ = head.size();
  const bool kept = ::flock(journal.fd_, LOCK_EX) == 0 && WriteExactly(journal.fd_, head, 0) &&
                    CopyFileRange(target, 0, journal.fd_, head.size(), header.old_size) ==
                        static_cast<int64_t>(header.old_size) &&
                    SyncFileData(journal.fd_);
  // Named only once whole; a name already taken is another save's, at work.
  bool named = false;
  if (kept && temporary->name.empty()) {
    named = NameSaveTemporary(journal.fd_, name);
  } else if (kept) {
    named = ::renameat2(AT_FDCWD, temporary->name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0;
    if (!named && (errno == EINVAL || errno == ENOSYS))
      named = ::link(temporary->name.c_str(), name.c_str()) == 0 && ::unlink(temporary->name.c_str()) == 0;
  }
  if (!named) {
    const int error = errno == EEXIST ? ETXTBSY : errno;
    if (!temporary->name.empty()) ::unlink(temporary->name.c_str());
    journal.Close();
    errno = error;
    return std::nullopt;
  }
  journal.name_ = name;
  if (!SyncFolder(folder)) {
    journal.Drop();
    return std::nullopt;
  }
  return journal;
}

SaveJournal::SaveJournal(SaveJournal&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      name_(std::exchange(other.name_, {})),
      old_size_(other.old_size_),
      content_at_(other.content_at_) {}

SaveJournal& SaveJournal::operator=(SaveJournal&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    name_ = std::exchange(other.name_, {});
    old_size_ = other.old_size_;
    content_at_ = other.content_at_;
  }
  return *this;
}

SaveJournal::~SaveJournal() { Close(); }

void SaveJournal::Close() {
  const int error = errno;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  name_.clear();
  errno = error;
}

void SaveJournal::Drop() {
  const int error = errno;
  if (!name_.empty()) RemoveJournal(name_);
  Close();
  errno = error;
}

bool SaveJournal::PutBack(int target) {
  if (fd_ < 0) return false;
  JournalHeader header;
  header.old_size = old_size_;
  header.content_at = content_at_;
  if (!CopyBack(fd_, header, target)) return false;
  Drop();
  return true;
}

namespace {

// Where a journal of the regular file open as `fd` would be: the state
// folder, and beside the file.
std::vector<std::string> JournalsOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const std::optional<FileIdentity> file = IdentityOf(fd);
  if (!file) return {};
  std::vector<std::string> names;
  if (const std::optional<std::string> folder = FoundStateFolder(kSavesFolder))
    names.push_back(JoinPath(*folder, JournalName(*file)));
  const std::string path = PathOf(fd);
  if (!path.empty()) names.push_back(BesideName(path, *file));
  return names;
}

}  // namespace

bool KilledSaveLeft(int fd) {
  for (const std::string& name : JournalsOf(fd)) {
    const int journal = OpenOwnFile(name);
    if (journal < 0) continue;
    const bool ended = ::flock(journal, LOCK_SH | LOCK_NB) == 0;
    ::close(journal);
    if (ended) return true;
  }
  return false;
}

bool RecoverKilledSave(int fd) {
  for (const std::string& name : JournalsOf(fd))
    if (RecoverJournal(name, fd) == Outcome::kFailed) return false;
  return true;
}

size_t RecoverKilledSaves() {
  const std::optional<std::string> folder = FoundStateFolder(kSavesFolder);
  if (!folder) {
    // A folder that fails the checks is named; one never made is not.
    if (errno == EPERM || errno == ENOTDIR) Say("refused the state folder " + Quoted(StateFolder()) + ": " +
                                                (errno == EPERM ? FolderCause(EPERM) : CauseOf(ENOTDIR)));
    return 0;
  }
  DIR* dir = ::opendir(folder->c_str());
  if (!dir) return 0;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(JoinPath(*folder, entry->d_name));
  ::closedir(dir);
  size_t dealt = 0;
  for (const std::string& name : names)
    if (RecoverJournal(name, -1) == Outcome::kDealt) ++dealt;
  return dealt;
}

}  // namespace zv::platform
