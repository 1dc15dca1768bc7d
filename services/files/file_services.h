#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/deleted_file.h"
#include "platform/paths/file_save.h"
#include "platform/shell/shell.h"
#include "runtime/vm/vm.h"
#include "services/files/directory_listing.h"
#include "services/files/numbered_files.h"

namespace zv {

// What the file, directory and numbered-file commands keep for a program:
// the 32 file slots, the directory search and the shell that starts
// programs. One per process; the commands reach it through the Vm it is
// bound to.
class FileServices {
 public:
  explicit FileServices(platform::Shell& shell) : shell_(shell) {}
  FileServices(const FileServices&) = delete;
  FileServices& operator=(const FileServices&) = delete;

  // Lets the commands of `vm` reach these services (vm.files).
  void Bind(Vm& vm);

  // ---- What the runtime asks of the files -------------------------------------
  // True when the file, after the virtual-file lookup, opens for reading.
  bool FileExists(const std::string& name) const;
  // Closes every numbered file (their end-of-file flags cleared) and the
  // directory search, and lets every file deleted go: the display is being
  // taken down.
  void CloseNumberedFiles();
  // A slice of the program has run (a frame's work): files it deleted are
  // let go once a whole slice has passed since, unless a file deleted in
  // the same slice as they were is written anew (a save of several files
  // goes on); other files written anew keep no deletion. What the files
  // open and written anew hold is kept through a kill from now on.
  void FrameWorkDone();
  // Collects the programs started by the execute commands that have ended.
  void ReapFinishedChild() { shell_.ReapFinishedChildren(); }

  // ---- The commands' state --------------------------------------------------------
  files::NumberedFiles& Slots() { return slots_; }
  files::DirectorySearch& Search() { return search_; }
  platform::Shell& Shell() { return shell_; }
  // Holds a file the program deleted aside (platform/paths/deleted_file.h)
  // until it writes that name anew, or its frame's work is done
  // (FrameWorkDone), or it ends; one held before under that name goes.
  void Hold(platform::DeletedFile deleted);
  // The file `path` the program deleted and holds, opened to be written
  // anew as `name`: the new content takes that file's place in one step at
  // its close. Not open (errno set) where no file
  // deleted from `path` is held or the save cannot start, and then the
  // delete stands.
  files::OpenFile WriteAnew(const std::string& path, const std::string& name);
  // The path to open for a program's file name: the virtual-file lookup
  // (when a built game's records are present), then the path helper.
  std::string LookUpFile(std::string_view name) const;

 private:
  Vm* vm_ = nullptr;
  platform::Shell& shell_;
  files::NumberedFiles slots_;
  files::DirectorySearch search_;
  struct Held {
    platform::DeletedFile file;
    uint64_t slice = 0;  // the slice of the program it was deleted in
  };
  std::vector<Held> held_;
  uint64_t slice_ = 0;  // the slice running now, counted from the start
  // The slices whose deletions a file written anew in the slice running
  // now, or open at its start, keeps held.
  std::set<uint64_t> written_anew_;
};

// The file services of the machine; a command that runs without them is a
// fault of the set-up (error 10010).
FileServices& FilesOf(Vm& vm);

}  // namespace zv
