#include "services/net/net_handlers.h"

namespace zv {

void RegisterNetHandlers(HandlerTable& table) {
  RegisterFtpCommands(table);
  RegisterMultiplayerCommands(table);
}

}  // namespace zv
