#include "services/files/directory_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include "services/files/directory_listing.h"

namespace zv::files {
namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

void CollectFiles(const std::string& folder, const std::string& prefix, std::vector<TreeFile>& out) {
  auto entries = ListDirectory(folder);
  if (!entries) return;
  for (const DirectoryEntry& entry : *entries) {
    if (IsDotEntry(entry.name)) continue;
    const std::string path = folder + "/" + entry.name;
    if (entry.directory) {
      if (!entry.symbolic_link) CollectFiles(path, prefix + entry.name + "\\", out);
      continue;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) out.push_back({prefix + entry.name, path});
  }
}

}  // namespace

void DeleteTreeContents(const std::string& folder) {
  auto entries = ListDirectory(folder);
  if (!entries) return;
  for (const DirectoryEntry& entry : *entries) {
    if (IsDotEntry(entry.name)) continue;
    const std::string path = folder + "/" + entry.name;
    if (entry.directory && !entry.symbolic_link) {
      DeleteTreeContents(path);
      ::rmdir(path.c_str());
    } else {
      ::unlink(path.c_str());
    }
  }
}

std::vector<TreeFile> ListTreeFiles(const std::string& folder) {
  std::vector<TreeFile> files;
  CollectFiles(folder, "", files);
  return files;
}

}  // namespace zv::files
