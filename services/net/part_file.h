#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/paths/file_save.h"

namespace zv {

// A downloaded file, saved as every file is (platform::FileSave): a failed or
// abandoned download leaves no partial file and never destroys the file that
// was there.
class PartFile {
 public:
  // Null when the file cannot be saved there.
  static std::unique_ptr<PartFile> Create(const std::string& path);
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  bool Write(std::span<const uint8_t> bytes) { return save_.Write(bytes); }
  // Puts the file in place; on failure nothing remains of it.
  bool Commit() { return save_.Finish(); }

 private:
  explicit PartFile(platform::FileSave save) : save_(std::move(save)) {}

  platform::FileSave save_;
};

}  // namespace zv
