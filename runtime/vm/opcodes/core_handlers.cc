#include "runtime/vm/opcodes/core_handlers.h"

namespace zv {

void RegisterCoreHandlers(HandlerTable& table) {
  RegisterFlowHandlers(table);
  RegisterFunctionCallHandlers(table);
  RegisterDataHandlers(table);
  RegisterOperatorHandlers(table);
  RegisterMathHandlers(table);
  RegisterStringHandlers(table);
  RegisterArrayHandlers(table);
  // Last: the hot handlers replace the general forms of their opcodes.
  RegisterHotHandlers(table);
}

}  // namespace zv
