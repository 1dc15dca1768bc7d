#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/paths/deleted_file.h"
#include "platform/paths/failure_cause.h"

// Whole-file operations on paths of this machine, for the file commands.
// Every write goes through platform::FileSave, so a failed write leaves the
// earlier file (or no file) in place, never a half-written one; what makes
// or moves a file otherwise tells the path helper as a save does. After a
// failure errno tells why.
namespace zv::files {

// An owned file descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// Opens an existing regular file for reading (a folder does not count),
// once it is whole (platform::LockForReading: a killed save of it undone, a
// rewrite waited for); invalid (errno set) otherwise. Whoever reads it
// takes that lock again while reading.
UniqueFd OpenForReading(const std::string& path);
// Whether a regular file of that name opens, without waiting for anything.
bool OpensForReading(const std::string& path);
// The same, creating an empty file when none exists.
UniqueFd OpenOrCreateForReading(const std::string& path);

// Reads the whole file under the reader's lock; nothing (errno set) when
// it cannot be opened or read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);
std::optional<std::vector<uint8_t>> ReadToEnd(int fd);

// Syncs the file open as `fd` and the folder that holds it, so that it
// stays, under its name, after a power cut; false (errno set) when either
// could not be synced.
bool SyncWithFolder(int fd);

// Reads exactly `buffer.size()` bytes or up to the end; -1 on a failed read.
int64_t ReadFully(int fd, std::span<uint8_t> buffer);
// Writes every byte; false on a failed write. `written`, when given, gets
// how many were written.
bool WriteFully(int fd, std::span<const uint8_t> bytes, size_t* written = nullptr);

// Copies a regular file to a new name, a block at a time; fails when the
// destination exists, and then leaves no copy. The copy gets `new_mode` less
// the umask, the source's mode when none is given.
bool CopyFileNoReplace(const std::string& source, const std::string& destination,
                       std::optional<uint32_t> new_mode = std::nullopt);
// Changes the byte at `position` of the file `path` in place, so that memory
// does not grow with the file; a position outside the file changes nothing.
// `seen` is the file a program reads under that name: where it is another
// (one a built game carries), `path` is saved first as a copy of it.
bool WriteByteInFile(const std::string& seen, const std::string& path, int64_t position, uint8_t value);
// Creates the file `path` for writing; fails when something of that name
// exists (EEXIST). A link to nothing is followed to make the file it names,
// as a save follows it.
UniqueFd CreateNewFile(const std::string& path);
// True when `path` names a symbolic link, whether or not it leads anywhere.
bool IsSymbolicLink(const std::string& path);
// Deletes a file as its user may: one the user may not write stays (EACCES);
// a symbolic link goes itself, not what it names. With `hold`, a file that
// can be is held aside there instead (platform/paths/deleted_file.h).
bool DeleteUserFile(const std::string& path, std::optional<platform::DeletedFile>* hold = nullptr);
// True when the user may take the file out of its folder: the folder may
// be written, and its sticky bit (as on /tmp) does not keep others' files.
bool MayRemoveFromFolder(const std::string& path);
// Renames a file or folder; fails when the destination exists (a link to
// nothing there is followed to the name it gives). A file moves
// between file systems by copy and delete; when the source cannot be deleted
// the copy is, and the move fails with the source in place. A killed save
// of the file is undone first (the move fails where it cannot be).
bool MoveNoReplace(const std::string& source, const std::string& destination);

// The cause in a failure's message ("no space left on device").
using platform::CauseOf;

// Makes every folder of `folder` that is missing; true when it exists after.
// `made`, when given, gets each folder it made, outermost first.
bool MakeFolders(const std::string& folder, std::vector<std::string>* made = nullptr);
// Removes the folders of `made` (as MakeFolders gives them) that are empty,
// innermost first: what an unpack made for files it could not write.
void RemoveEmptyFolders(const std::vector<std::string>& made);
// Why the folder `path` could not be made, after the errno value `error`: a
// symbolic link to nothing of that name is named as such (folders are never
// made through links), where the system would say only "file exists".
std::string FolderCause(const std::string& path, int error);
// The folder part of a path of this machine ("" when it has none).
std::string FolderOf(const std::string& path);

}  // namespace zv::files
