#include "platform/paths/save_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/paths/apart_content.h"
#include "platform/paths/deleted_file.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/file_content.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/kept_folder.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_temporary.h"
#include "platform/paths/state_folder.h"
#include "platform/paths/test_stop.h"

namespace zv::platform {
namespace {

constexpr char kSavesFolder[] = "saves";
// The mark a save in place leaves on a file others may write while it
// rewrites it: the name of its journal.
constexpr char kMarkName[] = "user.zentrovex.saving";
constexpr char kBesidePrefix[] = ".zv-journal-";
// A journal whose file is not there (deleted, or on a file system not
// mounted now) waits this long for the file's next open, then its old
// content goes to the kept folder.
constexpr time_t kOrphanSeconds = 7 * 24 * 60 * 60;

void Say(const std::string& text) { SayOnStandardError(text); }

// Why a folder of ours failed its checks, or could not be made.
std::string FolderCause(int error) {
  return error == EPERM ? "it is another user's, or others may write it" : CauseOf(error);
}

// Why a file's folder takes no journal of ours.
std::string BesideCause(int error) {
  return error == EPERM ? "its folder is another user's, or others may write it" : CauseOf(error);
}

std::string PathOf(int fd) {
  std::vector<char> text(4096);
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(self.c_str(), text.data(), text.size());
  return n > 0 ? std::string(text.data(), static_cast<size_t>(n)) : std::string();
}

std::string BesideName(const std::string& folder, const FileIdentity& file) {
  return JoinPath(folder, kBesidePrefix + JournalName(file));
}

bool JournalNamed(int fd, const std::string& path) {
  struct stat own {}, named {};
  return ::fstat(fd, &own) == 0 && ::lstat(path.c_str(), &named) == 0 && own.st_dev == named.st_dev &&
         own.st_ino == named.st_ino;
}

int Reopen(int fd, int flags) {
  return ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags | O_CLOEXEC);
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

// The journal a mark on the file open as `fd` names; none without a mark.
std::optional<std::string> MarkOf(int fd) {
  std::string value(4096, '\0');
  const ssize_t n = ::fgetxattr(fd, kMarkName, value.data(), value.size());
  if (n < 0) return std::nullopt;
  value.resize(static_cast<size_t>(n));
  return value;
}

// The file open as `fd` is whole again: its mark goes, the one naming the
// journal `name` alone unless `any`.
void Unmark(int fd, const std::string& name, bool any) {
  const int error = errno;
  if (const std::optional<std::string> mark = MarkOf(fd); mark && (any || *mark == name))
    ::fremovexattr(fd, kMarkName);
  errno = error;
}

// Whether the group `gid` is the user's own: named as the user is, with no
// other member listed, as systems that give each user a group of their own
// (and a umask that lets it write) make it. A group too large to read is
// taken for a shared one.
bool IsPrivateGroup(gid_t gid) {
  constexpr size_t kRoom = 16384;
  std::vector<char> buffer(2 * kRoom);
  struct group group {};
  struct passwd user {};
  struct group* found_group = nullptr;
  struct passwd* found_user = nullptr;
  if (::getgrgid_r(gid, &group, buffer.data(), kRoom, &found_group) != 0 || !found_group ||
      ::getpwuid_r(::geteuid(), &user, buffer.data() + kRoom, kRoom, &found_user) != 0 || !found_user ||
      std::string_view(group.gr_name) != user.pw_name)
    return false;
  for (char** member = group.gr_mem; member && *member; ++member)
    if (std::string_view(*member) != user.pw_name) return false;
  return true;
}

// Whether users other than this one may write the file open as `fd`.
bool OthersMayWrite(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  if (st.st_uid != ::geteuid() || (st.st_mode & S_IWOTH) != 0) return true;
  return (st.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(st.st_gid);
}

enum class Outcome {
  kNone,     // no journal of the file there, or nothing done
  kLive,     // its saver is at work
  kDealt,    // the file is whole and the journal gone
  kFailed,   // the file could not be brought to a whole state (errno set)
  kStays,    // the journal stays, and the run has said why
  kRefused,  // what is there is no journal of the user's, and the run has said so
};

// Where a journal's old content goes when it leaves the journal.
enum class Aside { kBesideFile, kKeptFolder };

// The journal's file was changed since, is another file now, or cannot be
// found: its old content is kept (beside `path`, where that file is, or in
// the kept folder), and only then does the journal go.
Outcome SetAside(int journal, const JournalHeader& header, const std::string& name, const std::string& path,
                 const std::string& why, Aside where = Aside::kBesideFile) {
  const KeptContent old{journal, header.content_at, header.old_size};
  const std::string kept = where == Aside::kBesideFile ? KeepBeside(old, path) : KeepInKeptFolder(old, path, ".kept");
  if (kept.empty()) {
    Say("a save of " + Quoted(path) + " was killed and " + why + "; its old content stays in " + Quoted(name) +
        " (it could not be kept as a file: " + CauseOf(errno) + ")");
    return Outcome::kStays;
  }
  RemoveJournal(name);
  Say("a save of " + Quoted(path) + " was killed and " + why + "; the content it had before that save is kept as " +
      Quoted(kept));
  return Outcome::kDealt;
}

// Puts the old content back over a file the killed save left part old and
// part new. Whatever wrote what the file holds now (that save, or another
// program whose content matches it page by page), it is kept first.
Outcome PutOldBack(int journal, const JournalHeader& header, const std::string& name, int file,
                   const std::string& path) {
  struct stat st {};
  if (::fstat(file, &st) != 0) return Outcome::kFailed;
  const std::string replaced =
      KeepInKeptFolder(KeptContent{file, 0, static_cast<uint64_t>(st.st_size)}, path, ".replaced");
  if (replaced.empty()) {
    const int error = errno;
    Say("a save of " + Quoted(path) + " was killed part-way, and what the file holds could not be kept (" +
        CauseOf(error) + "): the file stays as it is, and its old content in " + Quoted(name));
    errno = error;
    return Outcome::kFailed;
  }
  const int writable = Reopen(file, O_WRONLY);
  const bool back = writable >= 0 && CopyBack(journal, header, writable);
  const int error = errno;
  if (writable >= 0) ::close(writable);
  if (!back) {
    errno = error;
    return Outcome::kFailed;
  }
  // The old content is what it was before that save: a mark another save
  // left then stays.
  Unmark(file, name, false);
  RemoveJournal(name);
  Say("a save of " + Quoted(path) + " was killed part-way: the file has its old content back, and what it held is "
      "kept as " + Quoted(replaced));
  return Outcome::kDealt;
}

// Brings the file open as `file` (readable), named `path`, to a whole state
// against the journal: undone where every part is the old or the new
// content of that save, kept as it is otherwise.
Outcome Settle(int journal, const JournalHeader& header, const std::string& name, int file, const std::string& path) {
  switch (JudgeFile(file, journal, header)) {
    case FileState::kNew:
      // The save was done but for dropping its journal: the file is whole,
      // whatever mark it bears.
      if (!SyncFileData(file)) return Outcome::kFailed;
      Unmark(file, name, true);
      RemoveJournal(name);
      return Outcome::kDealt;
    case FileState::kOld:
      Unmark(file, name, false);
      RemoveJournal(name);
      return Outcome::kDealt;
    case FileState::kPart:
      return PutOldBack(journal, header, name, file, path);
    case FileState::kOther:
      break;
  }
  // Whatever wrote the file since may have left it torn too: a mark stays.
  return SetAside(journal, header, name, path, "the file was changed since");
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

// The journal's file under another name in the folder of its path: a
// second name, or the one it was renamed to. Opened (its name in `path`),
// or -1.
int FindInFolder(const JournalHeader& header, std::string& path) {
  if (!header.file.strong) return -1;
  const std::string folder = FolderPart(header.path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return -1;
  int found = -1;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_ino != header.file.inode) continue;
    const std::string candidate = JoinPath(folder, entry->d_name);
    const int fd = OpenNamedFile(candidate);
    if (fd >= 0 && SameFile(header, fd)) {
      found = fd;
      path = candidate;
      break;
    }
    if (fd >= 0) ::close(fd);
  }
  ::closedir(dir);
  return found;
}

// The sweep's part: the file a journal of the state folders names,
// wherever it is now in its folder. One that cannot be found keeps its
// journal for its next open, for a week, and the run says so; then, or at
// once where no open could find it, its old content goes to the kept
// folder.
Outcome SettleNamedFile(int journal, const JournalHeader& header, const std::string& name) {
  std::string path = header.path;
  int file = OpenNamedFile(path);
  const int open_error = errno;
  const bool another_file = file >= 0 && !SameFile(header, file);
  if (another_file) {
    ::close(file);
    file = -1;
  }
  if (file < 0) file = FindInFolder(header, path);
  if (file >= 0) {
    const Outcome outcome = Settle(journal, header, name, file, path);
    ::close(file);
    return outcome;
  }
  struct stat st {};
  const bool old = ::fstat(journal, &st) == 0 && ::time(nullptr) - st.st_mtime > kOrphanSeconds;
  if (open_error == EINVAL || open_error == ELOOP) {
    Say("refused the journal " + Quoted(name) + ": it names " + Quoted(header.path) + ", which is no regular file");
    return Outcome::kRefused;
  }
  if (!another_file && open_error != ENOENT) return Outcome::kNone;
  const std::string gone = another_file ? "that name leads to another file now" : "that file has no name now";
  // Where the file system keeps neither birth nor generation, the file
  // cannot be told from another by its inode alone: no open will find it.
  if (!header.file.strong)
    return SetAside(journal, header, name, header.path,
                    gone + ", and its file system cannot tell the file that save rewrote from another",
                    Aside::kKeptFolder);
  if (old) return SetAside(journal, header, name, header.path, gone + ", for a week", Aside::kKeptFolder);
  Say("a save of " + Quoted(header.path) + " was killed, and " + gone +
      " (nor has the file it rewrote in its folder): its old content stays in " + Quoted(name) +
      " for that file's next open, for a week, and then goes to the kept folder");
  return Outcome::kStays;
}

// Deals with the journal `name` when its saver has ended. `target`, when
// given (>= 0), is the file it must belong to; otherwise the file its
// header names is looked for.
Outcome RecoverJournal(const std::string& name, int target) {
  const int journal = OpenOwnFile(name);
  if (journal < 0) {
    const int error = errno;
    if (error != ENOENT)
      Say("refused the journal " + Quoted(name) + ": " +
          (error == EINVAL ? std::string("it is no regular file") : FolderCause(error)));
    errno = error;
    return error == ENOENT ? Outcome::kNone : Outcome::kRefused;
  }
  Outcome outcome = Outcome::kNone;
  const std::optional<JournalHeader> header = ReadHeader(journal);
  if (::flock(journal, LOCK_EX | LOCK_NB) != 0) {
    outcome = Outcome::kLive;
  } else if (!JournalNamed(journal, name)) {
  } else if (!header) {
    Say("refused " + Quoted(name) + ": it is no journal of a save");
    outcome = Outcome::kRefused;
  } else if (target >= 0) {
    if (SameFile(*header, target)) {
      const std::string path = PathOf(target);
      outcome = Settle(journal, *header, name, target, path.empty() ? header->path : path);
    }
  } else {
    outcome = SettleNamedFile(journal, *header, name);
  }
  const int error = errno;
  ::close(journal);
  errno = error;
  return outcome;
}

// Says `text` once a run.
void SayOnce(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> said;
  const std::lock_guard guard(mutex);
  if (said.insert(text).second) Say(text);
}

std::string Joined(const std::vector<std::string>& causes) {
  std::string text;
  for (const std::string& cause : causes) text += (text.empty() ? "" : "; ") + cause;
  return text;
}

// Why a journal could not be written as `name`, after it failed with `error`.
std::string WriteCause(int error, const std::string& name) {
  return error == EEXIST ? Quoted(name) + " is there and stays" : CauseOf(error);
}

// The folder a file open as `fd` is in, as the system names it; "" where
// it has no name.
std::string FolderOf(int fd) {
  const std::string path = PathOf(fd);
  return path.empty() || path[0] != '/' ? std::string() : FolderPart(path);
}

// Where a journal of the regular file open as `fd` may be: the state
// folder, the spare one, and beside the file where its folder is the
// user's alone. One
// beside it in a folder others may write could be anyone's: it is passed
// over, and said so where `say` asks.
std::vector<std::string> JournalsOf(int fd, bool say) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const std::optional<FileIdentity> file = IdentityOf(fd);
  if (!file) return {};
  std::vector<std::string> names;
  for (const std::string& state : StateFolders())
    if (const std::optional<std::string> folder = FoundStateFolder(kSavesFolder, state))
      names.push_back(JoinPath(*folder, JournalName(*file)));
  const std::string folder = FolderOf(fd);
  const std::string beside = BesideName(folder, *file);
  if (folder.empty() || ::lstat(beside.c_str(), &st) != 0) return names;
  if (IsOwnFolder(folder)) {
    names.push_back(beside);
  } else if (say) {
    Say("passed over the journal " + Quoted(beside) + ": " + BesideCause(errno) + ", so it may be anyone's");
  }
  return names;
}

// Deals with the journals of killed saves of the file open as `fd`; false
// (errno set) where one could not be dealt with, or (kHeldBySave) where a
// saver of the file is at work.
bool SettleLeftSaves(int fd) {
  for (const std::string& name : JournalsOf(fd, true)) {
    const Outcome left = RecoverJournal(name, fd);
    if (left == Outcome::kLive) errno = kHeldBySave;
    if (left == Outcome::kLive || left == Outcome::kFailed) return false;
  }
  return true;
}

}  // namespace

bool IsJournalName(std::string_view name) {
  return (name.starts_with(kBesidePrefix) && HasJournalNameForm(name.substr(std::string_view(kBesidePrefix).size()))) ||
         IsDeletedFileName(name) || IsApartContentName(name);
}

std::optional<SaveJournal> SaveJournal::Keep(int target, const std::string& path, int new_content,
                                             uint64_t new_size) {
  // A killed save's journal goes first: the old content is what that
  // leaves (taken before, its size was the torn file's).
  if (!SettleLeftSaves(target)) return std::nullopt;
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
  std::vector<std::string> causes;
  if (StateFolder().empty())
    causes.push_back("there is no state folder (no XDG_STATE_HOME, and no home folder in the user's passwd entry)");
  for (const std::string& state : StateFolders()) {
    const std::string label = state == StateFolder() ? "the state folder " : "";
    const std::optional<std::string> folder = MakeStateFolder(kSavesFolder, state);
    if (!folder) {
      causes.push_back(label + Quoted(state) + ": " + FolderCause(errno));
      continue;
    }
    const std::string name = JoinPath(*folder, JournalName(*file));
    std::optional<SaveJournal> kept = Write(*folder, name, target, header);
    if (kept && !causes.empty())
      SayOnce("journals of saves in place go to " + Quoted(*folder) + " in this run: " + Joined(causes));
    if (kept || errno == kHeldBySave || errno == kNoSharedMark) return kept;
    causes.push_back(label + Quoted(*folder) + ": " + WriteCause(errno, name));
  }
  // Beside the file only where no one else could have put a journal there.
  const std::string folder = FolderOf(target);
  if (folder.empty()) {
    causes.push_back("beside the file " + Quoted(header.path) + ": it has no name");
  } else if (!IsOwnFolder(folder)) {
    causes.push_back("beside the file " + Quoted(header.path) + ": " + BesideCause(errno));
  } else {
    const std::string name = BesideName(folder, *file);
    std::optional<SaveJournal> kept = Write(folder, name, target, header);
    if (kept || errno == kHeldBySave || errno == kNoSharedMark) return kept;
    causes.push_back("beside the file " + Quoted(header.path) + ": " + WriteCause(errno, name));
  }
  SayOnce("saves in place are refused, since no journal can be kept: " + Joined(causes));
  errno = kNoJournalPlace;
  return std::nullopt;
}

std::optional<SaveJournal> SaveJournal::Write(const std::string& folder, const std::string& name, int target,
                                              const JournalHeader& header) {
  struct stat st {};
  // Killed saves' journals went first: one whose saver is at work holds
  // the file, and anything else there stays.
  if (::lstat(name.c_str(), &st) == 0) {
    errno = RecoverJournal(name, target) == Outcome::kLive ? kHeldBySave : EEXIST;
    return std::nullopt;
  }
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
  // Named only once whole, and never over a file that is there.
  bool named = false;
  if (kept && temporary->name.empty()) {
    named = NameSaveTemporary(journal.fd_, name);
  } else if (kept) {
    named = ::renameat2(AT_FDCWD, temporary->name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0;
    if (!named && (errno == EINVAL || errno == ENOSYS))
      named = ::link(temporary->name.c_str(), name.c_str()) == 0 && ::unlink(temporary->name.c_str()) == 0;
  }
  if (!named) {
    const int error = errno;
    if (!temporary->name.empty()) ::unlink(temporary->name.c_str());
    journal.Close();
    errno = error;
    return std::nullopt;
  }
  journal.name_ = name;
  journal.target_ = target;
  if (!SyncFolder(folder) || !journal.MarkShared()) {
    journal.Withdraw();
    return std::nullopt;
  }
  return journal;
}

bool SaveJournal::MarkShared() {
  if (!OthersMayWrite(target_)) return true;
  if (::fsetxattr(target_, kMarkName, name_.data(), name_.size(), XATTR_CREATE) != 0) {
    // Another save's, killed: it stays until the file is whole.
    if (errno == EEXIST) return true;
    if (errno == ENOTSUP) errno = kNoSharedMark;
    return false;
  }
  marked_ = true;
  // On the disk before the first byte of the file changes.
  return ::fsync(target_) == 0 || errno == EINVAL;
}

SaveJournal::SaveJournal(SaveJournal&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      target_(std::exchange(other.target_, -1)),
      marked_(std::exchange(other.marked_, false)),
      name_(std::exchange(other.name_, {})),
      old_size_(other.old_size_),
      content_at_(other.content_at_) {}

SaveJournal& SaveJournal::operator=(SaveJournal&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    target_ = std::exchange(other.target_, -1);
    marked_ = std::exchange(other.marked_, false);
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
  target_ = -1;
  marked_ = false;
  name_.clear();
  errno = error;
}

// The mark goes first: a journal left without one is dealt with all the same.
void SaveJournal::Drop() {
  const int error = errno;
  if (target_ >= 0) Unmark(target_, name_, true);
  if (!name_.empty()) RemoveJournal(name_);
  Close();
  errno = error;
}

void SaveJournal::Withdraw() {
  const int error = errno;
  if (marked_) Unmark(target_, name_, false);
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
  Withdraw();
  return true;
}

bool KilledSaveLeft(int fd) {
  for (const std::string& name : JournalsOf(fd, false)) {
    const int journal = OpenOwnFile(name);
    if (journal < 0) continue;
    const bool ended = ::flock(journal, LOCK_SH | LOCK_NB) == 0;
    ::close(journal);
    if (ended) return true;
  }
  return false;
}

bool SayIfMarkedTorn(int fd) {
  const std::optional<std::string> mark = MarkOf(fd);
  if (!mark) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return true;
  static std::mutex mutex;
  static std::set<std::pair<dev_t, ino_t>> said;
  const std::lock_guard guard(mutex);
  if (said.insert({st.st_dev, st.st_ino}).second)
    Say(Quoted(PathOf(fd)) + " may be torn: a save of it in place was killed part-way, and its journal " +
        Quoted(*mark) + " is one this run cannot reach (another user's, or another state folder's); it is read as "
        "it is");
  return true;
}

bool RecoverKilledSave(int fd) {
  for (const std::string& name : JournalsOf(fd, true))
    if (RecoverJournal(name, fd) == Outcome::kFailed) return false;
  return true;
}

size_t RecoverKilledSaves() {
  size_t dealt = 0;
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> folder = FoundStateFolder(kSavesFolder, state);
    if (!folder) {
      const int error = errno;
      // A folder that fails the checks is named; one never made is not.
      if (error == EPERM || error == ENOTDIR)
        Say("refused the " + std::string(state == StateFolder() ? "state " : "") + "folder " + Quoted(state) + ": " +
            FolderCause(error));
      continue;
    }
    DIR* dir = ::opendir(folder->c_str());
    if (!dir) continue;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(JoinPath(*folder, entry->d_name));
    ::closedir(dir);
    for (const std::string& name : names)
      if (RecoverJournal(name, -1) == Outcome::kDealt) ++dealt;
  }
  return dealt;
}

}  // namespace zv::platform
