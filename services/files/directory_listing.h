#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace zv::files {

// One entry of a folder as the directory commands see it.
struct DirectoryEntry {
  std::string name;
  bool directory = false;
  bool symbolic_link = false;  // the entry itself is a link
  std::time_t write_time = 0;
  uint64_t size = 0;
  bool carried = false;  // a name a built game carries, not on disk
};

// The entries of `folder` (a path of this machine), "." and ".." first, then
// the names in case-blind order (ties in byte order), so that what programs
// see does not depend on the file system. The system's own files there (a
// built game's kept list, journals of saves) are no program's, and are left
// out. Nothing when it cannot be read.
std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& folder);

// Adds to the listing `entries` those of `carried` (what a built game
// carries in the folder) that the disk does not hold, whatever their letter
// case, and sorts them in.
void AddCarriedEntries(std::vector<DirectoryEntry>& entries, std::vector<DirectoryEntry> carried);

// The walk of the working folder that the find commands share: one per
// program. Before any search, and once it has run out, the last result is
// -1; while an entry is current it is 0. The entry found last stays current
// after the search has run out.
class DirectorySearch {
 public:
  // Closes any open search and lists `folder`, with the entries `carried`
  // that a built game carries there (in the same order, a name once; the
  // disk's entry wins; a folder only the game carries lists them alone),
  // each name in the program's character set, in the spelling that opens
  // that entry again (see platform::ProgramNameOf). The system's own list of
  // a game's kept names is left out, and so is an entry whose name no
  // program text can spell (LeftOut() names them). False (and no search)
  // when the folder cannot be read.
  bool Open(std::vector<DirectoryEntry> carried = {}, const std::string& folder = ".");
  void Close();
  // Moves to the next entry; the last result becomes -1 when there is none.
  void Next();

  bool IsOpen() const { return open_; }
  int32_t LastResult() const { return last_result_; }
  // The current entry; null without a search, and once it has passed the
  // last entry.
  const DirectoryEntry* Current() const;
  // The names (the system's) that the last opening left out.
  const std::vector<std::string>& LeftOut() const { return left_out_; }

 private:
  bool open_ = false;
  int32_t last_result_ = -1;
  std::vector<DirectoryEntry> entries_;
  size_t position_ = 0;
  std::vector<std::string> left_out_;
};

// "Wed Jun 30 21:49:08 1993": the C library's date text of a time, in local
// time, without its line end.
std::string FormatEntryDate(std::time_t time);

}  // namespace zv::files
