#include "platform/paths/deleted_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/held_record.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/path_text.h"
#include "platform/paths/test_stop.h"

namespace zv::platform {
namespace {

constexpr char kRecordsFolder[] = "deleted";
constexpr std::string_view kHiddenPrefix = ".zv-deleted-";
constexpr std::string_view kRecordMagic = "ZVDELET1";

// The held file of an ended program's record `name`, put back where its
// name is free; whether the record goes.
bool PutBackRecorded(const std::string& name, const std::vector<std::string>& fields) {
  // Only the file the record was made for, and only the user's own.
  const int fd = OpenHeldBeside(name, fields, IsDeletedFileName);
  if (fd < 0) return true;
  ::close(fd);
  const std::string& path = fields[0];
  const std::string& hidden = fields[1];
  if (::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    SayOnStandardError(Quoted(path) + " is back: the program that deleted it was killed before it wrote that "
                       "name anew");
  } else if (errno == EEXIST) {
    // A file has the name now: the delete stands.
    ::unlink(hidden.c_str());
  } else {
    SayOnStandardError(Quoted(path) + " was deleted by a program that was killed before it ended, and could not "
                       "be put back (" + CauseOf(errno) + "): it waits as " + Quoted(hidden));
    return false;
  }
  return true;
}

}  // namespace

bool IsDeletedFileName(std::string_view name) {
  return name.starts_with(kHiddenPrefix) && HasJournalNameForm(name.substr(kHiddenPrefix.size()));
}

std::optional<DeletedFile> DeletedFile::Take(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  const std::optional<FileIdentity> identity = IdentityOf(fd);
  const bool fit = identity && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                   st.st_uid == ::geteuid();
  ::close(fd);
  if (!fit) {
    errno = EPERM;
    return std::nullopt;
  }
  DeletedFile held;
  held.path_ = AbsolutePath(path);
  held.hidden_ = JoinPath(FolderPart(held.path_), std::string(kHiddenPrefix) + JournalName(*identity));
  held.inode_ = st.st_ino;
  // Where no record can be kept, the file is held by this run alone: it
  // still takes the new content's place in one step at its close.
  held.record_ = WriteHeldRecord(kRecordsFolder, kRecordMagic, *identity, {held.path_, held.hidden_});
  struct stat moved {};
  if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, held.hidden_.c_str(), RENAME_NOREPLACE) != 0) {
    const int error = errno;
    held.Forget();
    errno = error;
    return std::nullopt;
  }
  // Another file took the name meanwhile: it goes back, and the delete is done outright.
  if (::lstat(held.hidden_.c_str(), &moved) != 0 || moved.st_ino != held.inode_) {
    ::renameat2(AT_FDCWD, held.hidden_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    held.Forget();
    errno = EAGAIN;
    return std::nullopt;
  }
  StopHereForTests("held");
  return held;
}

DeletedFile::DeletedFile(DeletedFile&& other) noexcept
    : record_(std::exchange(other.record_, {})),
      path_(std::move(other.path_)),
      hidden_(std::exchange(other.hidden_, {})),
      inode_(other.inode_) {}

DeletedFile& DeletedFile::operator=(DeletedFile&& other) noexcept {
  if (this != &other) {
    Finish();
    record_ = std::exchange(other.record_, {});
    path_ = std::move(other.path_);
    hidden_ = std::exchange(other.hidden_, {});
    inode_ = other.inode_;
  }
  return *this;
}

DeletedFile::~DeletedFile() { Finish(); }

void DeletedFile::Finish() {
  const int error = errno;
  struct stat st {};
  // Only the file it held: a folder others may write could hold another there now.
  if (!hidden_.empty() && ::lstat(hidden_.c_str(), &st) == 0 && st.st_ino == inode_) ::unlink(hidden_.c_str());
  Forget();
  errno = error;
}

bool DeletedFile::TakenFrom(const std::string& path) const { return !hidden_.empty() && AbsolutePath(path) == path_; }

bool DeletedFile::PutBack() {
  struct stat st {};
  // Only the file it held: a folder others may write could hold another there now.
  if (hidden_.empty() || ::lstat(hidden_.c_str(), &st) != 0 || st.st_ino != inode_ || !S_ISREG(st.st_mode)) {
    errno = ENOENT;
    return false;
  }
  if (::renameat2(AT_FDCWD, hidden_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) != 0) return false;
  Forget();
  return true;
}

void DeletedFile::Forget() {
  RemoveHeldRecord(record_);
  hidden_.clear();
}

size_t PutBackKilledDeletes() { return SettleEndedRecords(kRecordsFolder, kRecordMagic, PutBackRecorded); }

}  // namespace zv::platform
