#include "services/files/numbered_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/paths/file_content.h"
#include "platform/paths/file_read.h"

namespace zv::files {

OpenFile::OpenFile(UniqueFd fd, std::string name, Use use) : fd_(std::move(fd)), name_(std::move(name)) {
  if (use == Use::kWriting) {
    writing_ = platform::WritingLock(fd_.Get());
    written_ = true;
    return;
  }
  reading_ = platform::LockForReading(fd_.Get());
  if (!reading_) {
    const int error = errno;
    fd_.Reset();
    errno = error;
  }
}

OpenFile::OpenFile(UniqueFd fd, std::string name, platform::GrowingFile growing)
    : OpenFile(std::move(fd), std::move(name), Use::kWriting) {
  growing_ = std::move(growing);
}

OpenFile::OpenFile(platform::FileSave save, std::string name, std::optional<uint64_t> deleted_in)
    : fd_(::dup(save.Fd())), apart_(std::move(save)), deleted_in_(deleted_in), name_(std::move(name)) {
  if (fd_.Valid()) {
    writing_ = platform::WritingLock(fd_.Get());
    written_ = true;
  }
}

bool OpenFile::Close() {
  // What was written is on the disk, under its name, once the file is
  // closed, as a save's content is once the save is done.
  bool synced = true;
  if (fd_.Valid() && apart_) {
    synced = apart_->Finish();
  } else if (fd_.Valid() && written_) {
    synced = SyncWithFolder(fd_.Get());
  }
  apart_.reset();
  deleted_in_.reset();
  keep_tried_ = false;
  growing_.reset();
  const int error = errno;
  written_ = false;
  writing_ = {};
  reading_.reset();
  fd_.Reset();
  name_.clear();
  buffer_.clear();
  buffer_pos_ = 0;
  errno = error;
  return synced;
}

void OpenFile::KeepIfKilled() {
  if (!DeletedIn() || keep_tried_) return;
  keep_tried_ = true;
  // Where no record can be kept, a kill loses what was written, as it
  // loses what a save in one command had not finished.
  apart_->KeepIfKilled();
}

int64_t OpenFile::Read(std::span<uint8_t> out) {
  if (!fd_.Valid()) return -1;
  if (out.empty()) return 0;
  if (buffer_pos_ == buffer_.size()) {
    buffer_.clear();
    buffer_pos_ = 0;
    // Large reads go straight to the caller.
    if (out.size() >= kBufferSize) return ReadFully(fd_.Get(), out);
    buffer_.resize(kBufferSize);
    const int64_t got = ReadFully(fd_.Get(), buffer_);
    if (got < 0) {
      buffer_.clear();
      return -1;
    }
    buffer_.resize(static_cast<size_t>(got));
    if (got == 0) return 0;
  }
  const size_t n = std::min(out.size(), buffer_.size() - buffer_pos_);
  std::memcpy(out.data(), buffer_.data() + buffer_pos_, n);
  buffer_pos_ += n;
  // What the buffer lacked comes straight from the file.
  if (n < out.size()) {
    const int64_t more = Read(out.subspan(n));
    return more < 0 ? static_cast<int64_t>(n) : static_cast<int64_t>(n) + more;
  }
  return static_cast<int64_t>(n);
}

uint64_t OpenFile::Position() {
  if (!fd_.Valid()) return 0;
  const off_t at = ::lseek(fd_.Get(), 0, SEEK_CUR);
  if (at < 0) return 0;
  return static_cast<uint64_t>(at) - (buffer_.size() - buffer_pos_);
}

uint64_t OpenFile::Size() const {
  struct stat st;
  if (!fd_.Valid() || ::fstat(fd_.Get(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

uint64_t OpenFile::Remaining() {
  const uint64_t size = Size();
  const uint64_t at = Position();
  return at < size ? size - at : 0;
}

bool OpenFile::GiveBackReadAhead() {
  const size_t unread = buffer_.size() - buffer_pos_;
  buffer_.clear();
  buffer_pos_ = 0;
  return unread == 0 || ::lseek(fd_.Get(), -static_cast<off_t>(unread), SEEK_CUR) >= 0;
}

bool OpenFile::Write(std::span<const uint8_t> bytes) {
  if (!fd_.Valid() || !GiveBackReadAhead()) return false;
  size_t done = 0;
  if (WriteFully(fd_.Get(), bytes, &done)) return true;
  const off_t now = ::lseek(fd_.Get(), 0, SEEK_CUR);
  if (now >= static_cast<off_t>(done)) TakeBackTo(static_cast<uint64_t>(now) - done);
  return false;
}

int64_t OpenFile::WriteFrom(int from, uint64_t count) {
  if (!fd_.Valid() || !GiveBackReadAhead()) return -1;
  // Written at the file's end: the source's holes stay holes.
  return platform::CopyFilePart(from, fd_.Get(), count, platform::Holes::kKeep);
}

void OpenFile::TakeBackTo(uint64_t size) {
  const int error = errno;
  struct stat st;
  if (fd_.Valid() && ::fstat(fd_.Get(), &st) == 0 && static_cast<uint64_t>(st.st_size) >= size &&
      ::ftruncate(fd_.Get(), static_cast<off_t>(size)) == 0)
    ::lseek(fd_.Get(), static_cast<off_t>(size), SEEK_SET);
  errno = error;
}

bool OpenFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (!fd_.Valid() || !GiveBackReadAhead()) return false;
  const off_t back = ::lseek(fd_.Get(), 0, SEEK_CUR);
  if (back < 0 || ::lseek(fd_.Get(), static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  const bool written = WriteFully(fd_.Get(), bytes);
  return ::lseek(fd_.Get(), back, SEEK_SET) >= 0 && written;
}

bool NumberedFiles::Close(int32_t slot) {
  Slot& s = At(slot);
  s.at_end = false;
  return s.file.Close();
}

void NumberedFiles::CloseAll() {
  for (int32_t n = 1; n <= kSlots; ++n) Close(n);
}

void NumberedFiles::KeepWrittenAnewIfKilled() {
  for (Slot& slot : slots_) slot.file.KeepIfKilled();
}

std::set<uint64_t> NumberedFiles::SlicesWrittenAnew() const {
  std::set<uint64_t> slices;
  for (const Slot& slot : slots_)
    if (const std::optional<uint64_t> slice = slot.file.DeletedIn()) slices.insert(*slice);
  return slices;
}

}  // namespace zv::files
