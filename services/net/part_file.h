#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zv {

// A file written under a temporary name beside its final one and put in
// place by a rename, so a failed or abandoned write leaves no partial file
// and never destroys the file that was there.
class PartFile {
 public:
  // Null when the temporary file cannot be made.
  static std::unique_ptr<PartFile> Create(const std::string& path);
  ~PartFile();  // discards what was written unless committed
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  bool Write(std::span<const uint8_t> bytes);
  // Puts the file in place; on failure nothing remains of it.
  bool Commit();

 private:
  PartFile(std::string path, std::string temp, int fd) : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {}
  void Discard();

  std::string path_;
  std::string temp_;
  int fd_;
};

}  // namespace zv
