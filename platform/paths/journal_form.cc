#include "platform/paths/journal_form.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace zv::platform {
namespace {

constexpr std::array<char, 8> kMagic = {'Z', 'V', 'S', 'A', 'V', 'E', 'J', '3'};
// Earlier builds kept the old content alone, and the file's device.
constexpr std::array<char, 8> kEarlierMagic = {'Z', 'V', 'S', 'A', 'V', 'E', 'J', '2'};
constexpr size_t kFixed = 8 + 8 + 8 + 4 + 4 + 4 + 8 + 8 + 4 + 4;
constexpr size_t kEarlierFixed = 8 + 8 + 8 + 8 + 4 + 4 + 8 + 4;
constexpr uint32_t kMaxPath = 65536;
constexpr uint64_t kPart = kSavedPartSize;
constexpr size_t kReadBlock = 1 << 20;

void PutNumber(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetNumber(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{in[i]} << (8 * i);
  return value;
}

// Tells parts apart, not adversaries: each step is a bijection of the state
// for the word it takes, so parts differing in one word never collide.
uint64_t HashPart(const uint8_t* bytes, size_t size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    h = (h ^ word) * 0xff51afd7ed558ccdull;
    h ^= h >> 32;
  }
  uint64_t last = 0;
  std::memcpy(&last, bytes + i, size - i);
  h = (h ^ last) * 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 29);
}

bool SizeIsCut(uint64_t size, uint64_t old_size, uint64_t new_size) {
  return size == old_size || size == new_size || size % kPart == 0;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(int fd) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) return std::nullopt;
  FileIdentity id;
  id.inode = sx.stx_ino;
  if (sx.stx_mask & STATX_BTIME) {
    id.born_seconds = sx.stx_btime.tv_sec;
    id.born_nanoseconds = sx.stx_btime.tv_nsec;
  }
  int generation = 0;
  if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0) id.generation = static_cast<uint32_t>(generation);
  id.strong = id.born_seconds != 0 || id.born_nanoseconds != 0 || id.generation != 0;
  return id;
}

std::string JournalName(const FileIdentity& file) {
  char name[80];
  std::snprintf(name, sizeof name, "%llx-%llx.%x-%x", static_cast<unsigned long long>(file.inode),
                static_cast<unsigned long long>(file.born_seconds), file.born_nanoseconds, file.generation);
  return name;
}

bool HasJournalNameForm(std::string_view name) {
  // Four numbers in lower-case hexadecimal, as "%llx-%llx.%x-%x" writes them.
  for (const char separator : {'-', '.', '-', '\0'}) {
    const size_t digits = name.find_first_not_of("0123456789abcdef");
    const size_t length = digits == std::string_view::npos ? name.size() : digits;
    if (length == 0 || length > 16) return false;
    name.remove_prefix(length);
    if (separator == '\0') return name.empty();
    if (name.empty() || name.front() != separator) return false;
    name.remove_prefix(1);
  }
  return false;
}

std::vector<std::pair<uint64_t, uint64_t>> SavedParts(uint64_t old_size, uint64_t new_size) {
  std::vector<std::pair<uint64_t, uint64_t>> parts;
  const uint64_t end = std::max(old_size, new_size);
  for (uint64_t at = 0; at < end;) {
    uint64_t next = std::min(end, (at / kPart + 1) * kPart);
    if (at < old_size && old_size < next) next = old_size;
    if (at < new_size && new_size < next) next = new_size;
    parts.emplace_back(at, next);
    at = next;
  }
  return parts;
}

size_t NewPartCount(uint64_t old_size, uint64_t new_size) {
  size_t count = 0;
  for (const auto& part : SavedParts(old_size, new_size)) count += part.second <= new_size ? 1 : 0;
  return count;
}

std::optional<std::vector<uint64_t>> HashNewContent(int fd, uint64_t old_size, uint64_t new_size) {
  std::vector<uint64_t> hashes;
  std::vector<uint8_t> block(kReadBlock);
  uint64_t block_at = 0, block_size = 0;
  for (const auto& [start, end] : SavedParts(old_size, new_size)) {
    if (end > new_size) break;
    if (end > block_at + block_size) {
      block_at = start;
      block_size = std::min<uint64_t>(kReadBlock, new_size - start);
      if (!ReadExactly(fd, block.data(), block_size, block_at)) return std::nullopt;
    }
    hashes.push_back(HashPart(block.data() + (start - block_at), end - start));
  }
  return hashes;
}

std::vector<uint8_t> HeaderBytes(const JournalHeader& header) {
  std::vector<uint8_t> out(kMagic.begin(), kMagic.end());
  PutNumber(out, header.file.inode, 8);
  PutNumber(out, static_cast<uint64_t>(header.file.born_seconds), 8);
  PutNumber(out, header.file.born_nanoseconds, 4);
  PutNumber(out, header.file.generation, 4);
  PutNumber(out, header.file.strong ? 1 : 0, 4);
  PutNumber(out, header.old_size, 8);
  PutNumber(out, header.new_size, 8);
  PutNumber(out, header.path.size(), 4);
  PutNumber(out, header.new_hashes.size(), 4);
  out.insert(out.end(), header.path.begin(), header.path.end());
  for (const uint64_t hash : header.new_hashes) PutNumber(out, hash, 8);
  return out;
}

namespace {

std::optional<JournalHeader> ReadEarlierHeader(int fd, uint64_t journal_size) {
  std::array<uint8_t, kEarlierFixed> fixed{};
  if (!ReadExactly(fd, fixed.data(), fixed.size(), 0)) return std::nullopt;
  JournalHeader header;
  const uint8_t* at = fixed.data() + 16;  // past the magic and the device
  header.file.inode = GetNumber(at, 8);
  header.file.born_seconds = static_cast<int64_t>(GetNumber(at + 8, 8));
  header.file.born_nanoseconds = static_cast<uint32_t>(GetNumber(at + 16, 4));
  header.file.generation = static_cast<uint32_t>(GetNumber(at + 20, 4));
  header.file.strong = header.file.born_seconds != 0 || header.file.born_nanoseconds != 0 ||
                       header.file.generation != 0;
  header.old_size = GetNumber(at + 24, 8);
  const uint64_t path_size = GetNumber(at + 32, 4);
  if (path_size > kMaxPath) return std::nullopt;
  header.path.resize(path_size);
  if (path_size > 0 && !ReadExactly(fd, reinterpret_cast<uint8_t*>(header.path.data()), path_size, kEarlierFixed))
    return std::nullopt;
  header.content_at = kEarlierFixed + path_size;
  if (journal_size != header.content_at + header.old_size) return std::nullopt;
  return header;
}

}  // namespace

std::optional<JournalHeader> ReadHeader(int fd) {
  std::array<uint8_t, kFixed> fixed{};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !ReadExactly(fd, fixed.data(), fixed.size(), 0)) return std::nullopt;
  const uint64_t journal_size = static_cast<uint64_t>(st.st_size);
  if (std::memcmp(fixed.data(), kEarlierMagic.data(), kEarlierMagic.size()) == 0)
    return ReadEarlierHeader(fd, journal_size);
  if (std::memcmp(fixed.data(), kMagic.data(), kMagic.size()) != 0) return std::nullopt;
  JournalHeader header;
  const uint8_t* at = fixed.data() + kMagic.size();
  header.file.inode = GetNumber(at, 8);
  header.file.born_seconds = static_cast<int64_t>(GetNumber(at + 8, 8));
  header.file.born_nanoseconds = static_cast<uint32_t>(GetNumber(at + 16, 4));
  header.file.generation = static_cast<uint32_t>(GetNumber(at + 20, 4));
  header.file.strong = GetNumber(at + 24, 4) != 0;
  header.old_size = GetNumber(at + 28, 8);
  header.new_size = GetNumber(at + 36, 8);
  const uint64_t path_size = GetNumber(at + 44, 4);
  const uint64_t hash_count = GetNumber(at + 48, 4);
  if (path_size > kMaxPath || hash_count != NewPartCount(header.old_size, header.new_size) ||
      kFixed + path_size + hash_count * 8 > journal_size)
    return std::nullopt;
  header.path.resize(path_size);
  std::vector<uint8_t> hashes(hash_count * 8);
  if ((path_size > 0 && !ReadExactly(fd, reinterpret_cast<uint8_t*>(header.path.data()), path_size, kFixed)) ||
      (hash_count > 0 && !ReadExactly(fd, hashes.data(), hashes.size(), kFixed + path_size)))
    return std::nullopt;
  for (size_t i = 0; i < hash_count; ++i) header.new_hashes.push_back(GetNumber(hashes.data() + 8 * i, 8));
  header.knows_new = true;
  header.content_at = kFixed + path_size + hash_count * 8;
  if (journal_size != header.content_at + header.old_size) return std::nullopt;
  return header;
}

FileState JudgeFile(int file, int journal, const JournalHeader& header) {
  struct stat st {};
  if (::fstat(file, &st) != 0) return FileState::kOther;
  const uint64_t size = static_cast<uint64_t>(st.st_size), old_size = header.old_size,
                 new_size = header.knows_new ? header.new_size : old_size;
  // The sizes a save could leave: it writes past the old end first, then
  // cuts the file to the new size once the rest is in.
  const bool size_fits = new_size > old_size ? size >= old_size && size <= new_size && SizeIsCut(size, old_size, new_size)
                                             : size == old_size || size == new_size;
  if (!size_fits) return FileState::kOther;
  bool all_old = size == old_size, all_new = header.knows_new && size == new_size;
  std::vector<uint8_t> found(kPart), old(kPart);
  size_t index = 0;
  for (const auto& [start, end] : SavedParts(old_size, new_size)) {
    if (end > size) break;
    const size_t length = end - start;
    if (!ReadExactly(file, found.data(), length, start)) return FileState::kOther;
    const bool is_old = end <= old_size && ReadExactly(journal, old.data(), length, header.content_at + start) &&
                        std::memcmp(found.data(), old.data(), length) == 0;
    const bool is_new = header.knows_new && end <= new_size && index < header.new_hashes.size() &&
                        HashPart(found.data(), length) == header.new_hashes[index];
    ++index;
    if (!is_old && !is_new) return FileState::kOther;
    all_old = all_old && is_old;
    all_new = all_new && is_new;
  }
  if (all_new) return FileState::kNew;
  if (all_old) return FileState::kOld;
  return FileState::kPart;
}

bool ReadExactly(int fd, uint8_t* out, size_t size, uint64_t at) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<size_t>(got);
    at += static_cast<uint64_t>(got);
  }
  return true;
}

bool WriteExactly(int fd, const std::vector<uint8_t>& bytes, uint64_t at) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace zv::platform
