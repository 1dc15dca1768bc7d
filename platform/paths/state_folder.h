#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zv::platform {

// The folder where the system keeps what a user must not lose but never
// named: the old content of a file while it is saved in place, a program
// the editor could not save beside itself. $XDG_STATE_HOME/zentrovex, else
// .local/state/zentrovex in the home folder of the user's own passwd entry
// (never $HOME, which may name a folder other users share); "" when the
// user has neither.
std::string StateFolder();
// The folder of the user's settings (the registry, the user's state file):
// $XDG_CONFIG_HOME/zentrovex, else .config/zentrovex in $HOME, else in the
// home folder of the user's passwd entry; relative to the current folder
// only when the user has no home at all.
std::string ConfigFolder();
// Where saves in place keep their journals, and recovery what it sets
// aside, when the state folder cannot be had (no home folder, one that
// cannot be written or is full): /var/tmp/zentrovex-UID, the user's own
// folder in the system's temporary area, which a reboot keeps.
std::string SpareStateFolder();
// The state folder, then the spare one: where journals are looked for.
std::vector<std::string> StateFolders();
// `part` inside the folder `state` (the state folder, or the spare one),
// made when missing (private to the user) and checked: `state` and `part`
// must be folders (not links) of the user's own that no one else may
// write; `part` (one name) is made only once `state` passed. Nothing
// (errno set) when it cannot be made or fails a check.
std::optional<std::string> MakeStateFolder(const std::string& part, const std::string& state = StateFolder());
// `part` inside `state` when it is there and passes those checks; nothing
// otherwise (nothing is made).
std::optional<std::string> FoundStateFolder(const std::string& part, const std::string& state = StateFolder());

// Whether `path` is a folder (not a link) of the user's own that no one
// else may write; false (errno set) otherwise: EPERM for another's folder
// or one others may write, ENOTDIR for no folder.
bool IsOwnFolder(const std::string& path);

// Opens the file `path` in a checked folder for reading (`flags` adds to
// O_RDONLY) when it is a regular file of the user's own that no one else
// may write, never following a link nor waiting on a pipe; -1 (errno set)
// otherwise: EPERM for another's file or one others may write, EINVAL for
// a link, pipe, device or folder.
int OpenOwnFile(const std::string& path, int flags = 0);

}  // namespace zv::platform
