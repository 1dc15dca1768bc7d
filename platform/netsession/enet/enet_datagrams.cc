// What a session sends and takes outside its links: searches and their
// answers, cookies, hints and goodbyes, and the connection a cookie opens.
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "platform/netsession/enet/enet_address.h"
#include "platform/netsession/enet/enet_library.h"
#include "platform/netsession/enet/enet_session.h"

namespace zv::platform::enet {

int InterceptSearch(ENetHost* host, ENetEvent* event) {
  if (!event) return 0;
  auto* context = reinterpret_cast<ServiceContext*>(event);
  if (!context->session) return 0;
  if (context->session->GateOf(host).TurnAway(host, NowMs())) return 1;
  return context->session->TakeDatagram(host) ? 1 : 0;
}

std::optional<std::vector<SessionDescription>> EnetSession::FindSessions(const Guid& application) {
  ENetSocket socket = Enet().enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return std::nullopt;
  Enet().enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
  if (broadcast_) Enet().enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
  // The system says when nothing listens where the question went: asking
  // one machine, a game that ended there. (Not by connecting the socket:
  // a machine of several addresses may answer from another.)
  const int one = 1;
  setsockopt(socket, IPPROTO_IP, IP_RECVERR, &one, sizeof one);

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
    for (const ENetAddress& to : asked) sent = Enet().enet_socket_send(socket, &to, &out, 1) >= 0 || sent;
    return sent;
  };
  if (!ask()) {
    Enet().enet_socket_destroy(socket);
    return std::nullopt;
  }

  std::vector<SessionDescription> sessions;
  last_search_ = LastSearch{};
  // This machine's own game cannot answer while this search waits: it is
  // listed from here.
  if (core_.role() == SessionCore::Role::kHost && application == application_) {
    sessions.push_back(core_.Description());
    last_search_.found.insert(sessions.back().instance);
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(options_.find_wait_ms);
  // A host whose socket a flood fills, or that stood still a moment, may
  // have dropped the question: it is asked again meanwhile.
  auto ask_again = SteadyClock::now() + std::chrono::milliseconds(kCookieRepeatMs);
  std::vector<uint8_t> buffer(ENET_PROTOCOL_MAXIMUM_MTU);
  bool refused = false, done = false;
  size_t errors = 0;
  // Each answer that waits is read before the time is judged: a search this
  // machine held up still takes what came meanwhile.
  auto read = [&] {
    for (;;) {
      ENetAddress from{};
      ENetBuffer in{buffer.data(), buffer.size()};
      const int received = Enet().enet_socket_receive(socket, &from, &in, 1);
      if (received == 0) return;
      if (received < 0) {
        refused = refused || errno == ECONNREFUSED;
        // What the system said waits apart, and would wake every wait
        // until it is read.
        char said[256];
        iovec io{said, sizeof said};
        msghdr m{};
        m.msg_iov = &io;
        m.msg_iovlen = 1;
        while (recvmsg(socket, &m, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0) {
        }
        if (++errors > kMaxFoundSessions) return;
        continue;
      }
      std::optional<wire::QueryReply> reply =
          wire::DecodeQueryReply(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(received)));
      if (!reply || reply->nonce != nonce) continue;
      const Guid instance = reply->session.instance;
      last_search_.answered[AddressKey(from)] = instance;
      const bool known = std::any_of(sessions.begin(), sessions.end(),
                                     [&](const SessionDescription& s) { return s.instance == instance; });
      // A host that answered on both ways is joined at its network address,
      // which the other members can reach too should this machine take over.
      if (!known || !IsLoopback(from)) found_[instance] = from;
      if (known) continue;
      last_search_.found.insert(instance);
      sessions.push_back(std::move(reply->session));
      // One machine asked: its one answer is all there is.
      done = !broadcast_ || sessions.size() >= kMaxFoundSessions;
      if (done) return;
    }
  };
  for (;;) {
    read();
    const auto now = SteadyClock::now();
    if (done || now >= deadline) break;
    if (now >= ask_again) {
      ask();
      ask_again = now + std::chrono::milliseconds(kCookieRepeatMs);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(deadline, ask_again) - now);
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    if (Enet().enet_socket_wait(socket, &condition, static_cast<enet_uint32>(std::max<int64_t>(left.count(), 1))) < 0)
      break;
  }
  last_search_.nobody_there = refused && sessions.empty();
  Enet().enet_socket_destroy(socket);
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
      Enet().enet_socket_send(host->socket, &host->receivedAddress, &out, 1);
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
    // Only from where that machine's link is, or where it is known to be
    // while it has none, and only so many a second: checking a proof costs
    // hashing.
    const ENetAddress& from = host->receivedAddress;
    const std::optional<PeerKey> link = core_.LinkOf(goodbye->machine);
    const ENetPeer* peer = link ? PeerOf(*link) : nullptr;
    const bool there = peer ? peer->address.host == from.host && peer->address.port == from.port
                            : core_.UnlinkedMachineAt(goodbye->machine, MachineAddress{from.host, from.port});
    if (goodbye->instance == instance && there && goodbye_checks_.Take(NowMs()))
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
      Enet().enet_socket_send(host->socket, &from, &out, 1);
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
  Enet().enet_socket_send(host_->socket, &to, &out, 1);
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
  if (places_.MakePlace(host_)) server_ = Enet().enet_host_connect(host_, &to, kChannels, cookie);
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
  // A joiner's wait judges the host's silence itself, once it read what
  // came: ENet's timeout, which strikes before it reads, would take a
  // joiner that stood still for one the host does not hear.
  const uint32_t silence =
      core_.join_state() == SessionCore::JoinState::kWaiting ? kBackstopTimeoutMs : options_.host_silence_ms;
  Enet().enet_peer_timeout(server_, 0, silence, silence);
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

}  // namespace zv::platform::enet
