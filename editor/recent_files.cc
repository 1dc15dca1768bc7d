#include "editor/recent_files.h"

#include <algorithm>

#include "editor/source_buffer.h"

namespace zv::editor {

bool RecentFileList::Contains(const std::string& name, const std::string& folder) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const RecentFile& f) {
    return LowerAscii(f.name) == LowerAscii(name) && LowerAscii(f.folder) == LowerAscii(folder);
  });
}

void RecentFileList::Add(const std::string& name, const std::string& folder) {
  if (name.empty()) return;
  auto same = std::find_if(entries_.begin(), entries_.end(), [&](const RecentFile& f) {
    return LowerAscii(f.name) == LowerAscii(name) && LowerAscii(f.folder) == LowerAscii(folder);
  });
  if (same != entries_.end()) entries_.erase(same);
  entries_.insert(entries_.begin(), RecentFile{name, folder});
  if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
}

std::string RecentFileLabel(const RecentFile& file, const std::string& example_folder) {
  if (!example_folder.empty() && file.folder == example_folder) return file.name;
  std::string folder = file.folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const size_t slash = folder.find_last_of('/');
  const std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
  return last.empty() ? file.name : last + "/" + file.name;
}

}  // namespace zv::editor
