#include "services/files/directory_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "services/files/directory_listing.h"

namespace zv::files {
namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The entries of `folder` on disk and those a built game carries there.
std::optional<std::vector<DirectoryEntry>> EntriesOf(const std::string& folder, const CarriedLister& carried) {
  std::optional<std::vector<DirectoryEntry>> entries = ListDirectory(folder);
  const int error = errno;
  std::vector<DirectoryEntry> more = carried ? carried(folder) : std::vector<DirectoryEntry>();
  if (!entries && more.empty()) {
    errno = error;
    return std::nullopt;
  }
  if (!entries) entries.emplace();
  AddCarriedEntries(*entries, std::move(more));
  return entries;
}

void CollectFiles(const std::string& folder, const std::string& prefix, const std::vector<DirectoryEntry>& entries,
                  const CarriedLister& carried, TreeListing& out) {
  for (const DirectoryEntry& entry : entries) {
    if (IsDotEntry(entry.name)) continue;
    const std::string path = folder + "/" + entry.name;
    const std::string packed = prefix + entry.name;
    if (entry.directory) {
      if (entry.symbolic_link) continue;
      if (auto inner = EntriesOf(path, carried))
        CollectFiles(path, packed + "\\", *inner, carried, out);
      else
        out.unread.push_back({packed, errno});
      continue;
    }
    if (entry.carried) {
      out.files.push_back({packed, path});
      continue;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
      if (S_ISREG(st.st_mode)) out.files.push_back({packed, path});
    } else if (!(entry.symbolic_link && errno == ENOENT)) {
      out.unread.push_back({packed, errno});
    }
  }
}

}  // namespace

namespace {

std::vector<std::string> EntryNames(int folder_fd) {
  std::vector<std::string> names;
  const int listing_fd = ::dup(folder_fd);
  if (listing_fd < 0) return names;
  DIR* dir = ::fdopendir(listing_fd);
  if (!dir) {
    ::close(listing_fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir))
    if (!IsDotEntry(entry->d_name)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

void DeleteEntriesAt(int folder_fd) {
  for (const std::string& name : EntryNames(folder_fd)) {
    struct stat st;
    if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      // A file the user may not write stays, and so then does its folder.
      if (S_ISLNK(st.st_mode) || ::faccessat(folder_fd, name.c_str(), W_OK, AT_EACCESS) == 0)
        ::unlinkat(folder_fd, name.c_str(), 0);
      continue;
    }
    const int sub = ::openat(folder_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) continue;
    DeleteEntriesAt(sub);
    ::close(sub);
    ::unlinkat(folder_fd, name.c_str(), AT_REMOVEDIR);
  }
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace

void DeleteTreeContents(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  DeleteEntriesAt(fd);
  ::close(fd);
}

bool HoldsAnyOf(const std::string& folder, const std::vector<std::string>& kept) {
  const std::string real = RealPath(folder);
  if (real.empty()) return false;
  const std::string prefix = real == "/" ? real : real + "/";
  for (const std::string& k : kept) {
    const std::string kept_real = RealPath(k);
    if (kept_real.empty()) continue;
    if (kept_real == real || kept_real.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

std::optional<TreeListing> ListTreeFiles(const std::string& folder, const CarriedLister& carried) {
  auto entries = EntriesOf(folder, carried);
  if (!entries) return std::nullopt;
  TreeListing listing;
  CollectFiles(folder, "", *entries, carried, listing);
  return listing;
}

}  // namespace zv::files
