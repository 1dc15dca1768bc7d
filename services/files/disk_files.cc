#include "services/files/disk_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths/file_content.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/file_read.h"
#include "platform/paths/file_save.h"
#include "platform/paths/save_journal.h"
#include "platform/paths/path_resolver.h"

namespace zv::files {
namespace {

constexpr size_t kCopyChunk = 64 * 1024;

// Opens with `flags` a file that must be a regular one.
UniqueFd OpenRegular(const std::string& path, int flags) { return UniqueFd(platform::OpenRegularFile(path, flags)); }

// Makes a file under the name `path` by `make`, which gives its descriptor,
// with the path helper told before and after.
template <class Make>
UniqueFd MakeUnder(const std::string& path, Make make) {
  const platform::PathResolver& paths = platform::Paths();
  if (!paths.PrepareWrite(path) || !paths.BeginPublish(path, false)) return UniqueFd();
  UniqueFd fd = make();
  paths.EndPublish(path, fd.Valid());
  return fd;
}

// The second half of a move by link or copy: the source goes, or else the
// new name does, so that the file is not left under both names.
bool RemoveMovedSource(const std::string& source, const std::string& destination) {
  if (::unlink(source.c_str()) == 0) return true;
  const int error = errno;
  ::unlink(destination.c_str());
  errno = error;
  return false;
}

}  // namespace

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

UniqueFd OpenForReading(const std::string& path) {
  UniqueFd fd = OpenRegular(path, O_RDONLY);
  if (fd.Valid() && !platform::LockForReading(fd.Get())) fd.Reset();
  return fd;
}

UniqueFd OpenOrCreateForReading(const std::string& path) {
  UniqueFd fd = OpenForReading(path);
  if (fd.Valid() || errno != ENOENT) return fd;
  return MakeUnder(path, [&] { return OpenRegular(path, O_RDONLY | O_CREAT); });
}

bool OpensForReading(const std::string& path) { return OpenRegular(path, O_RDONLY).Valid(); }

bool SyncWithFolder(int fd) {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path.data(), path.size());
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  const std::string folder = FolderOf(path);
  return platform::SyncFileData(fd) && platform::SyncFolder(folder.empty() ? "." : folder);
}

int64_t ReadFully(int fd, std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::read(fd, buffer.data() + done, buffer.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool WriteFully(int fd, std::span<const uint8_t> bytes, size_t* written) {
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put > 0) done += static_cast<size_t>(put);
    ok = put > 0;
  }
  if (written) *written = done;
  return ok;
}

std::optional<std::vector<uint8_t>> ReadToEnd(int fd) {
  // Not while another program rewrites the file in place.
  const std::optional<platform::ContentLock> reading = platform::LockForReading(fd);
  if (!reading) return std::nullopt;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> chunk(kCopyChunk);
  for (;;) {
    const int64_t got = ReadFully(fd, chunk);
    if (got < 0) return std::nullopt;
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    if (static_cast<size_t>(got) < chunk.size()) return bytes;
  }
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  UniqueFd fd = OpenForReading(path);
  if (!fd.Valid()) return std::nullopt;
  return ReadToEnd(fd.Get());
}

bool CopyFileNoReplace(const std::string& source, const std::string& destination,
                       std::optional<uint32_t> new_mode) {
  UniqueFd from = OpenForReading(source);
  struct stat st;
  if (!from.Valid() || ::fstat(from.Get(), &st) != 0) return false;
  const std::optional<platform::ContentLock> reading = platform::LockForReading(from.Get());
  if (!reading) return false;
  auto save = platform::FileSave::Begin(destination, platform::ExistingFile::kKeep,
                                        new_mode.value_or(st.st_mode & 0777));
  return save && platform::CopyFileContent(from.Get(), save->Fd(), platform::Holes::kKeep) && save->Finish();
}

namespace {

// Writes the byte at `position` when the file reaches that far.
bool PutByte(int fd, int64_t position, uint8_t value) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  if (position < 0 || position >= st.st_size) return true;
  for (;;) {
    const ssize_t put = ::pwrite(fd, &value, 1, position);
    if (put == 1) return true;
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    return false;
  }
}

}  // namespace

bool WriteByteInFile(const std::string& seen, const std::string& path, int64_t position, uint8_t value) {
  if (seen == path) {
    // Not under another program that has the file open for writing, and
    // kept from other programs' saves while it is changed, as an open
    // file to write is.
    UniqueFd fd = OpenRegular(path, O_WRONLY);
    if (!fd.Valid() || !platform::WaitForWriters(fd.Get())) return false;
    const platform::WritingLock writing(fd.Get());
    return PutByte(fd.Get(), position, value) && platform::SyncFileData(fd.Get());
  }
  UniqueFd from = OpenForReading(seen);
  if (!from.Valid()) return false;
  const std::optional<platform::ContentLock> reading = platform::LockForReading(from.Get());
  if (!reading) return false;
  auto save = platform::FileSave::Begin(path);
  return save && platform::CopyFileContent(from.Get(), save->Fd(), platform::Holes::kKeep) &&
         PutByte(save->Fd(), position, value) && save->Finish();
}

UniqueFd CreateNewFile(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return UniqueFd();
  }
  const auto target = platform::FollowLinks(path);
  if (!target) return UniqueFd();
  return MakeUnder(path,
                   [&] { return UniqueFd(::open(target->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)); });
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool DeleteUserFile(const std::string& path, std::optional<platform::DeletedFile>* hold) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISLNK(st.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (!platform::Paths().PrepareRemove(path)) return false;
  if (hold && S_ISREG(st.st_mode)) {
    if (std::optional<platform::DeletedFile> held = platform::DeletedFile::Take(path)) {
      *hold = std::move(held);
      return true;
    }
  }
  // Gone already: a built game kept a file of the player's it had stood
  // its own copy in front of, under another name.
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool MayRemoveFromFolder(const std::string& path) {
  std::string folder = FolderOf(path);
  if (folder.empty()) folder.push_back('.');
  struct stat file, dir;
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return false;
  if (::lstat(path.c_str(), &file) != 0 || ::stat(folder.c_str(), &dir) != 0) return true;
  const uid_t user = ::geteuid();
  return !(dir.st_mode & S_ISVTX) || user == 0 || user == file.st_uid || user == dir.st_uid;
}

namespace {

// A killed save of a file is undone before the file moves: its journal may
// be beside it, where the file's next open would no longer look.
bool SettleBeforeMove(const std::string& source) {
  const UniqueFd fd = OpenRegular(source, O_RDONLY);
  return !fd.Valid() || platform::RecoverKilledSave(fd.Get());
}

// The move itself, by rename, link, or copy and delete.
bool MoveByName(const std::string& source, const std::string& destination_named) {
  // A link to nothing at the new name is followed, as a save follows it.
  const auto followed = platform::FollowLinks(destination_named);
  if (!followed) return false;
  const std::string& destination = *followed;
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // No no-replace rename here: a hard link refuses a taken name.
    struct stat st;
    if (::lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      if (::stat(destination.c_str(), &st) == 0) return false;
      return ::rename(source.c_str(), destination.c_str()) == 0;
    }
    if (::link(source.c_str(), destination.c_str()) == 0) return RemoveMovedSource(source, destination);
  }
  if (errno != EXDEV) return false;
  // Across file systems a file is copied, then the source removed; a
  // folder is not moved there, and says so (EXDEV).
  struct stat st;
  if (::lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EXDEV;
    return false;
  }
  if (!CopyFileNoReplace(source, destination)) return false;
  return RemoveMovedSource(source, destination);
}

}  // namespace

bool MoveNoReplace(const std::string& source, const std::string& destination) {
  if (source.empty() || destination.empty()) return false;
  const platform::PathResolver& paths = platform::Paths();
  if (!SettleBeforeMove(source) || !paths.PrepareWrite(destination) || !paths.PrepareRemove(source) ||
      !paths.BeginPublish(destination, false))
    return false;
  const bool moved = MoveByName(source, destination);
  paths.EndPublish(destination, moved);
  return moved;
}

bool MakeFolders(const std::string& folder, std::vector<std::string>* made) {
  if (folder.empty()) return true;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::stat(part.c_str(), &st) != 0) {
      if (::mkdir(part.c_str(), 0777) == 0) {
        if (made) made->push_back(part);
      } else if (errno != EEXIST) {
        return false;
      }
    }
    if (slash == std::string::npos) break;
  }
  if (::stat(folder.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

void RemoveEmptyFolders(const std::vector<std::string>& made) {
  const int error = errno;
  for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());
  errno = error;
}

std::string FolderCause(const std::string& path, int error) {
  struct stat st;
  if (IsSymbolicLink(path) && ::stat(path.c_str(), &st) != 0) return "a symbolic link to nothing has that name";
  return CauseOf(error);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace zv::files
