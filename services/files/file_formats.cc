#include "services/files/file_formats.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/text/system_text.h"
#include "platform/text/text_encoding.h"

namespace zv::files {
namespace {

constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;
constexpr size_t kSkipChunk = 64 * 1024;
// How much of a file record is held at a time while it is streamed.
constexpr size_t kRecordBlock = 256 * 1024;

// "C:" at the start of a name or path: a drive, to the system packs come from.
bool StartsWithDrive(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  return text.size() >= 2 && letter(text[0]) && text[1] == ':';
}

}  // namespace

ReadStatus SkipBytes(ByteSource& source, uint64_t count) {
  ReadStatus status;
  status.asked = count;
  std::array<uint8_t, kSkipChunk> sink;
  while (status.came < count) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count - status.came, sink.size()));
    const int64_t got = source.Read(std::span<uint8_t>(sink.data(), want));
    if (got < 0) {
      status.failed = true;
      return status;
    }
    if (got == 0) {
      status.reached_end = true;
      return status;
    }
    status.came += static_cast<uint64_t>(got);
  }
  return status;
}

ReadStatus ReadExact(ByteSource& source, std::span<uint8_t> out) {
  ReadStatus status;
  size_t done = 0;
  while (done < out.size()) {
    const int64_t got = source.Read(out.subspan(done));
    if (got < 0) {
      status.failed = true;
      break;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(done), out.end(), uint8_t{0});
  status.reached_end = !status.failed && done < out.size();
  status.asked = out.size();
  status.came = done;
  return status;
}

ReadStatus RecordStatus(ReadStatus bytes) {
  bytes.asked += 4;
  bytes.came += 4;
  return bytes;
}

U32Read ReadU32(ByteSource& source) {
  std::array<uint8_t, 4> b{};
  U32Read r;
  r.status = ReadExact(source, b);
  r.whole = !r.status.failed && !r.status.reached_end;
  r.value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  return r;
}

TextLine ReadTextLine(ByteSource& source) {
  TextLine line;
  const auto keep = [&line](uint8_t byte) {
    // A string holds no zero byte.
    if (byte == 0) return;
    if (line.text.size() < kMaxLineLength)
      line.text += static_cast<char>(byte);
    else
      line.too_long = true;
  };
  bool after_cr = false;  // a CR is part of the text unless an LF follows it
  uint8_t byte = 0;
  for (;;) {
    const int64_t got = source.Read(std::span<uint8_t>(&byte, 1));
    if (got < 0) {
      line.status.failed = true;
      return line;
    }
    if (got == 0) {
      if (after_cr) keep(kCr);
      line.status.reached_end = true;
      return line;
    }
    if (byte == kLf) return line;
    if (after_cr) keep(kCr);
    after_cr = byte == kCr;
    if (!after_cr) keep(byte);
  }
}

RecordRead StreamFileRecord(ByteSource& source, const RecordTake& take) {
  RecordRead record;
  const U32Read size = ReadU32(source);
  record.status = size.status;
  if (!size.whole) return record;
  record.sized = true;
  record.size = size.value;
  // The status tells of the record as one, its size with it.
  const auto finish = [&record](ReadStatus status) {
    status.asked = record.size;
    status.came = record.size - record.missing;
    record.status = RecordStatus(status);
    return record;
  };
  if (size.value > source.Remaining()) {
    // A length that cannot be true: pass over the rest rather than trust it.
    record.missing = size.value - source.Remaining();
    ReadStatus skipped = SkipBytes(source, source.Remaining());
    skipped.reached_end = true;
    return finish(skipped);
  }
  std::vector<uint8_t> block(std::min<size_t>(size.value, kRecordBlock));
  bool taking = static_cast<bool>(take);
  for (uint64_t left = size.value; left > 0;) {
    const std::span<uint8_t> part(block.data(), static_cast<size_t>(std::min<uint64_t>(left, block.size())));
    const ReadStatus read = ReadExact(source, part);
    if (read.failed || read.reached_end) {
      record.missing = left;  // a part that came short is not taken
      return finish(read);
    }
    if (taking) taking = take(part);
    left -= part.size();
  }
  record.whole = true;
  return finish(ReadStatus{});
}

FileRecord ReadFileRecord(ByteSource& source) {
  FileRecord record;
  const RecordRead read = StreamFileRecord(source, [&](std::span<const uint8_t> part) {
    record.bytes.insert(record.bytes.end(), part.begin(), part.end());
    return true;
  });
  record.status = read.status;
  record.whole = read.whole;
  if (!record.whole) record.bytes = {};
  return record;
}

PackRead StreamDirectoryPack(ByteSource& source,
                             const std::function<void(const PackedFile&, const RecordReader&)>& unpack) {
  PackRead result;
  // Nothing at all is no pack cut short: a loop that reads packs until the
  // file's end comes to it.
  const bool any = source.Remaining() > 0;
  const U32Read count = ReadU32(source);
  result.status = count.status;
  result.cut_in_count = !count.whole && !count.status.failed && any;
  if (!count.whole) return result;
  result.count = count.value;
  for (uint32_t i = 0; i < count.value; result.arrived = ++i) {
    const U32Read length = ReadU32(source);
    if (!length.whole) {
      result.status = length.status;
      return result;
    }
    if (length.value == 0) continue;
    if (length.value > kMaxPackedPathLength) {
      result.damaged = true;
      return result;
    }
    if (length.value > source.Remaining()) {
      result.status = SkipBytes(source, source.Remaining());
      result.status.reached_end = true;
      result.cut_in_path = true;
      return result;
    }
    std::vector<uint8_t> path_bytes(length.value);
    const ReadStatus path_read = ReadExact(source, path_bytes);
    if (path_read.failed || path_read.reached_end) {
      result.status = path_read;
      result.cut_in_path = path_read.reached_end;
      return result;
    }
    PackedFile file;
    const auto zero = std::find(path_bytes.begin(), path_bytes.end(), uint8_t{0});
    file.path.assign(path_bytes.begin(), zero);
    file.parts = SplitRelativePath(file.path);

    std::optional<RecordRead> record;
    unpack(file, [&](const RecordTake& take) {
      if (!record) record = StreamFileRecord(source, take);
      return *record;
    });
    if (!record) record = StreamFileRecord(source, {});
    if (!record->whole) {
      result.status = record->status;
      return result;
    }
    ++result.files;
  }
  return result;
}

PackRead ReadDirectoryPack(ByteSource& source, const std::function<void(const PackedFile&)>& unpack) {
  return StreamDirectoryPack(source, [&](const PackedFile& packed, const RecordReader& read) {
    PackedFile file = packed;
    const RecordRead record = read([&](std::span<const uint8_t> part) {
      file.bytes.insert(file.bytes.end(), part.begin(), part.end());
      return true;
    });
    if (record.whole) unpack(file);
  });
}

std::optional<std::vector<std::string>> SplitRelativePath(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.front() == '/' || StartsWithDrive(path)) return std::nullopt;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  if (parts.empty()) return std::nullopt;
  return parts;
}

std::optional<std::string> PackedName(std::string_view system_name) {
  const bool utf8 = platform::IsValidUtf8(system_name);
  if (utf8 && !StartsWithDrive(system_name) && system_name.find('\\') == std::string_view::npos)
    return std::string(system_name);
  std::optional<std::string> spelled = platform::ProgramNameOf(system_name);
  // A UTF-8 name no program text spells (a control character the page
  // lacks) goes as it is, as every version packed it; one that is no UTF-8
  // would be read back as the program's characters, another name.
  if (!spelled && utf8) return std::string(system_name);
  return spelled;
}

std::string PackedText(const std::string& packed) {
  return platform::IsValidUtf8(packed) ? platform::ProgramTextOf(packed) : packed;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace zv::files
