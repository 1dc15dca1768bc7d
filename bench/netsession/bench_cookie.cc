// What a connection request costs the machine it reaches: a forged one (no
// cookie of this machine's for its address and port) is turned away
// without ENet seeing it; a joiner's is let through. Per request, as a
// flood of them costs the host a datagram at a time.
#include <benchmark/benchmark.h>
#include <enet/enet.h>

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "platform/netsession/connect_cookie.h"
#include "platform/netsession/enet/link_gate.h"
#include "platform/netsession/session_wire.h"

namespace {

using namespace zv::platform;

// An ENet connection request carrying `data`.
std::vector<uint8_t> ConnectRequestBytes(uint32_t data) {
  std::vector<uint8_t> out = {0x8F, 0xFF, 0x12, 0x34};
  ENetProtocolConnect connect{};
  connect.header.command = static_cast<uint8_t>(ENET_PROTOCOL_COMMAND_CONNECT) | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
  connect.header.channelID = 0xFF;
  connect.connectID = ENET_HOST_TO_NET_32(77);
  connect.data = ENET_HOST_TO_NET_32(data);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&connect);
  out.insert(out.end(), bytes, bytes + sizeof connect);
  return out;
}

void BM_ConnectRequest(benchmark::State& state) {
  const bool forged = state.range(0) == 1;
  ENetHost* host = enet_host_create(nullptr, 8, 2, 0, 0);
  ConnectCookies cookies(wire::kConnectMagic);
  LinkPlaces places(8);
  LinkGate gate(cookies, places, nullptr);
  ENetAddress from{};
  from.host = htonl(0x7F000001);
  from.port = 40000;
  uint64_t now = 1000;
  std::vector<uint8_t> bytes = ConnectRequestBytes(forged ? 0x12345678 : cookies.Issue(from.host, from.port, now));
  std::vector<uint8_t> received(bytes.size());
  size_t let_in = 0;
  for (auto _ : state) {
    std::memcpy(received.data(), bytes.data(), bytes.size());
    host->receivedData = received.data();
    host->receivedDataLength = received.size();
    host->receivedAddress = from;
    let_in += gate.TurnAway(host, now) ? 0 : 1;
  }
  state.counters["let_in"] = static_cast<double>(let_in) / static_cast<double>(state.iterations());
  enet_host_destroy(host);
}
BENCHMARK(BM_ConnectRequest)->ArgName("forged")->Arg(1)->Arg(0);

void BM_IssueCookie(benchmark::State& state) {
  ConnectCookies cookies(wire::kConnectMagic);
  uint32_t host = 0x0100007F;
  for (auto _ : state) benchmark::DoNotOptimize(cookies.Issue(host++, 40000, 1000));
}
BENCHMARK(BM_IssueCookie);

}  // namespace
BENCHMARK_MAIN();
