#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The file and directory commands: test, make, copy, move, rename and
// delete files and folders, change and list the working folder, walk it
// with find-first and find-next, read and rewrite single bytes, fill the
// checklist with files or drives, and start programs.
void RegisterFileHandlers(HandlerTable& table);

namespace file_opcode {
constexpr int kSetDirectory = 8001;
constexpr int kSetDirectoryAlt = 8008;
constexpr int kListDirectory = 8002;
constexpr int kListDrives = 8003;
constexpr int kChecklistFiles = 8004;
constexpr int kChecklistDrives = 8005;
constexpr int kFindFirst = 8006;
constexpr int kFindNext = 8007;
constexpr int kMakeFile = 8021;
constexpr int kDeleteFile = 8022;
constexpr int kCopyFile = 8023;
constexpr int kMoveFile = 8024;
constexpr int kRenameFile = 8025;
constexpr int kWriteByteToFile = 8026;
constexpr int kMakeDirectory = 8031;
constexpr int kDeleteDirectory = 8032;
constexpr int kExecuteFile = 8033;
constexpr int kExecuteFileEx = 8034;
constexpr int kDeleteDirectoryEx = 8035;
constexpr int kCurrentDirectory = 8101;
constexpr int kFindFileName = 8102;
constexpr int kFindFileType = 8103;
constexpr int kFindFileDate = 8104;
constexpr int kFileExists = 8121;
constexpr int kFileSize = 8122;
constexpr int kPathExists = 8123;
constexpr int kReadByteFromFile = 8126;
}  // namespace file_opcode

namespace file_error {
constexpr int32_t kMissing = 105;          // the file to read is missing
constexpr int32_t kExists = 106;           // the file to write exists
constexpr int32_t kNothingFound = 8001;
constexpr int32_t kFindPastEnd = 8002;     // error
constexpr int32_t kDirectoryNotSet = 8003;  // error
constexpr int32_t kMakeFailed = 8021;
constexpr int32_t kCopyFailed = 8023;      // the copy could not be written
constexpr int32_t kWriteFailed = 8212;
constexpr int32_t kNothingToDelete = 8022;
constexpr int32_t kMoveFailed = 8024;
constexpr int32_t kRenameFailed = 8025;
constexpr int32_t kDirectoryNotMade = 8101;
constexpr int32_t kDirectoryMissing = 8102;
constexpr int32_t kExecuteFailed = 8103;
constexpr int32_t kDirectoryKept = 8104;   // a folder that is never deleted
constexpr int32_t kNameNotGiven = 8105;    // a listing leaves an entry out
}  // namespace file_error

}  // namespace zv
