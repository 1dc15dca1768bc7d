#include "runtime/vm/opcodes/hot_handlers.h"

#include "runtime/vm/opcodes/core_handlers.h"

namespace zv {

void RegisterHotHandlers(HandlerTable& table) {
#define ZV_SET_HOT_HANDLER(opcode, call) table.Set(opcode, hot::HotHandler##opcode);
  ZV_HOT_OPCODES(ZV_SET_HOT_HANDLER)
  ZV_HOT_RAISING_OPCODES(ZV_SET_HOT_HANDLER)
#undef ZV_SET_HOT_HANDLER
}

}  // namespace zv
