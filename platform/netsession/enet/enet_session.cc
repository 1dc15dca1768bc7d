// Sessions carried by ENet: the host's ENet host listens on the session
// port and also answers searches there (raw datagrams that ENet hands us
// before its own protocol sees them); a member connects one ENet peer to
// the host from an ENet host of its own, which is where the other members
// reach it should it take over as host. A member that took over also
// listens on the session port again once that port is free, for searches
// and new members. The session's rules live in SessionCore; this file only
// moves its packets and keeps the time.
#include <enet/enet.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <type_traits>
#include <utility>

#include "platform/netsession/enet/enet_address.h"
#include "platform/netsession/enet/link_gate.h"
#include "platform/netsession/enet/link_queue.h"
#include "platform/netsession/enet/own_sockets.h"
#include "platform/netsession/net_session.h"
#include "platform/netsession/session_core.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kChannels = 2;
constexpr uint8_t kGuaranteedChannel = 0;
constexpr uint8_t kOtherChannel = 1;
constexpr uint32_t kPollSliceMs = 5;
constexpr uint32_t kLeaveWaitMs = 500;   // how long a leaving machine waits for the goodbye to land
constexpr size_t kMaxEventsPerService = 4096;
// A flood of datagrams must not push the session's own out of the socket:
// each turn takes everything that waits (for at most this long), from a
// receive buffer as large as the system allows up to this.
constexpr uint32_t kDrainBudgetMs = 20;
constexpr int kReceiveBufferBytes = 8 << 20;
// What this machine may have queued for sending, and what a host may have
// queued for each machine; past it, the oldest unguaranteed messages not
// yet handed to ENet go first. A message of this machine's program that
// still does not fit is refused; a guaranteed one that a host passes on
// costs the machine it is for its place. ENet gets a window of each link's
// queue at a time.
constexpr size_t kMaxQueuedBytes = 64u << 20;
constexpr size_t kInFlightBytes = 4u << 20;
// A machine asks for a cookie again this often while it connects, and a
// search asks again this often while it waits.
constexpr uint32_t kCookieRepeatMs = 250;
// The bounds of the round trip a new link to another machine starts from.
constexpr uint32_t kMinRoundTripMs = 25;
constexpr uint32_t kMaxRoundTripMs = 500;
constexpr uint32_t kCheckWaitMs = 1000;   // how long a host has to answer whether it still hosts
constexpr uint32_t kCheckRepeatMs = 250;  // the question is asked again this often meanwhile
constexpr uint32_t kTellEveryMs = 1000;   // how often a new host tells and asks around
constexpr size_t kMaxFoundSessions = 256;
constexpr size_t kMaxMachines = 256;             // links a member's ENet host can take after a host change
constexpr uint32_t kListenAgainMs = 1000;        // how often a new host tries for the session port
constexpr PeerKey kListenerKeys = 0x10000;       // keys above this are the listener's peers
constexpr char kConnectionName[] = "Internet UDP/IP Connection";
// Places every ENet host of this machine has for strangers' links (not
// joined yet) beyond those of the machines it may link with: its players'
// when it hosts, kMaxMachines otherwise (link_places.h).
constexpr size_t kStrangerPlaces = 256;
// ENet's own timeout for links to this machine, which its own rule
// (SessionNetworkOptions::member_silence_ms) ends before.
constexpr uint32_t kBackstopTimeoutMs = 60000;

uint32_t RandomWord() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  return generator();
}

Guid NewInstanceGuid() {
  Guid g;
  for (size_t i = 0; i < g.size(); i += 4) {
    const uint32_t w = RandomWord();
    for (size_t k = 0; k < 4; ++k) g[i + k] = static_cast<uint8_t>(w >> (8 * k));
  }
  return g;
}

class EnetSession;

// The event that ENet fills, with the session it belongs to: ENet passes
// this event to the intercept callback, which is how a search that arrives
// during a service finds its session.
struct ServiceContext {
  ENetEvent event{};
  EnetSession* session = nullptr;
};

uint64_t NowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
}

bool Readable(ENetHost* host) {
  enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
  return enet_socket_wait(host->socket, &condition, 0) == 0 && (condition & ENET_SOCKET_WAIT_RECEIVE);
}

// A link that stalled (its other end stopped a while, or this one) makes
// ENet measure round trips as long as the stall, and ENet's throttle
// would then shrink the link's window of data in flight to one datagram a
// round trip for many seconds after: a machine that runs again would
// catch up a message a turn. A stall is not a crowded network; the window
// stays whole. (Set on both ends: ENet tells the other.)
void KeepFullWindow(ENetPeer* peer) {
  enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
  peer->packetThrottle = peer->packetThrottleLimit;
}

static_assert(std::is_standard_layout_v<ServiceContext>);

class EnetSession final : public NetSession {
 public:
  EnetSession(const SessionNetworkOptions& options, ENetAddress target, bool broadcast)
      : options_(options),
        target_(target),
        broadcast_(broadcast),
        // A joiner waits reply_wait_ms for its player, and its welcome takes a
        // while to reach it.
        core_(options.rejoin_wait_ms, options.reply_wait_ms + 1000) {}
  ~EnetSession() override { Close(); }

  std::optional<std::vector<SessionDescription>> FindSessions(const Guid& application) override;
  SessionError Host(const Guid& application, const SessionDescription& session) override;
  std::string FailureReason() const override { return failure_reason_; }
  SessionError Join(const Guid& application, const Guid& instance) override;
  void Close() override;
  std::optional<PlayerId> CreatePlayer(const std::string& name, bool server_player) override;
  bool DestroyPlayer(PlayerId id) override;
  std::optional<std::vector<PlayerInfo>> Players() override;
  bool Send(PlayerId from, PlayerId to, std::span<const uint8_t> data, bool guaranteed) override;
  std::optional<SessionEvent> Receive() override { return core_.TakeEvent(); }
  void Service() override;

  // Answers a search that reached one of this machine's ports, and takes
  // the answers, hints and goodbyes meant for it; false for anything else.
  bool TakeDatagram(ENetHost* host);
  // The gate and places of `host`, the session port's or this machine's own.
  LinkGate& GateOf(const ENetHost* host) { return host == listener_ ? listener_gate_ : gate_; }
  LinkPlaces& PlacesOf(const ENetHost* host) { return host == listener_ ? listener_places_ : places_; }

 private:
  PeerKey KeyOf(const ENetPeer* peer) const;
  ENetPeer* PeerOf(PeerKey key) const;
  template <class Visit>
  void ForEachPeer(Visit visit);
  void Handle(const ENetEvent& event);
  // Takes every event `host` has without waiting; whether it read all that
  // had come.
  bool ServiceHost(ENetHost* host);
  // Takes what the links of `host` with sockets of their own sent, first.
  void ReadOwnSockets(ENetHost* host);
  // Tells the rules of the strangers' links closed to make room or for
  // joining too late.
  void ForgetClosedLinks();
  // Waits up to `wait_ms` for one event, then takes what else is there.
  void ServiceOnce(uint32_t wait_ms);
  template <class Done>
  bool WaitUntil(Done done, uint32_t limit_ms);
  // Acts on the rules' answer to a host that went: reach the next host,
  // or host here.
  void FollowHostChange();
  // Member: connects to `to` once it handed this machine a cookie.
  void ConnectTo(const ENetAddress& to);
  void AskForCookie();
  void ConnectWithCookie();
  void CheckDeadlines();
  // Member: asks the host whether it still hosts this session.
  void AskHost(MachineAddress address);
  // New host: tells the machines it waits for, and asks the former hosts.
  void TellAndAsk();
  void SendDatagram(const ENetAddress& to, const std::vector<uint8_t>& bytes);
  bool SendHeld(LinkQueue& link, OutgoingPacket& p);
  // Makes room for `bytes` more in what waits to be sent.
  bool MakeRoom(size_t bytes);
  size_t QueuedBytes() const;
  // Queues a packet of the rules for its link.
  void Hold(OutgoingPacket p);
  // Host: the machine at `key` cannot take what it must get.
  void GiveUp(PeerKey key);
  // Links to this machine that acknowledged nothing for the members' wait
  // are lost: the machine may come back.
  void DropSilentLinks(SteadyClock::time_point now);
  void TryListen();
  void DropServerLink();
  void Flush();
  void DestroyHost();

  SessionNetworkOptions options_;
  ENetAddress target_;
  bool broadcast_;
  std::map<Guid, ENetAddress> found_;  // sessions searches reported, by instance
  ENetHost* host_ = nullptr;
  ENetHost* listener_ = nullptr;  // a member that took over: the session port
  ENetPeer* server_ = nullptr;    // a member's link to the host
  bool connected_ = false;        // the member's link is up
  // Member: the machine it is to connect to, asked for a cookie with
  // `nonce`, and the cookie once it came.
  struct CookieWait {
    ENetAddress to{};
    uint32_t nonce = 0;
    SteadyClock::time_point ask_again_at{};
    SteadyClock::time_point asked_at{};
    std::optional<uint32_t> cookie;
    uint32_t round_trip_ms = 0;  // as the cookie took
  };
  std::optional<CookieWait> cookie_wait_;
  // Member: ENet's time of the host's last acknowledgement, and when this
  // machine saw it (ENet's clock follows the wall clock, which may jump).
  enet_uint32 host_heard_ = 0;
  SteadyClock::time_point host_heard_at_{};
  bool took_over_ = false;        // hosting since the host went
  std::optional<SteadyClock::time_point> new_host_by_;      // member: when to give up the next host
  SteadyClock::time_point listen_again_at_{};
  // Member asking its host whether it still hosts, with the question's mark.
  std::optional<SteadyClock::time_point> check_by_;
  SteadyClock::time_point check_again_at_{};
  MachineAddress check_address_;
  bool host_answered_ = false;
  uint32_t check_nonce_ = 0;
  SteadyClock::time_point tell_at_{};     // new host: when it next tells and asks around
  uint32_t probe_nonce_ = 0;
  std::optional<MachineId> former_alive_;  // a former host answered as the host of this session
  Guid application_{};
  std::string failure_reason_;
  // By link; kept while the ENet hosts live, whose packets count down
  // their link's bytes in flight as ENet lets go of them.
  std::map<PeerKey, LinkQueue> links_;
  // Links to this machine: ENet's time of the last acknowledgement on
  // each, and when this machine saw it.
  struct Heard {
    enet_uint32 last = 0;
    SteadyClock::time_point at{};
  };
  std::map<ENetPeer*, Heard> heard_;
  ConnectCookies cookies_{wire::kConnectMagic};
  LinkPlaces places_{kStrangerPlaces};
  LinkPlaces listener_places_{kStrangerPlaces};
  LinkGate::Known known_ = [this](const ENetAddress& a) { return core_.KnownMachineAt(MachineAddress{a.host, a.port}); };
  LinkGate gate_{cookies_, places_, known_};
  LinkGate listener_gate_{cookies_, listener_places_, known_};
  GoodbyeBudget goodbye_checks_;
  OwnSockets own_sockets_;
  SessionCore core_;
};

int InterceptSearch(ENetHost* host, ENetEvent* event) {
  if (!event) return 0;
  auto* context = reinterpret_cast<ServiceContext*>(event);
  if (!context->session) return 0;
  if (context->session->GateOf(host).TurnAway(host, NowMs())) return 1;
  return context->session->TakeDatagram(host) ? 1 : 0;
}

std::optional<std::vector<SessionDescription>> EnetSession::FindSessions(const Guid& application) {
  ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return std::nullopt;
  if (broadcast_) enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);

  const uint32_t nonce = RandomWord();
  std::vector<uint8_t> query = wire::EncodeQuery(wire::Query{application, nonce});
  ENetBuffer out{query.data(), query.size()};
  // A search of the local network asks this machine as well: a game hosted
  // here is found even where a broadcast does not come back or cannot be
  // sent at all (no network up).
  std::vector<ENetAddress> asked = {target_};
  if (broadcast_) asked.push_back(LoopbackAddress(target_.port));
  auto ask = [&] {
    bool sent = false;
    for (const ENetAddress& to : asked) sent = enet_socket_send(socket, &to, &out, 1) >= 0 || sent;
    return sent;
  };
  if (!ask()) {
    enet_socket_destroy(socket);
    return std::nullopt;
  }

  std::vector<SessionDescription> sessions;
  // This machine's own game cannot answer while this search waits: it is
  // listed from here.
  if (core_.role() == SessionCore::Role::kHost && application == application_)
    sessions.push_back(core_.Description());
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(options_.find_wait_ms);
  // A host whose socket a flood fills, or that stood still a moment, may
  // have dropped the question: it is asked again meanwhile.
  auto ask_again = SteadyClock::now() + std::chrono::milliseconds(kCookieRepeatMs);
  std::vector<uint8_t> buffer(ENET_PROTOCOL_MAXIMUM_MTU);
  while (sessions.size() < kMaxFoundSessions) {
    const auto now = SteadyClock::now();
    if (now >= deadline) break;
    if (now >= ask_again) {
      ask();
      ask_again = now + std::chrono::milliseconds(kCookieRepeatMs);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(deadline, ask_again) - now);
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    if (enet_socket_wait(socket, &condition, static_cast<enet_uint32>(std::max<int64_t>(left.count(), 1))) < 0) break;
    if (!(condition & ENET_SOCKET_WAIT_RECEIVE)) continue;
    ENetAddress from{};
    ENetBuffer in{buffer.data(), buffer.size()};
    const int received = enet_socket_receive(socket, &from, &in, 1);
    if (received <= 0) continue;
    std::optional<wire::QueryReply> reply =
        wire::DecodeQueryReply(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(received)));
    if (!reply || reply->nonce != nonce) continue;
    const Guid instance = reply->session.instance;
    const bool known = std::any_of(sessions.begin(), sessions.end(),
                                   [&](const SessionDescription& s) { return s.instance == instance; });
    // A host that answered on both ways is joined at its network address,
    // which the other members can reach too should this machine take over.
    if (!known || !IsLoopback(from)) found_[instance] = from;
    if (known) continue;
    sessions.push_back(std::move(reply->session));
    // One machine asked: its one answer is all there is.
    if (!broadcast_) break;
  }
  enet_socket_destroy(socket);
  return sessions;
}

bool EnetSession::TakeDatagram(ENetHost* host) {
  const std::span<const uint8_t> bytes(host->receivedData, host->receivedDataLength);
  const Guid instance = core_.Description().instance;
  if (std::optional<wire::Query> query = wire::DecodeQuery(bytes)) {
    if (core_.role() == SessionCore::Role::kHost && query->application == application_) {
      std::vector<uint8_t> reply =
          wire::EncodeQueryReply(wire::QueryReply{query->nonce, core_.self(), core_.Description()});
      ENetBuffer out{reply.data(), reply.size()};
      enet_socket_send(host->socket, &host->receivedAddress, &out, 1);
    }
    return true;
  }
  if (std::optional<wire::QueryReply> reply = wire::DecodeQueryReply(bytes)) {
    if (reply->session.instance != instance) return true;
    // Only the machine asked can answer for itself: a reply naming another
    // host (a new one on the old one's port) says the old one is gone.
    if (check_by_ && reply->nonce == check_nonce_ && reply->host == core_.host() &&
        host->receivedAddress.host == check_address_.host && host->receivedAddress.port == check_address_.port)
      host_answered_ = true;
    if (probe_nonce_ != 0 && reply->nonce == probe_nonce_ && reply->host != core_.self())
      for (const SessionCore::FormerHost& f : core_.FormerHosts())
        if (f.id == reply->host && host->receivedAddress.host == f.address.host &&
            host->receivedAddress.port == f.address.port)
          former_alive_ = f.id;
    return true;
  }
  if (std::optional<wire::Goodbye> goodbye = wire::DecodeGoodbye(bytes)) {
    // Only from where that machine's link is, and only so many a second:
    // checking a proof costs hashing.
    const std::optional<PeerKey> link = core_.LinkOf(goodbye->machine);
    const ENetPeer* peer = link ? PeerOf(*link) : nullptr;
    if (goodbye->instance == instance && peer && peer->address.host == host->receivedAddress.host &&
        peer->address.port == host->receivedAddress.port && goodbye_checks_.Take(NowMs()))
      core_.OnGoodbye(goodbye->machine, goodbye->secret, goodbye->marks);
    return true;
  }
  if (std::optional<wire::CookieRequest> request = wire::DecodeCookieRequest(bytes)) {
    // Whoever asks gets one, bound to where it asked from; nothing is kept.
    if (request->instance == instance && core_.role() != SessionCore::Role::kNone) {
      const ENetAddress& from = host->receivedAddress;
      std::vector<uint8_t> reply =
          wire::EncodeCookieReply(wire::CookieReply{request->nonce, cookies_.Issue(from.host, from.port, NowMs())});
      ENetBuffer out{reply.data(), reply.size()};
      enet_socket_send(host->socket, &from, &out, 1);
    }
    return true;
  }
  if (std::optional<wire::CookieReply> reply = wire::DecodeCookieReply(bytes)) {
    if (cookie_wait_ && reply->nonce == cookie_wait_->nonce && host->receivedAddress.host == cookie_wait_->to.host &&
        host->receivedAddress.port == cookie_wait_->to.port) {
      cookie_wait_->cookie = reply->cookie;
      cookie_wait_->round_trip_ms = static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - cookie_wait_->asked_at).count());
    }
    return true;
  }
  if (std::optional<wire::Hint> hint = wire::DecodeHint(bytes)) {
    // Another machine says it hosts now: this one asks its own host, once
    // in a while, and believes only the answer.
    if (hint->instance == instance && hint->host != core_.host() && !check_by_ &&
        SteadyClock::now() >= check_again_at_)
      core_.OnHostHint();
    return true;
  }
  return false;
}

void EnetSession::SendDatagram(const ENetAddress& to, const std::vector<uint8_t>& bytes) {
  if (!host_) return;
  ENetBuffer out{const_cast<uint8_t*>(bytes.data()), bytes.size()};
  enet_socket_send(host_->socket, &to, &out, 1);
}

void EnetSession::ConnectTo(const ENetAddress& to) {
  cookie_wait_ = CookieWait{to, RandomWord() | 1, {}, {}, std::nullopt, 0};
  AskForCookie();
}

void EnetSession::AskForCookie() {
  SendDatagram(cookie_wait_->to,
               wire::EncodeCookieRequest(wire::CookieRequest{core_.Description().instance, cookie_wait_->nonce}));
  cookie_wait_->asked_at = SteadyClock::now();
  cookie_wait_->ask_again_at = cookie_wait_->asked_at + std::chrono::milliseconds(kCookieRepeatMs);
}

void EnetSession::ConnectWithCookie() {
  const ENetAddress to = cookie_wait_->to;
  const uint32_t cookie = *cookie_wait_->cookie;
  // Strangers' links may hold every place of this machine's own host: the
  // oldest gives way.
  if (places_.MakePlace(host_)) server_ = enet_host_connect(host_, &to, kChannels, cookie);
  if (!server_) {
    // A link that cannot be opened here is no sign of the other machine,
    // which just answered: this one asks it again, and waits for it as
    // long again from now. Only its silence counts.
    const auto now = SteadyClock::now();
    cookie_wait_->cookie.reset();
    cookie_wait_->ask_again_at = now + std::chrono::milliseconds(kCookieRepeatMs);
    if (new_host_by_) new_host_by_ = std::max(*new_host_by_, now + std::chrono::milliseconds(options_.reply_wait_ms));
    return;
  }
  // ENet would send the request again only after a 500 ms guess at the
  // round trip, and a flood that fills the other's socket drops many: the
  // round trip the cookie took sets the pace.
  server_->roundTripTime = std::clamp<uint32_t>(cookie_wait_->round_trip_ms, kMinRoundTripMs, kMaxRoundTripMs);
  server_->roundTripTimeVariance = server_->roundTripTime / 2;
  cookie_wait_.reset();
  enet_peer_timeout(server_, 0, options_.host_silence_ms, options_.host_silence_ms);
}

void EnetSession::AskHost(MachineAddress address) {
  check_address_ = address;
  check_nonce_ = RandomWord() | 1;
  host_answered_ = false;
  check_by_ = SteadyClock::now() + std::chrono::milliseconds(kCheckWaitMs);
  check_again_at_ = SteadyClock::now();
}

void EnetSession::TellAndAsk() {
  const Guid instance = core_.Description().instance;
  const std::vector<uint8_t> hint = wire::EncodeHint(wire::Hint{instance, core_.self()});
  for (const MachineAddress& a : core_.AwaitedAddresses()) SendDatagram(ToEnet(a), hint);
  if (core_.FormerHosts().empty()) return;
  if (probe_nonce_ == 0) probe_nonce_ = RandomWord() | 1;
  const std::vector<uint8_t> query = wire::EncodeQuery(wire::Query{application_, probe_nonce_});
  for (const SessionCore::FormerHost& f : core_.FormerHosts()) SendDatagram(ToEnet(f.address), query);
}

SessionError EnetSession::Host(const Guid& application, const SessionDescription& session) {
  if (core_.role() != SessionCore::Role::kNone || host_) return SessionError::kAlreadyOpen;
  if (session.max_players == 0) return SessionError::kInvalidParams;
  const ENetAddress bind = BindAddress(options_, options_.port);
  const size_t peers = std::min<size_t>(session.max_players + 1 + kStrangerPlaces, ENET_PROTOCOL_MAXIMUM_PEER_ID);
  host_ = enet_host_create(&bind, peers, kChannels, 0, 0);
  if (!host_) {
    failure_reason_ = PortFailure(options_.port, errno);
    return SessionError::kCannotHost;
  }
  host_->intercept = InterceptSearch;
  enet_socket_set_option(host_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  application_ = application;
  SessionDescription description = session;
  description.instance = NewInstanceGuid();
  core_.StartHosting(application, description);
  return SessionError::kNone;
}

SessionError EnetSession::Join(const Guid& application, const Guid& instance) {
  if (core_.role() != SessionCore::Role::kNone || host_) return SessionError::kAlreadyOpen;
  auto found = found_.find(instance);
  if (found == found_.end()) return SessionError::kNoSessions;
  const ENetAddress bind = BindAddress(options_, 0);
  host_ = enet_host_create(&bind, kMaxMachines + kStrangerPlaces, kChannels, 0, 0);
  if (!host_) return SessionError::kGeneric;
  host_->intercept = InterceptSearch;
  enet_socket_set_option(host_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  application_ = application;
  core_.StartJoining(application, instance);
  ConnectTo(found->second);
  // The join request waits in the core until the link is up.
  const bool answered =
      WaitUntil([&] { return core_.join_state() != SessionCore::JoinState::kWaiting; }, options_.reply_wait_ms);
  SessionError result = SessionError::kNone;
  switch (core_.join_state()) {
    case SessionCore::JoinState::kWelcomed:
      return SessionError::kNone;
    case SessionCore::JoinState::kFull:
      result = SessionError::kRefused;
      break;
    case SessionCore::JoinState::kWrongSession:
      result = SessionError::kNoSessions;
      break;
    case SessionCore::JoinState::kLost:
      result = SessionError::kConnectionLost;
      break;
    default:
      result = answered ? SessionError::kConnectionLost : SessionError::kTimedOut;
      break;
  }
  Close();
  return result;
}

void EnetSession::Close() {
  if (!host_) {
    core_.End();
    return;
  }
  // The others learn that this machine leaves, with its proof; what
  // happens while saying goodbye is no longer the session's business: a
  // member must not go looking for a new host on its way out.
  const std::optional<Secret> secret = core_.Leave();
  const wire::Goodbye goodbye{core_.Description().instance, core_.self(), secret.value_or(Secret{}), {}};
  // What each link was handed before the goodbye, which takes effect there
  // once that is in.
  std::map<const ENetPeer*, std::vector<wire::Mark>> handed;
  ForEachPeer([&](ENetPeer& peer) {
    if (peer.state == ENET_PEER_STATE_CONNECTED)
      handed[&peer] = core_.HandedOver(&peer == server_ ? SessionCore::kHostPeer : KeyOf(&peer));
  });
  Flush();
  core_.End();
  bool any = false;
  ForEachPeer([&](ENetPeer& peer) {
    if (peer.state != ENET_PEER_STATE_CONNECTED) return;
    enet_peer_disconnect_later(&peer, 0);
    any = true;
  });
  // The goodbye has landed once the other side acknowledged it.
  auto all_gone = [&] {
    bool gone = true;
    ForEachPeer([&](ENetPeer& peer) {
      gone = gone && (peer.state == ENET_PEER_STATE_DISCONNECTED || peer.state == ENET_PEER_STATE_ZOMBIE);
    });
    return gone;
  };
  if (any) WaitUntil(all_gone, std::min(kLeaveWaitMs, options_.reply_wait_ms));
  // A machine that did not take the rest in time (stopped, or behind)
  // still finds the goodbye waiting once it runs again, with the same
  // proof, and moves on at once instead of waiting out this machine's
  // silence.
  bool late = false;
  ForEachPeer([&](ENetPeer& peer) {
    if (peer.state != ENET_PEER_STATE_DISCONNECT_LATER) return;
    if (secret) {
      wire::Goodbye mine = goodbye;
      mine.marks = handed[&peer];
      std::vector<uint8_t> late_goodbye = wire::EncodeGoodbye(mine);
      ENetBuffer out{late_goodbye.data(), late_goodbye.size()};
      enet_socket_send(peer.host->socket, &peer.address, &out, 1);
    }
    enet_peer_disconnect(&peer, 0);
    late = true;
  });
  if (late) {
    enet_host_flush(host_);
    if (listener_) enet_host_flush(listener_);
  }
  DestroyHost();
}

std::optional<PlayerId> EnetSession::CreatePlayer(const std::string& name, bool server_player) {
  if (core_.role() == SessionCore::Role::kHost) {
    std::optional<PlayerId> id = core_.CreateHostPlayer(name, server_player);
    Flush();
    return id;
  }
  if (server_player) return std::nullopt;
  std::optional<uint32_t> request = core_.RequestPlayer(name);
  if (!request) return std::nullopt;
  Flush();
  WaitUntil([&] { return core_.RequestAnswer(*request).has_value() || !connected_; }, options_.reply_wait_ms);
  std::optional<PlayerId> answer = core_.RequestAnswer(*request);
  core_.ForgetRequest(*request);
  if (!answer || *answer == kAllPlayers) return std::nullopt;
  return answer;
}

bool EnetSession::DestroyPlayer(PlayerId id) {
  const bool done = core_.DestroyPlayer(id);
  Flush();
  return done;
}

std::optional<std::vector<PlayerInfo>> EnetSession::Players() {
  if (core_.role() == SessionCore::Role::kNone) return std::nullopt;
  return core_.Players();
}

bool EnetSession::Send(PlayerId from, PlayerId to, std::span<const uint8_t> data, bool guaranteed) {
  if (!MakeRoom(data.size())) return false;
  const bool sent = core_.Send(from, to, data, guaranteed);
  Flush();
  return sent;
}

void EnetSession::Service() {
  if (!host_) return;
  core_.Tick(NowMs());
  // A link is late to join only where its Join cannot still wait unread.
  ServiceHost(host_);
  if (listener_) ServiceHost(listener_);
  ForgetClosedLinks();
  CheckDeadlines();
  Flush();
}

void EnetSession::ForgetClosedLinks() {
  std::vector<const ENetPeer*> closed = places_.TakeClosed();
  for (const ENetPeer* peer : listener_places_.TakeClosed()) closed.push_back(peer);
  for (const ENetPeer* peer : closed) {
    const PeerKey key = KeyOf(peer);
    heard_.erase(const_cast<ENetPeer*>(peer));
    links_[key].DropHeld();
    core_.OnPeerGone(key);
  }
}

bool EnetSession::ServiceHost(ENetHost* host) {
  PlacesOf(host).Sweep(host, NowMs());
  ReadOwnSockets(host);
  ServiceContext context;
  context.session = this;
  const auto budget = SteadyClock::now() + std::chrono::milliseconds(kDrainBudgetMs);
  for (size_t n = 0; n < kMaxEventsPerService && host;) {
    const int result = enet_host_service(host, &context.event, 0);
    if (result > 0) {
      Handle(context.event);
      ++n;
      continue;
    }
    // ENet reads a few hundred datagrams a call: what is left of a flood
    // is read now, not left to crowd out the next ones.
    if (result < 0) break;
    if (!Readable(host)) return true;
    if (SteadyClock::now() >= budget) break;
  }
  return false;
}

void EnetSession::ReadOwnSockets(ENetHost* host) {
  ServiceContext context;
  context.session = this;
  own_sockets_.ReadEach(host, [&](auto current) {
    for (size_t n = 0; n < kMaxEventsPerService && current(); ++n) {
      const int result = enet_host_service(host, &context.event, 0);
      if (result > 0)
        Handle(context.event);
      else if (result < 0 || !Readable(host))
        return;
    }
  });
}

void EnetSession::ServiceOnce(uint32_t wait_ms) {
  if (!host_) return;
  ServiceContext context;
  context.session = this;
  places_.Sweep(host_, NowMs());
  // A cookie that came is no event of ENet's, which would wait on past it.
  if (cookie_wait_) wait_ms = std::min<uint32_t>(wait_ms, 1);
  if (enet_host_service(host_, &context.event, wait_ms) > 0) Handle(context.event);
  for (size_t n = 0; n < kMaxEventsPerService; ++n) {
    if (enet_host_check_events(host_, &context.event) <= 0) break;
    Handle(context.event);
  }
  ReadOwnSockets(host_);
  if (listener_) ServiceHost(listener_);
  ForgetClosedLinks();
  CheckDeadlines();
  Flush();
}

template <class Done>
bool EnetSession::WaitUntil(Done done, uint32_t limit_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0 || !host_) return done();
    ServiceOnce(std::min<uint32_t>(kPollSliceMs, static_cast<uint32_t>(left.count())));
  }
  return true;
}

void EnetSession::Handle(const ENetEvent& event) {
  ForgetClosedLinks();
  switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
      KeepFullWindow(event.peer);
      if (event.peer == server_) {
        connected_ = true;
        own_sockets_.Open(host_, server_);
        host_heard_ = server_->lastReceiveTime;
        host_heard_at_ = SteadyClock::now();
        core_.OnPeerConnected(SessionCore::kHostPeer,
                              MachineAddress{event.peer->address.host, event.peer->address.port});
        core_.OnNewHostReached();
        // The next host may still wait out its own host's silence before it
        // takes this machine in, as a machine stopped for a while finds: it
        // answers on the link, whose silence ENet's timeout finds, and takes
        // this one in (or sends it on) within the others' wait.
        if (new_host_by_) new_host_by_ = SteadyClock::now() + std::chrono::milliseconds(options_.rejoin_wait_ms);
      } else {
        // This machine's own rule decides when the link is lost; ENet's
        // timeout stays as a backstop.
        enet_peer_timeout(event.peer, 0, kBackstopTimeoutMs, kBackstopTimeoutMs);
        heard_[event.peer] = Heard{event.peer->lastReceiveTime, SteadyClock::now()};
        PlacesOf(event.peer->host).Connected(event.peer, NowMs());
        core_.OnPeerConnected(KeyOf(event.peer), MachineAddress{event.peer->address.host, event.peer->address.port});
      }
      break;
    case ENET_EVENT_TYPE_RECEIVE: {
      // Not the packet's flags: ENet carries a packet larger than one
      // datagram in guaranteed pieces, whatever it was sent as.
      const bool guaranteed = event.channelID == kGuaranteedChannel;
      const std::span<const uint8_t> bytes(event.packet->data, event.packet->dataLength);
      const PeerKey key = event.peer == server_ ? SessionCore::kHostPeer : KeyOf(event.peer);
      core_.OnPacket(key, bytes, guaranteed);
      enet_packet_destroy(event.packet);
      if (event.peer != server_ && core_.HoldsPlace(key)) {
        PlacesOf(event.peer->host).Joined(event.peer);
        own_sockets_.Open(event.peer->host, event.peer);
      }
      break;
    }
    case ENET_EVENT_TYPE_DISCONNECT:
      own_sockets_.Close(event.peer);
      if (event.peer == server_) {
        connected_ = false;
        server_ = nullptr;
        core_.OnPeerGone(SessionCore::kHostPeer);
      } else {
        // What waited for it would go to whoever takes its place.
        PlacesOf(event.peer->host).Forget(event.peer);
        links_[KeyOf(event.peer)].DropHeld();
        core_.OnPeerGone(KeyOf(event.peer));
      }
      break;
    case ENET_EVENT_TYPE_NONE:
      break;
  }
  FollowHostChange();
}

void EnetSession::FollowHostChange() {
  while (std::optional<SessionCore::HostChange> change = core_.TakeHostChange()) {
    if (change->check && change->keep_link) {
      if (!check_by_) AskHost(change->address);
      continue;
    }
    DropServerLink();
    new_host_by_.reset();
    check_by_.reset();
    if (change->to_self) {
      took_over_ = true;
      tell_at_ = SteadyClock::now();
      TryListen();
      continue;
    }
    if (change->check) {
      AskHost(change->address);
      continue;
    }
    ConnectTo(ToEnet(change->address));
    new_host_by_ = SteadyClock::now() + std::chrono::milliseconds(options_.reply_wait_ms);
  }
}

void EnetSession::CheckDeadlines() {
  const auto now = SteadyClock::now();
  core_.Tick(NowMs());
  if (cookie_wait_ && cookie_wait_->cookie)
    ConnectWithCookie();
  else if (cookie_wait_ && now >= cookie_wait_->ask_again_at)
    AskForCookie();
  // The host acknowledges what this machine sends and ENet asks it when
  // nothing goes: silence counts from its last acknowledgement. ENet's own
  // timeout counts from a resend, which may be seconds later.
  if (server_ && connected_ && server_->lastReceiveTime != host_heard_) {
    host_heard_ = server_->lastReceiveTime;
    host_heard_at_ = now;
  }
  if (server_ && connected_ && core_.join_state() == SessionCore::JoinState::kWelcomed &&
      now - host_heard_at_ >= std::chrono::milliseconds(options_.host_silence_ms)) {
    DropServerLink();
    core_.OnPeerGone(SessionCore::kHostPeer);
  }
  DropSilentLinks(now);
  if (check_by_ && (host_answered_ || now >= *check_by_)) {
    const bool alive = host_answered_;
    check_by_.reset();
    check_again_at_ = now + std::chrono::milliseconds(2 * kCheckWaitMs);
    core_.OnHostChecked(alive);
  } else if (check_by_ && now >= check_again_at_) {
    SendDatagram(ToEnet(check_address_), wire::EncodeQuery(wire::Query{application_, check_nonce_}));
    check_again_at_ = now + std::chrono::milliseconds(kCheckRepeatMs);
  }
  if (former_alive_) {
    const MachineId former = *std::exchange(former_alive_, std::nullopt);
    core_.OnFormerHostAlive(former);
    took_over_ = false;
    FollowHostChange();
  }
  if (core_.role() == SessionCore::Role::kHost && took_over_ && now >= tell_at_) {
    tell_at_ = now + std::chrono::milliseconds(kTellEveryMs);
    TellAndAsk();
  }
  if (new_host_by_ && core_.join_state() != SessionCore::JoinState::kMoving) new_host_by_.reset();
  if (new_host_by_ && now >= *new_host_by_) {
    // The next host did not take this machine back in time: it counts as
    // gone too, and the one after it is tried.
    new_host_by_.reset();
    DropServerLink();
    core_.OnPeerGone(SessionCore::kHostPeer);
    FollowHostChange();
  }
  if (took_over_ && core_.role() == SessionCore::Role::kHost && !listener_ && now >= listen_again_at_) TryListen();
  FollowHostChange();
}

void EnetSession::DropSilentLinks(SteadyClock::time_point now) {
  for (auto it = heard_.begin(); it != heard_.end();) {
    ENetPeer* peer = it->first;
    if (peer->state != ENET_PEER_STATE_CONNECTED) {
      it = heard_.erase(it);
    } else if (peer->lastReceiveTime != it->second.last) {
      it->second = Heard{peer->lastReceiveTime, now};
      ++it;
    } else if (now - it->second.at < std::chrono::milliseconds(options_.member_silence_ms)) {
      ++it;
    } else {
      const PeerKey key = KeyOf(peer);
      it = heard_.erase(it);
      enet_peer_disconnect_now(peer, 0);
      links_[key].DropHeld();
      core_.OnPeerGone(key);
    }
  }
}

void EnetSession::TryListen() {
  // On one machine the old host may hold the port a moment longer.
  const ENetAddress bind = BindAddress(options_, options_.port);
  listener_ = enet_host_create(&bind, kMaxMachines + kStrangerPlaces, kChannels, 0, 0);
  if (listener_) {
    listener_->intercept = InterceptSearch;
    enet_socket_set_option(listener_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  } else {
    listen_again_at_ = SteadyClock::now() + std::chrono::milliseconds(kListenAgainMs);
  }
}

void EnetSession::DropServerLink() {
  if (server_) enet_peer_disconnect_now(server_, 0);
  server_ = nullptr;
  connected_ = false;
  cookie_wait_.reset();
  links_[SessionCore::kHostPeer].DropHeld();
}

PeerKey EnetSession::KeyOf(const ENetPeer* peer) const {
  if (listener_ && peer >= listener_->peers && peer < listener_->peers + listener_->peerCount)
    return kListenerKeys + static_cast<PeerKey>(peer - listener_->peers) + 1;
  return static_cast<PeerKey>(peer - host_->peers) + 1;
}

ENetPeer* EnetSession::PeerOf(PeerKey key) const {
  if (key == SessionCore::kHostPeer) return server_;
  ENetHost* host = key > kListenerKeys ? listener_ : host_;
  const size_t index = key > kListenerKeys ? key - kListenerKeys : key;
  if (!host || index == 0 || index > host->peerCount) return nullptr;
  ENetPeer* peer = &host->peers[index - 1];
  return peer->state == ENET_PEER_STATE_CONNECTED ? peer : nullptr;
}

template <class Visit>
void EnetSession::ForEachPeer(Visit visit) {
  for (ENetHost* host : {host_, listener_})
    if (host)
      for (size_t i = 0; i < host->peerCount; ++i) visit(host->peers[i]);
}

size_t EnetSession::QueuedBytes() const {
  size_t bytes = 0;
  for (const auto& [key, link] : links_) bytes += link.Bytes();
  return bytes;
}

bool EnetSession::MakeRoom(size_t bytes) {
  auto fits = [&] { return QueuedBytes() + bytes <= kMaxQueuedBytes; };
  for (auto& [key, link] : links_) LetGoUnguaranteed(link, fits);
  return fits();
}

void EnetSession::Hold(OutgoingPacket p) {
  LinkQueue& link = links_[p.peer];
  const size_t bytes = p.bytes.size();
  // A member's own messages were bounded when its program sent them; a
  // host also passes on others', which one slow machine must not pile up.
  auto fits = [&] { return link.Bytes() + bytes <= kMaxQueuedBytes; };
  if (core_.role() == SessionCore::Role::kHost && !fits()) {
    LetGoUnguaranteed(link, fits);
    if (!fits()) {
      // An unguaranteed message is lost, as it may be anyway.
      if (p.guaranteed) GiveUp(p.peer);
      return;
    }
  }
  link.held_bytes += bytes;
  link.held.push_back(std::move(p));
}

void EnetSession::GiveUp(PeerKey key) {
  core_.GiveUp(key);
  links_[key].DropHeld();
  // Closing the link lets go of what ENet holds for it; the machine finds
  // itself given up when it comes back.
  if (ENetPeer* peer = PeerOf(key)) enet_peer_disconnect_now(peer, 0);
}

bool EnetSession::SendHeld(LinkQueue& link, OutgoingPacket& p) {
  ENetPeer* peer = PeerOf(p.peer);
  if (!peer) return true;  // its machine is gone: nothing to wait for
  ENetPacket* packet =
      enet_packet_create(p.bytes.data(), p.bytes.size(), p.guaranteed ? ENET_PACKET_FLAG_RELIABLE : 0);
  if (!packet) return false;
  link.in_flight += packet->dataLength;
  packet->userData = &link.in_flight;
  packet->freeCallback = PacketFreed;
  if (enet_peer_send(peer, p.guaranteed ? kGuaranteedChannel : kOtherChannel, packet) != 0) enet_packet_destroy(packet);
  return true;
}

void EnetSession::Flush() {
  if (!host_) return;
  // Giving a machine up has the rules tell the others, which comes out too.
  for (std::vector<OutgoingPacket> out = core_.TakeOutgoing(); !out.empty(); out = core_.TakeOutgoing())
    for (OutgoingPacket& p : out) Hold(std::move(p));
  // A machine that proved it leaves waits for its link's end.
  for (PeerKey key : core_.TakeClosedLinks()) {
    links_[key].DropHeld();
    if (ENetPeer* peer = PeerOf(key)) enet_peer_disconnect(peer, 0);
  }
  for (auto& [key, link] : links_) {
    // A member's requests wait until its link to the host is up.
    if (key == SessionCore::kHostPeer && !connected_) continue;
    // ENet takes a window at a time; the rest waits here, where the oldest
    // unguaranteed messages can still make room. A slow link holds up
    // no other.
    while (!link.held.empty() && link.in_flight < kInFlightBytes) {
      if (!SendHeld(link, link.held.front())) break;
      link.held_bytes -= link.held.front().bytes.size();
      link.held.pop_front();
    }
  }
  enet_host_flush(host_);
  if (listener_) enet_host_flush(listener_);
}

void EnetSession::DestroyHost() {
  own_sockets_.CloseAll();
  if (listener_) enet_host_destroy(listener_);
  if (host_) enet_host_destroy(host_);
  links_.clear();
  heard_.clear();
  places_.Clear();
  listener_places_.Clear();
  host_ = nullptr;
  listener_ = nullptr;
  server_ = nullptr;
  connected_ = false;
  cookie_wait_.reset();
  took_over_ = false;
  new_host_by_.reset();
  check_by_.reset();
  former_alive_.reset();
  probe_nonce_ = 0;
}

class EnetNetwork final : public SessionNetwork {
 public:
  explicit EnetNetwork(const SessionNetworkOptions& options)
      : options_(options), ready_(enet_initialize() == 0) {}
  ~EnetNetwork() override {
    if (ready_) enet_deinitialize();
  }

  std::vector<std::string> Connections() override {
    if (!ready_) return {};
    return {kConnectionName};
  }

  std::unique_ptr<NetSession> Open(size_t index, std::string_view address) override {
    if (!ready_ || index != 0) return nullptr;
    if (address.empty()) {
      if (options_.loopback_only) return std::make_unique<EnetSession>(options_, LoopbackAddress(options_.port), false);
      ENetAddress everybody{};
      everybody.host = ENET_HOST_BROADCAST;
      everybody.port = options_.port;
      return std::make_unique<EnetSession>(options_, everybody, true);
    }
    std::optional<ENetAddress> target = ParseAddress(address, options_.port);
    if (!target || (options_.loopback_only && !IsLoopback(*target))) return nullptr;
    return std::make_unique<EnetSession>(options_, *target, false);
  }

 private:
  SessionNetworkOptions options_;
  bool ready_;
};

}  // namespace

std::unique_ptr<SessionNetwork> CreateEnetSessionNetwork(const SessionNetworkOptions& options) {
  return std::make_unique<EnetNetwork>(options);
}

}  // namespace zv::platform
