#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/paths/file_lock.h"
#include "platform/paths/file_save.h"
#include "platform/paths/growing_file.h"
#include "services/files/byte_source.h"
#include "services/files/disk_files.h"

namespace zv::files {

// One open numbered file: reads are buffered (a text line is read a byte at
// a time), and the buffer is given back to the file before anything is
// written, so reads and writes keep one position as the file has.
class OpenFile final : public ByteSource {
 public:
  // How a program holds the file open: while it writes, saves of other
  // programs onto the file wait and fail; while it reads, a save in place
  // of another program waits until the reader is done, so that the reader
  // sees the old content or the new (platform/paths/file_lock.h).
  enum class Use { kReading, kWriting };

  OpenFile() = default;
  OpenFile(UniqueFd fd, std::string name, Use use);
  // A new file written under its name as it goes, recorded until it is
  // closed (platform/paths/growing_file.h).
  OpenFile(UniqueFd fd, std::string name, platform::GrowingFile growing);
  // A file written apart: what is written takes its name in one step when
  // it is closed. `deleted_in`: for a file the program deleted and writes
  // anew, the slice of the program it was deleted in.
  OpenFile(platform::FileSave save, std::string name, std::optional<uint64_t> deleted_in = std::nullopt);

  bool IsOpen() const { return fd_.Valid(); }
  // Of a file the program deleted and writes anew, the slice it was
  // deleted in; nothing for any other.
  std::optional<uint64_t> DeletedIn() const { return apart_ ? deleted_in_ : std::nullopt; }
  // From now on a kill before the close leaves what a file written anew
  // holds for the next start to keep and name (FileSave::KeepIfKilled);
  // tried once a file.
  void KeepIfKilled();
  // The file's name as the program gave it.
  const std::string& Name() const { return name_; }
  // False (errno set) when what was written could not be synced (or, for
  // a file written anew, put in place).
  bool Close();

  int64_t Read(std::span<uint8_t> out) override;
  uint64_t Remaining() override;
  // False when not every byte could be written. Programs write a file at
  // its end, and a write that fails part-way is taken back, so the file
  // holds the values written before it and no part of it.
  bool Write(std::span<const uint8_t> bytes);
  // Writes `count` bytes of the file open as `from`, from where it stands,
  // a block at a time. The count written (fewer when `from` ends sooner),
  // or -1 when a read or write failed.
  int64_t WriteFrom(int from, uint64_t count);
  // Takes back what was written since the file's end stood at `size`: the
  // file is cut there and goes on from there. errno is kept.
  void TakeBackTo(uint64_t size);
  // The file's whole size in bytes.
  uint64_t Size() const;
  // Writes `bytes` at `offset` from the start and comes back to where it was.
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  uint64_t Position();

 private:
  // Moves the file's position back over the bytes read ahead and not used.
  bool GiveBackReadAhead();

  static constexpr size_t kBufferSize = 4096;
  UniqueFd fd_;
  std::optional<platform::FileSave> apart_;
  std::optional<uint64_t> deleted_in_;
  bool keep_tried_ = false;
  std::optional<platform::GrowingFile> growing_;
  // After the descriptor, so that they go before it.
  platform::WritingLock writing_;
  std::optional<platform::ContentLock> reading_;
  std::string name_;
  bool written_ = false;
  std::vector<uint8_t> buffer_;
  size_t buffer_pos_ = 0;
};

// File slots 1 to 32 of a program, each with its end-of-file flag (set by a
// read that got fewer bytes than it asked for).
class NumberedFiles {
 public:
  static constexpr int32_t kSlots = 32;
  static bool InRange(int32_t slot) { return slot >= 1 && slot <= kSlots; }

  struct Slot {
    OpenFile file;
    bool at_end = false;
  };
  NumberedFiles() = default;
  NumberedFiles(const NumberedFiles&) = delete;
  NumberedFiles& operator=(const NumberedFiles&) = delete;
  // A program that ends keeps what it wrote, closed or not.
  ~NumberedFiles() { CloseAll(); }
  // `slot` must be InRange.
  Slot& At(int32_t slot) { return slots_[static_cast<size_t>(slot - 1)]; }

  // False (errno set) when what was written could not be synced.
  bool Close(int32_t slot);
  void CloseAll();
  // The slices in which the files open and written anew were deleted.
  std::set<uint64_t> SlicesWrittenAnew() const;
  // OpenFile::KeepIfKilled for each file open and written anew.
  void KeepWrittenAnewIfKilled();

 private:
  std::array<Slot, kSlots> slots_;
};

}  // namespace zv::files
