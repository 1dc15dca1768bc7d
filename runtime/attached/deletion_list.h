#pragma once

#include <string>

namespace zv {

// A built game that deletes a file it carries must not find the carried copy
// again, in this run or a later one. The deletion is kept in a small list of
// that name in the folder the file was in (or, when that folder does not
// exist, in the nearest folder above it that does), one path per line,
// relative to the list's folder. The list moves with the folder and the
// saves in it, and being hidden it never goes into a game that is built.
inline constexpr char kDeletionListName[] = ".zentrovex-deleted";

// True when the list of the file's folder, or of any folder above it, names
// the file (without regard to the case of ASCII letters). `path` is a path of
// this machine, absolute or relative to the current folder.
bool IsListedAsDeleted(const std::string& path);

// Adds the file to the list of the nearest existing folder that holds it,
// replacing the list whole. False, with errno set, when the list cannot be
// written.
bool ListAsDeleted(const std::string& path);

}  // namespace zv
