#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/netsession/guaranteed_ledger.h"
#include "platform/netsession/machine_proof.h"
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
// of the other machines with their addresses and proofs (machine_proof.h).
// Everything that arrives is checked against that state before it is
// believed: a member cannot speak for another machine's player, nothing
// arrives for a player that does not exist, and no machine can come back
// as another.
//
// When the host of a session that lets the host move goes, the members
// agree without asking anyone: the machine with the lowest number left (the
// one that joined first) hosts from then on. It keeps the players, and the
// others reach it at the address the old host told them and come back with
// the players they have. A member that only lost its link to the host goes
// back to the same host when that still answers; a machine that still hears
// the host takes nobody over. Messages for a machine on its way are kept
// for it until it is back or given up (as it is, for good, when it falls
// too far behind to be caught up), and each machine keeps its own
// guaranteed messages until every other has them, sending them again to
// the next host: they arrive once each, in order, whatever host change
// happens under them. A host also keeps what it hands to each machine over
// its link until the machine says it has it: a link can be dead before
// anyone sees it go, and a machine that comes back says what it has. The
// record of all this is the ledger (guaranteed_ledger.h).
//
// A machine that leaves says so with the next secret of its chain, which
// every machine that knows it recognises; the host's chain is known to its
// members from their welcome. A link that goes without that proof only
// went: whoever says it left cannot make anybody leave. A leave takes
// effect once everything its machine handed over the link before it has
// been taken. When a host went without that (it crashed, or what it handed
// never came), the survivors pool what each took of the machines that are
// gone: the next host takes in what the others bring back, once every
// machine it waits for is back or given up, and hands each what it lacks.
class SessionCore {
 public:
  enum class Role { kNone, kHost, kMember };
  // kMoving: the member is on its way to the next host, or back to its own.
  // kHostLeft: the host left before it took this machine in.
  enum class JoinState { kNone, kWaiting, kWelcomed, kFull, kWrongSession, kLost, kMoving, kHostLeft };
  static constexpr PeerKey kHostPeer = 0;
  // Bytes of messages held for the program before further ones are dropped,
  // and, apart from those, bytes kept for machines on their way back (and
  // each store of the ledger holds as much).
  static constexpr size_t kMaxHeldBytes = GuaranteedLedger::kMaxBytes;
  // How often a member tells the host what it has, at most.
  static constexpr uint64_t kReportEveryMs = 200;
  // How often a member on its way follows one machine's word to another.
  static constexpr int kMaxRedirects = 4;

  // What the transport must do after the host went.
  struct HostChange {
    bool to_self = false;    // this machine hosts now: it waits for the others to come back
    MachineAddress address;  // otherwise the machine to be reached
    // Only ask the machine at `address` whether it still hosts the session,
    // and tell OnHostChecked; `keep_link`: the link to it stays meanwhile.
    bool check = false;
    bool keep_link = false;
  };
  // A machine that hosted before this one took over, or came before it in
  // the order of succession and could not be reached, which may still live
  // and host a part of the game of its own.
  struct FormerHost {
    MachineId id = 0;
    MachineAddress address;
    uint64_t since = 0;    // when this machine took over without it
    bool given_up = false;  // its wait is over (or it said goodbye): nothing more is kept for it
    bool missed = false;    // and guaranteed messages to everybody went out meanwhile
  };

  // `rejoin_wait_ms`: how long a machine whose link was lost is kept.
  explicit SessionCore(uint64_t rejoin_wait_ms = 15000) : rejoin_wait_ms_(rejoin_wait_ms) {}

  // The first number of the block of 65,536 that machine `id` numbers new
  // players and machines from once it takes over, so that those made on
  // both sides of a game that split for a while do not clash when it
  // heals. Block 0 is the numbering of a host that never moved; the
  // machines it numbered (all but the 65,535th on) have a block each. A
  // machine numbered by a host that took over is spread over the blocks
  // by a hash of its whole number: two such may meet in one block, and a
  // player made on both sides with the same number then keeps the machine
  // that comes back with it out (OnRejoin).
  static uint32_t NumberingBlock(MachineId id);

  Role role() const { return role_; }
  JoinState join_state() const { return join_state_; }
  MachineId self() const { return self_; }
  MachineId host() const { return host_; }
  // The session as a search should see it.
  SessionDescription Description() const;

  void StartHosting(const Guid& application, const SessionDescription& session);
  // Once the transport reached the host: asks to join with a first player
  // named `player`. A machine is in a game only with a player it made, so
  // the host takes both in one step, or neither.
  void StartJoining(const Guid& application, const Guid& instance, const std::string& player);
  // Refused for want of a place: asks again, on the same link.
  void RetryJoin();
  // Member welcomed in: the player it joined with (0 before).
  PlayerId JoinedPlayer() const;
  // Member welcomed in whose host may have let its link go meanwhile (it
  // stood still past the host's wait for a silent link): back to that host
  // on a new link, proving itself as a machine whose link went does.
  void ComeBack();
  // Forgets the session, its players and everything not yet taken.
  void End();

  // The transport's clock, in milliseconds: machines not back in time are
  // given up, and a member tells the host what it has.
  void Tick(uint64_t now_ms);

  // What the transport brings: a link up (with the address it sees the
  // other end at), a packet on a link, a link gone (whatever the transport
  // was told about why: only a proved leave is a leave).
  void OnPeerConnected(PeerKey peer, MachineAddress address);
  void OnPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void OnPeerGone(PeerKey peer);
  // This machine leaves: the others are told, with the next secret of its
  // chain, which is also returned for a goodbye the transport sends those
  // that did not take it in time. A joiner still waiting for its welcome
  // tells its host, which may have taken it in. Nothing when it is in no
  // game.
  std::optional<Secret> Leave();
  // A goodbye that came outside a link, from machine `id`: believed only
  // with its proof, and acted on once every message `before` names (the
  // last of each origin handed over the link) is taken.
  void OnGoodbye(MachineId id, const Secret& secret, const std::vector<wire::Mark>& before);
  // The last guaranteed message of each origin this machine handed over
  // link `peer`: what its goodbye there is to wait for.
  std::vector<wire::Mark> HandedOver(PeerKey peer) const;
  // The link to machine `id`, while it is in.
  std::optional<PeerKey> LinkOf(MachineId id) const;
  // Whether link `peer` to this machine earned a lasting place: it is a
  // machine's of the session, which joined with a player of its own and
  // keeps its place between rounds (host), or one that proved itself and
  // waits for this machine to take over (member).
  bool HoldsPlace(PeerKey peer) const;
  // Whether link `peer`, which holds no place, asked to join as a player
  // does and was refused for want of a place: a genuine player's link,
  // not a stranger's that wastes one.
  bool AskedToJoin(PeerKey peer) const;
  // Whether a machine of the session is at `address` (as its cookie proves).
  bool KnownMachineAt(MachineAddress address) const;
  // Whether machine `id`, which has no link to this one, is at `address`:
  // its goodbye can come only from there.
  bool UnlinkedMachineAt(MachineId id, MachineAddress address) const;
  // Member: where the other machines are, host included, so that they all
  // hear it leave, also while the host they share is gone.
  std::vector<MachineAddress> OtherMachines() const;
  // Links whose machine proved it left: the transport closes them.
  std::vector<PeerKey> TakeClosedLinks() { return std::exchange(closed_links_, {}); }
  // Host: the link to `peer` cannot take what its machine must get (the
  // transport's queue for it is full). The machine is given up for good,
  // as one that cannot be caught up; the transport closes the link.
  void GiveUp(PeerKey peer);
  // Member on its way: the link to the machine it goes to is up.
  void OnNewHostReached();
  // The step the transport has to take since the host went, once.
  std::optional<HostChange> TakeHostChange();

  // Member that asked its host whether it still hosts (its link gone, or
  // another machine saying otherwise): the host answered a search as the
  // host of this session, or did not (`alive` false).
  void OnHostChecked(bool alive);
  // Member: another machine says it hosts now. The host is asked.
  void OnHostHint();
  // Host that took over: the machines to be told where it is while they are
  // on their way, and the former hosts that may still live.
  std::vector<MachineAddress> AwaitedAddresses() const;
  const std::vector<FormerHost>& FormerHosts() const { return former_hosts_; }
  // A former host answered a search as the host of this very session: the
  // game split, and this part goes back to it.
  void OnFormerHostAlive(MachineId id);

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
    Proof proof{};                        // the last secret of its chain known here
    std::optional<PeerKey> peer;          // host: its link, while it is in
    std::optional<uint64_t> lost_at;      // host: when its link went, while it is awaited
    std::vector<OutgoingPacket> kept;     // host: messages for it while it is on its way back
  };
  // A message of this machine's player, kept while the host changes.
  struct KeptMessage {
    PlayerId from = 0;
    PlayerId to = 0;
    std::vector<uint8_t> data;
  };

  bool Active() const;
  bool Migrates() const { return (description_.flags & kSessionMigrateHost) != 0; }
  bool IsLocal(PlayerId id) const;
  bool OwnsPlayer(MachineId id) const;
  std::optional<MachineId> MachineAt(PeerKey peer) const;
  void AddPlayer(PlayerId id, const std::string& name, MachineId owner);
  void NoteMachine(MachineId id);
  MachineAddress Resolve(MachineAddress address) const;
  MachineAddress Shareable(MachineAddress address) const;

  void OnHostPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);
  void SendJoin();
  void OnJoin(PeerKey from, const wire::Join& join);
  void OnRejoin(PeerKey from, const wire::Rejoin& rejoin);
  bool ProvesMachine(const wire::Rejoin& rejoin);
  // Whether `secret` shows machine `id` leaving; it is known by it from now.
  bool ProvesLeave(MachineId id, const Secret& secret);
  // Machine `id` proved it leaves: it does once this machine took every
  // message of `before`, or once its link went.
  void LeaveOnceTaken(MachineId id, GuaranteedLedger::Marks before);
  void LeaveWhatIsTaken();
  // Host: machine `id` proved it leaves. Member: the host did.
  void MachineLeaves(MachineId id);
  void HostLeaves();
  // The proof others know this machine by now.
  Proof OwnProof() const;
  // Host: what machine `id` says it has, which may complete a message
  // handed on or make some machine's messages stable.
  void TakeMarks(MachineId id, const std::vector<wire::Mark>& marks);
  void UpdateStable(MachineId origin);
  void UpdateAllStable();
  // Host: tells each machine what changed of stable_.
  void TellStable();
  // Host: an origin it has taken messages from, or one of the session.
  bool Knows(MachineId origin) const;
  // A machine no longer in the game, whose messages only the survivors
  // hold.
  bool IsGone(MachineId origin) const;
  // Host that took over: once no machine is awaited, what the survivors
  // took of the machines gone goes to whoever lacks it.
  void SettleWhenAllBack();
  void Settle();
  // Host that took over: a former host may still come back, so nothing may
  // be taken to be everywhere yet.
  bool AwaitsFormerHost() const;
  void OnMemberPacket(std::span<const uint8_t> bytes);
  void OnMovingPacket(const wire::Message& message);
  void OnWelcome(const wire::Welcome& welcome);
  void OnWelcomeBack(const wire::Welcome& welcome);
  void LearnMachines(const wire::Welcome& welcome);
  void OnPacketWhileMember(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed);

  void HostLost(bool goodbye);
  void MoveTo(MachineId id, MachineAddress address);
  void NextHost();
  void TakeOver();
  void Lose();
  void Await(MachineId id);
  // `may_return`: the machine may come back with the secret it has now.
  void DropMachine(MachineId id, bool may_return = true);
  // Host: whether one more machine may be in the game. Each made a
  // player and keeps its place, players or not, so machines never
  // outnumber the players the game may have.
  bool RoomForMachine() const { return machines_.size() + 1 < description_.max_players; }
  // Host: machine `id` lacks a guaranteed message it was due.
  bool MissesAny(MachineId id) const;
  // Host that took over and found the one it took over from alive, but
  // gave up machines that missed this part's guaranteed messages: the
  // parts cannot become one game again without loss, so this one ends.
  void EndSplitPart();
  void RemovePlayer(PlayerId id, bool tell_program, std::optional<MachineId> except);
  wire::Welcome WelcomeFor(MachineId member) const;
  void SendKeptMessages();
  void ResendUnstable();
  void Report();

  void Queue(PeerKey peer, std::vector<uint8_t> bytes, bool guaranteed);
  // Host: to one machine, or every machine but `except`. A machine on its
  // way back gets the messages `keep` marks once it is back; the snapshot
  // it is welcomed with stands for everything else.
  void QueueToMachine(MachineId id, std::vector<uint8_t> bytes, bool guaranteed, bool keep);
  void QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<MachineId> except);
  // Host: room for a guaranteed message of `bytes` among those kept for
  // machines on their way back. It must reach every machine still in the
  // game: the unguaranteed ones kept go first, then the machine furthest
  // behind is given up, as one that could not be caught up, until it fits.
  void MakeKeepRoom(size_t bytes);
  void LetGoUnguaranteed();
  static size_t KeptBytes(const Machine& machine);
  // Host: a player's message on to the machines it is for.
  // `fresh`: not taken here before.
  void Relay(const wire::Data& data, std::optional<MachineId> sender, bool guaranteed, bool fresh);
  // A numbered message from `sender` (host) or the host (member), through
  // the ledger's in-order hold.
  void TakeNumbered(wire::Data data, std::optional<MachineId> sender);
  void Pass(const wire::Data& data, std::optional<MachineId> sender, bool fresh);
  // What waited for a missing message of `origin` too long, or is too much:
  // a member's game is lost; a host gives that machine up.
  void GapNeverFilled(MachineId origin);
  // Member asked to take over: it sends the asker to its own host.
  void SendAskersTo(MachineId host, MachineAddress address);
  void Deliver(PlayerId from, PlayerId to, std::span<const uint8_t> data);
  void Tell(SessionEvent event);
  bool Full() const { return players_.size() >= description_.max_players; }

  uint64_t rejoin_wait_ms_;
  uint64_t now_ms_ = 0;
  Role role_ = Role::kNone;
  JoinState join_state_ = JoinState::kNone;
  Guid application_{};
  SessionDescription description_;
  std::map<PlayerId, Player> players_;
  MachineId self_ = 0;     // this machine's number
  std::optional<SecretChain> secrets_;  // what proves it, kept here alone
  MachineId host_ = 0;     // the number of the machine that hosts (member on its way: the one it goes to)
  MachineAddress host_address_;  // member: where it reached that machine
  std::map<MachineId, Machine> machines_;    // every other machine of the session
  // Host: a machine given up that may come back with the secret it had
  // then, unless it missed a guaranteed message meanwhile: nobody keeps
  // those for it.
  struct Departed {
    Proof proof{};
    bool missed = false;
  };
  std::map<MachineId, Departed> departed_;   // host: machines given up, should they come back
  // A link not (yet) of a machine of the session; `asked`: it asked to
  // join with a player of its own, and there was no place for it.
  struct Stranger {
    MachineAddress address;
    bool asked = false;
  };
  std::map<PeerKey, Stranger> links_;
  std::optional<FormerHost> returning_to_;   // member: the host it lost and may go back to
  bool returned_ = false;                    // and did, once, on another machine's word
  std::vector<FormerHost> former_hosts_;     // host that took over: those it took over from
  std::vector<FormerHost> passed_over_;      // member on its way: machines before it it could not reach
  int redirects_ = 0;                        // member on its way: times sent on to another host
  bool sent_since_takeover_ = false;         // host that took over: a guaranteed message to everybody went out
  // Member asked to take over while it still had its host: the askers,
  // answered once its host was asked.
  std::vector<std::pair<PeerKey, std::vector<uint8_t>>> asked_to_take_over_;
  std::string joining_as_;  // member waiting for its welcome: its first player's name
  PlayerId next_id_ = kServerPlayer + 1;
  MachineId next_machine_ = 1;
  uint32_t next_request_ = 0;
  // Member: requests for players, with the host's answer once it came
  // (the id, or 0 when refused).
  std::map<uint32_t, std::optional<PlayerId>> requests_;
  std::vector<KeptMessage> kept_messages_;  // member on its way: this machine's unguaranteed messages
  size_t kept_bytes_ = 0;                   // in kept_messages_ and every Machine::kept
  GuaranteedLedger ledger_;
  GuaranteedLedger::Marks reported_;        // member: as last told to the host
  uint64_t reported_at_ = 0;
  GuaranteedLedger::Marks stable_;          // host: what every machine it went to has, by origin
  std::map<MachineId, GuaranteedLedger::Marks> stable_told_;  // host: stable_ as last told each machine
  // Machines that proved they leave, with the last of each origin they
  // handed over their link first (member: its host).
  std::map<MachineId, GuaranteedLedger::Marks> leaving_;
  bool settling_ = false;                   // host that took over: not every machine is back yet
  // Member: other members that proved they leave, which go at the next
  // host change should the host not have said so first.
  std::vector<MachineId> said_goodbye_;
  std::vector<PeerKey> closed_links_;
  std::optional<HostChange> host_change_;
  std::vector<OutgoingPacket> outgoing_;
  std::deque<SessionEvent> events_;
  size_t held_bytes_ = 0;
};

}  // namespace zv::platform
