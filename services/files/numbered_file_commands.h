#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The numbered-file commands: open files 1 to 32 to read or to write; read
// and write bytes, words, dwords, floats and text lines; skip bytes; move
// memory blocks, whole files and folder trees in and out.
void RegisterNumberedFileHandlers(HandlerTable& table);

namespace numbered_file_opcode {
constexpr int kOpenToRead = 8041;
constexpr int kOpenToWrite = 8042;
constexpr int kClose = 8043;
constexpr int kReadByte = 8051;
constexpr int kReadWord = 8052;
constexpr int kReadDword = 8053;
constexpr int kReadDwordAlt = 8054;
constexpr int kReadFloat = 8055;
constexpr int kReadString = 8056;
constexpr int kReadFileBlock = 8057;
constexpr int kSkipBytes = 8058;
constexpr int kReadDirBlock = 8059;
constexpr int kWriteByte = 8061;
constexpr int kWriteWord = 8062;
constexpr int kWriteDword = 8063;
constexpr int kWriteDwordAlt = 8064;
constexpr int kWriteFloat = 8065;
constexpr int kWriteString = 8066;
constexpr int kWriteFileBlock = 8067;
constexpr int kWriteFileBlockNoSize = 8068;
constexpr int kWriteDirBlock = 8069;
constexpr int kReadMemblock = 8073;
constexpr int kWriteMemblock = 8074;
constexpr int kMakeMemblockFromFile = 8075;
constexpr int kFileOpen = 8124;
constexpr int kFileEnd = 8125;
}  // namespace numbered_file_opcode

namespace numbered_file_error {
constexpr int32_t kMissing = 105;       // the file to read is missing
constexpr int32_t kExists = 106;        // the file to write exists
constexpr int32_t kOpenFailed = 8201;
constexpr int32_t kCreateFailed = 8202;
constexpr int32_t kSlotInUse = 8203;
constexpr int32_t kSlotNotOpen = 8204;
constexpr int32_t kReadFailed = 8211;   // also an empty or impossible size
constexpr int32_t kWriteFailed = 8212;
constexpr int32_t kSlotNumber = 8213;   // outside 1..32
}  // namespace numbered_file_error

}  // namespace zv
