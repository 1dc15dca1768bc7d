#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "runtime/vm/vm.h"

namespace zv {

// Text of the message for `code`, or empty when the code has none.
std::string GetErrorText(int32_t code);
// The message number a code maps to, -1 for codes with no entry.
int32_t ErrorMessageNumber(int32_t code);

// "Runtime Error : <text>. <last engine error>" (or "System ..." from code
// 10000, "Warning" for a warning) for the error the run ended with.
std::string FormatErrorText(const ErrorState& errors);

// Where the error happened, for a person reading standard error:
// " (line 12: delete object)", " (line 3 of inc.kqa: print)" for a line of
// an included file, or empty when the place is unknown.
std::string FormatErrorPlace(const ErrorState& errors);
// The error as it is shown wherever it is (standard error, the error box,
// the log): its text, then its place.
std::string FormatErrorMessage(const ErrorState& errors);
// The place of the command at `command_pc` (its line, file and command as
// written), for FormatErrorPlace.
ErrorState CommandPlace(const Vm& vm, uint32_t command_pc);

// The detailed report of the failing command: line, command number, name
// (where the compiler is present) or internal error code (in a built game),
// and the value of each operand that is a value slot.
std::string BuildErrorReport(const Vm& vm, uint32_t opcode_index);

// With DEBUGMODE on, adds "RUNTIMEERROR ON d/m/y AT h:m" = text to the
// ERRORLOG section of KQ.LOG. `when` is UTC.
void LogRuntimeError(const VmSettings& settings, std::string_view text, const std::tm& when);
void LogRuntimeError(const VmSettings& settings, std::string_view text);

// Codes that RunError reports as warnings.
bool IsDemotedErrorCode(int32_t code);

// Codes the core gives faults that handlers throw, and system codes of our
// own with fixed texts.
namespace error_code {
constexpr int32_t kStringTooLong = 107;     // a text longer than a string holds
constexpr int32_t kNameRefused = 121;       // a name's mark stands for what no name may hold
constexpr int32_t kOutOfMemory = 10000;     // an allocation of a command failed
constexpr int32_t kUnknownCommand = 10009;  // no handler, or the code ran out
constexpr int32_t kSevereException = 10010;
}  // namespace error_code

}  // namespace zv
