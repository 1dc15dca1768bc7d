#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Sets the handlers of the core opcodes: flow control, operators, math,
// string and conversion functions, arrays, and the end command.
void RegisterCoreHandlers(HandlerTable& table);

// The families, for tests and tools that want only some of them.
void RegisterFlowHandlers(HandlerTable& table);          // jumps, loops, subroutines, end
void RegisterFunctionCallHandlers(HandlerTable& table);  // user-function calls and returns
void RegisterDataHandlers(HandlerTable& table);          // DATA read and restore
void RegisterOperatorHandlers(HandlerTable& table);
void RegisterMathHandlers(HandlerTable& table);
void RegisterStringHandlers(HandlerTable& table);
void RegisterArrayHandlers(HandlerTable& table);
// Jumps, the loop step, int and float arithmetic, numeric comparisons,
// assignment and conversions (hot_handlers.h).
void RegisterHotHandlers(HandlerTable& table);

}  // namespace zv
