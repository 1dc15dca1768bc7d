#include "platform/netsession/enet/enet_address.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/netsession/enet/enet_library.h"

namespace zv::platform {

bool IsLoopback(const ENetAddress& address) {
  return reinterpret_cast<const uint8_t*>(&address.host)[0] == 127;
}

ENetAddress LoopbackAddress(uint16_t port) {
  ENetAddress a{};
  Enet().enet_address_set_host_ip(&a, "127.0.0.1");
  a.port = port;
  return a;
}

ENetAddress BindAddress(const SessionNetworkOptions& options, uint16_t port) {
  if (options.loopback_only) return LoopbackAddress(port);
  ENetAddress a{};
  a.host = ENET_HOST_ANY;
  a.port = port;
  return a;
}

std::optional<ENetAddress> ParseAddress(std::string_view text, uint16_t default_port) {
  ENetAddress address{};
  address.port = default_port;
  std::string host(text);
  if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    const std::string_view digits = text.substr(colon + 1);
    unsigned port = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc{} || end != digits.data() + digits.size() || port == 0 || port > 65535)
      return std::nullopt;
    address.port = static_cast<uint16_t>(port);
    host = std::string(text.substr(0, colon));
  }
  if (host.empty() || Enet().enet_address_set_host(&address, host.c_str()) != 0) return std::nullopt;
  return address;
}

std::string PortFailure(uint16_t port, int error) {
  const std::string where = "UDP port " + std::to_string(port);
  if (error == EADDRINUSE) return where + " is in use by another program";
  return where + ": " + std::strerror(error);
}

ENetAddress ToEnet(const MachineAddress& a) {
  ENetAddress e{};
  e.host = a.host;
  e.port = a.port;
  return e;
}

}  // namespace zv::platform
