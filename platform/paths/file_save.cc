#include "platform/paths/file_save.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/paths/file_content.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/path_resolver.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_journal.h"
#include "platform/paths/save_temporary.h"
#include "platform/paths/test_stop.h"

namespace zv::platform {
namespace {

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinkHops = 40;

std::optional<std::string> ReadLink(const std::string& path) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < text.size()) return std::string(text.data(), static_cast<size_t>(n));
    text.resize(text.size() * 2);
  }
}

// Where new content waits when the file's own folder takes no new files.
std::string SpareFolder() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    bytes += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// An existing file a save may change: not while another program has it
// open for writing, and not before a save of it that was killed is undone.
bool ReadyToChange(const std::string& target) {
  int fd = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ETXTBSY;  // what cannot be opened fails later with its own cause
  RecoverKilledSave(fd);
  const bool ready = WaitForWriters(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return ready;
}

bool PublishNoReplace(const std::string& temp, const std::string& path) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a hard link fails as well
  // when the name is taken.
  if (::link(temp.c_str(), path.c_str()) != 0) return false;
  ::unlink(temp.c_str());
  return true;
}

// The umask as the system reports it; only where it does not (kernels
// before 4.7) is it set and put back, which another thread's new file could
// meet in between.
uint32_t ProcessUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return mask;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

uint32_t NewFileMode(uint32_t mode) {
  return mode & ~ProcessUmask() & 07777;
}

std::optional<std::string> FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    const auto target = ReadLink(current);
    if (!target || target->empty()) return current;
    current = (*target)[0] == '/' ? *target : JoinPath(FolderPart(current), *target);
  }
  errno = ELOOP;
  return std::nullopt;
}

std::optional<FileSave> FileSave::Begin(const std::string& path, ExistingFile existing, uint32_t new_mode) {
  if (path.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  // Folders that a built game carries exist for it: the first file saved
  // in one makes it on disk.
  if (!Paths().PrepareWrite(path)) return std::nullopt;
  FileSave save;
  save.path_ = path;
  save.existing_mode_ = existing;
  struct stat st;
  auto target = existing == ExistingFile::kNewName ? std::optional<std::string>(path) : FollowLinks(path);
  if (!target) return std::nullopt;
  save.target_ = std::move(*target);
  if (!save.Replaces()) {
    // A link to nothing is followed to make the file it names, as a
    // replacing save does, unless the name itself must be free; anything
    // already there is kept.
    if (::lstat(save.target_.c_str(), &st) == 0) {
      errno = EEXIST;
      return std::nullopt;
    }
  } else if (::stat(save.target_.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return std::nullopt;
    }
    // What the user may not write stays as it is (root may write anything).
    if (::faccessat(AT_FDCWD, save.target_.c_str(), W_OK, AT_EACCESS) != 0) return std::nullopt;
    if (!ReadyToChange(save.target_)) return std::nullopt;
    save.existing_ = st;
  } else if (errno != ENOENT) {
    return std::nullopt;
  }
  if (!save.OpenTemporary()) return std::nullopt;
  save.TakeIdentity(new_mode);
  return save;
}

bool FileSave::OpenTemporary() {
  auto temporary = MakeSaveTemporary(FolderPart(target_));
  // A file that may be written in a folder that takes no new files is
  // written in place, from new content complete elsewhere.
  const bool refused = errno == EACCES || errno == EPERM;
  if (!temporary && existing_ && existing_mode_ == ExistingFile::kReplace && refused) {
    temporary = MakeSaveTemporary(SpareFolder());
    in_place_ = temporary.has_value();
  }
  if (!temporary) return false;
  fd_ = temporary->fd;
  temp_ = std::move(temporary->name);
  return true;
}

// The new file takes the place of the old one only where it can be the
// same file to its other names and its owner: otherwise the old one is
// written in place.
void FileSave::TakeIdentity(uint32_t new_mode) {
  if (!existing_ || existing_mode_ == ExistingFile::kReplaceAsNew) {
    ::fchmod(fd_, NewFileMode(new_mode));
    return;
  }
  if (existing_->st_nlink > 1) in_place_ = true;
  if (in_place_) return;
  if ((existing_->st_uid != ::geteuid() || existing_->st_gid != ::getegid()) &&
      ::fchown(fd_, existing_->st_uid, existing_->st_gid) != 0) {
    in_place_ = true;
    return;
  }
  ::fchmod(fd_, existing_->st_mode & 07777);
}

FileSave::FileSave(FileSave&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      temp_(std::exchange(other.temp_, {})),
      fd_(std::exchange(other.fd_, -1)),
      existing_mode_(other.existing_mode_),
      existing_(other.existing_),
      in_place_(other.in_place_),
      folder_synced_(other.folder_synced_),
      kept_if_killed_(std::move(other.kept_if_killed_)),
      synced_(other.synced_) {}

FileSave& FileSave::operator=(FileSave&& other) noexcept {
  if (this != &other) {
    Abandon();
    path_ = std::move(other.path_);
    target_ = std::move(other.target_);
    temp_ = std::exchange(other.temp_, {});
    fd_ = std::exchange(other.fd_, -1);
    existing_mode_ = other.existing_mode_;
    existing_ = other.existing_;
    in_place_ = other.in_place_;
    folder_synced_ = other.folder_synced_;
    kept_if_killed_ = std::move(other.kept_if_killed_);
    synced_ = other.synced_;
  }
  return *this;
}

FileSave::~FileSave() { Abandon(); }

void FileSave::Abandon() {
  const int error = errno;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  kept_if_killed_.reset();
  errno = error;
}

bool FileSave::KeepIfKilled() {
  if (fd_ < 0 || in_place_) {
    errno = EINVAL;
    return false;
  }
  std::optional<ApartContent> content = ApartContent::Name(fd_, temp_, target_);
  if (!content) return false;
  temp_ = content->Hidden();
  kept_if_killed_ = std::move(content);
  return true;
}

bool FileSave::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  return WriteAll(fd_, bytes.data(), bytes.size());
}

bool FileSave::Write(std::string_view text) {
  return Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// The new content is complete: it is copied over the old, whose
// content a journal keeps until the new is synced in its place (see
// platform/paths/save_journal.h). The part past the old end goes first, so
// that a full disk stops the save before the old content is touched; the
// file is then cut back to its old size and the journal dropped.
bool FileSave::CopyInPlace() {
  const int out = ::open(target_.c_str(), O_RDWR | O_CLOEXEC);
  if (out < 0) return false;
  const bool ok = RewriteInPlace(out);
  int error = ok ? 0 : errno;
  if (::close(out) != 0 && ok) error = errno;
  errno = error;
  return error == 0;
}

bool FileSave::RewriteInPlace(int out) {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  const ContentLock rewriting(out, ContentLock::Kind::kRewriting);
  if (rewriting.Refused()) return false;
  const uint64_t new_size = static_cast<uint64_t>(st.st_size);
  std::optional<SaveJournal> journal = SaveJournal::Keep(out, target_, fd_, new_size);
  if (!journal) return false;
  const uint64_t old_size = journal->OldSize();
  if (new_size > old_size) {
    const uint64_t tail = new_size - old_size;
    if (CopyFileRange(fd_, old_size, out, old_size, tail) != static_cast<int64_t>(tail)) {
      const int error = errno;
      const bool cut = ::ftruncate(out, static_cast<off_t>(old_size)) == 0 && SyncFileData(out);
      if (cut) journal->Withdraw();
      errno = error;
      return false;
    }
  }
  const uint64_t head = std::min(old_size, new_size), half = head / 2 / kSavedPartSize * kSavedPartSize;
  StopHereForTests("rewriting");
  // In two halves, at a page, so that a test may stop the save where the
  // file holds some of each content, as a kill may leave it.
  bool copied = CopyFileRange(fd_, 0, out, 0, half) == static_cast<int64_t>(half);
  if (copied) {
    StopHereForTests("rewritten-half");
    copied = CopyFileRange(fd_, half, out, half, head - half) == static_cast<int64_t>(head - half);
  }
  if (!copied || ::ftruncate(out, static_cast<off_t>(new_size)) != 0 || !SyncFileData(out)) {
    const int error = errno;
    journal->PutBack(out);
    errno = error;
    return false;
  }
  journal->Drop();
  return true;
}

bool FileSave::Finish() {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  // A name a built game carries is the game's own from the moment the
  // file takes it: a save it could not record as such does not happen.
  if (!Paths().BeginPublish(path_, Replaces())) {
    Abandon();
    return false;
  }
  const bool ok = in_place_ ? CopyInPlace() : Publish();
  Abandon();
  if (ok) StopHereForTests("published");
  Paths().EndPublish(path_, ok);
  return ok;
}

// The complete content takes the file's place once it is synced, and the
// folder is synced after, so that a power cut leaves the old file or the
// new one, whole. The temporary stays open (and so locked, where it is
// named) until then; a descriptor of it is closed first, so that a file
// system that writes late reports a failed write now.
bool FileSave::Publish() {
  const int copy = ::dup(fd_);
  if (copy < 0 || ::close(copy) != 0 || (synced_ && !SyncFileData(fd_))) return false;
  const bool keep = !Replaces();
  // Content kept through a kill waits under a name other users reach in a
  // folder they may write: another file there now is not published, and
  // this content takes a name of its own again.
  if (kept_if_killed_ && !NameLeadsTo(temp_, fd_)) temp_.clear();
  if (temp_.empty() && keep) {
    if (!NameSaveTemporary(fd_, target_)) return false;
  } else {
    if (temp_.empty()) {
      auto named = NameSaveTemporaryIn(fd_, FolderPart(target_));
      if (!named) return false;
      temp_ = std::move(*named);
    }
    if (keep ? !PublishNoReplace(temp_, target_) : ::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    temp_.clear();
  }
  // The new name is there; a folder that cannot be synced still holds it.
  if (synced_ && folder_synced_) SyncFolder(FolderPart(target_));
  return true;
}

bool SaveFile(const std::string& path, std::span<const uint8_t> bytes, ExistingFile existing, uint32_t new_mode) {
  auto save = FileSave::Begin(path, existing, new_mode);
  return save && save->Write(bytes) && save->Finish();
}

bool SaveWorkFile(const std::string& path, std::span<const uint8_t> bytes) {
  auto save = FileSave::Begin(path);
  if (!save) return false;
  save->LeaveUnsynced();
  return save->Write(bytes) && save->Finish();
}

bool SaveFile(const std::string& path, std::string_view text, ExistingFile existing, uint32_t new_mode) {
  return SaveFile(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), existing, new_mode);
}

}  // namespace zv::platform
