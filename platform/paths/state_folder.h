#pragma once

#include <optional>
#include <string>

namespace zv::platform {

// The folder where the system keeps what a user must not lose but never
// named: the old content of a file while it is saved in place, a program
// the editor could not save beside itself. $XDG_STATE_HOME/zentrovex, else
// ~/.local/state/zentrovex; made (with its parents, private to the user)
// by MakeStateFolder.
std::string StateFolder();
// `part` inside the state folder, made when missing; nothing (errno set)
// when it cannot be.
std::optional<std::string> MakeStateFolder(const std::string& part);

}  // namespace zv::platform
