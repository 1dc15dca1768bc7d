#pragma once

#include <string>
#include <string_view>

namespace zv {

// The names a built game has made its own on disk: files of names it
// carries that it has written, replaced, deleted or moved away. From then on
// the disk holds the truth about such a name, for every later run of the
// game and of later builds of it, so a game keeps its saves and a deleted
// name stays deleted. The list lives in the folder of the file (or, when
// that folder does not exist, in the nearest folder above it that does),
// one name a line, relative to that folder: it moves with the folder and
// the saves in it, and being hidden it never goes into a game that is built.
//
// Each line names the game it belongs to, then a tab, then the path, so two
// games in one folder each keep their own names: one game's deletion of
// "level.txt" leaves the other's carried copy alone. A game is known by the
// file name it runs under, which no other game in its folder can have. A
// line without a tab (as lists of earlier versions hold) counts for every
// game, and so does every line when the game has no name. A listed folder
// (the game deleted it) holds every name below it.
inline constexpr char kKeptListName[] = ".zentrovex-kept";

// True when the list of the file's folder, or of any folder above it, names
// the file (without regard to the case of ASCII letters) for `game`. `path`
// is a path of this machine, absolute or relative to the current folder.
bool IsKeptOnDisk(const std::string& path, std::string_view game);

// Adds the file, or folder, to the list of the nearest existing folder that
// holds it, for `game`. The list is read, changed and saved under a lock on it, so
// games that keep names at the same time lose none. False, with errno set,
// when the list cannot be written.
bool KeepOnDisk(const std::string& path, std::string_view game);

}  // namespace zv
