#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// Multiplayer sessions: one machine hosts a named session, others find it
// and join it, and every machine creates players in it that send each
// other messages. The host keeps the player list; members reach each other
// through it. In a session with kSessionMigrateHost the members go on
// without a host that left: one of them takes over and tells its program
// with kBecameHost.

using PlayerId = uint32_t;
constexpr PlayerId kAllPlayers = 0;    // as an addressee: every player
constexpr PlayerId kServerPlayer = 1;  // the host's own player, when it made one

using Guid = std::array<uint8_t, 16>;

// Session flags a host may ask for.
constexpr uint32_t kSessionMigrateHost = 0x4;
constexpr uint32_t kSessionClientServer = 0x1000;

constexpr size_t kMaxNameBytes = 255;  // player and session names are cut to this
// The largest message a player can send.
constexpr size_t kMaxMessageBytes = 16u << 20;

struct SessionDescription {
  Guid instance{};  // tells this session apart from every other
  std::string name;
  uint32_t flags = 0;
  uint32_t current_players = 0;
  uint32_t max_players = 0;
};

struct PlayerInfo {
  PlayerId id = 0;
  std::string name;
  bool local = false;  // made by this machine (Players() says; the wire does not carry it)
};

enum class SessionError {
  kNone,
  kAlreadyOpen,      // a session is open on this object already
  kNotInitialized,   // no usable connection
  kInvalidParams,
  kNoSessions,       // the session asked for is not known or did not answer
  kTimedOut,         // the host did not answer in time
  kRefused,          // the host would take no further player
  kConnectionLost,   // the link to the host went while joining
  kCannotHost,       // the session's port could not be had
  kGeneric,
};

// What a join came to: the player the machine joined with, or why it did
// not join.
struct JoinResult {
  SessionError error = SessionError::kNone;
  PlayerId player = 0;
};

// Something that happened in the session, in arrival order.
struct SessionEvent {
  enum class Type : uint8_t { kMessage, kPlayerJoined, kPlayerLeft, kSessionLost, kBecameHost };
  Type type = Type::kMessage;
  PlayerId from = 0;    // kMessage: the sender
  PlayerId to = 0;      // kMessage: the addressee, kAllPlayers for everybody
  PlayerId player = 0;  // kPlayerJoined, kPlayerLeft
  std::vector<uint8_t> data;
};

// One machine's place in the network: the sessions it finds, and the one
// session it hosts or has joined. Main thread only; it never waits unless
// an operation below says so.
class NetSession {
 public:
  virtual ~NetSession() = default;

  // Asks the network which sessions of `application` are open, waiting a
  // short while for answers. Nothing when the question could not be sent.
  virtual std::optional<std::vector<SessionDescription>> FindSessions(const Guid& application) = 0;

  virtual SessionError Host(const Guid& application, const SessionDescription& session) = 0;
  // Why the last Host failed, in words its user can act on; empty when
  // nothing more is known.
  virtual std::string FailureReason() const { return {}; }
  // Joins a session that FindSessions reported together with this machine's
  // first player, named `player`: a machine is in a game only with a player
  // it made, and keeps its place from then on, whatever players it frees
  // and makes later. Waits for the host's answer; one refused for want of
  // a place asks again while the wait lasts.
  virtual JoinResult Join(const Guid& application, const Guid& instance, const std::string& player) = 0;
  // Leaves (or, hosting, ends) the session, telling the others.
  virtual void Close() = 0;

  // A player of this machine; a member waits for the host's answer. The
  // server player is the host's alone and always has id kServerPlayer.
  virtual std::optional<PlayerId> CreatePlayer(const std::string& name, bool server_player) = 0;
  // Removes a player of this machine.
  virtual bool DestroyPlayer(PlayerId id) = 0;
  // Every player of the session; nothing without one.
  virtual std::optional<std::vector<PlayerInfo>> Players() = 0;

  // From a player of this machine to one player or to everybody else.
  // Guaranteed messages arrive, in order; others may be lost.
  virtual bool Send(PlayerId from, PlayerId to, std::span<const uint8_t> data, bool guaranteed) = 0;
  // The oldest event not yet taken.
  virtual std::optional<SessionEvent> Receive() = 0;

  // Moves the traffic along: sends what is queued and takes in what
  // arrived. The runtime calls it once per turn of its message pump.
  virtual void Service() = 0;
};

// The ways this machine can reach others.
class SessionNetwork {
 public:
  virtual ~SessionNetwork() = default;
  // The names of the usable connections.
  virtual std::vector<std::string> Connections() = 0;
  // A session object on connection `index`. `address` names the machine
  // to look for sessions on ("host" or "host:port"); empty means the local
  // network. Null when the connection cannot be used with that address.
  virtual std::unique_ptr<NetSession> Open(size_t index, std::string_view address) = 0;
};

// The port a host listens on and searches ask, unless told otherwise.
constexpr uint16_t kDefaultSessionPort = 30620;

struct SessionNetworkOptions {
  // Only this machine: hosts listen on the loopback address, searches ask
  // it alone, and other addresses are refused (headless runs and tests).
  bool loopback_only = false;
  uint16_t port = kDefaultSessionPort;  // where hosts listen and searches ask
  uint32_t find_wait_ms = 1000;         // how long a search of the network waits
  uint32_t reply_wait_ms = 5000;        // how long joins and player requests wait
  // A member leaves its host only when the host has acknowledged nothing on
  // the member's own link for this long; nothing else shortens it.
  uint32_t host_silence_ms = 5000;
  // A host takes a member's link for lost when the member has acknowledged
  // nothing on it for this long, and then keeps its place for
  // rejoin_wait_ms: together the longest a member may stand still (a
  // stopped process, a suspended laptop) and come back.
  uint32_t member_silence_ms = 10000;
  // How long a member that took over as host waits for the others to come
  // back before it gives them up. Members see a host that dropped at
  // somewhat different times, so this is well above reply_wait_ms.
  uint32_t rejoin_wait_ms = 15000;
};

// Sessions over UDP with ENet: hosts answer searches on their own port.
std::unique_ptr<SessionNetwork> CreateEnetSessionNetwork(const SessionNetworkOptions& options);

}  // namespace zv::platform
