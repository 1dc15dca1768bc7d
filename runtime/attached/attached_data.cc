#include "runtime/attached/attached_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/paths/path_resolver.h"
#include "runtime/attached/kept_names.h"

namespace zv {
namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

DamagedAttachedData Damaged(const char* what, size_t record) {
  char message[160];
  std::snprintf(message, sizeof message, "attached data damaged: %s (record %zu)", what, record + 1);
  return {message};
}

// Reads exactly `size` bytes at `offset`; false on any shortfall.
bool ReadAt(int fd, uint64_t offset, uint8_t* out, size_t size) {
  while (size > 0) {
    ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// An extension names a file beside the others; nothing that would lead out of
// the temporary folder.
bool SafeExtension(std::string_view extension) {
  for (char c : extension)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

std::string_view FileNamePart(std::string_view name) {
  size_t slash = name.rfind('\\');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// What a lookup compares: the request lower-cased, with '/' as a backslash
// for a whole name; and the record's whole name or its file-name part.
std::string WantedName(std::string_view path, bool by_name) {
  std::string wanted = LowerAscii(path);
  if (!by_name)
    for (char& c : wanted)
      if (c == '/') c = '\\';
  return wanted;
}

std::string_view RecordName(const AttachedEntry& entry, bool by_name) {
  return by_name ? FileNamePart(entry.name) : std::string_view(entry.name);
}

// The build time the record holds; nothing for a record of another size.
std::optional<int64_t> DecodeBuildTime(std::span<const uint8_t> data) {
  if (data.size() != 8) return std::nullopt;
  const uint64_t low = ReadU32(data, 0), high = ReadU32(data, 4);
  return static_cast<int64_t>(high << 32 | low);
}

}  // namespace

std::vector<uint8_t> EncodeBuildTime(int64_t nanoseconds) {
  std::vector<uint8_t> bytes(8);
  const uint64_t value = static_cast<uint64_t>(nanoseconds);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<uint32_t> ReadTrailerStubLength(std::span<const uint8_t> last_eight, uint64_t file_size) {
  if (last_eight.size() != kTrailerSize || file_size < kTrailerSize) return std::nullopt;
  uint32_t stub_length = ReadU32(last_eight, 4);
  // A plain executable ends in zeros here; a built game names where its
  // records start.
  if (stub_length == 0) return std::nullopt;
  return stub_length;
}

bool HasAttachedRecords(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  uint8_t tail[kTrailerSize];
  bool has = ::fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kTrailerSize) &&
             ReadAt(fd, static_cast<uint64_t>(info.st_size) - kTrailerSize, tail, kTrailerSize) &&
             ReadTrailerStubLength(tail, static_cast<uint64_t>(info.st_size)).has_value();
  ::close(fd);
  return has;
}

AttachedParse ParseAttachedRecords(std::span<const uint8_t> records, uint32_t stub_length) {
  if (records.size() < kTrailerSize)
    return DamagedAttachedData{"attached data damaged: the stub length points past the end of the file"};
  if (ReadU32(records, records.size() - 4) != stub_length)
    return DamagedAttachedData{"attached data damaged: the trailer does not match"};
  if (ReadU32(records, records.size() - 8) != 0)
    return DamagedAttachedData{"attached data damaged: no end marker before the trailer"};

  const size_t end = records.size() - kTrailerSize;  // where the end marker stands
  AttachedLayout layout;
  layout.stub_length = stub_length;
  size_t pos = 0;
  for (size_t index = 0;; ++index) {
    // The end marker itself is read as a record's name length.
    if (pos > end) return Damaged("a record runs into the trailer", index);
    const uint32_t name_length = ReadU32(records, pos);
    if (name_length == 0) {
      if (pos != end) return Damaged("an end marker before the last record", index);
      return layout;
    }
    if (end - pos < 4) return Damaged("a record runs into the trailer", index);
    pos += 4;
    if (name_length > kMaxRecordNameLength + 1) return Damaged("a record name is too long", index);
    if (end - pos < name_length) return Damaged("a record name runs into the trailer", index);
    if (records[pos + name_length - 1] != 0) return Damaged("a record name is not terminated", index);
    const char* name = reinterpret_cast<const char*>(records.data() + pos);
    AttachedEntry entry;
    entry.name = LowerAscii(std::string_view(name, ::strnlen(name, name_length)));
    pos += name_length;
    if (end - pos < 4) return Damaged("a record's data length runs into the trailer", index);
    entry.size = ReadU32(records, pos);
    pos += 4;
    if (end - pos < entry.size) return Damaged("a record's data runs into the trailer", index);
    entry.offset = pos;
    pos += entry.size;
    layout.entries.push_back(std::move(entry));
  }
}

bool WriteVirtualFile(const std::string& path, std::span<const uint8_t> data) {
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

AttachedData::~AttachedData() {
  for (const std::string& path : written_) ::unlink(path.c_str());
}

AttachedData::LoadResult AttachedData::Load(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return LoadResult::kFailed;
  }
  struct stat info {};
  uint8_t tail[kTrailerSize];
  LoadResult result = LoadResult::kNoRecords;
  if (::fstat(fd, &info) != 0 || info.st_size < 0) {
    if (error) *error = "cannot read " + path;
    result = LoadResult::kFailed;
  } else if (static_cast<uint64_t>(info.st_size) >= kTrailerSize &&
             ReadAt(fd, static_cast<uint64_t>(info.st_size) - kTrailerSize, tail, kTrailerSize)) {
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (auto stub_length = ReadTrailerStubLength(tail, size)) {
      std::vector<uint8_t> records;
      if (*stub_length > size) {
        if (error) *error = "attached data damaged: the stub length points past the end of the file";
        result = LoadResult::kFailed;
      } else {
        records.resize(size - *stub_length);
        if (!ReadAt(fd, *stub_length, records.data(), records.size())) {
          if (error) *error = "cannot read the attached data of " + path;
          result = LoadResult::kFailed;
        } else {
          ::close(fd);
          return LoadRecords(std::move(records), *stub_length, error);
        }
      }
    }
  }
  ::close(fd);
  return result;
}

AttachedData::LoadResult AttachedData::LoadRecords(std::vector<uint8_t> records, uint32_t stub_length,
                                                   std::string* error) {
  AttachedParse parsed = ParseAttachedRecords(records, stub_length);
  if (auto* damaged = std::get_if<DamagedAttachedData>(&parsed)) {
    if (error) *error = damaged->message;
    return LoadResult::kFailed;
  }
  AttachedLayout& layout = std::get<AttachedLayout>(parsed);
  block_ = std::move(records);
  stub_length_ = layout.stub_length;
  entries_ = std::move(layout.entries);
  // The build time is no file of the game's: it is kept apart, and no
  // lookup finds it.
  for (size_t i = 1; i < entries_.size(); ++i) {
    if (entries_[i].name != kBuildTimeRecordName) continue;
    build_time_ = DecodeBuildTime(DataOf(entries_[i]));
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    break;
  }
  return LoadResult::kLoaded;
}

std::optional<std::string> AttachedData::MakeVirtualFilePath(const AttachedEntry& entry,
                                                             std::string_view extension) {
  if (!SafeExtension(extension)) return std::nullopt;
  std::string path = temp_folder_ + "_virtual." + std::string(extension);
  if (!WriteVirtualFile(path, DataOf(entry))) return std::nullopt;
  written_.insert(path);
  return path;
}

std::optional<std::string> AttachedData::ExtractProgramEntry() {
  if (entries_.empty()) return std::nullopt;
  return MakeVirtualFilePath(entries_.front(), "dat");
}

const AttachedEntry* AttachedData::Match(std::string_view path, bool by_name) const {
  const std::string wanted = WantedName(path, by_name);
  // The first record is the program, named after the builder's work file;
  // no program asks for it.
  for (size_t i = 1; i < entries_.size(); ++i)
    if (RecordName(entries_[i], by_name) == wanted) return &entries_[i];
  return nullptr;
}

bool AttachedData::DiskHasTakenOver(std::string_view disk_name) const {
  const std::string disk_path = platform::Paths().Resolve(disk_name);
  if (disk_path.empty()) return false;
  if (IsKeptOnDisk(disk_path)) return true;
  struct stat info {};
  if (!build_time_ || ::stat(disk_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int64_t changed = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  if (changed <= *build_time_) return false;
  // Written since the build: the game's own from now on, also for a later
  // build of the game, whose build time is later than this file. Where the
  // list cannot be written the file's time still says so for this build.
  KeepOnDisk(disk_path);
  return true;
}

bool AttachedData::Resolve(std::string& path, std::string_view extension, bool by_name,
                           std::string_view disk_name) {
  if (!Match(path, by_name) || DiskHasTakenOver(disk_name.empty() ? std::string_view(path) : disk_name))
    return false;
  const std::string wanted = WantedName(path, by_name);
  for (size_t i = 1; i < entries_.size(); ++i) {
    const AttachedEntry& entry = entries_[i];
    if (RecordName(entry, by_name) != wanted) continue;
    // A match whose file cannot be written is passed over; a later record of
    // the same name may still serve.
    if (auto made = MakeVirtualFilePath(entry, extension)) {
      path = *made;
      return true;
    }
  }
  return false;
}

bool AttachedData::ResolveVirtualFile(std::string& path, std::string_view extension) {
  return Resolve(path, extension, false, {});
}

bool AttachedData::ResolveVirtualFileByName(std::string& path, std::string_view extension,
                                            std::string_view disk_name) {
  return Resolve(path, extension, true, disk_name);
}

bool AttachedData::Carries(std::string_view path) const { return Match(path, false) != nullptr; }

bool AttachedData::Serves(std::string_view path) const { return Carries(path) && !DiskHasTakenOver(path); }

bool AttachedData::KeepOnDisk(std::string_view path) const { return zv::KeepOnDisk(platform::Paths().Resolve(path)); }

}  // namespace zv
