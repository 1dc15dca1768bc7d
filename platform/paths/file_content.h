#pragma once

#include <cstdint>
#include <string>

namespace zv::platform {

// What a copy does where the source has holes (ranges never written, which
// read as zeros).
enum class Holes {
  kKeep,  // they stay holes in the copy, which then takes no room for them
  kFill   // they are written as zeros, over whatever the destination held
};

// Copies the whole content of the regular file open as `from` into `to`,
// from the start of each, a block at a time (the system copies it where it
// can), so that memory does not grow with the file; `to` is then cut to the
// same size. False (errno set) when a read or write failed.
bool CopyFileContent(int from, int to, Holes holes);

// Copies up to `count` bytes from where the file open as `from` stands to
// where `to` stands, moving both past them, a block at a time (the system
// copies them where it can). With Holes::kKeep, `to` must hold nothing
// there (it is written at its end). The count copied (fewer when the source
// ends sooner), or -1 (errno set) when a read or write failed.
int64_t CopyFilePart(int from, int to, uint64_t count, Holes holes);

// Copies `length` bytes of `from` at `in` over `to` at `out` (holes are
// written as zeros), leaving both positions alone. The count copied (fewer
// when the source ends sooner), or -1 (errno set) when a read or write
// failed.
int64_t CopyFileRange(int from, uint64_t in, int to, uint64_t out, uint64_t length);

// Waits until what was written to the file open as `fd` is on the disk, so
// that a power cut after it keeps it (its size too). A file system that
// cannot sync (EINVAL) counts as synced. False (errno set) when it failed.
bool SyncFileData(int fd);
// The same for the names in `folder` ("" for the working folder): a file
// made, renamed or removed there stays so after a power cut.
bool SyncFolder(const std::string& folder);

}  // namespace zv::platform
