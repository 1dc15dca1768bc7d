#include "services/files/directory_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "services/files/directory_listing.h"
#include "services/files/file_formats.h"

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
    const std::optional<std::string> name = PackedName(entry.name);
    const std::string packed = prefix + name.value_or(entry.name);
    if (!name) {
      // It would come back under another name.
      out.unread.push_back({packed, EILSEQ});
      continue;
    }
    if (entry.directory) {
      if (entry.symbolic_link) continue;
      auto inner = EntriesOf(path, carried);
      if (!inner) {
        out.unread.push_back({packed, errno});
        continue;
      }
      const size_t found = out.files.size() + out.unread.size() + out.empty_folders.size();
      CollectFiles(path, packed + "\\", *inner, carried, out);
      if (out.files.size() + out.unread.size() + out.empty_folders.size() == found)
        out.empty_folders.push_back(packed);
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

// Whether `real`, a path with its links followed, is `real_folder` or lies in it.
bool InOrIs(const std::string& real, const std::string& real_folder) {
  if (real.empty() || real_folder.empty()) return false;
  const std::string prefix = real_folder == "/" ? real_folder : real_folder + "/";
  return real == real_folder || real.compare(0, prefix.size(), prefix) == 0;
}

bool HoldsAnyOf(const std::string& folder, const std::vector<std::string>& kept) {
  const std::string real = RealPath(folder);
  for (const std::string& k : kept)
    if (InOrIs(RealPath(k), real)) return true;
  return false;
}

std::string RealFolder(const std::string& folder) { return RealPath(folder.empty() ? "." : folder); }

bool OpenedInside(int fd, const std::string& path, const std::string& real_folder) {
  // What was opened, wherever its name led meanwhile; by its name where
  // the system does not say.
  std::string opened(4096, '\0');
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), opened.data(), opened.size());
  opened = n > 0 && static_cast<size_t>(n) < opened.size() ? opened.substr(0, static_cast<size_t>(n)) : RealPath(path);
  return InOrIs(opened, real_folder) && opened != real_folder;
}

std::optional<TreeListing> ListTreeFiles(const std::string& folder, const CarriedLister& carried) {
  auto entries = EntriesOf(folder, carried);
  if (!entries) return std::nullopt;
  TreeListing listing;
  CollectFiles(folder, "", *entries, carried, listing);
  return listing;
}

}  // namespace zv::files
