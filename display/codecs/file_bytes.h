#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zv::codecs {

// The whole file, or nothing when it cannot be opened or read, or is larger
// than `limit` bytes.
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path, size_t limit);

// A file's contents in a buffer that the read fills without clearing it
// first (the loaders read each file once, so this saves a pass over it).
class FileContents {
 public:
  FileContents(std::unique_ptr<uint8_t[]> data, size_t size) : data_(std::move(data)), size_(size) {}
  std::span<const uint8_t> Bytes() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_;
};

// The same as ReadFileBytes, into such a buffer.
std::optional<FileContents> ReadFileContents(const std::string& path, size_t limit);

}  // namespace zv::codecs
