#pragma once

#include <string>
#include <vector>

namespace zv::editor {

struct RecentFile {
  std::string name;    // the file name as typed, without its folder
  std::string folder;  // the folder it lives in
};

// The programs loaded or saved last, most recent first, at most four.
class RecentFileList {
 public:
  static constexpr size_t kMaxEntries = 4;

  // Puts the pair at the head; a pair already listed moves there instead of
  // being listed twice, and a fifth drops the oldest. An empty name changes
  // nothing.
  void Add(const std::string& name, const std::string& folder);
  // True when an entry holds both (compared without regard to case).
  bool Contains(const std::string& name, const std::string& folder) const;
  const std::vector<RecentFile>& Entries() const { return entries_; }

 private:
  std::vector<RecentFile> entries_;
};

// The menu text of an entry: the last component of its folder, "/" and the
// name (only the name for a file of `example_folder`).
std::string RecentFileLabel(const RecentFile& file, const std::string& example_folder);

}  // namespace zv::editor
