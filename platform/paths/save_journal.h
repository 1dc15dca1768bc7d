#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zv::platform {

// The old content of a file while a save rewrites it in place (a file with
// other names, or in a folder that takes no new files): kept whole and
// synced in the user's state folder (StateFolder()/saves, one journal a
// file, named for its device and inode) before the first byte of the file
// changes, and dropped once the new content is in place and synced. A save
// that fails part-way puts the old content back at once; one that was
// killed leaves its journal, and the next open of the file puts the old
// content back (RecoverKilledSave), so the file holds the old content or
// the new, whole. The saver holds an exclusive flock on its journal, so
// that no one takes a live save for a killed one.
class SaveJournal {
 public:
  // Keeps the content of the file open as `target` (readable, named
  // `path`); nothing (errno set) when it cannot be kept, and then the file
  // must not be touched. ETXTBSY when another save rewrites it now.
  static std::optional<SaveJournal> Keep(int target, const std::string& path);
  SaveJournal(SaveJournal&& other) noexcept;
  SaveJournal& operator=(SaveJournal&& other) noexcept;
  SaveJournal(const SaveJournal&) = delete;
  SaveJournal& operator=(const SaveJournal&) = delete;
  // A journal neither dropped nor put back stays for the next open.
  ~SaveJournal();

  uint64_t OldSize() const { return old_size_; }
  // The new content is in place and synced: the journal goes.
  void Drop();
  // Puts the old content back into `target` and syncs it; the journal goes
  // once it has. False (errno set) when it could not be put back: the
  // journal then stays for the next open.
  bool PutBack(int target);

 private:
  SaveJournal() = default;
  void Close();

  int fd_ = -1;
  std::string name_;
  uint64_t old_size_ = 0;
  uint64_t content_at_ = 0;  // where the old content starts in the journal
};

// Puts back the old content of a save of the file open as `fd` that was
// killed mid-rewrite, when its journal is there and its saver has ended.
// True when the file is whole (no journal, or the old content is back).
bool RecoverKilledSave(int fd);
// The same for every journal in the state folder whose saver has ended,
// each onto the file it names; how many were put back.
size_t RecoverKilledSaves();

}  // namespace zv::platform
