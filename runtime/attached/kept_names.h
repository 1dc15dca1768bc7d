#pragma once

#include <string>

namespace zv {

// The names a built game has made its own on disk: files of names it
// carries that it has written, replaced, deleted or moved away. From then on
// the disk holds the truth about such a name, for every later run of the
// game and of later builds of it, so a game keeps its saves and a deleted
// name stays deleted. The list lives in the folder of the file (or, when
// that folder does not exist, in the nearest folder above it that does),
// one path per line, relative to that folder: it moves with the folder and
// the saves in it, and being hidden it never goes into a game that is built.
inline constexpr char kKeptListName[] = ".zentrovex-kept";

// True when the list of the file's folder, or of any folder above it, names
// the file (without regard to the case of ASCII letters). `path` is a path of
// this machine, absolute or relative to the current folder.
bool IsKeptOnDisk(const std::string& path);

// Adds the file to the list of the nearest existing folder that holds it,
// replacing the list whole. False, with errno set, when the list cannot be
// written.
bool KeepOnDisk(const std::string& path);

}  // namespace zv
