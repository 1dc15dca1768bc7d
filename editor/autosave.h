#pragma once

#include <optional>
#include <string>

namespace zv::editor {

// Where a program with unsaved changes is kept when the editor is made to
// quit (a stop signal, a logout): beside itself as NAME.kqa.autosave, or,
// where its folder takes no file, in the user's state folder
// (platform::StateFolder()/autosave), under its name and a mark of its
// folder, so that programs of one name in two folders keep apart.
std::string AutosaveBeside(const std::string& folder, const std::string& name);
std::string AutosaveInStateFolder(const std::string& folder, const std::string& name);

// The autosave of the program at `folder`/`name` that is newer than the
// program (or whose program does not exist), beside it first; nothing when
// there is none.
std::optional<std::string> NewerAutosave(const std::string& folder, const std::string& name);

}  // namespace zv::editor
