#pragma once

#include <string>
#include <vector>

#include "services/files/directory_listing.h"

namespace zv {

class AttachedData;

// Removing and moving files that a built game carries. Once the game has
// deleted or moved away a name it carries, the carried copy must not come
// back under that name, in this run or a later one: the name is listed as
// the game's own beside the file before it goes (AttachedData::Removing, as
// the path helper's PrepareRemove does for every deletion and move). Names
// the game does not carry, and every name outside a built game, are plain
// files. Each returns false with errno set when it fails.

// True when `name` is one of the game's carried names.
bool IsCarried(const AttachedData* attached, const std::string& name);

// True when the game finds a file or a folder it carries under `name`.
bool CarriedPathExists(const AttachedData* attached, const std::string& name);

// True when `name` is a folder the game carries (and has not deleted).
bool IsCarriedFolder(const AttachedData* attached, const std::string& name);

// Makes the folder `name` on disk when it is one the game carries and the
// disk does not hold yet, so the game can go into it. False (errno set)
// when it is not, or cannot be made.
bool MakeCarriedFolder(const AttachedData* attached, const std::string& name);

// The entries the game carries in the folder `folder` (a path of this
// machine), for the directory listings: its folders, and the files the disk
// has not taken over, dated with the game's build.
std::vector<files::DirectoryEntry> CarriedEntries(const AttachedData* attached, const std::string& folder);

// Deletes the file the program calls `name`, which the game carries: what
// the disk holds under that name goes, and the carried copy with it.
bool DeleteCarriedFile(AttachedData& attached, const std::string& name);

// Moves the carried name `source` to `destination` (a new file; an existing
// one is kept and the move fails): the file the program sees under `source`,
// the carried copy or the disk's, goes to `destination`, and `source` is
// gone after.
bool MoveCarriedFile(AttachedData& attached, const std::string& source, const std::string& destination);

// Moves the folder `source`, which holds carried names, to `destination`
// (a new name): the carried files the game finds in it are put on disk
// first, so that they go with it, and nothing of it stays under `source`.
bool MoveCarriedFolder(AttachedData& attached, const std::string& source, const std::string& destination);

}  // namespace zv
