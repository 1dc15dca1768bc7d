#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/vm/string_heap.h"
#include "services/files/byte_source.h"

// The byte formats of numbered files: typed values, text lines, file
// records and directory packs. All numbers are little-endian and unaligned;
// text lines end with CR LF.
//
//   file record      u32 n, then n bytes (a whole disk file)
//   directory pack   u32 file count, then per file: u32 path length with its
//                    zero, the relative path ("\" between folders) and its
//                    zero byte, then the file's record
//
// A pack names its files in the system's bytes, UTF-8, as every version
// wrote them. A name holding what the path's syntax reads otherwise (a "\",
// a leading drive form "C:"), or bytes that are no UTF-8, is packed in the
// program's spelling instead, with those bytes marked
// (platform::ProgramNameOf): no such spelling is UTF-8, and one that is not
// is read as the program's characters, so that it comes back as the same
// bytes.
namespace zv::files {

// The longest line a text-line read gives: as much as a string holds.
constexpr size_t kMaxLineLength = StringHeap::kMaxLength;
// The longest path a directory pack may name, its zero included. Longer
// ones mark the pack as damaged.
constexpr uint32_t kMaxPackedPathLength = 4096;

// How a read went: a failed read is a warning for the program; fewer bytes
// than asked set the file's end-of-file flag. A read the file ends inside
// (some of what it asked for came, not all) was cut short, as a killed
// writer leaves a file; one that found the end before its first byte was
// not.
struct ReadStatus {
  bool failed = false;
  bool reached_end = false;
  uint64_t asked = 0;  // the bytes the read asked for
  uint64_t came = 0;   // those of them that came
  bool CutShort() const { return !failed && came > 0 && came < asked; }
};

// Reads `out.size()` bytes, zero-filling what did not come.
ReadStatus ReadExact(ByteSource& source, std::span<uint8_t> out);

// Reads and drops up to `count` bytes.
ReadStatus SkipBytes(ByteSource& source, uint64_t count);

// A record's read as one: its u32 size (whole) and then `bytes`.
ReadStatus RecordStatus(ReadStatus bytes);

// A little-endian u32 (zero-filled when short).
struct U32Read {
  uint32_t value = 0;
  ReadStatus status;
  bool whole = false;  // all four bytes came
};
U32Read ReadU32(ByteSource& source);

// One text line: it ends at CR LF, at LF or at the end of the data, and
// every other byte is its text, a tab or a lone CR included; zero bytes,
// which no string holds, are dropped. Of a line longer than kMaxLineLength
// the text holds the first kMaxLineLength and the rest is passed over.
struct TextLine {
  std::string text;
  ReadStatus status;  // a failed read leaves the line unusable
  bool too_long = false;
};
TextLine ReadTextLine(ByteSource& source);

// A file record. A record that claims more bytes than remain is cut short:
// what remains is passed over and nothing of it is kept (a damaged size
// never makes a large allocation).
struct FileRecord {
  std::vector<uint8_t> bytes;
  ReadStatus status;
  bool whole = false;  // the record was read completely and its bytes are valid
};
FileRecord ReadFileRecord(ByteSource& source);

// The same, streamed: the record's bytes go to `take` a block at a time, so
// that memory does not grow with the record. `take` returning false (or an
// empty `take`) passes over the rest, so that the source still stands after
// the record. `whole` says whether all of it came.
using RecordTake = std::function<bool(std::span<const uint8_t>)>;
struct RecordRead {
  ReadStatus status;
  bool whole = false;
  bool sized = false;   // its size came whole: a record that is not whole was cut short
  uint32_t size = 0;    // the size it claims
  uint64_t missing = 0;  // of a record cut short, the bytes that did not come
};
RecordRead StreamFileRecord(ByteSource& source, const RecordTake& take);
// Reads the record that stands next, through a take (StreamFileRecord).
using RecordReader = std::function<RecordRead(const RecordTake&)>;

// One file of a directory pack. `parts` are the folders and the file name of
// its path, or nothing when the path would leave the folder it is unpacked
// into (absolute, with a leading drive form, with ".."), or names nothing.
struct PackedFile {
  std::string path;
  std::optional<std::vector<std::string>> parts;
  std::vector<uint8_t> bytes;
};
struct PackRead {
  ReadStatus status;
  bool damaged = false;       // a path longer than kMaxPackedPathLength stopped the reading
  bool cut_in_count = false;  // the data ended inside the file count
  bool cut_in_path = false;   // the data ended inside a file's path
  uint32_t count = 0;         // the files the pack says it holds
  uint32_t arrived = 0;       // the entries that came whole, of `count`
  uint32_t files = 0;         // files handed on
};
// Reads a directory pack, handing each whole file to `unpack` in order. The
// reading stops once `count` entries came, at the end of the data, at an
// entry cut short or at a damaged one.
PackRead ReadDirectoryPack(ByteSource& source, const std::function<void(const PackedFile&)>& unpack);
// The same, streamed: `unpack` gets each file's path (its `bytes` empty)
// and a reader of its record, which it calls once at most (a record it
// does not read is passed over).
PackRead StreamDirectoryPack(ByteSource& source,
                             const std::function<void(const PackedFile&, const RecordReader&)>& unpack);

// The parts of a relative path of a pack or a program ("a\b\c.txt" -> a, b,
// c.txt; "/" counts as "\" too; "." parts are dropped), or nothing when it
// would leave its folder (from the root, with a leading drive form "C:",
// with "..") or names nothing. A ":" anywhere else is a byte of a name.
std::optional<std::vector<std::string>> SplitRelativePath(std::string_view path);

// A file's or folder's name (the system's) as a pack's path holds it;
// none for a name that is no UTF-8 and that no program text spells.
std::optional<std::string> PackedName(std::string_view system_name);
// A packed path or name as program text, for a message: UTF-8 read as the
// system's, anything else as the program's characters.
std::string PackedText(const std::string& packed);

// Little-endian u32 appended to `out`.
void AppendU32(std::vector<uint8_t>& out, uint32_t value);

}  // namespace zv::files
