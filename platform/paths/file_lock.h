#pragma once

#include <sys/types.h>

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

  // False when the file could not be opened (errno says why), or another
  // program held its lock for ten seconds (errno kHeldBySave), or a stop
  // signal ended the wait (EINTR): the update then does not happen. A file
  // system without locks leaves it unguarded.
  bool Held() const { return fd_ >= 0; }
  // Whether the lock made the file, which was missing.
  bool MadeFile() const { return made_; }

 private:
  int fd_ = -1;
  bool made_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// The lock a program holds on a file it has open for writing, for as long
// as the file is open: saves of other programs onto that file wait briefly
// for it and then fail (WaitForWriters), rather than replace the file
// under the writer, whose later writes would then be lost. It is an
// advisory lock (flock), which other programs may honour too. Saves of
// the program itself go ahead, as they always did.
class WritingLock {
 public:
  WritingLock() = default;
  // Locks the file open as `fd`; where it cannot be locked (a file system
  // without locks) the file is written unguarded.
  explicit WritingLock(int fd);
  ~WritingLock();
  WritingLock(WritingLock&& other) noexcept;
  WritingLock& operator=(WritingLock&& other) noexcept;
  WritingLock(const WritingLock&) = delete;
  WritingLock& operator=(const WritingLock&) = delete;

 private:
  void Release();
  bool held_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// Before a save replaces or rewrites the file open as `fd`: waits briefly
// while another program has it open for writing (or is saving it); false,
// errno kHeldOpenForWriting, when it still has (EINTR when a stop signal
// ended the wait).
bool WaitForWriters(int fd);

// A lock that keeps the content of a file whole to its readers while it is
// rewritten in place: readers hold a shared one while they read, so that
// they see the old content or the new, never part of each; the save in
// place holds the exclusive one while it copies. These are record locks of
// the open file that took them (fcntl's open file description locks), apart
// from flock: no other open or close of the file lets one go. The program's
// own locks never wait for each other: its readers give way to its own
// rewrite while it copies and take their locks again after it, and a
// rewrite within its own rewrite takes nothing. The descriptor `fd` must
// stay open while the lock lives; where the file system has no record
// locks the file goes unguarded.
class ContentLock {
 public:
  enum class Kind { kReading, kRewriting };
  // A reader waits for a rewrite to end, at most ten seconds, and then
  // gives up (Refused, errno kHeldBySave) rather than read part of each
  // content; a rewrite waits a second for the readers (or another rewrite)
  // and then gives up (Refused, errno kHeldByReaders, or kHeldBySave). A
  // stop signal ends either wait at once (errno EINTR).
  ContentLock(int fd, Kind kind);
  ~ContentLock();
  ContentLock(ContentLock&& other) noexcept;
  ContentLock& operator=(ContentLock&& other) noexcept;
  ContentLock(const ContentLock&) = delete;
  ContentLock& operator=(const ContentLock&) = delete;

  bool Refused() const { return refused_; }
  // Whether another program held the file when the lock was asked for: a
  // rewrite may then have been killed meanwhile.
  bool Waited() const { return waited_; }

 private:
  void Release();
  // A reader's descriptor; a rewrite's where it holds the file's lock (not
  // within the program's own rewrite).
  int fd_ = -1;
  Kind kind_ = Kind::kReading;
  bool registered_ = false;  // among the program's own locks
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool refused_ = false;
  bool waited_ = false;
};

}  // namespace zv::platform
