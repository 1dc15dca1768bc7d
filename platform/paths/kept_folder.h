#pragma once

#include <cstdint>
#include <string>

namespace zv::platform {

// Content that the recovery of a killed save takes out of a file's way,
// kept as a file of its own, never over a file that is there: beside the
// file as NAME.kept (NAME.kept.1 to .99 where that is taken; those copies
// hold kKeptBytes at most together), or in the state folder's `kept` (the
// spare state folder's where the state folder cannot be had) under the
// file's name and any number.
//
// `kept` holds at most kKeptBytes: a file kept there first removes the
// oldest there until it fits, each named on standard error; the newest
// stays whatever its size, since it may be the only copy of what it holds.
inline constexpr uint64_t kKeptBytes = uint64_t{1} << 30;

// `size` bytes of the file open as `fd`, from `at`.
struct KeptContent {
  int fd = -1;
  uint64_t at = 0;
  uint64_t size = 0;
};

// Keeps `content` beside `path`, else (a folder that takes no new file,
// names all taken, or copies beside that would pass `limit` bytes with it)
// in `kept` as the file's name and ".kept"; its name, or "" (errno set).
// Nothing beside the file is removed: it may be the user's own now.
std::string KeepBeside(const KeptContent& content, const std::string& path, uint64_t limit = kKeptBytes);
// Keeps the file `file` open as `fd`, which waits in the folder of `path`
// under a name of the system's, the same way: it takes the name NAME.kept
// (or a numbered one) beside `path`, else its content goes to `kept` and
// it goes. Its new name, or "" (errno set), and then it stays as it is.
std::string KeepFileBeside(int fd, const std::string& file, const std::string& path, uint64_t limit = kKeptBytes);
// Keeps `content` in `kept` as the last part of `path` and `suffix`
// (".kept", ".replaced"), a number added where that is taken; its name, or
// "" (errno set).
std::string KeepInKeptFolder(const KeptContent& content, const std::string& path, const std::string& suffix);

// Removes the oldest files of the folder `kept` (the user's own regular
// files alone) until what is left and `coming` bytes more fit in `limit`,
// naming each on standard error.
void MakeRoomInKept(const std::string& kept, uint64_t coming, uint64_t limit = kKeptBytes);

}  // namespace zv::platform
