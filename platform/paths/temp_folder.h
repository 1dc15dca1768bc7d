#pragma once

#include <string>

namespace zv::platform {

// The process's own temporary folder, made under $TMPDIR (or /tmp) and
// removed with everything in it when the object goes, so two running games
// never share their work files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // False when the folder could not be made; Path() is then empty.
  bool Valid() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Deletes `path` and, for a folder, everything beneath it. Symbolic links are
// removed, never followed.
void RemoveTree(const std::string& path);

}  // namespace zv::platform
