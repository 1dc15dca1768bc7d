#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "platform/netsession/net_session.h"
#include "platform/netsession/session_wire.h"

namespace zv::platform {

// The transport's name for a machine it is connected to. A member's link
// to its host is kHostPeer.
using PeerKey = uint32_t;

struct OutgoingPacket {
  PeerKey peer = 0;
  std::vector<uint8_t> bytes;
  bool guaranteed = true;
};

// The rules of a session, apart from the transport that carries them: who
// the players are, which machine made each, where each message goes, and
// what the program is told. The host is the authority on players; a member
// keeps a copy of the list that the host's announcements update, and a list
// of the other machines with their addresses. Everything that arrives is
// checked against that state before it is believed: a member cannot speak
// for another machine's player, and nothing arrives for a player that does
// not exist.
//
// When the host of a session that lets the host move goes, the members
// agree without asking anyone: the machine with the lowest number left (the
// one that joined first) hosts from then on. It keeps the players, and the
// others reach it at the address the old host told them and come back with
// the players they have; messages for a machine that is on its way are kept
// for it until it is back or given up.
class SessionCore {
 public:
  enum class Role { kNone, kHost, kMember };
  // kMoving: the host went and the member is on its way to the next one.
  enum class JoinState { kNone, kWaiting, kWelcomed, kFull, kWrongSession, kLost, kMoving };
  static constexpr PeerKey kHostPeer = 0;
  // Bytes of messages held for the program before further ones are dropped,
  // and, apart from those, bytes kept for machines on their way back.
  static constexpr size_t kMaxHeldBytes = 64u << 20;

  // What the transport must do after the host went.
  struct HostChange {
    bool to_self = false;    // this machine hosts now: it waits for the others to come back
    MachineAddress address;  // otherwise the machine that hosts now, to be reached
  };

  Role role() const { return role_; }
  JoinState join_state() const { return join_state_; }
  // The session as a search should see it.
  SessionDescription Description() const;

  void StartHosting(const Guid& application, const SessionDescription& session);
  // Once the transport reached the host: asks to join.
  void StartJoining(const Guid& application, const Guid& instance);
  // Forgets the session, its players and everything not yet taken.
  void End();

  // What the transport brings: a link up (with the address it sees the
  // other end at), a packet on a link, a link gone.
  void OnPeerConnected(PeerKey peer, MachineAddress address);
  void OnPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void OnPeerGone(PeerKey peer);
  // Member on its way: the link to the machine that hosts now is up.
  void OnNewHostReached();
  // New host: the machines that did not come back in time are given up.
  void StopAwaitingMembers();
  // The step the transport has to take since the host went, once.
  std::optional<HostChange> TakeHostChange();

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
    MachineId owner = 0;  // the machine that made it
  };
  // Another machine of the session.
  struct Machine {
    MachineAddress address;
    uint64_t secret = 0;
    std::optional<PeerKey> peer;         // host: its link, while it is in
    std::vector<OutgoingPacket> kept;    // host: messages for it while it is on its way back
  };
  // A message of this machine's player, kept while the host changes.
  struct KeptMessage {
    PlayerId from = 0;
    PlayerId to = 0;
    std::vector<uint8_t> data;
    bool guaranteed = true;
  };

  bool Active() const;
  bool Migrates() const { return (description_.flags & kSessionMigrateHost) != 0; }
  bool IsLocal(PlayerId id) const;
  std::optional<MachineId> MachineAt(PeerKey peer) const;
  void AddPlayer(PlayerId id, const std::string& name, MachineId owner);
  void NoteMachine(MachineId id);

  void OnHostPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void OnJoin(PeerKey from, const wire::Join& join);
  void OnRejoin(PeerKey from, const wire::Rejoin& rejoin);
  void OnMemberPacket(std::span<const uint8_t> bytes);
  void OnWelcome(const wire::Welcome& welcome);
  void OnWelcomeBack(const wire::Welcome& welcome);
  void LearnMachines(const wire::Welcome& welcome);
  void OnPacketWhileMember(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);

  void HostGone();
  void TakeOver();
  void Lose();
  void DropMachine(MachineId id);
  void RemovePlayer(PlayerId id, bool tell_program, std::optional<MachineId> except);
  wire::Welcome WelcomeFor(MachineId member) const;
  void SendKeptMessages();

  void Queue(PeerKey peer, std::vector<uint8_t> bytes, bool guaranteed);
  // Host: to one machine, or every machine but `except`. A machine on its
  // way back gets the messages `keep` marks once it is back; the snapshot
  // it is welcomed with stands for everything else.
  void QueueToMachine(MachineId id, std::vector<uint8_t> bytes, bool guaranteed, bool keep);
  void QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<MachineId> except,
                      bool keep = false);
  void Deliver(PlayerId from, PlayerId to, std::span<const uint8_t> data);
  void Tell(SessionEvent event);
  bool Full() const { return players_.size() >= description_.max_players; }

  Role role_ = Role::kNone;
  JoinState join_state_ = JoinState::kNone;
  Guid application_{};
  SessionDescription description_;
  std::map<PlayerId, Player> players_;
  MachineId self_ = 0;     // this machine's number
  uint64_t secret_ = 0;    // and its secret
  MachineId host_ = 0;     // the number of the machine that hosts
  std::map<MachineId, Machine> machines_;  // every other machine of the session
  std::map<PeerKey, MachineAddress> links_;  // links not (yet) of a machine of the session
  PlayerId next_id_ = kServerPlayer + 1;
  MachineId next_machine_ = 1;
  uint32_t next_request_ = 0;
  // Member: requests for players, with the host's answer once it came
  // (the id, or 0 when refused).
  std::map<uint32_t, std::optional<PlayerId>> requests_;
  std::vector<KeptMessage> kept_messages_;  // member on its way: this machine's messages
  size_t kept_bytes_ = 0;                   // in kept_messages_ and every Machine::kept
  std::optional<HostChange> host_change_;
  std::vector<OutgoingPacket> outgoing_;
  std::deque<SessionEvent> events_;
  size_t held_bytes_ = 0;
  std::mt19937_64 random_{std::random_device{}()};
};

}  // namespace zv::platform
