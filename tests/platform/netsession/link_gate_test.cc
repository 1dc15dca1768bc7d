// What of the datagrams reaching an ENet host the gate keeps from ENet:
// connection requests without a cookie issued to their address and port,
// and transport goodbyes on links that are up, which it takes out of the
// datagram around them.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "platform/netsession/connect_cookie.h"
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
  bool TurnedAway(LinkGate& gate, const std::vector<uint8_t>& bytes, uint8_t who, uint16_t port = 41000) {
    std::copy(bytes.begin(), bytes.end(), host->packetData[0]);
    host->receivedData = host->packetData[0];
    host->receivedDataLength = bytes.size();
    host->receivedAddress = Address(who, port);
    return gate.TurnAway(host, ++now);
  }
  // Place `i` has sent the handshake's last step, which waits for its
  // acknowledgement.
  void VerifyConnectSent(size_t i) {
    auto* verify = static_cast<ENetOutgoingCommand*>(enet_malloc(sizeof(ENetOutgoingCommand)));
    *verify = ENetOutgoingCommand{};
    verify->command.header.command = static_cast<enet_uint8>(ENET_PROTOCOL_COMMAND_VERIFY_CONNECT) | static_cast<enet_uint8>(ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE);
    verify->command.header.channelID = 0xFF;
    verify->reliableSequenceNumber = 1;
    verify->sentTime = 0x12345;
    enet_list_insert(enet_list_end(&host->peers[i].sentReliableCommands), verify);
    host->peers[i].incomingSessionID = 0;
  }
  ENetHost* host;
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
void Connect(std::vector<uint8_t>& out, uint32_t data, uint32_t connect_id) {
  out.push_back(Command(ENET_PROTOCOL_COMMAND_CONNECT, ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE));
  out.push_back(0xFF);
  Put16(out, 1);
  Put16(out, 0);
  out.push_back(0xFF);
  out.push_back(0xFF);
  for (uint32_t v : {1392u, 32768u, 2u, 0u, 0u, 5000u, 2u, 2u, connect_id}) Put32(out, v);
  Put32(out, data);
}
void Disconnect(std::vector<uint8_t>& out) {
  out.push_back(Command(ENET_PROTOCOL_COMMAND_DISCONNECT, ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE));
  out.push_back(0xFF);
  Put16(out, 7);
  Put32(out, 0);
}
// The acknowledgement of the handshake's last step, as VerifyConnectSent sent it.
void AcknowledgeVerify(std::vector<uint8_t>& out) {
  out.push_back(ENET_PROTOCOL_COMMAND_ACKNOWLEDGE);
  out.push_back(0xFF);
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 0x2345);
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

std::vector<uint8_t> ConnectRequest(uint32_t data, uint32_t connect_id = 77) {
  std::vector<uint8_t> out = Header(ENET_PROTOCOL_MAXIMUM_PEER_ID);
  Connect(out, data, connect_id);
  return out;
}

// What is left of a goodbye's datagram: the commands around it, moved
// together, or nothing where nothing else was in it. A link's commands that
// come before the acknowledgement of its handshake's last step get it put
// before them, where they carry none. Anything else untouched.
TEST(LinkGate, TakesTransportGoodbyesOutOfDatagramsOnLinksThatAreUp) {
  using Commands = std::vector<void (*)(std::vector<uint8_t>&)>;
  const auto ack = [](std::vector<uint8_t>& o) { Acknowledge(o); };
  const auto bye = [](std::vector<uint8_t>& o) { Disconnect(o); };
  const auto data = [](std::vector<uint8_t>& o) { SendReliable(o, 16); };
  const auto acked = [](std::vector<uint8_t>& o) { AcknowledgeVerify(o); };
  auto datagram = [](uint16_t peer, const Commands& commands) {
    std::vector<uint8_t> out = Header(peer);
    for (auto command : commands) command(out);
    return out;
  };
  struct Case {
    const char* what;
    ENetPeerState state;
    std::vector<uint8_t> datagram;
    std::optional<std::vector<uint8_t>> left;  // nothing: turned away whole
  };
  std::vector<uint8_t> compressed = Header(0, ENET_PROTOCOL_HEADER_FLAG_SENT_TIME | ENET_PROTOCOL_HEADER_FLAG_COMPRESSED);
  Disconnect(compressed);
  std::vector<uint8_t> no_sent_time = Header(0, 0);
  Disconnect(no_sent_time);
  std::vector<uint8_t> cut = datagram(0, {bye});
  cut.pop_back();
  auto same = [](const std::vector<uint8_t>& d) { return std::optional<std::vector<uint8_t>>(d); };
  const Case cases[] = {
      {"alone", ENET_PEER_STATE_CONNECTED, datagram(0, {bye}), std::nullopt},
      {"twice", ENET_PEER_STATE_CONNECTED, datagram(0, {bye, bye}), std::nullopt},
      {"without a sent time", ENET_PEER_STATE_CONNECTED, no_sent_time, std::nullopt},
      {"after an acknowledgement", ENET_PEER_STATE_CONNECTED, datagram(0, {ack, bye}), datagram(0, {ack})},
      {"after data", ENET_PEER_STATE_CONNECTED, datagram(0, {data, ack, bye}), datagram(0, {data, ack})},
      {"before data", ENET_PEER_STATE_CONNECTED, datagram(0, {bye, data}), datagram(0, {data})},
      {"between two", ENET_PEER_STATE_CONNECTED, datagram(0, {ack, bye, data, bye}), datagram(0, {ack, data})},
      {"in another link's place", ENET_PEER_STATE_CONNECTED, datagram(1, {bye}), same(datagram(1, {bye}))},
      {"to a link on its way out", ENET_PEER_STATE_DISCONNECT_LATER, datagram(0, {bye}), same(datagram(0, {bye}))},
      {"to a link being asked for", ENET_PEER_STATE_CONNECTING, datagram(0, {bye}), same(datagram(0, {bye}))},
      {"data that looks like one", ENET_PEER_STATE_CONNECTED, datagram(0, {ack, data}), same(datagram(0, {ack, data}))},
      {"cut short", ENET_PEER_STATE_CONNECTED, cut, same(cut)},
      {"compressed (ENet here takes none)", ENET_PEER_STATE_CONNECTED, compressed, same(compressed)},
      {"past the last place", ENET_PEER_STATE_CONNECTED, datagram(9, {bye}), same(datagram(9, {bye}))},
      {"a Join before the handshake's end", ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, datagram(0, {data, data}),
       datagram(0, {acked, data, data})},
      {"with an acknowledgement", ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, datagram(0, {ack, data}), same(datagram(0, {ack, data}))},
      {"of another session", ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, datagram(1 << 12, {data}), same(datagram(1 << 12, {data}))},
  };
  for (const Case& c : cases) {
    FakeHost fake(4);
    ConnectCookies cookies(wire::kConnectMagic);
    LinkPlaces places(4);
    LinkGate gate(cookies, places, nullptr);
    fake.Set(0, c.state, 1);
    if (c.state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT) fake.VerifyConnectSent(0);
    const bool away = fake.TurnedAway(gate, c.datagram, 1, 40000);
    EXPECT_EQ(away, !c.left) << c.what;
    if (!c.left || away) continue;
    const std::vector<uint8_t> seen(fake.host->receivedData, fake.host->receivedData + fake.host->receivedDataLength);
    EXPECT_EQ(seen, *c.left) << c.what;
  }
}

// Only a request with a cookie this machine issued to its own address and
// port gets past the gate, whatever else it carries: a flood of made-up ones
// from 200 addresses changes nothing, and players behind one address each
// get in. A cookie holds for its turn and the next.
TEST(LinkGate, LetsInOnlyRequestsWithTheirOwnCookie) {
  FakeHost fake(6);
  ConnectCookies cookies(wire::kConnectMagic), other_machine(wire::kConnectMagic), other_version(6);
  LinkPlaces places(6);
  LinkGate gate(cookies, places, nullptr);
  const ENetAddress asker = FakeHost::Address(2, 1000);
  auto cookie = [&](uint8_t who, uint16_t port) {
    return cookies.Issue(FakeHost::Address(who, port).host, port, fake.now);
  };
  struct Case {
    const char* what;
    uint32_t data;
  };
  const Case refused[] = {
      {"the wire's version alone", wire::kConnectMagic},
      {"no cookie", 0},
      {"another port's cookie", cookie(2, 1001)},
      {"another address's cookie", cookie(3, 1000)},
      {"another machine's cookie", other_machine.Issue(asker.host, asker.port, fake.now)},
      {"another wire version's cookie", other_version.Issue(asker.host, asker.port, fake.now)},
  };
  for (const Case& c : refused) EXPECT_TRUE(fake.TurnedAway(gate, ConnectRequest(c.data), 2, 1000)) << c.what;
  std::mt19937 random(7);
  for (int i = 0; i < 10000; ++i)
    ASSERT_TRUE(fake.TurnedAway(gate, ConnectRequest(static_cast<uint32_t>(random())), static_cast<uint8_t>(1 + i % 200),
                                static_cast<uint16_t>(random())));
  // Two players behind one address.
  for (uint16_t port : {1000, 1001}) {
    EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(cookie(2, port)), 2, port)) << port;
    fake.Set(port - 1000u, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, 2, port);
    fake.host->peers[port - 1000u].connectID = ENET_HOST_TO_NET_32(77);
  }
  const uint32_t old = cookie(5, 5);
  fake.now += ConnectCookies::kTurnMs;
  EXPECT_FALSE(fake.TurnedAway(gate, ConnectRequest(old), 5, 5));
  fake.now += ConnectCookies::kTurnMs;
  EXPECT_TRUE(fake.TurnedAway(gate, ConnectRequest(old), 5, 5));
}

// Which link gives its place to a request with a valid cookie from 127.0.0.9
// port 9 (`same`: the asker's request again). Four places (or the row's),
// strangers (links not joined) may hold all but one. Each row lists the
// links, oldest first, with how many ms ago each came (a port: at the
// asker's address, or at 127.0.0.30 where the row says) and how long its
// handshake took, and the addresses that wasted a handshake before (9: the
// asker's), and says whether the request is let in and which link (in the
// row's order) gives way.
TEST(LinkPlaces, AStrangerGivesWayOnlyToWhatThePlacesRulesSay) {
  constexpr uint64_t kGrace = LinkPlaces::kHandshakeGraceMs, kHandshake = LinkPlaces::kHandshakeMs;
  constexpr uint64_t kJoin = LinkPlaces::kMinJoinMs;
  enum Kind { kHalfOpen, kFinished, kJoined, kOwn };
  struct Link {
    Kind kind;
    uint64_t age_ms = 0;
    uint16_t port = 0;
    bool at_30 = false;
    uint64_t round_trip_ms = 0;
  };
  struct Case {
    const char* what;
    std::vector<Link> links;
    bool known;  // the asker is a known machine
    bool same;
    bool let_in;
    int gives_way;  // -1: none
    size_t places = 4;
    std::vector<uint8_t> wasteful = {};
  };
  const Case cases[] = {
      {"a free place", {{kHalfOpen, 0}, {kJoined}, {kOwn}}, false, false, true, -1},
      {"strangers' share taken: the one longest past its time",
       {{kHalfOpen, kHandshake + 9}, {kFinished, kJoin + 5}, {kHalfOpen, kHandshake}}, false, false, true, 0},
      {"no place free: the stranger past its time",
       {{kJoined, 9000}, {kFinished, kJoin}, {kHalfOpen, kHandshake - 1}, {kOwn}}, false, false, true, 1},
      {"every stranger in its time", {{kHalfOpen, kHandshake - 1}, {kFinished, kJoin - 1}, {kHalfOpen, 0}}, false, false,
       false, -1},
      {"a handshake that ended keeps its place for ten of its round trips",
       {{kFinished, 3009, 0, false, 300}, {kFinished, kHandshake, 0, false, 100}}, false, false, true, 1, 3},
      {"links that joined and this machine's own never",
       {{kJoined, 9000}, {kOwn}, {kJoined, 9000}, {kOwn}}, false, false, false, -1},
      {"the asker's own link in its grace", {{kHalfOpen, kGrace - 1, 9}}, false, false, false, -1},
      {"the asker's own link past its grace", {{kFinished, kGrace, 9}}, false, false, true, 0},
      {"the asker's request again is ENet's", {{kHalfOpen, 0, 9}}, false, true, true, -1},
      {"a known machine: a free place", {{kHalfOpen, 0}, {kHalfOpen, 0}, {kHalfOpen, 0}}, true, false, true, -1},
      {"a known machine: the oldest stranger, in its grace",
       {{kJoined, 9}, {kFinished, 5}, {kHalfOpen, 2}, {kOwn}}, true, false, true, 1},
      {"a known machine: never a link that joined", {{kJoined}, {kOwn}, {kJoined}, {kOwn}}, true, false, false, -1},
      {"a stranger long past its wait while places are free", {{kFinished, 60000}}, false, false, true, -1, 8},
      {"the asker's address holds five in their grace, places free (one NAT)",
       {{kHalfOpen, 4, 1}, {kFinished, 3, 2}, {kHalfOpen, 2, 3}, {kHalfOpen, 1, 4}, {kHalfOpen, 0, 5}},
       false, false, true, -1, 8},
      {"an address holding two more: its oldest, in its grace",
       {{kHalfOpen, 1, 1, true}, {kFinished, kGrace + 9}, {kHalfOpen, 0, 2, true}}, false, false, true, 0},
      {"an address holding one more keeps its places in their time, and the asker's own",
       {{kHalfOpen, 2, 1, true}, {kHalfOpen, kHandshake - 1, 8}, {kHalfOpen, 0, 2, true}}, false, false, false, -1},
      {"a wasteful address gives way to one that is not, whatever they hold",
       {{kHalfOpen, 5, 1}, {kHalfOpen, 4, 2}, {kHalfOpen, 0, 0, true}}, false, false, true, 2, 4, {30}},
      {"a wasteful asker takes no place of one that is not",
       {{kHalfOpen, 1, 1, true}, {kHalfOpen, 0, 2, true}}, false, false, false, -1, 3, {9}},
      {"a wasteful asker takes no place of a link past its time that is not wasteful's",
       {{kFinished, kJoin + 5}, {kHalfOpen, 0, 1, true}}, false, false, false, -1, 3, {9}},
      {"a link past its time keeps it against an address holding as many",
       {{kFinished, kJoin + 5}, {kHalfOpen, 0, 8}, {kHalfOpen, 0, 1, true}, {kHalfOpen, 0, 2, true}}, false, false,
       false, -1, 5},
      {"a wasteful asker takes a wasteful address's link past its time",
       {{kFinished, kJoin + 5, 1, true}, {kHalfOpen, 0, 2, true}}, false, false, true, 0, 3, {9, 30}},
      {"among wasteful addresses, one holding two more",
       {{kHalfOpen, 2}, {kHalfOpen, 1, 1, true}, {kHalfOpen, 0, 2, true}}, false, false, true, 1, 4, {9, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost fake(c.places);
    LinkPlaces places(c.places - 1);
    const uint64_t now = 100000;
    for (uint8_t who : c.wasteful) {
      fake.host->receivedAddress = FakeHost::Address(who, 1);
      ASSERT_TRUE(places.Admit(fake.host, 1, false, now - 9000));
      places.Forget(&fake.host->peers[0]);
    }
    // This machine's own links first; the others come in the row's order,
    // each where ENet puts a new link: the first free place.
    std::vector<ENetPeer*> at(c.links.size(), nullptr);
    size_t next = 0;
    for (size_t k = 0; k < c.links.size(); ++k)
      if (c.links[k].kind == kOwn) {
        fake.Set(next, ENET_PEER_STATE_CONNECTED, static_cast<uint8_t>(20 + k));
        at[k] = &fake.host->peers[next++];
      }
    for (size_t k = 0; k < c.links.size(); ++k) {
      const Link& link = c.links[k];
      if (link.kind == kOwn) continue;
      ENetPeer* peer = at[k] = &fake.host->peers[next];
      const uint32_t id = static_cast<uint32_t>(100 + k);
      const uint8_t who = link.at_30 ? 30 : link.port ? 9 : static_cast<uint8_t>(20 + k);
      fake.host->receivedAddress = FakeHost::Address(who, link.port ? link.port : 40000);
      ASSERT_TRUE(places.Admit(fake.host, id, false, now - link.age_ms));
      fake.Set(next++, link.kind == kHalfOpen ? ENET_PEER_STATE_ACKNOWLEDGING_CONNECT : ENET_PEER_STATE_CONNECTED, who,
               link.port ? link.port : 40000);
      peer->connectID = id;
      if (link.kind != kHalfOpen) places.Connected(peer, now - link.age_ms + link.round_trip_ms);
      if (link.kind == kJoined) places.Joined(peer);
    }
    fake.host->receivedAddress = FakeHost::Address(9, 9);
    EXPECT_EQ(places.Admit(fake.host, c.same ? 100u : 999u, c.known, now), c.let_in);
    for (size_t k = 0; k < c.links.size(); ++k)
      EXPECT_EQ(at[k]->state == ENET_PEER_STATE_DISCONNECTED, static_cast<int>(k) == c.gives_way) << "link " << k;
  }
}

// A stranger's link that has not joined, however late, keeps its place
// until a request needs it and it had its time; the session hears of it
// then. One that joined stays. A machine opening a link itself takes the
// oldest stranger's place, whatever its age, where none is free, and never
// one that joined.
TEST(LinkPlaces, ALinkStillJoiningLosesItsPlaceOnlyWhereItIsNeeded) {
  struct Case {
    const char* what;
    uint64_t after_ms;  // since the request was let in
    bool joined;
    bool needed;  // another request comes for its place
    bool dropped;
  };
  const Case cases[] = {
      {"a minute late, its place not needed", 60000, false, false, false},
      {"its place needed, in its time", LinkPlaces::kMinJoinMs, false, true, false},
      {"its place needed, past its time", LinkPlaces::kMinJoinMs + 1, false, true, true},
      {"joined", 60000, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost fake(2);
    LinkPlaces places(1);
    ENetPeer* peer = &fake.host->peers[0];
    fake.host->receivedAddress = FakeHost::Address(3, 3);
    ASSERT_TRUE(places.Admit(fake.host, 5, false, 1000));
    fake.Set(0, ENET_PEER_STATE_CONNECTED, 3, 3);
    peer->connectID = 5;
    places.Connected(peer, 1001);
    if (c.joined) places.Joined(peer);
    places.Sweep(fake.host, 1000 + c.after_ms);
    fake.host->receivedAddress = FakeHost::Address(4, 4);
    if (c.needed) places.Admit(fake.host, 6, false, 1000 + c.after_ms);
    EXPECT_EQ(peer->state == ENET_PEER_STATE_DISCONNECTED, c.dropped);
    EXPECT_EQ(places.TakeClosed().size(), c.dropped ? 1u : 0u);
  }
  FakeHost fake(3);
  LinkPlaces places(3);
  for (size_t i = 0; i < 3; ++i) {
    fake.host->receivedAddress = FakeHost::Address(static_cast<uint8_t>(4 + i), 4);
    ASSERT_TRUE(places.Admit(fake.host, static_cast<uint32_t>(i), false, 1000 + i));
    fake.Set(i, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, static_cast<uint8_t>(4 + i), 4);
    fake.host->peers[i].connectID = static_cast<uint32_t>(i);
  }
  places.Joined(&fake.host->peers[0]);
  EXPECT_TRUE(places.MakePlace(fake.host));
  EXPECT_EQ(fake.host->peers[1].state, ENET_PEER_STATE_DISCONNECTED);
  EXPECT_TRUE(places.MakePlace(fake.host));
  places.Joined(&fake.host->peers[2]);
  fake.Set(1, ENET_PEER_STATE_CONNECTED, 9, 9);  // this machine's own
  EXPECT_FALSE(places.MakePlace(fake.host));
}

// An address that wasted a handshake gives way to any other for
// kWastefulMs, and stands as any other once it wasted nothing for as long.
// A link that asked to join as a player does, and found no place, wastes
// nothing.
TEST(LinkPlaces, AWastefulAddressIsForgivenOnceItWastedNothingForItsTime) {
  struct Case {
    uint64_t after;
    bool asked;
  };
  for (const Case c : {Case{LinkPlaces::kWastefulMs - 1, false}, Case{LinkPlaces::kWastefulMs, false},
                       Case{LinkPlaces::kWastefulMs - 1, true}}) {
    const uint64_t after = c.after;
    FakeHost fake(3);
    LinkPlaces places(2);
    const uint64_t now = 1000 + after;
    auto ask = [&](uint8_t who, uint16_t port, uint64_t at) {
      fake.host->receivedAddress = FakeHost::Address(who, port);
      return places.Admit(fake.host, port, false, at);
    };
    ASSERT_TRUE(ask(5, 1, 1000));
    if (c.asked) {
      fake.Set(0, ENET_PEER_STATE_CONNECTED, 5, 1);
      fake.host->peers[0].connectID = 1;
      places.Asked(&fake.host->peers[0]);
    }
    places.Forget(&fake.host->peers[0]);
    fake.host->peers[0].state = ENET_PEER_STATE_DISCONNECTED;
    for (uint8_t who : {5, 6}) {
      ASSERT_TRUE(ask(who, who, now - 1));
      fake.Set(who - 5u, ENET_PEER_STATE_ACKNOWLEDGING_CONNECT, who, who);
      fake.host->peers[who - 5].connectID = who;
    }
    places.Sweep(fake.host, now);
    EXPECT_EQ(ask(6, 9, now), after < LinkPlaces::kWastefulMs && !c.asked) << after << " " << c.asked;
  }
}

}  // namespace
}  // namespace zv::platform
