#pragma once

#include <enet/enet.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/netsession/net_session.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform {

// The addresses the ENet sessions deal in: where this machine's hosts bind,
// what an address text names, and why a port could not be had.
bool IsLoopback(const ENetAddress& address);
// An address and its port as one number.
inline uint64_t AddressKey(const ENetAddress& a) { return uint64_t{a.host} << 16 | a.port; }
ENetAddress LoopbackAddress(uint16_t port);
// Where this machine's ENet hosts bind: every address, or the loopback
// address alone.
ENetAddress BindAddress(const SessionNetworkOptions& options, uint16_t port);
// "host" or "host:port"; nothing when it names no machine.
std::optional<ENetAddress> ParseAddress(std::string_view text, uint16_t default_port);
// Why the session port could not be had, from the error of its bind.
std::string PortFailure(uint16_t port, int error);
ENetAddress ToEnet(const MachineAddress& a);

}  // namespace zv::platform
