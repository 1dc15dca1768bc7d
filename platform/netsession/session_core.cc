#include "platform/netsession/session_core.h"

#include <algorithm>
#include <set>
#include <utility>

namespace zv::platform {
namespace {

std::string CutName(const std::string& name) { return name.substr(0, kMaxNameBytes); }

bool IsLoopback(const MachineAddress& a) { return (a.host & 0xFF) == 127; }

// Whether a machine noted at `noted` is the one seen at `seen`: a host notes
// a machine on its own loopback address without the address.
bool SameMachine(const MachineAddress& noted, const MachineAddress& seen) {
  return noted.port == seen.port && (noted.host == seen.host || (noted.host == 0 && IsLoopback(seen)));
}

uint32_t MarkOf(const GuaranteedLedger::Marks& marks, MachineId origin) { return GuaranteedLedger::MarkOf(marks, origin); }

}  // namespace

SessionDescription SessionCore::Description() const {
  SessionDescription d = description_;
  d.current_players = static_cast<uint32_t>(players_.size());
  return d;
}

void SessionCore::StartHosting(const Guid& application, const SessionDescription& session) {
  End();
  role_ = Role::kHost;
  application_ = application;
  description_ = session;
  description_.name = CutName(session.name);
  // Members know the host by its chain too, so that its goodbye proves it.
  secrets_.emplace();
}

void SessionCore::StartJoining(const Guid& application, const Guid& instance, const std::string& player) {
  End();
  role_ = Role::kMember;
  application_ = application;
  description_.instance = instance;
  secrets_.emplace();
  joining_as_ = CutName(player);
  SendJoin();
}

void SessionCore::RetryJoin() {
  if (role_ == Role::kMember && join_state_ == JoinState::kFull) SendJoin();
}

void SessionCore::SendJoin() {
  join_state_ = JoinState::kWaiting;
  Queue(kHostPeer, wire::Encode(wire::Join{application_, description_.instance, secrets_->Start(), joining_as_}), true);
}

PlayerId SessionCore::JoinedPlayer() const {
  if (role_ != Role::kMember || !Active()) return 0;
  for (const auto& [id, player] : players_)
    if (player.owner == self_) return id;
  return 0;
}

void SessionCore::End() {
  const uint64_t wait = rejoin_wait_ms_, now = now_ms_;
  *this = SessionCore(wait);
  now_ms_ = now;
}

bool SessionCore::Active() const {
  return role_ == Role::kHost ||
         (role_ == Role::kMember && (join_state_ == JoinState::kWelcomed || join_state_ == JoinState::kMoving));
}

bool SessionCore::IsLocal(PlayerId id) const {
  auto it = players_.find(id);
  return it != players_.end() && it->second.owner == self_;
}

bool SessionCore::OwnsPlayer(MachineId id) const {
  return std::any_of(players_.begin(), players_.end(), [&](const auto& p) { return p.second.owner == id; });
}

std::optional<PeerKey> SessionCore::LinkOf(MachineId id) const {
  if (role_ == Role::kMember) {
    if (join_state_ == JoinState::kWelcomed && id == host_) return kHostPeer;
    return std::nullopt;
  }
  auto machine = machines_.find(id);
  return machine == machines_.end() ? std::nullopt : machine->second.peer;
}

bool SessionCore::HoldsPlace(PeerKey peer) const {
  if (role_ == Role::kHost) return MachineAt(peer).has_value();
  return std::any_of(asked_to_take_over_.begin(), asked_to_take_over_.end(),
                     [&](const auto& asked) { return asked.first == peer; });
}

bool SessionCore::AskedToJoin(PeerKey peer) const {
  auto link = links_.find(peer);
  return role_ == Role::kHost && link != links_.end() && link->second.asked;
}

bool SessionCore::KnownMachineAt(MachineAddress address) const {
  return std::any_of(machines_.begin(), machines_.end(),
                     [&](const auto& m) { return SameMachine(m.second.address, address); });
}

bool SessionCore::UnlinkedMachineAt(MachineId id, MachineAddress address) const {
  auto machine = machines_.find(id);
  return machine != machines_.end() && !LinkOf(id) && SameMachine(machine->second.address, address);
}

std::vector<MachineAddress> SessionCore::OtherMachines() const {
  std::vector<MachineAddress> out;
  if (role_ != Role::kMember) return out;
  for (const auto& [id, machine] : machines_)
    if (id != self_ && machine.address.port != 0) out.push_back(machine.address);
  return out;
}

std::optional<MachineId> SessionCore::MachineAt(PeerKey peer) const {
  for (const auto& [id, machine] : machines_)
    if (machine.peer == peer) return id;
  return std::nullopt;
}

void SessionCore::AddPlayer(PlayerId id, const std::string& name, MachineId owner) {
  players_[id] = Player{CutName(name), owner};
  // Ids stay unique after the host changed: the next host goes on after
  // the highest it knows.
  if (id >= next_id_) next_id_ = id + 1;
}

void SessionCore::NoteMachine(MachineId id) {
  if (id >= next_machine_) next_machine_ = id + 1;
}

MachineAddress SessionCore::Resolve(MachineAddress address) const {
  if (address.host == 0) address.host = host_address_.host;
  return address;
}

MachineAddress SessionCore::Shareable(MachineAddress address) const {
  if (IsLoopback(address)) address.host = 0;
  return address;
}

void SessionCore::Tick(uint64_t now_ms) {
  now_ms_ = now_ms;
  for (MachineId origin : ledger_.Overdue(now_ms_, rejoin_wait_ms_)) GapNeverFilled(origin);
  if (role_ == Role::kHost) {
    std::vector<MachineId> late;
    for (const auto& [id, machine] : machines_)
      if (machine.lost_at && now_ms_ - *machine.lost_at >= rejoin_wait_ms_) late.push_back(id);
    for (MachineId id : late) DropMachine(id);
    bool over = false;
    for (FormerHost& f : former_hosts_)
      if (!f.given_up && now_ms_ - f.since >= rejoin_wait_ms_) {
        // Past its wait nothing more is kept for it: should it turn up
        // alive, this part ends if it went on without it.
        f.given_up = over = true;
        f.missed = sent_since_takeover_;
      }
    if (over) UpdateAllStable();
  } else if (role_ == Role::kMember && join_state_ == JoinState::kWelcomed && ledger_.taken() != reported_ &&
             now_ms_ - reported_at_ >= kReportEveryMs) {
    Report();
  }
}

void SessionCore::Report() {
  reported_ = ledger_.taken();
  reported_at_ = now_ms_;
  Queue(kHostPeer, wire::Encode(wire::Delivered{GuaranteedLedger::ToWire(reported_)}), true);
}

void SessionCore::OnPeerConnected(PeerKey peer, MachineAddress address) {
  if (role_ == Role::kNone) return;
  if (role_ == Role::kMember && peer == kHostPeer) {
    host_address_ = address;
    return;
  }
  links_[peer] = Stranger{address};
}

void SessionCore::OnPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  if (role_ == Role::kHost)
    OnHostPacket(from, bytes, guaranteed);
  else if (role_ == Role::kMember && from == kHostPeer)
    OnMemberPacket(bytes);
  else if (role_ == Role::kMember)
    OnPacketWhileMember(from, bytes, guaranteed);
}

// ---- Host --------------------------------------------------------------------------

void SessionCore::OnHostPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  if (const auto* join = std::get_if<wire::Join>(&*message)) return OnJoin(from, *join);
  if (const auto* rejoin = std::get_if<wire::Rejoin>(&*message)) return OnRejoin(from, *rejoin);
  // Only machines of the session may speak, and only for their own players.
  const std::optional<MachineId> sender = MachineAt(from);
  if (!sender) return;
  auto owned_by_sender = [&](PlayerId id) {
    auto it = players_.find(id);
    return it != players_.end() && it->second.owner == *sender;
  };

  if (const auto* create = std::get_if<wire::CreatePlayer>(&*message)) {
    // Nobody lists a player without a name: none is made, as none joins.
    if (Full() || create->name.empty()) {
      Queue(from, wire::Encode(wire::PlayerRefused{create->request}), true);
      return;
    }
    const PlayerId id = next_id_;
    AddPlayer(id, create->name, *sender);
    const std::string& name = players_[id].name;
    Queue(from, wire::Encode(wire::PlayerCreated{create->request, id, *sender, name}), true);
    QueueToMembers(wire::Encode(wire::PlayerCreated{0, id, *sender, name}), true, sender);
    Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, id, {}});
  } else if (const auto* destroy = std::get_if<wire::DestroyPlayer>(&*message)) {
    if (owned_by_sender(destroy->id)) RemovePlayer(destroy->id, true, sender);
  } else if (const auto* data = std::get_if<wire::Data>(&*message)) {
    // A numbered message is guaranteed, an unnumbered one not: a sender
    // cannot make the others keep what it did not number.
    if (data->origin != *sender || (data->sequence != 0) != guaranteed) return;
    if (data->sequence != 0) return TakeNumbered(*data, sender);
    if (owned_by_sender(data->from)) Relay(*data, sender, false, true);
  } else if (const auto* delivered = std::get_if<wire::Delivered>(&*message)) {
    TakeMarks(*sender, delivered->marks);
  } else if (const auto* leave = std::get_if<wire::Leave>(&*message)) {
    // Everything it sent before came before this, on the same link: a
    // goodbye of the same leave outside the link may have come first.
    if (leaving_.count(*sender) || ProvesLeave(*sender, leave->secret)) MachineLeaves(*sender);
  }
}

void SessionCore::Relay(const wire::Data& data, std::optional<MachineId> sender, bool guaranteed, bool fresh) {
  // A message sent again after a host change or a lost link goes on to
  // those it was for that may lack it; here it is taken only when new.
  const std::vector<uint8_t> unnumbered = data.sequence == 0 ? wire::Encode(data) : std::vector<uint8_t>{};
  std::vector<std::pair<MachineId, uint32_t>> on_links;
  auto hand_to = [&](MachineId id) {
    auto machine = machines_.find(id);
    if (machine == machines_.end()) return;  // given up to make room for this message
    if (data.sequence == 0) return QueueToMachine(id, unnumbered, guaranteed, true);
    // Not twice to a machine that has it or was handed it: what it lacks
    // of that is handed again when it comes back on a new link.
    GuaranteedLedger::Account& account = ledger_.AccountOf(id);
    if (MarkOf(account.forwarded, data.origin) >= data.sequence ||
        MarkOf(account.delivered, data.origin) >= data.sequence)
      return;
    account.forwarded[data.origin] = data.sequence;
    // A machine on its way learns what comes before it once it is back.
    const Machine& m = machine->second;
    if (!m.peer) return QueueToMachine(id, wire::Encode(data), true, true);
    wire::Data handed = data;
    handed.prior = ledger_.Chain(id, data.origin, data.sequence);
    on_links.emplace_back(id, handed.prior);
    Queue(*m.peer, wire::Encode(handed), true);
  };
  if (data.to == kAllPlayers) {
    if (fresh && data.origin != self_ && OwnsPlayer(self_)) Deliver(data.from, kAllPlayers, data.payload);
    if (fresh && guaranteed) {
      for (auto& [id, departed] : departed_) departed.missed = true;
      sent_since_takeover_ = true;
    }
    // Every player but the sender's is addressed: a machine with none is not.
    std::vector<MachineId> to;
    for (const auto& [id, machine] : machines_)
      if (id != sender && id != data.origin && OwnsPlayer(id)) to.push_back(id);
    for (MachineId id : to) hand_to(id);
  } else if (auto to = players_.find(data.to); to == players_.end()) {
    return;
  } else if (to->second.owner == self_) {
    if (fresh) Deliver(data.from, data.to, data.payload);
  } else {
    hand_to(to->second.owner);
  }
  // Making room for it among the messages kept may have given some up.
  std::erase_if(on_links, [&](const auto& t) { return !machines_.count(t.first); });
  if (guaranteed && !on_links.empty()) ledger_.KeepHanded(data, std::move(on_links));
}

void SessionCore::TakeNumbered(wire::Data data, std::optional<MachineId> sender) {
  const MachineId origin = data.origin;
  GuaranteedLedger::TakeResult result = ledger_.Take(std::move(data), sender, now_ms_);
  for (const GuaranteedLedger::Taken& t : result.passed) {
    // Should its sender be gone before every machine has it, the others
    // may need it from here.
    if (role_ == Role::kMember && t.fresh) ledger_.KeepCopy(t.data);
    Pass(t.data, t.sender, t.fresh);
  }
  if (result.overflow) GapNeverFilled(origin);
  if (!leaving_.empty()) LeaveWhatIsTaken();
}

void SessionCore::Pass(const wire::Data& data, std::optional<MachineId> sender, bool fresh) {
  if (role_ == Role::kHost) {
    // Its number is taken even where its player went meanwhile.
    auto from = players_.find(data.from);
    if (from == players_.end() || (sender && from->second.owner != *sender)) return;
    return Relay(data, sender, true, fresh);
  }
  // A machine that is gone sent it before it went: its players may be
  // gone by now.
  if (!fresh || (!players_.count(data.from) && !IsGone(data.origin))) return;
  if (data.to == kAllPlayers ? !OwnsPlayer(self_) : !IsLocal(data.to)) return;
  Deliver(data.from, data.to, data.payload);
}

bool SessionCore::IsGone(MachineId origin) const {
  return origin != self_ && origin != host_ && !machines_.count(origin);
}

bool SessionCore::Knows(MachineId origin) const {
  return origin == self_ || machines_.count(origin) || ledger_.TakenFrom(origin) > 0;
}

void SessionCore::GapNeverFilled(MachineId origin) {
  ledger_.StopWaitingFor(origin);
  if (role_ != Role::kHost) return Lose();
  // The host cannot pass on what comes after the missing message: the
  // machine that sent it leaves the game, and finds it lost.
  auto machine = machines_.find(origin);
  if (machine == machines_.end()) return;
  if (machine->second.peer) Queue(*machine->second.peer, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
  DropMachine(origin, false);
}

void SessionCore::TakeMarks(MachineId id, const std::vector<wire::Mark>& marks) {
  ledger_.TakeMarks(id, marks, [&](MachineId origin) { return Knows(origin); });
  for (const wire::Mark& m : marks)
    if (Knows(m.origin)) UpdateStable(m.origin);
  TellStable();
}

bool SessionCore::AwaitsFormerHost() const {
  return std::any_of(former_hosts_.begin(), former_hosts_.end(), [](const FormerHost& f) { return !f.given_up; });
}

void SessionCore::UpdateAllStable() {
  std::vector<MachineId> origins = {self_};
  for (const auto& [origin, machine] : machines_) origins.push_back(origin);
  for (const auto& [origin, taken] : ledger_.taken()) origins.push_back(origin);
  for (MachineId origin : origins) UpdateStable(origin);
  TellStable();
}

void SessionCore::UpdateStable(MachineId origin) {
  // A former host that comes back takes this part's messages from their
  // senders: they keep them until it is given up.
  if (AwaitsFormerHost()) return;
  const bool own = origin == self_;
  // What every machine it was handed to has, up to what this one has.
  const uint32_t stable = ledger_.StableUpTo(origin, own ? ledger_.LastOwn() : ledger_.TakenFrom(origin));
  if (own) ledger_.ReleaseOwn(stable);
  uint32_t& known = stable_[origin];
  known = std::max(known, stable);
}

void SessionCore::TellStable() {
  if (role_ != Role::kHost) return;
  for (const auto& [id, machine] : machines_) {
    GuaranteedLedger::Marks& told = stable_told_[id];
    if (!machine.peer || told == stable_) continue;
    told = stable_;
    Queue(*machine.peer, wire::Encode(wire::Stable{GuaranteedLedger::ToWire(stable_)}), true);
  }
}

void SessionCore::OnJoin(PeerKey from, const wire::Join& join) {
  if (MachineAt(from)) return;
  // A machine comes in with its first player, or not at all: none holds a
  // place that no player of its own earned.
  if (join.application != application_ || join.instance != description_.instance || join.player.empty()) {
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  if (Full() || !RoomForMachine()) {
    if (auto link = links_.find(from); link != links_.end()) link->second.asked = true;
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kFull}), true);
    return;
  }
  const MachineId id = next_machine_++;
  auto link = links_.find(from);
  const MachineAddress address = link != links_.end() ? Shareable(link->second.address) : MachineAddress{};
  if (link != links_.end()) links_.erase(link);
  Machine machine;
  machine.address = address;
  machine.proof = join.proof;
  machine.peer = from;
  machines_[id] = std::move(machine);
  const PlayerId player = next_id_;
  AddPlayer(player, join.player, id);
  // A newcomer takes no guaranteed message sent before it came.
  GuaranteedLedger::Marks& has = ledger_.AccountOf(id).delivered;
  has = ledger_.taken();
  if (ledger_.LastOwn() > 0) has[self_] = ledger_.LastOwn();
  Queue(from, wire::Encode(WelcomeFor(id)), true);
  QueueToMembers(wire::Encode(wire::MachineJoined{{id, address, join.proof}}), true, id);
  QueueToMembers(wire::Encode(wire::PlayerCreated{0, player, id, players_[player].name}), true, id);
  Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, player, {}});
}

bool SessionCore::ProvesMachine(const wire::Rejoin& rejoin) {
  auto it = machines_.find(rejoin.member);
  if (it == machines_.end()) {
    // Given up here, it may come back with the secret it had then. A
    // return without that secret leaves it given up, so it is still held
    // to what it misses.
    auto departed = departed_.find(rejoin.member);
    if (departed == departed_.end() || departed->second.missed ||
        !Continues(rejoin.secret, departed->second.proof) || !RoomForMachine())
      return false;
    Machine machine;
    machine.proof = departed->second.proof;
    machines_[rejoin.member] = std::move(machine);
    departed_.erase(departed);
    NoteMachine(rejoin.member);
    it = machines_.find(rejoin.member);
  }
  // A machine that proves itself is back, even where its old link has not
  // been seen to go yet: that link is stale.
  Machine& machine = it->second;
  if (!Continues(rejoin.secret, machine.proof)) return false;
  machine.proof = rejoin.secret;
  return true;
}

void SessionCore::OnRejoin(PeerKey from, const wire::Rejoin& rejoin) {
  if (std::optional<MachineId> at = MachineAt(from); at && *at != rejoin.member) return;
  if (rejoin.application != application_ || rejoin.instance != description_.instance ||
      rejoin.member == self_ || !ProvesMachine(rejoin)) {
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  const MachineId member = rejoin.member;
  Machine& machine = machines_[member];
  machine.peer = from;
  machine.lost_at.reset();
  if (auto link = links_.find(from); link != links_.end()) {
    machine.address = Shareable(link->second.address);
    links_.erase(link);
  }
  // Its old link may have been dead for a while before anyone saw it go,
  // and what went into it lost with it.
  stable_told_.erase(member);
  TakeMarks(member, rejoin.marks);
  if (!ledger_.CanCatchUp(member)) {
    // Not let back in: it would miss, unaware, what was let go.
    DropMachine(member, false);
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  // A player it comes back with that another machine owns here was made on
  // both sides of a split with the same number: it cannot come back
  // without one taking the other's messages.
  if (std::any_of(rejoin.players.begin(), rejoin.players.end(), [&](const PlayerInfo& p) {
        auto it = players_.find(p.id);
        return it != players_.end() && it->second.owner != member;
      })) {
    DropMachine(member, false);
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  // What it took of machines gone, which the others may lack.
  if (settling_)
    for (const wire::Data& copy : rejoin.copies)
      if (copy.sequence != 0 && IsGone(copy.origin)) ledger_.KeepCopy(copy);
  // The member knows its own players best: those the old host had not
  // told this machine of yet come in, those it has let go go.
  std::set<PlayerId> claimed;
  for (const PlayerInfo& p : rejoin.players) {
    claimed.insert(p.id);
    if (p.id == kAllPlayers || players_.count(p.id)) continue;
    AddPlayer(p.id, p.name, member);
    QueueToMembers(wire::Encode(wire::PlayerCreated{0, p.id, member, players_[p.id].name}), true, member);
    Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, p.id, {}});
  }
  std::vector<PlayerId> gone;
  for (const auto& [id, player] : players_)
    if (player.owner == member && !claimed.count(id)) gone.push_back(id);
  for (PlayerId id : gone) RemovePlayer(id, true, member);

  Queue(from, wire::Encode(WelcomeFor(member)), true);
  // The others learn its new proof and, should it have moved, its address.
  QueueToMembers(wire::Encode(wire::MachineJoined{{member, machine.address, machine.proof}}), true, member);
  for (const wire::Data& again : ledger_.HandAgain(member)) Queue(from, wire::Encode(again), true);
  std::vector<OutgoingPacket> kept = std::exchange(machines_[member].kept, {});
  for (OutgoingPacket& p : kept) {
    kept_bytes_ -= p.bytes.size();
    if (!p.guaranteed || ledger_.Rechain(member, p.bytes)) Queue(from, std::move(p.bytes), p.guaranteed);
  }
  SettleWhenAllBack();
}

wire::Welcome SessionCore::WelcomeFor(MachineId member) const {
  wire::Welcome welcome;
  welcome.session = Description();
  welcome.member = member;
  welcome.host = self_;
  for (const auto& [id, machine] : machines_)
    if (id != member) welcome.machines.push_back(wire::Machine{id, machine.address, machine.proof});
  // This machine as well, by the proof its goodbye will continue.
  welcome.machines.push_back(wire::Machine{self_, {}, OwnProof()});
  for (const auto& [id, player] : players_) welcome.players.push_back(wire::OwnedPlayer{id, player.owner, player.name});
  welcome.marks = GuaranteedLedger::ToWire(ledger_.taken());
  if (ledger_.LastOwn() > 0) welcome.marks.push_back(wire::Mark{self_, ledger_.LastOwn()});
  return welcome;
}

// ---- Member ------------------------------------------------------------------------

void SessionCore::OnMemberPacket(std::span<const uint8_t> bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  // A joiner refused for want of a place, which asks again soon, still
  // hears of a host that leaves.
  if (join_state_ == JoinState::kWaiting || join_state_ == JoinState::kFull) {
    if (const auto* welcome = std::get_if<wire::Welcome>(&*message)) {
      if (join_state_ == JoinState::kWaiting) OnWelcome(*welcome);
    } else if (const auto* refused = std::get_if<wire::Refused>(&*message)) {
      join_state_ = refused->reason == wire::Refusal::kFull       ? JoinState::kFull
                    : refused->reason == wire::Refusal::kHostLeft ? JoinState::kHostLeft
                                                                  : JoinState::kWrongSession;
    }
    return;
  }
  if (join_state_ == JoinState::kMoving) return OnMovingPacket(*message);
  if (!Active()) return;

  if (const auto* created = std::get_if<wire::PlayerCreated>(&*message)) {
    if (created->id == kAllPlayers || players_.count(created->id)) return;
    auto request = requests_.find(created->request);
    const bool ours = created->request != 0 && request != requests_.end() && !request->second;
    // A player of this machine is one it asked for.
    if (!ours && created->owner == self_) return;
    AddPlayer(created->id, created->name, ours ? self_ : created->owner);
    if (ours)
      request->second = created->id;
    else
      Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, created->id, {}});
  } else if (const auto* refused = std::get_if<wire::PlayerRefused>(&*message)) {
    auto request = requests_.find(refused->request);
    if (request != requests_.end() && !request->second) request->second = kAllPlayers;
  } else if (const auto* destroyed = std::get_if<wire::PlayerDestroyed>(&*message)) {
    auto it = players_.find(destroyed->id);
    if (it == players_.end()) return;
    const bool local = it->second.owner == self_;
    players_.erase(it);
    if (!local) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, destroyed->id, {}});
  } else if (const auto* data = std::get_if<wire::Data>(&*message)) {
    if (data->sequence != 0) return TakeNumbered(*data, std::nullopt);
    Pass(*data, std::nullopt, true);
  } else if (const auto* joined = std::get_if<wire::MachineJoined>(&*message)) {
    const MachineId id = joined->machine.id;
    if (id == self_ || id == host_) return;
    Machine& machine = machines_[id];
    machine.address = Resolve(joined->machine.address);
    machine.proof = joined->machine.proof;
    NoteMachine(id);
  } else if (const auto* left = std::get_if<wire::MachineLeft>(&*message)) {
    if (left->id != self_ && left->id != host_) machines_.erase(left->id);
  } else if (const auto* stable = std::get_if<wire::Stable>(&*message)) {
    const GuaranteedLedger::Marks marks = GuaranteedLedger::FromWire(stable->marks);
    ledger_.ReleaseOwn(MarkOf(marks, self_));
    ledger_.ReleaseCopies(marks);
  } else if (const auto* leave = std::get_if<wire::Leave>(&*message)) {
    if (leaving_.count(host_) || ProvesLeave(host_, leave->secret)) HostLeaves();
  } else if (std::get_if<wire::Refused>(&*message)) {
    // The host's part of a split game could not become one with the
    // other again.
    Lose();
  } else if (const auto* back = std::get_if<wire::Return>(&*message)) {
    // The host found the one it took over from alive: back to that one.
    if (!Migrates() || back->host == self_) return;
    returning_to_ = FormerHost{back->host, Resolve(back->address)};
    returned_ = true;
    MoveTo(returning_to_->id, returning_to_->address);
  }
}

void SessionCore::OnWelcome(const wire::Welcome& welcome) {
  // It comes in with the one player it asked for, as the host made it.
  const auto own = [&](const wire::OwnedPlayer& p) { return p.owner == welcome.member && p.id != kAllPlayers; };
  if (std::count_if(welcome.players.begin(), welcome.players.end(), own) != 1) {
    join_state_ = JoinState::kWrongSession;
    return;
  }
  const Guid instance = description_.instance;
  description_ = welcome.session;
  description_.instance = instance;
  self_ = welcome.member;
  host_ = welcome.host;
  NoteMachine(self_);
  LearnMachines(welcome);
  for (const wire::OwnedPlayer& p : welcome.players)
    if (p.id != kAllPlayers) AddPlayer(p.id, p.name, p.owner);
  joining_as_.clear();
  for (const wire::Mark& m : welcome.marks) ledger_.SetTaken(m.origin, m.sequence);
  reported_ = ledger_.taken();
  join_state_ = JoinState::kWelcomed;
}

void SessionCore::LearnMachines(const wire::Welcome& welcome) {
  machines_.clear();
  ledger_.ForgetAccounts();
  Machine& host = machines_[host_];
  host.address = host_address_;
  NoteMachine(host_);
  for (const wire::Machine& m : welcome.machines) {
    if (m.id == host_) host.proof = m.proof;
    if (m.id == self_ || m.id == host_) continue;
    Machine& machine = machines_[m.id];
    machine.address = Resolve(m.address);
    machine.proof = m.proof;
    NoteMachine(m.id);
  }
}

void SessionCore::OnPeerGone(PeerKey peer) {
  if (role_ == Role::kHost) {
    links_.erase(peer);
    std::optional<MachineId> machine = MachineAt(peer);
    if (!machine) return;
    // One that proved it leaves and whose link went sent all it will.
    if (leaving_.count(*machine)) return MachineLeaves(*machine);
    // One whose link went may come back, where the host may move.
    if (!Migrates())
      DropMachine(*machine);
    else
      Await(*machine);
  } else if (role_ == Role::kMember && peer != kHostPeer) {
    links_.erase(peer);
  } else if (role_ == Role::kMember) {
    if (join_state_ == JoinState::kWaiting) {
      join_state_ = JoinState::kLost;
    } else if (join_state_ == JoinState::kWelcomed) {
      if (leaving_.count(host_))
        HostLeaves();
      else if (Migrates())
        HostLost(false);
      else
        Lose();
    } else if (join_state_ == JoinState::kMoving) {
      // The machine it went to did not take it back in time.
      NextHost();
    }
  }
}

void SessionCore::GiveUp(PeerKey peer) {
  if (role_ != Role::kHost) return;
  links_.erase(peer);
  if (std::optional<MachineId> machine = MachineAt(peer)) DropMachine(*machine, false);
}

void SessionCore::Lose() {
  join_state_ = JoinState::kLost;
  players_.clear();
  machines_.clear();
  links_.clear();
  requests_.clear();
  outgoing_.clear();
  kept_messages_.clear();
  kept_bytes_ = 0;
  ledger_ = GuaranteedLedger{};
  leaving_.clear();
  host_change_.reset();
  Tell(SessionEvent{SessionEvent::Type::kSessionLost, 0, 0, 0, {}});
}

void SessionCore::SendKeptMessages() {
  std::vector<KeptMessage> kept = std::exchange(kept_messages_, {});
  for (const KeptMessage& m : kept) kept_bytes_ -= m.data.size();
  for (const KeptMessage& m : kept) Send(m.from, m.to, m.data, false);
}

void SessionCore::ResendUnstable() {
  const std::vector<wire::Data> again = ledger_.OwnToSendAgain(self_);
  if (role_ != Role::kHost) {
    for (const wire::Data& m : again) Queue(kHostPeer, wire::Encode(m), true);
    return;
  }
  // Relaying may give a machine up, and with it make some of these stable.
  for (const wire::Data& m : again) Relay(m, std::nullopt, true, true);
  UpdateStable(self_);
}

// ---- Players and messages ------------------------------------------------------------

std::optional<PlayerId> SessionCore::CreateHostPlayer(const std::string& name, bool server_player) {
  if (role_ != Role::kHost || Full() || name.empty()) return std::nullopt;
  PlayerId id = kServerPlayer;
  if (!server_player)
    id = next_id_;
  else if (players_.count(kServerPlayer))
    return std::nullopt;
  AddPlayer(id, name, self_);
  QueueToMembers(wire::Encode(wire::PlayerCreated{0, id, self_, players_[id].name}), true, std::nullopt);
  return id;
}

std::optional<uint32_t> SessionCore::RequestPlayer(const std::string& name) {
  if (role_ != Role::kMember || join_state_ != JoinState::kWelcomed || name.empty()) return std::nullopt;
  const uint32_t request = ++next_request_;
  requests_[request] = std::nullopt;
  Queue(kHostPeer, wire::Encode(wire::CreatePlayer{request, CutName(name)}), true);
  return request;
}

std::optional<PlayerId> SessionCore::RequestAnswer(uint32_t request) const {
  auto it = requests_.find(request);
  return it == requests_.end() ? std::nullopt : it->second;
}

bool SessionCore::DestroyPlayer(PlayerId id) {
  if (!Active() || !IsLocal(id)) return false;
  if (role_ == Role::kHost) {
    RemovePlayer(id, false, std::nullopt);
  } else {
    players_.erase(id);
    // On the way to a new host the player simply is not among those this
    // machine comes back with.
    if (join_state_ == JoinState::kWelcomed) Queue(kHostPeer, wire::Encode(wire::DestroyPlayer{id}), true);
  }
  return true;
}

bool SessionCore::Send(PlayerId from, PlayerId to, std::span<const uint8_t> data, bool guaranteed) {
  if (!Active() || !IsLocal(from) || data.size() > kMaxMessageBytes) return false;
  if (to != kAllPlayers && !players_.count(to)) return false;
  if (to != kAllPlayers && IsLocal(to)) {
    Deliver(from, to, data);
    return true;
  }
  std::vector<uint8_t> payload(data.begin(), data.end());
  if (!guaranteed) {
    if (join_state_ != JoinState::kMoving) {
      wire::Data message{self_, 0, from, to, std::move(payload)};
      if (role_ == Role::kHost)
        Relay(message, std::nullopt, false, true);
      else
        Queue(kHostPeer, wire::Encode(message), false);
      return true;
    }
    if (kept_bytes_ + data.size() > kMaxHeldBytes) return false;
    kept_bytes_ += data.size();
    kept_messages_.push_back(KeptMessage{from, to, std::move(payload)});
    return true;
  }
  // On its way to a host the member's copy is the only one: an older one
  // must not make room for it.
  if (join_state_ == JoinState::kMoving && !ledger_.OwnFits(data.size())) return false;
  // Kept until every other machine has it: a member sends it again to the
  // next host, a host that took over to the one it goes back to should the
  // game have split. On its way to the next host a member sends it from
  // there.
  const wire::Data message = ledger_.NumberOwn(self_, from, to, std::move(payload));
  if (role_ == Role::kHost) {
    Relay(message, std::nullopt, true, true);
    UpdateStable(self_);
  } else if (join_state_ != JoinState::kMoving) {
    Queue(kHostPeer, wire::Encode(message), true);
  }
  return true;
}

std::vector<PlayerInfo> SessionCore::Players() const {
  std::vector<PlayerInfo> list;
  list.reserve(players_.size());
  for (const auto& [id, player] : players_) list.push_back(PlayerInfo{id, player.name, player.owner == self_});
  return list;
}

std::vector<OutgoingPacket> SessionCore::TakeOutgoing() { return std::exchange(outgoing_, {}); }

std::optional<SessionEvent> SessionCore::TakeEvent() {
  if (events_.empty()) return std::nullopt;
  SessionEvent event = std::move(events_.front());
  events_.pop_front();
  held_bytes_ -= event.data.size();
  return event;
}

void SessionCore::Await(MachineId id) {
  auto it = machines_.find(id);
  if (it == machines_.end()) return;
  it->second.peer.reset();
  if (!it->second.lost_at) it->second.lost_at = now_ms_;
}

void SessionCore::DropMachine(MachineId id, bool may_return) {
  auto it = machines_.find(id);
  if (it == machines_.end()) return;
  for (const OutgoingPacket& p : it->second.kept) kept_bytes_ -= p.bytes.size();
  if (role_ == Role::kHost && may_return && departed_.size() < 1024) departed_[id] = {it->second.proof, MissesAny(id)};
  machines_.erase(it);
  ledger_.DropAccount(id);
  stable_told_.erase(id);
  leaving_.erase(id);
  std::vector<PlayerId> gone;
  for (const auto& [player, info] : players_)
    if (info.owner == id) gone.push_back(player);
  for (PlayerId player : gone) RemovePlayer(player, true, std::nullopt);
  QueueToMembers(wire::Encode(wire::MachineLeft{id}), true, std::nullopt);
  // It may have been what held the others' messages back, or the last
  // machine awaited.
  if (role_ != Role::kHost) return;
  UpdateAllStable();
  SettleWhenAllBack();
}

bool SessionCore::MissesAny(MachineId id) const {
  const Machine& machine = machines_.at(id);
  if (!ledger_.CanCatchUp(id) || ledger_.LacksHanded(id)) return true;
  return std::any_of(machine.kept.begin(), machine.kept.end(), [](const OutgoingPacket& p) { return p.guaranteed; });
}

void SessionCore::RemovePlayer(PlayerId id, bool tell_program, std::optional<MachineId> except) {
  auto player = players_.find(id);
  if (player == players_.end()) return;
  players_.erase(player);
  QueueToMembers(wire::Encode(wire::PlayerDestroyed{id}), true, except);
  if (tell_program) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, id, {}});
}

void SessionCore::Queue(PeerKey peer, std::vector<uint8_t> bytes, bool guaranteed) {
  outgoing_.push_back(OutgoingPacket{peer, std::move(bytes), guaranteed});
}

void SessionCore::QueueToMachine(MachineId id, std::vector<uint8_t> bytes, bool guaranteed, bool keep) {
  auto it = machines_.find(id);
  if (it == machines_.end()) return;
  if (it->second.peer) return Queue(*it->second.peer, std::move(bytes), guaranteed);
  if (!keep) return;
  if (guaranteed) {
    MakeKeepRoom(bytes.size());
    it = machines_.find(id);
    if (it == machines_.end()) return;
  }
  // An unguaranteed message that does not fit is lost, as it may be anyway.
  if (kept_bytes_ + bytes.size() > kMaxHeldBytes) return;
  kept_bytes_ += bytes.size();
  it->second.kept.push_back(OutgoingPacket{0, std::move(bytes), guaranteed});
}

void SessionCore::MakeKeepRoom(size_t bytes) {
  if (kept_bytes_ + bytes <= kMaxHeldBytes) return;
  LetGoUnguaranteed();
  auto behind = [](const auto& a, const auto& b) { return KeptBytes(a.second) < KeptBytes(b.second); };
  while (kept_bytes_ + bytes > kMaxHeldBytes) {
    auto furthest = std::max_element(machines_.begin(), machines_.end(), behind);
    if (furthest == machines_.end() || furthest->second.kept.empty()) return;
    // Not let back in: it would miss, unaware, what was not kept for it.
    DropMachine(furthest->first, false);
  }
}

void SessionCore::LetGoUnguaranteed() {
  for (const KeptMessage& m : kept_messages_) kept_bytes_ -= m.data.size();
  kept_messages_.clear();
  for (auto& [id, machine] : machines_) {
    std::vector<OutgoingPacket> guaranteed;
    for (OutgoingPacket& p : machine.kept)
      if (p.guaranteed)
        guaranteed.push_back(std::move(p));
      else
        kept_bytes_ -= p.bytes.size();
    machine.kept = std::move(guaranteed);
  }
}

size_t SessionCore::KeptBytes(const Machine& machine) {
  size_t bytes = 0;
  for (const OutgoingPacket& p : machine.kept) bytes += p.bytes.size();
  return bytes;
}

void SessionCore::QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<MachineId> except) {
  if (role_ != Role::kHost) return;
  for (const auto& [id, machine] : machines_)
    if (id != except) QueueToMachine(id, bytes, guaranteed, false);
}

void SessionCore::Deliver(PlayerId from, PlayerId to, std::span<const uint8_t> data) {
  Tell(SessionEvent{SessionEvent::Type::kMessage, from, to, 0, std::vector<uint8_t>(data.begin(), data.end())});
}

void SessionCore::Tell(SessionEvent event) {
  // A program that never reads must not let a peer fill the memory.
  if (event.type == SessionEvent::Type::kMessage && held_bytes_ + event.data.size() > kMaxHeldBytes) return;
  held_bytes_ += event.data.size();
  events_.push_back(std::move(event));
}

}  // namespace zv::platform
