#pragma once

#include <string>
#include <vector>

namespace zv::files {

// Deletes everything inside `folder` that can be deleted (the folder itself
// stays). A link is removed, never followed, and the walk goes from each
// opened folder to the next, so a folder swapped for a link while it runs
// cannot lead it out of the tree. Files that cannot be deleted, or that the
// user may not write (read-only files), stay, and so do the folders that
// hold them.
void DeleteTreeContents(const std::string& folder);

// True when `folder` is one of `kept` or holds one of them, however either
// is spelled (links and ".." resolved). Folders that do not exist hold
// nothing.
bool HoldsAnyOf(const std::string& folder, const std::vector<std::string>& kept);

// A file found under a folder: its path as a directory pack names it
// ("sub\name.dat") and its path on this machine.
struct TreeFile {
  std::string packed_path;
  std::string native_path;
};
// The regular files under `folder`, each folder's entries in listing order
// with its subfolders walked where they come. Links to folders are not
// entered, so a link cannot lead the walk in a circle.
std::vector<TreeFile> ListTreeFiles(const std::string& folder);

}  // namespace zv::files
