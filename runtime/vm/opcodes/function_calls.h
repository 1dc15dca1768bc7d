#pragma once

#include <cstdint>

#include "runtime/vm/vm.h"

// The forms of user-function calls and returns that the dispatch loop runs
// inline when only numbers pass: no string parameter, no string among the
// saved variables, no string result, the argument count as the call was
// first checked for, and no variable that became or stopped being an array
// since the running function's saved slots were listed. Each either does
// the whole command, as its handler would, or changes nothing and returns
// false, and the handler then runs.
namespace zv {

// The call site whose operands start at `call_pc`, checked, or -1 when only
// the handler may run it (a fault, string parameters).
int32_t DecodeFastCall(Vm& vm, uint32_t call_pc);
// On success `next_pc` is the first word of the function's body.
bool FastCall(Vm& vm, uint32_t site, uint32_t& next_pc);
// Return of `word` (0 for the returns without a value); on success `next_pc`
// is the word after the call.
bool FastReturn(Vm& vm, uint32_t word, uint32_t& next_pc);

// True when the table holds the core call and return handlers, which the
// fast forms stand in for.
bool HasFunctionCallHandlers(const HandlerTable& table);

}  // namespace zv
