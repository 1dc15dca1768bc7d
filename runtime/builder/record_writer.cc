#include "runtime/builder/record_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kChunk = 1 << 16;

}  // namespace

bool RecordWriter::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  return false;
}

bool RecordWriter::Put(const void* data, size_t size) {
  if (!Ok()) return false;
  if (stop_requested_ && stop_requested_()) return Fail("the build was stopped");
  if (size > 0 && std::fwrite(data, 1, size, out_) != size)
    return Fail(std::string("cannot write the game: ") + std::strerror(errno));
  return true;
}

bool RecordWriter::PutU32(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return Put(bytes, sizeof bytes);
}

bool RecordWriter::WriteStub(const std::string& stub_path, uint64_t length) {
  File in(std::fopen(stub_path.c_str(), "rb"));
  if (!in) return Fail("cannot read the runtime " + stub_path + ": " + std::strerror(errno));
  std::vector<uint8_t> chunk(kChunk);
  uint64_t copied = 0;
  while (length == 0 || copied < length) {
    size_t want = length == 0 ? kChunk : static_cast<size_t>(std::min<uint64_t>(kChunk, length - copied));
    size_t got = std::fread(chunk.data(), 1, want, in.get());
    if (got == 0) break;
    if (!Put(chunk.data(), got)) return false;
    copied += got;
  }
  if (std::ferror(in.get()) || (length != 0 && copied != length))
    return Fail("cannot read the runtime " + stub_path);
  if (copied == 0 || copied > UINT32_MAX) return Fail("the runtime " + stub_path + " cannot serve as a stub");
  stub_length_ = copied;
  return true;
}

bool RecordWriter::PutRecordHeader(std::string_view name, uint64_t size) {
  if (name.size() > kMaxRecordNameLength)
    return Fail("the record name '" + std::string(name) + "' is longer than 255 characters");
  if (name.find('\0') != std::string_view::npos) return Fail("a record name holds a zero byte");
  if (size > UINT32_MAX) return Fail("'" + std::string(name) + "' is too large for a record");
  return PutU32(static_cast<uint32_t>(name.size() + 1)) && Put(name.data(), name.size()) && Put("", 1) &&
         PutU32(static_cast<uint32_t>(size));
}

bool RecordWriter::AddRecord(std::string_view name, std::span<const uint8_t> data) {
  return PutRecordHeader(name, data.size()) && Put(data.data(), data.size());
}

bool RecordWriter::AddFileRecord(std::string_view name, const std::string& path) {
  if (!Ok()) return false;
  File in(std::fopen(path.c_str(), "rb"));
  if (!in) return Fail("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (::fstat(::fileno(in.get()), &info) != 0 || !S_ISREG(info.st_mode)) return Fail("cannot read " + path);
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (size > UINT32_MAX) return Fail(path + " is too large for a record");
  if (!PutRecordHeader(name, size)) return false;
  std::vector<uint8_t> chunk(kChunk);
  uint64_t copied = 0;
  while (copied < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, size - copied));
    const size_t got = std::fread(chunk.data(), 1, want, in.get());
    if (got == 0) break;
    if (!Put(chunk.data(), got)) return false;
    copied += got;
  }
  // The record's length is already written: a file cut short while it was
  // read would leave the game's records out of step.
  if (std::ferror(in.get())) return Fail("cannot read " + path);
  if (copied != size) return Fail(path + " grew shorter while it was read");
  return true;
}

bool RecordWriter::Finish() {
  if (!PutU32(0) || !PutU32(static_cast<uint32_t>(stub_length_))) return false;
  if (std::fflush(out_) != 0) return Fail(std::string("cannot write the game: ") + std::strerror(errno));
  return true;
}

}  // namespace zv
