// What of the datagrams reaching an ENet host the gate keeps from ENet:
// connection requests by their value and by how many links their address
// holds half-open, and transport goodbyes on links that are up.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <memory>
#include <vector>

#include "platform/netsession/enet/link_gate.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform {
namespace {

// An ENet host with `places` places, bound nowhere: the tests set the
// state of its places and what it "received" themselves.
struct FakeHost {
  explicit FakeHost(size_t places) : host(enet_host_create(nullptr, places, 2, 0, 0)) {}
  ~FakeHost() {
    for (size_t i = 0; i < host->peerCount; ++i) host->peers[i].state = ENET_PEER_STATE_DISCONNECTED;
    enet_host_destroy(host);
  }
  // Place `i` in `state`, its other end at 127.0.0.`who`, port `port`.
  void Set(size_t i, ENetPeerState state, uint8_t who, uint16_t port = 40000) {
    host->peers[i].state = state;
    host->peers[i].address = Address(who, port);
  }
  static ENetAddress Address(uint8_t who, uint16_t port) {
    ENetAddress a{};
    a.host = htonl(0x7F000000u | who);
    a.port = port;
    return a;
  }
  // Whether the gate keeps `bytes` from 127.0.0.`who` away from ENet.
  bool TurnedAway(LinkGate& gate, std::vector<uint8_t> bytes, uint8_t who, uint16_t port = 41000) {
    received = std::move(bytes);
    host->receivedData = received.data();
    host->receivedDataLength = received.size();
    host->receivedAddress = Address(who, port);
    return gate.TurnAway(host, ++now);
  }
  ENetHost* host;
  std::vector<uint8_t> received;
  uint64_t now = 1000;
};

uint8_t Command(int command, int flags) { return static_cast<uint8_t>(command | flags); }

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v >> 16));
  Put16(out, static_cast<uint16_t>(v));
}

// A datagram header for link `peer` (0xFFF: none yet), with its sent time.
std::vector<uint8_t> Header(uint16_t peer, uint16_t flags = ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) {
  std::vector<uint8_t> out;
  Put16(out, static_cast<uint16_t>(peer | flags));
  if (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) Put16(out, 1234);
  return out;
}
void Connect(std::vector<uint8_t>& out, uint32_t data) {
  out.push_back(Command(ENET_PROTOCOL_COMMAND_CONNECT, ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE));
  out.push_back(0xFF);
  Put16(out, 1);
  Put16(out, 0);
  out.push_back(0xFF);
  out.push_back(0xFF);
  for (uint32_t v : {1392u, 32768u, 2u, 0u, 0u, 5000u, 2u, 2u, 77u}) Put32(out, v);
  Put32(out, data);
}
void Disconnect(std::vector<uint8_t>& out) {
  out.push_back(Command(ENET_PROTOCOL_COMMAND_DISCONNECT, ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE));
  out.push_back(0xFF);
  Put16(out, 7);
  Put32(out, 0);
}
void Acknowledge(std::vector<uint8_t>& out) {
  out.push_back(ENET_PROTOCOL_COMMAND_ACKNOWLEDGE);
  out.push_back(0);
  Put16(out, 3);
  Put16(out, 3);
  Put16(out, 1200);
}
// A reliable send of `length` bytes whose bytes look like a DISCONNECT.
void SendReliable(std::vector<uint8_t>& out, uint16_t length) {
  out.push_back(Command(ENET_PROTOCOL_COMMAND_SEND_RELIABLE, ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE));
  out.push_back(0);
  Put16(out, 4);
  Put16(out, length);
  for (uint16_t i = 0; i < length; ++i) out.push_back(ENET_PROTOCOL_COMMAND_DISCONNECT);
}

std::vector<uint8_t> ConnectRequest(uint32_t data = wire::kConnectMagic) {
  std::vector<uint8_t> out = Header(ENET_PROTOCOL_MAXIMUM_PEER_ID);
  Connect(out, data);
  return out;
}

// Where a goodbye is kept from ENet: only on a link that is up, wherever it
// stands among the datagram's commands, and never read into data.
TEST(LinkGate, KeepsTransportGoodbyesFromLinksThatAreUp) {
  struct Case {
    const char* what;
    ENetPeerState state;
    std::vector<uint8_t> datagram;
    bool kept;
  };
  auto datagram = [](uint16_t peer, auto... commands) {
    std::vector<uint8_t> out = Header(peer);
    (commands(out), ...);
    return out;
  };
  const auto ack = [](std::vector<uint8_t>& o) { Acknowledge(o); };
  const auto bye = [](std::vector<uint8_t>& o) { Disconnect(o); };
  const auto data = [](std::vector<uint8_t>& o) { SendReliable(o, 16); };
  std::vector<uint8_t> compressed = Header(0, ENET_PROTOCOL_HEADER_FLAG_SENT_TIME | ENET_PROTOCOL_HEADER_FLAG_COMPRESSED);
  Disconnect(compressed);
  std::vector<uint8_t> no_sent_time = Header(0, 0);
  Disconnect(no_sent_time);
  std::vector<uint8_t> cut = datagram(0, bye);
  cut.pop_back();
  const Case cases[] = {
      {"alone", ENET_PEER_STATE_CONNECTED, datagram(0, bye), true},
      {"after an acknowledgement", ENET_PEER_STATE_CONNECTED, datagram(0, ack, bye), true},
      {"after data", ENET_PEER_STATE_CONNECTED, datagram(0, data, ack, bye), true},
      {"without a sent time", ENET_PEER_STATE_CONNECTED, no_sent_time, true},
      {"in another link's place", ENET_PEER_STATE_CONNECTED, datagram(1, bye), false},
      {"to a link on its way out", ENET_PEER_STATE_DISCONNECT_LATER, datagram(0, bye), false},
      {"to a link being asked for", ENET_PEER_STATE_CONNECTING, datagram(0, bye), false},
      {"data that looks like one", ENET_PEER_STATE_CONNECTED, datagram(0, ack, data), false},
      {"cut short", ENET_PEER_STATE_CONNECTED, cut, false},
      {"compressed (ENet here takes none)", ENET_PEER_STATE_CONNECTED, compressed, false},
      {"past the last place", ENET_PEER_STATE_CONNECTED, datagram(9, bye), false},
  };
  for (const Case& c : cases) {
    FakeHost fake(4);
    LinkGate gate(wire::kConnectMagic);
    fake.Set(0, c.state, 1);
    EXPECT_EQ(fake.TurnedAway(gate, c.datagram, 1), c.kept) << c.what;
  }
}

// Requests without the game's value are turned away; each address holds
// at most two places half-open, however many ports it asks from; with
// every place taken the oldest half-open link makes room, unless the
// asker's address already has its share.
TEST(LinkGate, CountsHalfOpenLinksByAddress) {
  FakeHost fake(6);
  LinkGate gate(wire::kConnectMagic);
  EXPECT_TRUE(fake.TurnedAway(gate, ConnectRequest(0x12345678), 2));
  EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(), 2, 1000));
  fake.Set(0, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, 2, 1000);
  EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(), 2, 1001));
  fake.Set(1, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, 2, 1001);
  for (uint16_t port = 1002; port < 1200; ++port)
    ASSERT_TRUE(fake.TurnedAway(gate, ConnectRequest(), 2, port)) << port;
  // Another machine still gets in; two links of the game fill the rest.
  for (size_t i = 2; i < 4; ++i) {
    EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(), 3, static_cast<uint16_t>(i)));
    fake.Set(i, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, 3, static_cast<uint16_t>(i));
  }
  fake.Set(4, ENET_PEER_STATE_CONNECTED, 5);
  fake.Set(5, ENET_PEER_STATE_CONNECTED, 6);
  // Full: a newcomer pushes out the oldest half-open link (the flood's
  // first); the flood's address still has one, the other machine two.
  EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(), 4));
  EXPECT_EQ(fake.host->peers[0].state, ENET_PEER_STATE_DISCONNECTED);
  EXPECT_EQ(fake.host->peers[1].state, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT);
  fake.Set(0, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, 4);
  EXPECT_TRUE(fake.TurnedAway(gate, ConnectRequest(), 3, 99));
  // A link this machine opens itself finds a place too.
  gate.MakePlace(fake.host, 5000);
  EXPECT_EQ(fake.host->peers[1].state, ENET_PEER_STATE_DISCONNECTED);
}

}  // namespace
}  // namespace zv::platform
