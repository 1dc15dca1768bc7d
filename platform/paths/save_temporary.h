#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zv::platform {

// Where a save's new content waits until it is complete, so that a program
// that ends mid-save, however it ends, leaves nothing behind.
//
// Where the file system can, the content waits in a file with no name
// (O_TMPFILE): the system removes it with its last descriptor, even when the
// program is killed outright, and it is named only at the moment it takes
// the file's place. Elsewhere it waits under a name ".zv-save-XXXXXX" in the
// folder, and its owner holds an exclusive flock on it for as long as the
// descriptor lives: a file of that name whose lock is free was left by a
// program that ended mid-save, and the next temporary made in that folder
// removes it.
struct SaveTemporary {
  int fd = -1;       // open for reading and writing
  std::string name;  // empty while the file has none
};

// Makes a temporary in `folder` ("" for the working folder); nothing (errno
// set) when none can be made there.
std::optional<SaveTemporary> MakeSaveTemporary(const std::string& folder);
// The named form alone, as made where unnamed files are not to be had.
std::optional<SaveTemporary> MakeNamedSaveTemporary(const std::string& folder);

// Whether the name `path` leads to the file open as `fd` itself (a link is
// not followed): no other file has taken it.
bool NameLeadsTo(const std::string& path, int fd);

// Gives the unnamed temporary open as `fd` the name `path`, which must not
// exist (EEXIST): the file appears whole under that name, or not at all.
bool NameSaveTemporary(int fd, const std::string& path);
// The same under a fresh temporary name in `folder`, which it returns.
std::optional<std::string> NameSaveTemporaryIn(int fd, const std::string& folder);

// Removes from `folder` the named temporaries whose owners have ended: a
// file is removed only when it has the name form, is a regular file (not a
// link) of this user's, and its lock can be taken at once; it is removed
// while that lock is held, once its name is seen to lead to it still.
// Temporaries of earlier builds (".zv-write-XXXXXX", never locked) go once
// they have not changed for ten minutes. Returns how many were removed.
size_t RemoveEndedSaves(const std::string& folder);

}  // namespace zv::platform
