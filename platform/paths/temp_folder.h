#pragma once

#include <cstddef>
#include <string>

namespace zv::platform {

// The process's own temporary folder, made under $TMPDIR (or /tmp) and
// removed with everything in it when the object goes, so two running games
// never share their work files.
//
// A process killed outright (SIGKILL, the out-of-memory killer) cannot remove
// its folder, so each folder says whether its owner still lives: the owner
// holds an exclusive flock on the folder itself for as long as the object
// lives, and marks the folder (its mode) only once it holds that lock.
// The kernel drops the lock when the owner ends, however it ends, so a
// marked folder whose lock can be taken belongs to nobody.
class TempFolder {
 public:
  TempFolder();
  // Under `base` instead of $TMPDIR.
  explicit TempFolder(const std::string& base);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // False when the folder could not be made; Path() is then empty.
  bool Valid() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const;
  // With `keep`, the folder stays should its owner be killed: it holds what
  // is kept nowhere else. (Its mark goes, so no later run takes it for one
  // left behind; the object still removes it.)
  void KeepAfterKill(bool keep);

 private:
  std::string path_;
  int lock_fd_ = -1;  // the folder, opened and flocked while it is ours
};

// Where temporary folders are made: $TMPDIR, or /tmp.
std::string TempFolderBase();

// Removes the temporary folders under `base` that runs which have ended
// left behind, and nothing else: a folder is removed only when its name is
// one TempFolder gives, it is a real folder (not a link) owned by this user,
// it bears the mark, and its owner's lock is free. A folder whose owner
// still runs (in this process, another, another user's or another PID
// namespace's) is kept, as is one whose lock cannot be tried. Returns how
// many were removed.
size_t RemoveStaleTempFolders(const std::string& base);

// Deletes `path` and, for a folder, everything beneath it. Symbolic links are
// removed, never followed.
void RemoveTree(const std::string& path);

}  // namespace zv::platform
