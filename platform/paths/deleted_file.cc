#include "platform/paths/deleted_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/paths/failure_cause.h"
#include "platform/paths/journal_form.h"
#include "platform/paths/path_text.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr char kRecordsFolder[] = "deleted";
constexpr std::string_view kHiddenPrefix = ".zv-deleted-";
constexpr std::string_view kRecordMagic = "ZVDELET1";
constexpr size_t kMaxRecord = 2 * 65536;

// The identity by which a held file is named and checked.
std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<FileIdentity> identity = IdentityOf(fd);
  ::close(fd);
  return identity;
}

std::vector<uint8_t> RecordBytes(const std::string& path, const std::string& hidden) {
  std::vector<uint8_t> bytes(kRecordMagic.begin(), kRecordMagic.end());
  bytes.insert(bytes.end(), path.begin(), path.end());
  bytes.push_back(0);
  bytes.insert(bytes.end(), hidden.begin(), hidden.end());
  bytes.push_back(0);
  return bytes;
}

// The path and hidden name a record holds; nothing for a file that is none.
std::optional<std::pair<std::string, std::string>> ReadRecord(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kRecordMagic.size()) ||
      st.st_size > static_cast<off_t>(kMaxRecord))
    return std::nullopt;
  std::string text(static_cast<size_t>(st.st_size), '\0');
  if (!ReadExactly(fd, reinterpret_cast<uint8_t*>(text.data()), text.size(), 0) || !text.starts_with(kRecordMagic))
    return std::nullopt;
  const size_t path_end = text.find('\0', kRecordMagic.size());
  if (path_end == std::string::npos || text.back() != '\0') return std::nullopt;
  std::string path = text.substr(kRecordMagic.size(), path_end - kRecordMagic.size());
  std::string hidden = text.substr(path_end + 1, text.size() - path_end - 2);
  if (path.empty() || path[0] != '/' || FolderPart(hidden) != FolderPart(path) ||
      !IsDeletedFileName(hidden.substr(hidden.rfind('/') + 1)))
    return std::nullopt;
  return std::make_pair(std::move(path), std::move(hidden));
}

// Writes the record of `path` held as `hidden`, flocked; its descriptor
// and name, or -1 (errno set).
int WriteRecord(const FileIdentity& file, const std::string& path, const std::string& hidden, std::string& name) {
  int error = ENOENT;
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> folder = MakeStateFolder(kRecordsFolder, state);
    if (!folder) {
      error = errno;
      continue;
    }
    name = JoinPath(*folder, JournalName(file));
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = errno;
      continue;
    }
    if (::flock(fd, LOCK_EX) == 0 && WriteExactly(fd, RecordBytes(path, hidden), 0)) return fd;
    error = errno;
    ::unlink(name.c_str());
    ::close(fd);
  }
  errno = error;
  return -1;
}

// The held file of an ended program's record `name`, put back where its
// name is free; true when it came back.
bool PutBackRecorded(const std::string& name) {
  const int record = OpenOwnFile(name);
  if (record < 0) return false;
  bool back = false;
  const std::optional<std::pair<std::string, std::string>> held = ReadRecord(record);
  if (::flock(record, LOCK_EX | LOCK_NB) != 0) {
    // Its program holds it still.
  } else if (!held) {
    SayOnStandardError("refused " + Quoted(name) + ": it is no record of a deleted file");
  } else {
    const auto& [path, hidden] = *held;
    struct stat st {};
    const std::optional<FileIdentity> identity = IdentityOfPath(hidden);
    // Only the file the record was made for, and only the user's own.
    const bool ours = identity && JournalName(*identity) == name.substr(name.rfind('/') + 1) &&
                      ::lstat(hidden.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
    bool done = true;
    if (ours && ::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
      back = true;
      SayOnStandardError(Quoted(path) + " is back: the program that deleted it was killed before it wrote that "
                         "name anew or ended");
    } else if (ours && errno == EEXIST) {
      // A file has the name now: the delete stands.
      ::unlink(hidden.c_str());
    } else if (ours) {
      done = false;
      SayOnStandardError(Quoted(path) + " was deleted by a program that was killed before it ended, and could not "
                         "be put back (" + CauseOf(errno) + "): it waits as " + Quoted(hidden));
    }
    if (done) ::unlink(name.c_str());
  }
  ::close(record);
  return back;
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
  held.record_ = WriteRecord(*identity, held.path_, held.hidden_, held.record_name_);
  if (held.record_ < 0) return std::nullopt;
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
  return held;
}

DeletedFile::DeletedFile(DeletedFile&& other) noexcept
    : record_(std::exchange(other.record_, -1)),
      record_name_(std::move(other.record_name_)),
      path_(std::move(other.path_)),
      hidden_(std::exchange(other.hidden_, {})),
      inode_(other.inode_) {}

DeletedFile& DeletedFile::operator=(DeletedFile&& other) noexcept {
  if (this != &other) {
    Finish();
    record_ = std::exchange(other.record_, -1);
    record_name_ = std::move(other.record_name_);
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
  if (hidden_.empty()) {
    errno = ENOENT;
    return false;
  }
  if (::renameat2(AT_FDCWD, hidden_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) != 0) return false;
  Forget();
  return true;
}

void DeletedFile::Forget() {
  if (record_ >= 0) {
    ::unlink(record_name_.c_str());
    ::close(record_);
  }
  record_ = -1;
  hidden_.clear();
}

size_t PutBackKilledDeletes() {
  size_t back = 0;
  for (const std::string& state : StateFolders()) {
    const std::optional<std::string> folder = FoundStateFolder(kRecordsFolder, state);
    DIR* dir = folder ? ::opendir(folder->c_str()) : nullptr;
    if (!dir) continue;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(JoinPath(*folder, entry->d_name));
    ::closedir(dir);
    for (const std::string& name : names) back += PutBackRecorded(name) ? 1 : 0;
  }
  return back;
}

}  // namespace zv::platform
