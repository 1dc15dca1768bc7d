#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "services/files/directory_listing.h"

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

// `folder` ("" for the working folder) with its links followed; "" when it
// cannot be had.
std::string RealFolder(const std::string& folder);
// Whether the file open as `fd`, opened by the name `path`, lies inside the
// folder `real_folder` (as RealFolder gives it): a link that led out of it
// did not.
bool OpenedInside(int fd, const std::string& path, const std::string& real_folder);

// A file found under a folder: its path as a directory pack names it
// ("sub\name.dat") and its path on this machine (for a file a built game
// carries, the path it would have on disk).
struct TreeFile {
  std::string packed_path;
  std::string native_path;
};
// What a walk found under a folder: the regular files, each folder's
// entries in listing order with its subfolders walked where they come, the
// entries it could not look into (a folder it may not list, an entry it may
// not see; EILSEQ for a name no pack gives back), each with its errno, and
// the folders beneath in which it found nothing (a pack holds files alone).
struct TreeListing {
  struct Unread {
    std::string packed_path;
    int error = 0;
  };
  std::vector<TreeFile> files;
  std::vector<Unread> unread;
  std::vector<std::string> empty_folders;  // packed paths
};
// The entries a built game carries in a folder (a path of this machine).
using CarriedLister = std::function<std::vector<DirectoryEntry>(const std::string& folder)>;
// Walks `folder`, with what `carried` adds to each folder of it; nothing
// (errno set) when the folder itself cannot be listed and carries nothing.
// Links to folders are not entered, so a link cannot lead the walk in a
// circle; links to nothing and what is not a file (a pipe, a device) are
// passed over.
std::optional<TreeListing> ListTreeFiles(const std::string& folder, const CarriedLister& carried = {});

}  // namespace zv::files
