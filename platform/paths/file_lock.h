#pragma once

#include <string>

namespace zv::platform {

// An exclusive lock on the file a name reaches, held while the object
// lives, for updates that read a small file, change it and save it again
// (INI files, the lists a built game keeps): two writers at once each see
// the other's change. The file is made empty when missing.
//
// A save replaces the file by a new one, so once the lock is held the name
// must still reach the locked file; otherwise another update came first and
// the lock is taken again on its file. The file itself is locked, not its
// folder, since a folder may be locked for another reason (a run's private
// folder is locked while the run lives). Each time round, another update
// has been made, so the loop ends once the others stop writing.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False when the file could not be opened (errno says why): the update
  // then goes unguarded, and most likely fails itself.
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace zv::platform
