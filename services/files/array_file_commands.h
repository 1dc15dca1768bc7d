#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The array-file commands: save a whole integer, float or string array to a
// file and load it back.
void RegisterArrayFileHandlers(HandlerTable& table);

namespace array_file_opcode {
constexpr int kLoadNumberArray = 5001;
constexpr int kLoadNumberArrayAlt = 5002;
constexpr int kLoadStringArray = 5003;
constexpr int kSaveNumberArray = 5004;
constexpr int kSaveNumberArrayAlt = 5005;
constexpr int kSaveStringArray = 5006;
}  // namespace array_file_opcode

namespace array_file_error {
constexpr int32_t kFileFailed = 104;  // the file cannot be opened or made
constexpr int32_t kFileHoldsMore = 102;  // a file holds more than its array takes (a warning)
constexpr int32_t kNotAnArray = 109;  // no dimensioned array of the command's kind
constexpr int32_t kElementHoldsLineEnd = 123;  // a string element its file cannot keep as one line
}  // namespace array_file_error

// Stages of the string-array load, left in the error report's internal code.
namespace array_load_stage {
constexpr int32_t kEntered = 15001;
constexpr int32_t kArrayAccepted = 15002;
constexpr int32_t kArrayDimensioned = 15003;
constexpr int32_t kOpening = 15004;
constexpr int32_t kOpenFailed = 15005;
constexpr int32_t kFileClosed = 15009;
constexpr int32_t kLinesStarting = 15010;
constexpr int32_t kLineCopying = 15011;
constexpr int32_t kLineNext = 15017;
constexpr int32_t kFinished = 15025;
}  // namespace array_load_stage

}  // namespace zv
