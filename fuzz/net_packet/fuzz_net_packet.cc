// Everything that arrives from the network, fed with arbitrary bytes. The
// first byte chooses the reader:
//   0  a multiplayer message packet (kind, size, payload)
//   1  a session message between machines, which must re-encode as it came
//   2  a search and a search's answer
//   3  a host's session rules, fed a run of packets from three machines
//   4  a member's session rules, fed a run of packets from its host and
//      from other machines, through the host going and a new host taking
//      over (here or elsewhere)
//   5  the session layer and the commands' side, fed a run of received events
//   6  FTP directory listings
//   7  a real session over ENet on the loopback address, hosted here, fed
//      raw datagrams at its port and session messages from a machine
//      linked to it through ENet as a member's would be
// Runs of packets are cut from the rest of the input: one length byte, then
// that many bytes, over and over.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <vector>

#include <enet/enet.h>

#include "platform/ftp/ftp_listing.h"
#include "platform/netsession/net_session.h"
#include "platform/netsession/session_core.h"
#include "platform/netsession/session_wire.h"
#include "runtime/vm/vm.h"
#include "services/net/multiplayer.h"
#include "services/net/net_message_packet.h"

namespace {

using namespace zv;
using platform::SessionEvent;

// Cuts the input into chunks: a length byte, then up to that many bytes.
std::vector<std::span<const uint8_t>> Chunks(std::span<const uint8_t> data) {
  std::vector<std::span<const uint8_t>> chunks;
  while (!data.empty()) {
    const size_t n = std::min<size_t>(data[0], data.size() - 1);
    chunks.push_back(data.subspan(1, n));
    data = data.subspan(1 + n);
  }
  return chunks;
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void FuzzWire(std::span<const uint8_t> data) {
  std::optional<platform::wire::Message> message = platform::wire::Decode(data);
  if (!message) return;
  const std::vector<uint8_t> again = platform::wire::Encode(*message);
  std::optional<platform::wire::Message> back = platform::wire::Decode(again);
  Check(back.has_value() && platform::wire::Encode(*back) == again);
}

void FuzzHost(std::span<const uint8_t> data) {
  platform::SessionCore host;
  host.StartHosting(platform::Guid{1}, platform::SessionDescription{platform::Guid{2}, "Arena", 0, 0, 4});
  const platform::PlayerId me = host.CreateHostPlayer("host", true).value_or(0);
  const platform::Guid app{1}, instance{2};
  // Two machines join properly, so the packets reach the rules past the door.
  for (platform::PeerKey peer : {1u, 2u})
    host.OnPacket(peer, platform::wire::Encode(platform::wire::Join{app, instance, {}, "m"}), true);
  for (std::span<const uint8_t> chunk : Chunks(data)) {
    if (chunk.empty()) continue;
    const platform::PeerKey peer = chunk[0] % 4;
    if (chunk[0] == 0xFF) {
      host.OnPeerGone(peer);
    } else if (chunk[0] == 0xFD) {
      host.Tick(chunk.size() * 1000u);
    } else if (chunk[0] == 0xFE) {
      host.Send(me, chunk.size() > 1 ? chunk[1] : 0, chunk, true);
    } else if (chunk[0] == 0xFC) {
      host.GiveUp(chunk.size() > 1 ? chunk[1] % 4 : 1);  // the transport's queue for it is full
    } else {
      host.OnPacket(peer, chunk.subspan(1), chunk[0] & 0x80);
    }
    host.TakeOutgoing();
  }
  while (host.TakeEvent()) {
  }
  Check(host.Description().current_players <= 4);
}

// One-byte chunks are the transport's news: FF the host's link went, FE
// the program asks for a player, FD the next host was reached, FC the wait
// for members ended, FB another machine's link went, F9 and F8 the host
// answered or not whether it still hosts, F7 another machine says it hosts.
// A longer chunk that starts with FA comes from another machine (the next
// byte names which), any other from the host.
void FuzzMember(std::span<const uint8_t> data) {
  using platform::SessionCore;
  SessionCore member;
  member.StartJoining(platform::Guid{1}, platform::Guid{2}, "me");
  member.TakeOutgoing();
  for (std::span<const uint8_t> chunk : Chunks(data)) {
    const uint8_t news = chunk.size() == 1 ? chunk[0] : 0;
    if (news == 0xFF) {
      member.OnPeerGone(SessionCore::kHostPeer);
    } else if (news == 0xFE) {
      member.RequestPlayer("me");
    } else if (news == 0xFD) {
      member.OnNewHostReached();
    } else if (news == 0xFC) {
      member.Tick(1'000'000);
    } else if (news == 0xFB) {
      member.OnPeerGone(1);
    } else if (news == 0xF9 || news == 0xF8) {
      member.OnHostChecked(news == 0xF9);
    } else if (news == 0xF7) {
      member.OnHostHint();
    } else if (chunk.size() >= 2 && chunk[0] == 0xFA) {
      const platform::PeerKey peer = 1 + chunk[1] % 3;
      member.OnPeerConnected(peer, platform::MachineAddress{peer, 0});
      member.OnPacket(peer, chunk.subspan(2), true);
    } else {
      member.OnPacket(SessionCore::kHostPeer, chunk, true);
    }
    while (member.TakeHostChange()) {
    }
    for (const platform::PlayerInfo& p : member.Players()) member.Send(p.id, 0, chunk, false);
    member.TakeOutgoing();
  }
  while (member.TakeEvent()) {
  }
}

// A network of one session whose events are the fuzzer's.
class ScriptedNetwork final : public platform::SessionNetwork, public platform::NetSession {
 public:
  std::deque<SessionEvent> events;

  std::vector<std::string> Connections() override { return {"scripted"}; }
  std::unique_ptr<platform::NetSession> Open(size_t, std::string_view) override {
    return std::make_unique<Forward>(*this);
  }
  std::optional<std::vector<platform::SessionDescription>> FindSessions(const platform::Guid&) override {
    return std::vector<platform::SessionDescription>{};
  }
  platform::SessionError Host(const platform::Guid&, const platform::SessionDescription&) override {
    return platform::SessionError::kNone;
  }
  platform::JoinResult Join(const platform::Guid&, const platform::Guid&, const std::string&) override {
    return {platform::SessionError::kNone, 1};
  }
  void Close() override {}
  std::optional<platform::PlayerId> CreatePlayer(const std::string&, bool) override { return 1; }
  bool DestroyPlayer(platform::PlayerId) override { return true; }
  std::optional<std::vector<platform::PlayerInfo>> Players() override {
    return std::vector<platform::PlayerInfo>{};
  }
  bool Send(platform::PlayerId, platform::PlayerId, std::span<const uint8_t>, bool) override { return true; }
  std::optional<SessionEvent> Receive() override {
    if (events.empty()) return std::nullopt;
    SessionEvent e = std::move(events.front());
    events.pop_front();
    return e;
  }
  void Service() override {}

 private:
  // The session objects the layer owns, all speaking for the one script.
  class Forward final : public platform::NetSession {
   public:
    explicit Forward(ScriptedNetwork& to) : to_(to) {}
    std::optional<std::vector<platform::SessionDescription>> FindSessions(const platform::Guid& g) override {
      return to_.FindSessions(g);
    }
    platform::SessionError Host(const platform::Guid& a, const platform::SessionDescription& d) override {
      return to_.Host(a, d);
    }
    platform::JoinResult Join(const platform::Guid& a, const platform::Guid& i, const std::string& p) override {
      return to_.Join(a, i, p);
    }
    void Close() override {}
    std::optional<platform::PlayerId> CreatePlayer(const std::string& n, bool s) override {
      return to_.CreatePlayer(n, s);
    }
    bool DestroyPlayer(platform::PlayerId id) override { return to_.DestroyPlayer(id); }
    std::optional<std::vector<platform::PlayerInfo>> Players() override { return to_.Players(); }
    bool Send(platform::PlayerId f, platform::PlayerId t, std::span<const uint8_t> d, bool g) override {
      return to_.Send(f, t, d, g);
    }
    std::optional<SessionEvent> Receive() override { return to_.Receive(); }
    void Service() override {}

   private:
    ScriptedNetwork& to_;
  };
};

class QuietHost final : public VmHost {
 public:
  uint32_t NowMs() override { return 0; }
  void PostQuit() override {}
};

void FuzzSessionLayer(std::span<const uint8_t> data) {
  ScriptedNetwork network;
  HandlerTable handlers;
  QuietHost host;
  Vm vm(handlers, host);
  Multiplayer games(&network);
  games.CreateGame(vm, "Arena", "host", 8, 4);
  for (std::span<const uint8_t> chunk : Chunks(data)) {
    SessionEvent event;
    if (!chunk.empty() && chunk[0] < 5 && chunk.size() >= 5) {
      event.type = static_cast<SessionEvent::Type>(chunk[0]);
      event.player = static_cast<uint32_t>(chunk[1]) | static_cast<uint32_t>(chunk[4]) << 24;
      event.from = chunk[2];
      event.to = chunk[3];
      event.data.assign(chunk.begin() + 5, chunk.end());
    } else {
      event.data.assign(chunk.begin(), chunk.end());
    }
    network.events.push_back(std::move(event));
  }
  for (size_t i = 0; i < data.size() && games.GameRunning(); ++i) {
    switch (data[i] % 5) {
      case 0: games.GetMessage(vm); break;
      case 1: games.TakePlayerCreated(); break;
      case 2: games.TakePlayerDestroyed(); break;
      case 3: games.TakeGameLost(); break;
      case 4: games.MessageString(); break;
    }
    games.MessageInteger();
    games.MessagePlayerFrom();
    games.MessagePlayerTo();
    if (games.MessageKind() >= net_kind::kMemblock && games.MessageKind() <= net_kind::kMesh) {
      size_t sum = 0;
      for (uint8_t b : games.MessagePayload()) sum += b;
      Check(sum <= games.MessagePayload().size() * 255);
    }
  }
  games.FreeGame();
}

// The session hosted here and the raw ENet machine linked to it, made once:
// a session takes longer to make than an input to run.
struct Transport {
  Transport() {
    platform::SessionNetworkOptions options;
    options.loopback_only = true;
    options.port = 30619;
    options.find_wait_ms = 1;
    network = platform::CreateEnetSessionNetwork(options);
    session = network->Open(0, "");
    if (!session || session->Host(platform::Guid{7}, {{}, "Fuzz", platform::kSessionMigrateHost, 0, 8}) !=
                        platform::SessionError::kNone)
      return;
    session->CreatePlayer("host", true);
    enet_initialize();
    peer_host = enet_host_create(nullptr, 1, 2, 0, 0);
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = options.port;
    raw = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  }
  void Service() {
    ENetEvent event;
    for (int i = 0; i < 4; ++i) {
      session->Service();
      while (enet_host_service(peer_host, &event, 0) > 0)
        if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
    }
    while (session->Receive()) {
    }
  }
  // Sends `bytes` from the linked machine's port and returns the answer
  // `decode` takes, as a member asks before it connects.
  template <class Decode>
  auto Ask(const std::vector<uint8_t>& bytes, Decode decode) -> decltype(decode(std::span<const uint8_t>{})) {
    ENetBuffer out{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    enet_socket_send(peer_host->socket, &address, &out, 1);
    std::vector<uint8_t> buffer(ENET_PROTOCOL_MAXIMUM_MTU);
    for (int i = 0; i < 50; ++i) {
      session->Service();
      enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
      if (enet_socket_wait(peer_host->socket, &condition, 1) != 0 || !(condition & ENET_SOCKET_WAIT_RECEIVE)) continue;
      ENetAddress from{};
      ENetBuffer in{buffer.data(), buffer.size()};
      const int n = enet_socket_receive(peer_host->socket, &from, &in, 1);
      if (n <= 0) continue;
      if (auto answer = decode(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)))) return answer;
    }
    return std::nullopt;
  }
  // A link up, as a member's, with the cookie the session hands its port:
  // made again whenever the session dropped it.
  ENetPeer* Link() {
    if (peer && peer->state == ENET_PEER_STATE_CONNECTED) return peer;
    const auto found = Ask(platform::wire::EncodeQuery({platform::Guid{7}, 1}), platform::wire::DecodeQueryReply);
    if (!found) return nullptr;
    const auto cookie = Ask(platform::wire::EncodeCookieRequest({found->session.instance, 2}),
                            platform::wire::DecodeCookieReply);
    if (!cookie) return nullptr;
    peer = enet_host_connect(peer_host, &address, 2, cookie->cookie);
    for (int i = 0; i < 50 && peer && peer->state != ENET_PEER_STATE_CONNECTED; ++i) Service();
    return peer && peer->state == ENET_PEER_STATE_CONNECTED ? peer : nullptr;
  }

  std::unique_ptr<platform::SessionNetwork> network;
  std::unique_ptr<platform::NetSession> session;
  ENetHost* peer_host = nullptr;
  ENetPeer* peer = nullptr;
  ENetAddress address{};
  ENetSocket raw = ENET_SOCKET_NULL;
};

// Chunks whose first byte is even go as raw datagrams to the session port;
// odd ones as ENet packets from the linked machine (guaranteed when bit 1
// is set). A Join with a made-up proof opens each run, so what follows
// reaches the session's rules past the door.
void FuzzTransport(std::span<const uint8_t> data) {
  static Transport transport;
  if (!transport.peer_host || transport.raw == ENET_SOCKET_NULL) return;
  if (ENetPeer* peer = transport.Link()) {
    std::vector<uint8_t> join = platform::wire::Encode(platform::wire::Join{platform::Guid{7}, {}, {}, "m"});
    enet_peer_send(peer, 0, enet_packet_create(join.data(), join.size(), ENET_PACKET_FLAG_RELIABLE));
  }
  for (std::span<const uint8_t> chunk : Chunks(data)) {
    if (chunk.empty()) continue;
    const std::span<const uint8_t> body = chunk.subspan(1);
    if (chunk[0] % 2 == 0) {
      ENetBuffer buffer{const_cast<uint8_t*>(body.data()), body.size()};
      enet_socket_send(transport.raw, &transport.address, &buffer, 1);
    } else if (ENetPeer* peer = transport.Link()) {
      const bool guaranteed = chunk[0] & 2;
      enet_peer_send(peer, guaranteed ? 0 : 1,
                     enet_packet_create(body.data(), body.size(), guaranteed ? ENET_PACKET_FLAG_RELIABLE : 0));
    }
    transport.Service();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 8) {
    case 0:
      if (std::optional<NetPacketView> packet = ParseNetPacket(rest))
        Check(packet->payload.size() + kNetPacketHeaderBytes == rest.size());
      break;
    case 1: FuzzWire(rest); break;
    case 2:
      platform::wire::DecodeQuery(rest);
      platform::wire::DecodeQueryReply(rest);
      platform::wire::DecodeHint(rest);
      platform::wire::DecodeGoodbye(rest);
      platform::wire::DecodeCookieRequest(rest);
      platform::wire::DecodeCookieReply(rest);
      break;
    case 3: FuzzHost(rest); break;
    case 4: FuzzMember(rest); break;
    case 5: FuzzSessionLayer(rest); break;
    case 6: {
      const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
      std::vector<platform::FtpEntry> entries = platform::ParseMlsdListing(text);
      std::vector<platform::FtpEntry> more = platform::ParseListListing(text);
      entries.insert(entries.end(), more.begin(), more.end());
      platform::SortEntries(entries);
      for (const platform::FtpEntry& e : entries) Check(!e.name.empty() && e.name.size() <= rest.size());
      break;
    }
    case 7: FuzzTransport(rest); break;
  }
  return 0;
}
