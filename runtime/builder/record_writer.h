#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace zv {

// Writes a game file: the stub, then records, then the end marker and the
// stub length. Every write is checked; the first failure sticks and is
// reported by Error(). Files are copied block by block, so memory does not
// grow with their size, and `stop_requested` is asked before every block:
// once it says yes the writer fails at once.
class RecordWriter {
 public:
  explicit RecordWriter(std::FILE* out, std::function<bool()> stop_requested = {})
      : out_(out), stop_requested_(std::move(stop_requested)) {}

  // Copies the first `length` bytes of `stub_path` (all of it when length is 0).
  bool WriteStub(const std::string& stub_path, uint64_t length);
  bool AddRecord(std::string_view name, std::span<const uint8_t> data);
  // Adds the file at `path` under `name`, as large as it was when opened.
  bool AddFileRecord(std::string_view name, const std::string& path);
  bool Finish();

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

 private:
  bool Put(const void* data, size_t size);
  bool PutU32(uint32_t value);
  bool PutRecordHeader(std::string_view name, uint64_t size);
  bool Fail(std::string message);

  std::FILE* out_;
  std::function<bool()> stop_requested_;
  uint64_t stub_length_ = 0;
  std::string error_;
};

}  // namespace zv
