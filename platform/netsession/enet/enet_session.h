#pragma once

// The ENet backend's session: what its two files share. enet_session.cc
// moves a session's packets over its links and keeps the time;
// enet_datagrams.cc carries what goes outside the links (searches and
// their answers, cookies, hints, goodbyes). The session's rules live in
// SessionCore.
#include <enet/enet.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/netsession/enet/link_gate.h"
#include "platform/netsession/enet/link_queue.h"
#include "platform/netsession/enet/own_sockets.h"
#include "platform/netsession/net_session.h"
#include "platform/netsession/session_core.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform::enet {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kChannels = 2;
constexpr uint8_t kGuaranteedChannel = 0;
constexpr uint8_t kOtherChannel = 1;
constexpr uint32_t kPollSliceMs = 5;
constexpr uint32_t kJoinAgainMs = 500;   // how often a join refused for want of a place is asked again
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

inline uint32_t RandomWord() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  return generator();
}

inline uint64_t NowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
}

class EnetSession;

// The event that ENet fills, with the session it belongs to: ENet passes
// this event to the intercept callback, which is how a search that arrives
// during a service finds its session.
struct ServiceContext {
  ENetEvent event{};
  EnetSession* session = nullptr;
};

static_assert(std::is_standard_layout_v<ServiceContext>);

// ENet's intercept callback of every ENet host of a session: what a gate
// turns away, and the datagrams outside the links, never reach ENet.
int InterceptSearch(ENetHost* host, ENetEvent* event);

class EnetSession final : public NetSession {
 public:
  EnetSession(const SessionNetworkOptions& options, ENetAddress target, bool broadcast)
      : options_(options),
        target_(target),
        broadcast_(broadcast),
        core_(options.rejoin_wait_ms) {}
  ~EnetSession() override { Close(); }

  std::optional<std::vector<SessionDescription>> FindSessions(const Guid& application) override;
  SessionError Host(const Guid& application, const SessionDescription& session) override;
  std::string FailureReason() const override { return failure_reason_; }
  JoinResult Join(const Guid& application, const Guid& instance, const std::string& player) override;
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
  // Joiner welcomed in that stood still meanwhile: back to the host on a
  // new link; whether the host took it back.
  bool ComeBack();
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
  // What the last search saw: the games it found, the game that answered
  // from each address, and whether nothing listened at the one machine it
  // asked. A join that follows its own search knows from it a game that
  // ended or was replaced at once.
  struct LastSearch {
    std::set<Guid> found;
    std::map<uint64_t, Guid> answered;
    bool nobody_there = false;
  };
  LastSearch last_search_;
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

}  // namespace zv::platform::enet
