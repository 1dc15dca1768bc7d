#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::platform {

struct JournalHeader;

// The old content of a file while a save rewrites it in place (a file with
// other names, or in a folder that takes no new files): kept whole and
// synced, with a hash of each part of the new content, before the first
// byte of the file changes, and dropped once the new content is in place
// and synced. It goes in the user's state folder (StateFolder()/saves),
// else in the spare state folder (SpareStateFolder()/saves), else beside the
// file under a hidden name, but only in a folder the user alone may write:
// a journal is trusted only where no one else could have put it. It is
// named for the file's identity (inode, birth, generation), which it
// follows whatever the file's names are now, and when its file system is
// mounted again under another device. A save that fails part-way
// puts the old content back at once; one that was killed leaves its
// journal, and the next open of the file, or the next start, undoes it
// (RecoverKilledSave) only where every part of the file is still the old or
// the new content of that save; what the file held is kept in the kept
// folder first (platform/paths/kept_folder.h), since another program may
// have written it. A file something else wrote since is left as it is, and
// the old content is kept beside it as NAME.kept (in the kept folder where
// that cannot be). A journal whose file is not found keeps the old content
// for a week, then gives it to the kept folder; recovery never deletes a
// journal before its old content is safe. The saver holds an exclusive
// flock on its journal, so that no one takes a live save for a killed one.
//
// Other users' runs (and runs under another state folder) cannot see the
// journal: a file other users may write (another's, or one its group or
// everyone may write, but for a group of the user's own name with no other
// member) is marked while it is rewritten, with an extended
// attribute (user.zentrovex.saving) naming the journal, set and synced
// before its first byte changes. The mark goes once the file is whole again
// (the save done, or undone by the journal it names); a reader that finds
// it after its own recovery says the file may be torn. Where the file
// system keeps no such mark, that save is refused (kNoSharedMark).
class SaveJournal {
 public:
  // Keeps the content of the file open as `target` (readable, named `path`)
  // before `new_content` (new_size bytes) is copied over it, and marks a
  // file others may write. Nothing (errno set) when the file must not be
  // touched: kHeldBySave when another save rewrites it now; kNoJournalPlace
  // where no journal can be kept anywhere (a file at its name that is none
  // of the user's journals included), and the run has said why;
  // kNoSharedMark. A journal a killed save of the file left is dealt with
  // first. `target` must stay open while the journal lives.
  static std::optional<SaveJournal> Keep(int target, const std::string& path, int new_content, uint64_t new_size);
  SaveJournal(SaveJournal&& other) noexcept;
  SaveJournal& operator=(SaveJournal&& other) noexcept;
  SaveJournal(const SaveJournal&) = delete;
  SaveJournal& operator=(const SaveJournal&) = delete;
  // A journal neither dropped nor put back stays for the next open.
  ~SaveJournal();

  uint64_t OldSize() const { return old_size_; }
  // The new content is in place and synced: the journal goes, and the
  // file's mark.
  void Drop();
  // The file holds its old content again (no byte of it was changed, or it
  // was cut back to it): the journal goes, and the mark this save set.
  void Withdraw();
  // Puts the old content back into `target` and syncs it; the journal goes
  // once it has. False (errno set) when it could not be put back: the
  // journal then stays for the next open.
  bool PutBack(int target);

 private:
  SaveJournal() = default;
  // Writes the journal as `name` in `folder`.
  static std::optional<SaveJournal> Write(const std::string& folder, const std::string& name, int target,
                                          const JournalHeader& header);
  void Close();
  // Marks the file `target_` when others may write it; false (errno set)
  // where it needs a mark that cannot be set.
  bool MarkShared();

  int fd_ = -1;
  int target_ = -1;      // the file, while it is marked
  bool marked_ = false;  // this save set the mark
  std::string name_;
  uint64_t old_size_ = 0;
  uint64_t content_at_ = 0;  // where the old content starts in the journal
};

// Undoes a save of the file open as `fd` that was killed mid-rewrite, when
// its journal is there and its saver has ended. True when the file is fit
// to read (no journal, a live saver's, or the killed save dealt with);
// false (errno set) when a killed save could not be undone. A journal
// beside the file in a folder others may write is passed over, and said so.
bool RecoverKilledSave(int fd);
// Whether a journal of the file open as `fd` is there whose saver has ended.
bool KilledSaveLeft(int fd);
// Says on standard error, once a run, that the file open as `fd` may be
// torn, where it bears the mark of a save in place whose journal this run
// could not deal with (another user's); whether it does.
bool SayIfMarkedTorn(int fd);
// The same for every journal in the state folders whose saver has ended,
// each onto the file it names, or onto that file under another name in
// its folder; how many were dealt with. Never waits.
size_t RecoverKilledSaves();

// Whether a name in a folder is one this system gives a journal beside its
// file, a deleted file it holds aside (platform/paths/deleted_file.h) or
// content written apart (platform/paths/apart_content.h): such files are
// no program's. Other names that begin alike are.
bool IsJournalName(std::string_view name);

}  // namespace zv::platform
