// The readers of files that programs load: array files, and text lines,
// file records and directory packs of numbered files, over any bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "services/files/array_files.h"
#include "services/files/file_formats.h"
#include "services/files/numbered_files.h"

namespace {

using zv::files::MemorySource;

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadArrays(std::span<const uint8_t> bytes, size_t count) {
  const auto numbers = zv::files::DecodeNumberArrayFile(bytes, count);
  Check(numbers.size() == count);
  const auto strings = zv::files::DecodeStringArrayFile(bytes, count);
  Check(strings.elements.size() == count);
  size_t taken = 0;
  for (const auto& s : strings.elements) taken += s.size() + 1;
  Check(taken <= bytes.size() + count);
}

void ReadLines(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  for (;;) {
    const zv::files::TextLine line = zv::files::ReadTextLine(source);
    Check(line.text.size() <= zv::files::kMaxLineLength);
    if (line.status.reached_end || line.status.failed) break;
  }
}

void ReadRecords(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  for (;;) {
    const zv::files::FileRecord record = zv::files::ReadFileRecord(source);
    Check(record.bytes.size() <= bytes.size());
    if (!record.whole) break;
  }
}

void ReadPack(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  zv::files::ReadDirectoryPack(source, [&](const zv::files::PackedFile& file) {
    Check(file.bytes.size() <= bytes.size());
    if (!file.parts) return;
    Check(!file.parts->empty());
    for (const auto& part : *file.parts) Check(!part.empty() && part != ".." && part != ".");
  });
}

// One step of a reading program, on any source.
std::string Step(zv::files::ByteSource& source, int kind) {
  switch (kind) {
    case 0: {
      const auto line = zv::files::ReadTextLine(source);
      return "L" + line.text + (line.status.reached_end ? "$" : "");
    }
    case 1: {
      const auto value = zv::files::ReadU32(source);
      return "D" + std::to_string(value.value) + (value.whole ? "" : "$");
    }
    case 2: {
      const auto record = zv::files::ReadFileRecord(source);
      return "R" + std::to_string(record.bytes.size()) + (record.whole ? "" : "$");
    }
    default:
      return "S" + std::to_string(zv::files::SkipBytes(source, 3).reached_end);
  }
}

// An open numbered file reads what the same bytes in memory read.
void ReadOpenFile(std::span<const uint8_t> bytes, uint8_t program) {
  const int fd = ::memfd_create("fuzz_file", MFD_CLOEXEC);
  if (fd < 0) return;
  if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    ::close(fd);
    return;
  }
  ::lseek(fd, 0, SEEK_SET);
  zv::files::OpenFile file{zv::files::UniqueFd(fd), "fuzz_file", zv::files::OpenFile::Use::kReading};
  MemorySource memory(bytes);
  for (int i = 0; i < 64; ++i) {
    const int kind = (program >> (2 * (i % 4))) & 3;
    Check(Step(file, kind) == Step(memory, kind));
    Check(file.Remaining() == memory.Remaining());
    if (memory.Remaining() == 0) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes give the array's element count; the rest is the file.
  const size_t count = static_cast<size_t>(data[0]) | static_cast<size_t>(data[1] & 0x0f) << 8;
  const std::span<const uint8_t> file(data + 2, size - 2);
  ReadArrays(file, count);
  ReadLines(file);
  ReadRecords(file);
  ReadPack(file);
  ReadOpenFile(file, data[1]);
  return 0;
}
