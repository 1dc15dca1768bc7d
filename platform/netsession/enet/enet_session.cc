// Sessions carried by ENet: the host's ENet host listens on the session
// port and also answers searches there (raw datagrams that ENet hands us
// before its own protocol sees them); a member connects one ENet peer to
// the host from an ENet host of its own, which is where the other members
// reach it should it take over as host. A member that took over also
// listens on the session port again once that port is free, for searches
// and new members. The session's rules live in SessionCore; this file only
// moves its packets and keeps the time.
#include "platform/netsession/enet/enet_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/netsession/enet/enet_address.h"
#include "platform/netsession/enet/enet_library.h"

namespace zv::platform::enet {
namespace {

Guid NewInstanceGuid() {
  Guid g;
  for (size_t i = 0; i < g.size(); i += 4) {
    const uint32_t w = RandomWord();
    for (size_t k = 0; k < 4; ++k) g[i + k] = static_cast<uint8_t>(w >> (8 * k));
  }
  return g;
}

// The longest time between two looks of a wait: how long this machine
// stood still meanwhile.
struct StillWatch {
  SteadyClock::time_point last = SteadyClock::now();
  SteadyClock::duration longest{};
  void Note() {
    const auto now = SteadyClock::now();
    longest = std::max(longest, now - last);
    last = now;
  }
  int64_t Seconds() const { return std::chrono::duration_cast<std::chrono::seconds>(longest).count(); }
};

bool Readable(ENetHost* host) {
  enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
  return Enet().enet_socket_wait(host->socket, &condition, 0) == 0 && (condition & ENET_SOCKET_WAIT_RECEIVE);
}

// A link that stalled (its other end stopped a while, or this one) makes
// ENet measure round trips as long as the stall, and ENet's throttle
// would then shrink the link's window of data in flight to one datagram a
// round trip for many seconds after: a machine that runs again would
// catch up a message a turn. A stall is not a crowded network; the window
// stays whole. (Set on both ends: ENet tells the other.)
void KeepFullWindow(ENetPeer* peer) {
  Enet().enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_ACCELERATION,
                                      0);
  peer->packetThrottle = peer->packetThrottleLimit;
}

}  // namespace

SessionError EnetSession::Host(const Guid& application, const SessionDescription& session) {
  if (core_.role() != SessionCore::Role::kNone || host_) return SessionError::kAlreadyOpen;
  if (session.max_players == 0) return SessionError::kInvalidParams;
  const ENetAddress bind = BindAddress(options_, options_.port);
  const size_t peers = std::min<size_t>(session.max_players + 1 + kStrangerPlaces, ENET_PROTOCOL_MAXIMUM_PEER_ID);
  host_ = Enet().enet_host_create(&bind, peers, kChannels, 0, 0);
  if (!host_) {
    failure_reason_ = PortFailure(options_.port, errno);
    return SessionError::kCannotHost;
  }
  host_->intercept = InterceptSearch;
  Enet().enet_socket_set_option(host_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  application_ = application;
  SessionDescription description = session;
  description.instance = NewInstanceGuid();
  core_.StartHosting(application, description);
  return SessionError::kNone;
}

JoinResult EnetSession::Join(const Guid& application, const Guid& instance, const std::string& player) {
  if (core_.role() != SessionCore::Role::kNone || host_) return {SessionError::kAlreadyOpen};
  auto found = found_.find(instance);
  failure_reason_.clear();
  if (found == found_.end()) {
    failure_reason_ = "no such game was found";
    return {SessionError::kNoSessions};
  }
  // The search just before, where it did not find the game, may know why.
  if (!last_search_.found.count(instance)) {
    auto there = last_search_.answered.find(AddressKey(found->second));
    if (there != last_search_.answered.end()) {
      failure_reason_ = "the game has ended: another game is hosted at its address now";
      return {SessionError::kNoSessions};
    }
    if (last_search_.nobody_there && AddressKey(found->second) == AddressKey(target_)) {
      failure_reason_ = "the game has ended: nothing answers at its address any more";
      return {SessionError::kNoSessions};
    }
  }
  const ENetAddress bind = BindAddress(options_, 0);
  host_ = Enet().enet_host_create(&bind, kMaxMachines + kStrangerPlaces, kChannels, 0, 0);
  if (!host_) {
    failure_reason_ = std::string("no UDP port could be opened: ") + std::strerror(errno);
    return {SessionError::kGeneric};
  }
  host_->intercept = InterceptSearch;
  Enet().enet_socket_set_option(host_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  application_ = application;
  core_.StartJoining(application, instance, player);
  ConnectTo(found->second);
  // The join request waits in the core until the link is up. A game full
  // just now may have a place a moment later: while the wait lasts, the
  // join is asked again.
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(options_.reply_wait_ms);
  auto left_ms = [&] {
    return static_cast<uint32_t>(
        std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count()));
  };
  // The longest this machine stood still while it waited (a stopped
  // process, a busy processor): past the host's wait for a silent link,
  // the host has let its link go.
  StillWatch still;
  bool answered = false;
  for (;;) {
    answered = WaitUntil(
        [&] {
          still.Note();
          return core_.join_state() != SessionCore::JoinState::kWaiting;
        },
        left_ms());
    if (core_.join_state() != SessionCore::JoinState::kFull || left_ms() <= kJoinAgainMs) break;
    WaitUntil(
        [&] {
          still.Note();
          return core_.join_state() != SessionCore::JoinState::kFull;
        },
        kJoinAgainMs);
    core_.RetryJoin();
  }
  if (core_.JoinedPlayer()) {
    // Taken in. One that stood still past the host's wait for a silent
    // link takes nothing of that link for granted: it is in once the host
    // took it back on a new one.
    if (still.longest < std::chrono::milliseconds(options_.member_silence_ms) || ComeBack()) {
      if (server_) Enet().enet_peer_timeout(server_, 0, options_.host_silence_ms, options_.host_silence_ms);
      return {SessionError::kNone, core_.JoinedPlayer()};
    }
    failure_reason_ = "this computer stood still " + std::to_string(still.Seconds()) +
                      " s while it joined, and the game did not take it back";
    Close();
    return {SessionError::kConnectionLost};
  }
  SessionError result = SessionError::kNone;
  switch (core_.join_state()) {
    case SessionCore::JoinState::kFull:
      result = SessionError::kRefused;
      failure_reason_ = "the game has as many players, or computers, as it may have";
      break;
    case SessionCore::JoinState::kWrongSession:
      result = SessionError::kNoSessions;
      failure_reason_ = "the game is no longer there";
      break;
    case SessionCore::JoinState::kHostLeft:
      result = SessionError::kNoSessions;
      failure_reason_ = "the host left the game while this computer joined";
      break;
    case SessionCore::JoinState::kLost:
      result = SessionError::kConnectionLost;
      failure_reason_ = "the link to the game was lost";
      break;
    default:
      result = answered ? SessionError::kConnectionLost : SessionError::kTimedOut;
      // How far it came, which tells a busy or full game from one gone.
      failure_reason_ = connected_                             ? "the game did not answer the join"
                        : server_                              ? "the game did not take up the link"
                        : !last_search_.found.count(instance) ? "the game has ended, or cannot be reached: a search just now did not find it"
                                                               : "the game did not answer";
      break;
  }
  // A host that took this machine in meanwhile lets it go at once (Close).
  Close();
  return {result};
}

bool EnetSession::ComeBack() {
  core_.ComeBack();
  FollowHostChange();
  // Taken back, refused, or its wait for the host over (which ends it).
  WaitUntil([&] { return core_.join_state() != SessionCore::JoinState::kMoving; },
            options_.reply_wait_ms + kCheckWaitMs);
  return core_.join_state() == SessionCore::JoinState::kWelcomed && connected_;
}

void EnetSession::Close() {
  if (!host_) {
    core_.End();
    return;
  }
  // The others learn that this machine leaves, with its proof; what
  // happens while saying goodbye is no longer the session's business: a
  // member must not go looking for a new host on its way out. A joiner
  // has no number yet that a goodbye could name: its leave goes on its
  // link alone.
  const bool joining = core_.join_state() == SessionCore::JoinState::kWaiting;
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
  // A member tells every machine it knows as well: should their host be
  // gone, they let this one go with it rather than wait for it to come back.
  if (secret && !joining) {
    wire::Goodbye mine = goodbye;
    mine.marks = core_.HandedOver(SessionCore::kHostPeer);
    const std::vector<uint8_t> bytes = wire::EncodeGoodbye(mine);
    for (const MachineAddress& other : core_.OtherMachines()) SendDatagram(ToEnet(other), bytes);
  }
  core_.End();
  bool any = false;
  ForEachPeer([&](ENetPeer& peer) {
    if (peer.state != ENET_PEER_STATE_CONNECTED) return;
    Enet().enet_peer_disconnect_later(&peer, 0);
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
    if (secret && !joining) {
      wire::Goodbye mine = goodbye;
      mine.marks = handed[&peer];
      std::vector<uint8_t> late_goodbye = wire::EncodeGoodbye(mine);
      ENetBuffer out{late_goodbye.data(), late_goodbye.size()};
      Enet().enet_socket_send(peer.host->socket, &peer.address, &out, 1);
    }
    Enet().enet_peer_disconnect(&peer, 0);
    late = true;
  });
  if (late) {
    Enet().enet_host_flush(host_);
    if (listener_) Enet().enet_host_flush(listener_);
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
    const int result = Enet().enet_host_service(host, &context.event, 0);
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
      const int result = Enet().enet_host_service(host, &context.event, 0);
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
  if (Enet().enet_host_service(host_, &context.event, wait_ms) > 0) Handle(context.event);
  for (size_t n = 0; n < kMaxEventsPerService; ++n) {
    if (Enet().enet_host_check_events(host_, &context.event) <= 0) break;
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
    if (!host_) return false;
    // What came is taken before the time is judged: a wait that this
    // machine held up (a stopped process, a busy processor) still finds
    // the answer that came meanwhile.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    ServiceOnce(static_cast<uint32_t>(std::clamp<int64_t>(left.count(), 0, kPollSliceMs)));
    if (left.count() <= 0) return done();
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
        Enet().enet_peer_timeout(event.peer, 0, kBackstopTimeoutMs, kBackstopTimeoutMs);
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
      Enet().enet_packet_destroy(event.packet);
      if (event.peer != server_ && core_.HoldsPlace(key)) {
        PlacesOf(event.peer->host).Joined(event.peer);
        own_sockets_.Open(event.peer->host, event.peer);
      } else if (event.peer != server_ && core_.AskedToJoin(key)) {
        PlacesOf(event.peer->host).Asked(event.peer);
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
      Enet().enet_peer_disconnect_now(peer, 0);
      links_[key].DropHeld();
      core_.OnPeerGone(key);
    }
  }
}

void EnetSession::TryListen() {
  // On one machine the old host may hold the port a moment longer.
  const ENetAddress bind = BindAddress(options_, options_.port);
  listener_ = Enet().enet_host_create(&bind, kMaxMachines + kStrangerPlaces, kChannels, 0, 0);
  if (listener_) {
    listener_->intercept = InterceptSearch;
    Enet().enet_socket_set_option(listener_->socket, ENET_SOCKOPT_RCVBUF, kReceiveBufferBytes);
  } else {
    listen_again_at_ = SteadyClock::now() + std::chrono::milliseconds(kListenAgainMs);
  }
}

void EnetSession::DropServerLink() {
  if (server_) Enet().enet_peer_disconnect_now(server_, 0);
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
  if (ENetPeer* peer = PeerOf(key)) Enet().enet_peer_disconnect_now(peer, 0);
}

bool EnetSession::SendHeld(LinkQueue& link, OutgoingPacket& p) {
  ENetPeer* peer = PeerOf(p.peer);
  if (!peer) return true;  // its machine is gone: nothing to wait for
  ENetPacket* packet =
      Enet().enet_packet_create(p.bytes.data(), p.bytes.size(), p.guaranteed ? ENET_PACKET_FLAG_RELIABLE : 0);
  if (!packet) return false;
  link.in_flight += packet->dataLength;
  packet->userData = &link.in_flight;
  packet->freeCallback = PacketFreed;
  if (Enet().enet_peer_send(peer, p.guaranteed ? kGuaranteedChannel : kOtherChannel, packet) != 0)
    Enet().enet_packet_destroy(packet);
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
    if (ENetPeer* peer = PeerOf(key)) Enet().enet_peer_disconnect(peer, 0);
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
  Enet().enet_host_flush(host_);
  if (listener_) Enet().enet_host_flush(listener_);
}

void EnetSession::DestroyHost() {
  own_sockets_.CloseAll();
  if (listener_) Enet().enet_host_destroy(listener_);
  if (host_) Enet().enet_host_destroy(host_);
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

}  // namespace zv::platform::enet

namespace zv::platform {
namespace {

using enet::EnetSession;

class EnetNetwork final : public SessionNetwork {
 public:
  explicit EnetNetwork(const SessionNetworkOptions& options) : options_(options) {}
  ~EnetNetwork() override {
    if (ready_) Enet().enet_deinitialize();
  }

  std::vector<std::string> Connections() override {
    if (!Ready()) return {};
    return {enet::kConnectionName};
  }

  std::unique_ptr<NetSession> Open(size_t index, std::string_view address) override {
    if (!Ready() || index != 0) return nullptr;
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
  // ENet is loaded and started when a program first asks for a game.
  bool Ready() {
    if (!started_) {
      ready_ = Enet().enet_initialize() == 0;
      started_ = true;
    }
    return ready_;
  }

  SessionNetworkOptions options_;
  bool started_ = false;
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<SessionNetwork> CreateEnetSessionNetwork(const SessionNetworkOptions& options) {
  return std::make_unique<EnetNetwork>(options);
}

}  // namespace zv::platform
