#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The clipboard, registry and system commands: text to and from the
// clipboard, 32-bit values under the current user's registry, the paths of
// the executable and the system folder, the Escape and system keys, the
// box shown at exit, the quotations and the internal flags.
void RegisterSystemHandlers(HandlerTable& table);

namespace system_opcode {
constexpr int kAppFileName = 426;
constexpr int kWindowsDirectory = 427;
constexpr int kWriteClipboardText = 8071;
constexpr int kClipboardText = 8072;
constexpr int kWriteRegistryDword = 8081;
constexpr int kRegistryDword = 8082;
constexpr int kDisableEscapeKey = 9601;
constexpr int kEnableEscapeKey = 9602;
constexpr int kDisableSystemKeys = 9603;
constexpr int kEnableSystemKeys = 9604;
constexpr int kSetExitPrompt = 9611;
constexpr int kPrintQuotation1 = 9801;
constexpr int kPrintQuotation2 = 9802;
constexpr int kPrintQuotation3 = 9803;
constexpr int kSetInternalFlagAOn = 9990;
constexpr int kSetInternalFlagBOn = 9991;
constexpr int kSetInternalFlagBOff = 9992;
constexpr int kSetInternalFlagCOn = 9993;
constexpr int kSetInternalFlagCOff = 9994;
constexpr int kSetInternalFlagAOff = 9995;
}  // namespace system_opcode

namespace system_error {
// A registry value that could not be kept: the warning names the registry's
// file and says why.
constexpr int32_t kRegistryNotWritten = 8212;
}  // namespace system_error

}  // namespace zv
