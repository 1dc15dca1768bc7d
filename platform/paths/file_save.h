#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/paths/apart_content.h"

namespace zv::platform {

// What a save does with a file that is already there.
enum class ExistingFile {
  kReplace,  // its content is replaced
  // A new file takes its place, the user's own with a new file's mode,
  // whatever the old one's owner and mode (a file the program deleted and
  // writes anew).
  kReplaceAsNew,
  kKeep,  // it stays as it is and the save fails (EEXIST)
  // The name itself must be free: anything there, a link to nothing too,
  // stays as it is and the save fails (EEXIST); no link is followed, so
  // the new file is made where the name says and nowhere else.
  kNewName
};

// One file being saved: every writer of the system saves through it. The
// content goes to a temporary file, which takes the file's place only once
// it is complete, so a save that fails or is given up leaves the earlier
// file (or no file) as it was; a program killed mid-save leaves no
// temporary behind either (platform/paths/save_temporary.h).
//
// A save changes the file its name reaches: a symbolic link is followed to
// the file it names, which keeps being a link. A file that also has other
// names (hard links), or whose owner the new file could not take, keeps its
// identity: once the new content is complete, and room for it is reserved,
// it is copied into the file in place. A file the user may not write is not
// replaced (EACCES), nor is a folder (EISDIR). A save that keeps an existing
// file (ExistingFile::kKeep) follows links too: a link to nothing makes the
// file it names. After a failure errno says why. The path helper hears of
// every save (PathResolver::PrepareWrite, BeginPublish and EndPublish),
// under the name the writer gave, and may refuse it.
class FileSave {
 public:
  // Nothing (errno set) when the save cannot start. `new_mode` is the mode a
  // new file gets, less the umask; a file replaced keeps its own.
  static std::optional<FileSave> Begin(const std::string& path, ExistingFile existing = ExistingFile::kReplace,
                                       uint32_t new_mode = 0666);
  FileSave(FileSave&& other) noexcept;
  FileSave& operator=(FileSave&& other) noexcept;
  FileSave(const FileSave&) = delete;
  FileSave& operator=(const FileSave&) = delete;
  // A save that was not finished leaves nothing behind.
  ~FileSave();

  // Where the content is written (a regular file open for reading and writing).
  int Fd() const { return fd_; }
  // Writes every byte; false (errno set) when they could not all be written.
  bool Write(std::span<const uint8_t> bytes);
  bool Write(std::string_view text);
  // Puts the content in place; false (errno set) when it could not be, and
  // then the earlier file is as it was.
  bool Finish();
  // The folder is not synced after this save, since the save that follows
  // at once under the same name syncs it: until then a power cut leaves
  // the name as it was, or this content whole (its data is synced first).
  void LeaveFolderToNextSave() { folder_synced_ = false; }
  // Neither the content nor the folder is synced: a work file that is read
  // back at once and goes with the process needs to outlive no power cut.
  void LeaveUnsynced() { synced_ = false; }

  // For a save that spans frames of a program (a file it writes anew): the
  // new content waits under a hidden name beside the file, recorded, so
  // that a program killed before the save is done leaves it for the next
  // start to keep and name (platform/paths/apart_content.h). False (errno
  // set) where that cannot be: the save goes on as it was.
  bool KeepIfKilled();

  // The file the save changes: the path with its symbolic links followed.
  const std::string& Target() const { return target_; }

 private:
  FileSave() = default;
  bool Replaces() const {
    return existing_mode_ == ExistingFile::kReplace || existing_mode_ == ExistingFile::kReplaceAsNew;
  }
  bool OpenTemporary();
  void TakeIdentity(uint32_t new_mode);
  bool CopyInPlace();
  bool RewriteInPlace(int out);
  bool Publish();
  void Abandon();

  std::string path_;  // as the writer named it
  std::string target_;
  std::string temp_;  // the temporary's name, empty while it has none
  int fd_ = -1;
  ExistingFile existing_mode_ = ExistingFile::kReplace;
  std::optional<struct stat> existing_;
  bool in_place_ = false;
  bool folder_synced_ = true;
  std::optional<ApartContent> kept_if_killed_;
  bool synced_ = true;
};

// Saves `bytes` as the whole file `path` through a FileSave.
bool SaveFile(const std::string& path, std::span<const uint8_t> bytes,
              ExistingFile existing = ExistingFile::kReplace, uint32_t new_mode = 0666);
bool SaveFile(const std::string& path, std::string_view text, ExistingFile existing = ExistingFile::kReplace,
              uint32_t new_mode = 0666);

// Saves `bytes` as the whole work file `path` of the process's own
// temporary folder (FileSave::LeaveUnsynced).
bool SaveWorkFile(const std::string& path, std::span<const uint8_t> bytes);

// The file that `path` names once its symbolic links are followed (the path
// itself when it is none); nothing (errno ELOOP) for a loop of links. A link
// to nothing gives the missing file it names.
std::optional<std::string> FollowLinks(const std::string& path);

// The mode a new file gets for `mode`: less the process's umask, read
// without changing it, so that a thread saving beside others never gives
// their new files a mode made without it.
uint32_t NewFileMode(uint32_t mode = 0666);

}  // namespace zv::platform
