#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The user-library commands: load a program's own library into a slot, free
// it, test for it and for its functions, and call a function by name with 0
// to 9 arguments of 32 bits, as a command or as a function that keeps the
// 32-bit result.
void RegisterUserLibraryHandlers(HandlerTable& table);

namespace user_library_opcode {
constexpr int kLoadUserDll = 9701;
constexpr int kFreeUserDll = 9702;
constexpr int kUserDllExists = 9703;
constexpr int kUserDllCallExists = 9704;
constexpr int kCallUserDll0 = 9710;  // to 9719: 0 to 9 arguments
constexpr int kFnCallUserDll0 = 9720;  // to 9729
}  // namespace user_library_opcode

namespace user_library_error {
constexpr int32_t kLoadFailed = 9701;  // a warning
constexpr int32_t kSlotEmpty = 9702;
constexpr int32_t kSlotInUse = 9703;
constexpr int32_t kNoSuchFunction = 9704;
constexpr int32_t kSlotNumber = 9705;  // outside 1..255
}  // namespace user_library_error

}  // namespace zv
