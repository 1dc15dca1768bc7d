#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/kept_list.h"
#include "platform/paths/state_folder.h"

namespace zv::editor {

// Where a program with unsaved changes is kept when the editor ends without
// asking (a stop signal, a logout, a lost display): beside itself as
// NAME.kqa.autosave, or, where its folder takes no file, in the user's state
// folder (platform::StateFolder()/autosave), and where that takes none
// either, in the spare one (platform::SpareStateFolder()/autosave), under
// its name and a mark of its folder, so that programs of one name in two
// folders keep apart. No autosave is ever written over: where the name is
// taken (by an earlier end's autosave, or by the other tab's), the first
// free of NAME.kqa.autosave-2, -3, ... is taken.
std::string AutosaveBeside(const std::string& folder, const std::string& name);
std::string AutosaveInStateFolder(const std::string& folder, const std::string& name,
                                  const std::string& state = platform::StateFolder());

// An autosave that a running editor keeps a tab's text in, held for as
// long as the object lives (a shared lock on the file): another editor,
// which sees the lock, neither offers it as an ended editor's work nor
// deletes it. The lock goes with the process however it ends.
class HeldAutosave {
 public:
  explicit HeldAutosave(int fd) : fd_(fd) {}  // takes the descriptor
  HeldAutosave(HeldAutosave&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  HeldAutosave& operator=(HeldAutosave&& other) noexcept;
  HeldAutosave(const HeldAutosave&) = delete;
  HeldAutosave& operator=(const HeldAutosave&) = delete;
  ~HeldAutosave();

 private:
  int fd_ = -1;
};
// Whether another running editor holds the autosave at `path` (this one's
// own count too, but for those it holds through HeldAutosave objects it
// let go of).
bool HeldByAnotherEditor(const std::string& path);

// Writes `bytes` as a new autosave of the program `name` of `folder`,
// beside it, else in the state folder, else in the spare one, and holds it
// in `hold`; the path it took, or nothing (errno set). `not_beside` then
// says why it could not go beside the program.
std::optional<std::string> WriteAutosave(const std::string& folder, const std::string& name, std::string_view bytes,
                                         std::string* not_beside, std::optional<HeldAutosave>* hold);

// A short mark of a text (a folder, a path), the same in every run: what
// names the kept files of one folder apart from another's.
std::string TextMark(const std::string& text);
// Whether `path` lies in the autosaves of the state folder or the spare one.
bool IsInStateFolder(const std::string& path);
// What the state folder holds is offered only where it is the user's own,
// in the user's own folder, and a regular file; anything else there is
// named on standard error and refused.
bool OwnInStateFolder(const std::string& path);

// The autosaves of the program at `folder`/`name` that hold text its file
// does not, whatever the times of the files (all of them while it does not
// exist), newest first. Only the user's own regular files are offered; one
// in the state folder that is not, or in a folder others may write, is
// named and passed over.
std::vector<KeptFile> UnsavedAutosaves(const std::string& folder, const std::string& name);

}  // namespace zv::editor
