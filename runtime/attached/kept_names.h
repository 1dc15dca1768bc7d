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
// "level.txt" leaves the other's carried copy alone. A game is known by its
// program (the name of the source it was built from), so an update built
// under another file name keeps the names of the one before; lines that
// name the file a game runs under, as earlier versions wrote them, count for
// that game too. A line without a tab (as lists of earlier versions hold)
// counts for every game, and so does every line when the game has no name.
// A listed folder (the game deleted it) holds every name below it.
//
// Lines are only ever added, at the end, so keeping a name costs what one
// line costs however long the list is; what a process has read of a list
// it keeps, and reads again only what was added since.
inline constexpr char kKeptListName[] = ".zentrovex-kept";

// Who a game is in the lists: the name of its program, and the file name
// it runs under. Either may be empty; a line is the game's when it names
// either.
struct KeptGame {
  std::string program;
  std::string file;
};

// True when the list of the file's folder, or of any folder above it, names
// the file for `game`: without regard to the case of ASCII letters, or with
// `exact_case` only as spelled (for a name the game carries in two
// spellings). `path` is a path of this machine, absolute or relative to the
// current folder.
bool IsKeptOnDisk(const std::string& path, const KeptGame& game, bool exact_case = false);
bool IsKeptOnDisk(const std::string& path, std::string_view game);

// Adds the file, or folder, to the list of the nearest existing folder that
// holds it, for `game` (by its program's name when it has one). Done under
// a lock on the list, so games that keep names at the same time lose none.
// A name already listed for the game is not added again. False, with errno
// set, when the list cannot be written (a name with a line break cannot be
// listed: EINVAL); the list is then as it was.
bool KeepOnDisk(const std::string& path, const KeptGame& game, bool exact_case = false);
bool KeepOnDisk(const std::string& path, std::string_view game);

// Takes back the line KeepOnDisk added for `path` and `game` (a write that
// it was added for did not happen after all). The list is written anew,
// which is rare. False, with errno set, when it cannot be.
bool UnkeepOnDisk(const std::string& path, const KeptGame& game);

}  // namespace zv
