#include "platform/paths/save_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/paths/file_content.h"
#include "platform/paths/file_lock.h"
#include "platform/paths/path_text.h"
#include "platform/paths/save_temporary.h"
#include "platform/paths/state_folder.h"

namespace zv::platform {
namespace {

constexpr char kSavesFolder[] = "saves";
constexpr std::array<char, 8> kMagic = {'Z', 'V', 'S', 'A', 'V', 'E', 'J', '2'};
constexpr size_t kIdentityBytes = 8 + 8 + 8 + 4 + 4;
constexpr size_t kFixedHeader = kMagic.size() + kIdentityBytes + 8 + 4;
constexpr uint32_t kMaxPath = 65536;
// A journal whose file no longer has its name (deleted, or replaced by
// another) is kept this long for whoever may still look for the old
// content, then swept.
constexpr time_t kOrphanSeconds = 7 * 24 * 60 * 60;

// Which file a journal belongs to. An inode number is given to a new file
// once the old one is deleted, so the file's birth time and generation
// (where the file system keeps them; 0 elsewhere) tell the two apart.
struct Identity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t born_seconds = 0;
  uint32_t born_nanoseconds = 0;
  uint32_t generation = 0;
  bool operator==(const Identity&) const = default;
};

std::optional<Identity> IdentityOf(int fd) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) return std::nullopt;
  Identity id;
  id.device = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
  id.inode = sx.stx_ino;
  if (sx.stx_mask & STATX_BTIME) {
    id.born_seconds = sx.stx_btime.tv_sec;
    id.born_nanoseconds = sx.stx_btime.tv_nsec;
  }
  int generation = 0;
  if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0) id.generation = static_cast<uint32_t>(generation);
  return id;
}

// What a journal's header says.
struct Header {
  Identity file;
  uint64_t old_size = 0;
  std::string path;
  uint64_t content_at = 0;
};

void PutNumber(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetNumber(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{in[i]} << (8 * i);
  return value;
}

std::vector<uint8_t> HeaderBytes(const Header& header) {
  std::vector<uint8_t> out(kMagic.begin(), kMagic.end());
  PutNumber(out, header.file.device, 8);
  PutNumber(out, header.file.inode, 8);
  PutNumber(out, static_cast<uint64_t>(header.file.born_seconds), 8);
  PutNumber(out, header.file.born_nanoseconds, 4);
  PutNumber(out, header.file.generation, 4);
  PutNumber(out, header.old_size, 8);
  PutNumber(out, header.path.size(), 4);
  out.insert(out.end(), header.path.begin(), header.path.end());
  return out;
}

bool ReadAt(int fd, uint8_t* out, size_t size, off_t at) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<size_t>(got);
    at += got;
  }
  return true;
}

bool WriteAt(int fd, const std::vector<uint8_t>& bytes, off_t at) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// The header of a journal whose whole old content is there; nothing for a
// file that is no journal.
std::optional<Header> ReadHeader(int fd) {
  std::array<uint8_t, kFixedHeader> fixed{};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !ReadAt(fd, fixed.data(), fixed.size(), 0) ||
      std::memcmp(fixed.data(), kMagic.data(), kMagic.size()) != 0)
    return std::nullopt;
  Header header;
  const uint8_t* at = fixed.data() + kMagic.size();
  header.file.device = GetNumber(at, 8);
  header.file.inode = GetNumber(at + 8, 8);
  header.file.born_seconds = static_cast<int64_t>(GetNumber(at + 16, 8));
  header.file.born_nanoseconds = static_cast<uint32_t>(GetNumber(at + 24, 4));
  header.file.generation = static_cast<uint32_t>(GetNumber(at + 28, 4));
  header.old_size = GetNumber(at + kIdentityBytes, 8);
  const uint64_t path_size = GetNumber(at + kIdentityBytes + 8, 4);
  if (path_size > kMaxPath) return std::nullopt;
  header.path.resize(path_size);
  if (path_size > 0 && !ReadAt(fd, reinterpret_cast<uint8_t*>(header.path.data()), path_size, kFixedHeader))
    return std::nullopt;
  header.content_at = kFixedHeader + path_size;
  if (static_cast<uint64_t>(st.st_size) != header.content_at + header.old_size) return std::nullopt;
  return header;
}

// The path as the startup sweep can open it from any working folder.
std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return JoinPath(cwd.data(), path);
}

std::string JournalName(const std::string& folder, const Identity& file) {
  const uint64_t device = file.device, inode = file.inode;
  char name[48];
  std::snprintf(name, sizeof name, "%llx-%llx", static_cast<unsigned long long>(device),
                static_cast<unsigned long long>(inode));
  return JoinPath(folder, name);
}

bool JournalNamed(int fd, const std::string& path) {
  struct stat own {}, named {};
  return ::fstat(fd, &own) == 0 && ::lstat(path.c_str(), &named) == 0 && own.st_dev == named.st_dev &&
         own.st_ino == named.st_ino;
}

// Copies the journal's old content back over the file and syncs it.
bool CopyBack(int journal, const Header& header, int target) {
  const ContentLock rewriting(target, ContentLock::Kind::kRewriting);
  return CopyFileRange(journal, header.content_at, target, 0, header.old_size) ==
             static_cast<int64_t>(header.old_size) &&
         ::ftruncate(target, static_cast<off_t>(header.old_size)) == 0 && SyncFileData(target);
}

// Not synced: a journal that a power cut brings back puts back the old
// content, which is whole too.
void RemoveJournal(const std::string& name) { ::unlink(name.c_str()); }

// Puts back the journal `name` when its saver has ended. `target`, when
// given (>= 0), is the file it must belong to; otherwise the file its
// header names is opened, and a journal whose file is no longer there under
// that name goes once it is old. True when it was put back.
bool RecoverJournal(const std::string& name, int target) {
  const int journal = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (journal < 0) return false;
  bool recovered = false;
  if (::flock(journal, LOCK_EX | LOCK_NB) == 0 && JournalNamed(journal, name)) {
    const std::optional<Header> header = ReadHeader(journal);
    const int own = header && target < 0 ? ::open(header->path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    const int file = target >= 0 ? target : own;
    const std::optional<Identity> found = file >= 0 ? IdentityOf(file) : std::nullopt;
    if (header && found && *found == header->file) {
      recovered = CopyBack(journal, *header, file);
      if (recovered) RemoveJournal(name);
    } else if (header && found && found->device == header->file.device && found->inode == header->file.inode) {
      // The inode is another file's now: the journal's file is gone for good.
      RemoveJournal(name);
    } else if (target < 0 && (own >= 0 || errno == ENOENT)) {
      struct stat st {};
      if (::fstat(journal, &st) == 0 && ::time(nullptr) - st.st_mtime > kOrphanSeconds) RemoveJournal(name);
    }
    if (own >= 0) ::close(own);
  }
  ::close(journal);
  return recovered;
}

}  // namespace

std::optional<SaveJournal> SaveJournal::Keep(int target, const std::string& path) {
  struct stat st {};
  const std::optional<Identity> file = IdentityOf(target);
  if (!file || ::fstat(target, &st) != 0) return std::nullopt;
  const std::optional<std::string> folder = MakeStateFolder(kSavesFolder);
  if (!folder) return std::nullopt;
  const std::string name = JournalName(*folder, *file);
  // A journal left by a killed save of this file goes first.
  if (::access(name.c_str(), F_OK) == 0) RecoverJournal(name, target);
  std::optional<SaveTemporary> temporary = MakeSaveTemporary(*folder);
  if (!temporary) return std::nullopt;
  SaveJournal journal;
  journal.fd_ = temporary->fd;
  journal.old_size_ = static_cast<uint64_t>(st.st_size);
  const Header header{*file, journal.old_size_, AbsolutePath(path), 0};
  const std::vector<uint8_t> head = HeaderBytes(header);
  journal.content_at_ = head.size();
  const bool kept = ::flock(journal.fd_, LOCK_EX) == 0 && WriteAt(journal.fd_, head, 0) &&
                    CopyFileRange(target, 0, journal.fd_, head.size(), journal.old_size_) ==
                        static_cast<int64_t>(journal.old_size_) &&
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
  if (!SyncFolder(*folder)) {
    journal.name_ = name;
    journal.Drop();
    return std::nullopt;
  }
  journal.name_ = name;
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
  const Header header{{}, old_size_, {}, content_at_};
  if (fd_ < 0 || !CopyBack(fd_, header, target)) return false;
  Drop();
  return true;
}

bool RecoverKilledSave(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return true;
  const std::string name = JournalName(JoinPath(StateFolder(), kSavesFolder), {st.st_dev, st.st_ino});
  if (::access(name.c_str(), F_OK) != 0) return true;
  // A live save of the file holds its journal: the reader's lock then waits
  // for it to end.
  const int journal = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (journal >= 0) {
    const bool live = ::flock(journal, LOCK_SH | LOCK_NB) != 0;
    ::close(journal);
    if (live) return true;
  }
  const int writable = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_CLOEXEC);
  if (writable < 0) return false;
  const bool recovered = RecoverJournal(name, writable);
  ::close(writable);
  return recovered;
}

size_t RecoverKilledSaves() {
  const std::string folder = JoinPath(StateFolder(), kSavesFolder);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(JoinPath(folder, entry->d_name));
  ::closedir(dir);
  size_t recovered = 0;
  for (const std::string& name : names)
    if (RecoverJournal(name, -1)) ++recovered;
  return recovered;
}

}  // namespace zv::platform
