#include "services/files/disk_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace zv::files {
namespace {

constexpr size_t kCopyChunk = 64 * 1024;

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// A new file of a unique temporary name beside `path`, opened for writing.
UniqueFd MakeTemporaryBeside(const std::string& path, std::string* temp_path) {
  const std::string folder = FolderOf(path);
  std::string name = (folder.empty() ? std::string() : folder + "/") + ".zv-write-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return UniqueFd();
  *temp_path = std::move(name);
  return UniqueFd(fd);
}

// Gives the finished temporary file its name.
bool PublishTemporary(const std::string& temp, const std::string& path, Publish publish) {
  if (publish == Publish::kReplace) return ::rename(temp.c_str(), path.c_str()) == 0;
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a hard link fails as well
  // when the name is taken.
  if (::link(temp.c_str(), path.c_str()) != 0) return false;
  ::unlink(temp.c_str());
  return true;
}

// Opens with `flags` a file that must be a regular one.
UniqueFd OpenRegular(const std::string& path, int flags) {
  if (path.empty()) return UniqueFd();
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!fd.Valid()) return fd;
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  // Non-blocking only kept a FIFO from hanging the open; reads block as usual.
  ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
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

UniqueFd OpenForReading(const std::string& path) { return OpenRegular(path, O_RDONLY); }

UniqueFd OpenOrCreateForReading(const std::string& path) { return OpenRegular(path, O_RDONLY | O_CREAT); }

bool OpensForReading(const std::string& path) { return OpenForReading(path).Valid(); }

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

bool WriteFully(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

std::optional<std::vector<uint8_t>> ReadToEnd(int fd) {
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

bool WriteFileSafely(const std::string& path, std::span<const uint8_t> bytes, Publish publish,
                     uint32_t mode) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // A replaced file keeps its own permissions; a new one gets `mode` less the umask.
  mode_t permissions = static_cast<mode_t>(mode) & ~CurrentUmask();
  struct stat existing;
  if (publish == Publish::kReplace && ::stat(path.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode)) {
      errno = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    permissions = existing.st_mode & 07777;
  }
  std::string temp;
  UniqueFd fd = MakeTemporaryBeside(path, &temp);
  if (!fd.Valid()) return false;
  ::fchmod(fd.Get(), permissions);
  const bool written = WriteFully(fd.Get(), bytes);
  fd.Reset();
  if (!written || !PublishTemporary(temp, path, publish)) {
    const int error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  return true;
}

bool CopyFileNoReplace(const std::string& source, const std::string& destination) {
  struct stat st;
  if (::stat(destination.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  auto bytes = ReadWholeFile(source);
  if (!bytes) return false;
  uint32_t mode = 0666;
  if (::stat(source.c_str(), &st) == 0) mode = st.st_mode & 0777;
  return WriteFileSafely(destination, *bytes, Publish::kNoReplace, mode);
}

bool MoveNoReplace(const std::string& source, const std::string& destination) {
  if (source.empty() || destination.empty()) return false;
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
  // Across file systems a file is copied, then the original removed; a
  // folder is not moved there, and says so (EXDEV).
  struct stat st;
  if (::lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EXDEV;
    return false;
  }
  if (!CopyFileNoReplace(source, destination)) return false;
  return RemoveMovedSource(source, destination);
}

std::string CauseOf(int error_number) {
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::stat(part.c_str(), &st) != 0 && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      return false;
    if (slash == std::string::npos) break;
  }
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace zv::files
