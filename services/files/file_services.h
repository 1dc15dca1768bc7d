#pragma once

#include <optional>
#include <string>
#include <string_view>

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
  // directory search, and lets the file deleted last go: the display is
  // being taken down.
  void CloseNumberedFiles();
  // Collects the programs started by the execute commands that have ended.
  void ReapFinishedChild() { shell_.ReapFinishedChildren(); }

  // ---- The commands' state --------------------------------------------------------
  files::NumberedFiles& Slots() { return slots_; }
  files::DirectorySearch& Search() { return search_; }
  platform::Shell& Shell() { return shell_; }
  // The file the program deleted last, held aside until it writes that name
  // anew, deletes another file or ends (platform/paths/deleted_file.h).
  std::optional<platform::DeletedFile>& LastDeleted() { return last_deleted_; }
  // A save of the file `path` the program deleted last, which takes that
  // file's place in one step once the new content is written; nothing
  // (errno set) where `path` is not that file or the save cannot start,
  // and then the delete stands.
  std::optional<platform::FileSave> WriteAnew(const std::string& path);
  // The path to open for a program's file name: the virtual-file lookup
  // (when a built game's records are present), then the path helper.
  std::string LookUpFile(std::string_view name) const;

 private:
  Vm* vm_ = nullptr;
  platform::Shell& shell_;
  files::NumberedFiles slots_;
  files::DirectorySearch search_;
  std::optional<platform::DeletedFile> last_deleted_;
};

// The file services of the machine; a command that runs without them is a
// fault of the set-up (error 10010).
FileServices& FilesOf(Vm& vm);

}  // namespace zv
