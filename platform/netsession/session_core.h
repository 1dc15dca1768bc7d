#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/netsession/net_session.h"

namespace zv::platform {

// The transport's name for a machine it is connected to. A member's only
// peer is the host.
using PeerKey = uint32_t;

struct OutgoingPacket {
  PeerKey peer = 0;
  std::vector<uint8_t> bytes;
  bool guaranteed = true;
};

// The rules of a session, apart from the transport that carries them: who
// the players are, who owns which, where each message goes, and what the
// program is told. The host is the authority on players; a member keeps a
// copy of the list that the host's announcements update. Everything that
// arrives is checked against that state before it is believed: a member
// cannot speak for another machine's player, and nothing arrives for a
// player that does not exist.
class SessionCore {
 public:
  enum class Role { kNone, kHost, kMember };
  enum class JoinState { kNone, kWaiting, kWelcomed, kFull, kWrongSession, kLost };
  static constexpr PeerKey kHostPeer = 0;
  // Bytes of messages held for the program before further ones are dropped.
  static constexpr size_t kMaxHeldBytes = 64u << 20;

  Role role() const { return role_; }
  JoinState join_state() const { return join_state_; }
  // The session as a search should see it.
  SessionDescription Description() const;

  void StartHosting(const Guid& application, const SessionDescription& session);
  // Once the transport reached the host: asks to join.
  void StartJoining(const Guid& application, const Guid& instance);
  // Forgets the session, its players and everything not yet taken.
  void End();

  // What the transport brings: a packet from a peer, or a peer gone.
  void OnPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void OnPeerGone(PeerKey peer);

  // Host: a player of this machine, at once.
  std::optional<PlayerId> CreateHostPlayer(const std::string& name, bool server_player);
  // Member: asks the host for a player; the number names the request.
  std::optional<uint32_t> RequestPlayer(const std::string& name);
  // The answer to a request: nothing yet, or the player's id (0: refused).
  std::optional<PlayerId> RequestAnswer(uint32_t request) const;
  void ForgetRequest(uint32_t request) { requests_.erase(request); }

  bool DestroyPlayer(PlayerId id);
  bool Send(PlayerId from, PlayerId to, std::span<const uint8_t> data, bool guaranteed);
  std::vector<PlayerInfo> Players() const;

  std::vector<OutgoingPacket> TakeOutgoing();
  std::optional<SessionEvent> TakeEvent();

 private:
  struct Player {
    std::string name;
    bool local = false;  // made on this machine
    PeerKey owner = 0;   // host: the member that made it (local ones: none)
  };

  bool Active() const;
  bool IsLocal(PlayerId id) const;
  void OnHostPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void OnMemberPacket(std::span<const uint8_t> bytes);
  void RemovePlayer(PlayerId id, bool tell_program, std::optional<PeerKey> except);
  void Queue(PeerKey peer, std::vector<uint8_t> bytes, bool guaranteed);
  void QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<PeerKey> except);
  void Deliver(PlayerId from, PlayerId to, std::span<const uint8_t> data);
  void Tell(SessionEvent event);
  bool Full() const { return players_.size() >= description_.max_players; }

  Role role_ = Role::kNone;
  JoinState join_state_ = JoinState::kNone;
  Guid application_{};
  SessionDescription description_;
  std::map<PlayerId, Player> players_;
  std::set<PeerKey> members_;  // host: peers that joined
  PlayerId next_id_ = kServerPlayer + 1;
  uint32_t next_request_ = 0;
  // Member: requests for players, with the host's answer once it came
  // (the id, or 0 when refused).
  std::map<uint32_t, std::optional<PlayerId>> requests_;
  std::vector<OutgoingPacket> outgoing_;
  std::deque<SessionEvent> events_;
  size_t held_bytes_ = 0;
};

}  // namespace zv::platform
