#include "platform/netsession/session_core.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

namespace zv::platform {
namespace {

std::string CutName(const std::string& name) { return name.substr(0, kMaxNameBytes); }

bool IsLoopback(const MachineAddress& a) { return (a.host & 0xFF) == 127; }

// A machine that takes over numbers new players and machines from a range
// of its own, so those made on both sides of a game that split for a while
// do not clash when it heals.
uint32_t RangeOf(MachineId id) { return (id % 0x7FFF + 1) << 16; }

uint32_t MarkOf(const std::map<MachineId, uint32_t>& marks, MachineId origin) {
  auto it = marks.find(origin);
  return it == marks.end() ? 0 : it->second;
}

std::vector<wire::Mark> MarksOf(const std::map<MachineId, uint32_t>& marks) {
  std::vector<wire::Mark> out;
  for (const auto& [origin, sequence] : marks) out.push_back(wire::Mark{origin, sequence});
  return out;
}

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
}

void SessionCore::StartJoining(const Guid& application, const Guid& instance) {
  End();
  role_ = Role::kMember;
  join_state_ = JoinState::kWaiting;
  application_ = application;
  description_.instance = instance;
  secrets_.emplace();
  Queue(kHostPeer, wire::Encode(wire::Join{application, instance, secrets_->Start()}), true);
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
  std::vector<MachineId> unfilled;
  for (const auto& [origin, since] : gap_since_)
    if (now_ms_ - since >= rejoin_wait_ms_) unfilled.push_back(origin);
  for (MachineId origin : unfilled) GapNeverFilled(origin);
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
  } else if (role_ == Role::kMember && join_state_ == JoinState::kWelcomed && delivered_ != reported_ &&
             now_ms_ - reported_at_ >= kReportEveryMs) {
    Report();
  }
}

void SessionCore::Report() {
  reported_ = delivered_;
  reported_at_ = now_ms_;
  Queue(kHostPeer, wire::Encode(wire::Delivered{MarksOf(delivered_)}), true);
}

void SessionCore::OnPeerConnected(PeerKey peer, MachineAddress address) {
  if (role_ == Role::kNone) return;
  if (role_ == Role::kMember && peer == kHostPeer) {
    host_address_ = address;
    return;
  }
  links_[peer] = address;
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
    if (Full()) {
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
    Machine& m = machine->second;
    if (MarkOf(m.forwarded, data.origin) >= data.sequence || MarkOf(m.delivered, data.origin) >= data.sequence)
      return;
    m.forwarded[data.origin] = data.sequence;
    // A machine on its way learns what comes before it once it is back.
    if (!m.peer) return QueueToMachine(id, wire::Encode(data), true, true);
    wire::Data handed = data;
    handed.prior = Chain(m, data.origin, data.sequence);
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
  if (guaranteed && !on_links.empty()) KeepHanded(data, std::move(on_links));
}

uint32_t SessionCore::Chain(Machine& m, MachineId origin, uint32_t sequence) {
  uint32_t& last = m.chained[origin];
  const uint32_t prior = std::max(last, MarkOf(m.delivered, origin));
  last = sequence;
  return prior;
}

bool SessionCore::Rechain(Machine& m, std::vector<uint8_t>& bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  auto* data = message ? std::get_if<wire::Data>(&*message) : nullptr;
  if (!data || data->sequence == 0) return true;
  if (data->sequence <= std::max(MarkOf(m.chained, data->origin), MarkOf(m.delivered, data->origin))) return false;
  data->prior = Chain(m, data->origin, data->sequence);
  bytes = wire::Encode(*data);
  return true;
}

void SessionCore::TakeNumbered(wire::Data data, std::optional<MachineId> sender) {
  const MachineId origin = data.origin;
  for (;;) {
    const uint32_t last = MarkOf(delivered_, origin);
    if (data.sequence <= last) {
      Pass(data, sender, false);
    } else if (data.prior > last && !unchained_.count(origin)) {
      return Wait(std::move(data), sender);
    } else {
      unchained_.erase(origin);
      delivered_[origin] = data.sequence;
      Pass(data, sender, true);
    }
    auto waiting = waiting_.find(origin);
    if (waiting == waiting_.end()) return;
    auto next = waiting->second.begin();
    const uint32_t now_last = MarkOf(delivered_, origin);
    if (next->second.data.prior > now_last && next->first > now_last) return;
    data = std::move(next->second.data);
    sender = next->second.sender;
    waiting_bytes_ -= data.payload.size();
    waiting->second.erase(next);
    if (waiting->second.empty()) {
      waiting_.erase(waiting);
      gap_since_.erase(origin);
    }
  }
}

void SessionCore::Pass(const wire::Data& data, std::optional<MachineId> sender, bool fresh) {
  if (role_ == Role::kHost) {
    // Its number is taken even where its player went meanwhile.
    auto from = players_.find(data.from);
    if (from == players_.end() || (sender && from->second.owner != *sender)) return;
    return Relay(data, sender, true, fresh);
  }
  if (!fresh || !players_.count(data.from)) return;
  if (data.to == kAllPlayers ? !OwnsPlayer(self_) : !IsLocal(data.to)) return;
  Deliver(data.from, data.to, data.payload);
}

void SessionCore::Wait(wire::Data data, std::optional<MachineId> sender) {
  const MachineId origin = data.origin;
  if (waiting_bytes_ + data.payload.size() > kMaxHeldBytes) return GapNeverFilled(origin);
  gap_since_.try_emplace(origin, now_ms_);
  auto& waiting = waiting_[origin];
  const uint32_t sequence = data.sequence;
  if (waiting.count(sequence)) return;
  waiting_bytes_ += data.payload.size();
  waiting[sequence] = Waiting{std::move(data), sender};
}

void SessionCore::GapNeverFilled(MachineId origin) {
  if (auto waiting = waiting_.find(origin); waiting != waiting_.end()) {
    for (const auto& [sequence, w] : waiting->second) waiting_bytes_ -= w.data.payload.size();
    waiting_.erase(waiting);
  }
  gap_since_.erase(origin);
  if (role_ != Role::kHost) return Lose();
  // The host cannot pass on what comes after the missing message: the
  // machine that sent it leaves the game, and finds it lost.
  auto machine = machines_.find(origin);
  if (machine == machines_.end()) return;
  if (machine->second.peer) Queue(*machine->second.peer, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
  DropMachine(origin, false);
}

void SessionCore::KeepHanded(const wire::Data& data, std::vector<std::pair<MachineId, uint32_t>> to) {
  Handed handed{data, std::move(to)};
  handed_bytes_ += handed.Bytes();
  handed_.push_back(std::move(handed));
  // Past the bound the oldest go: they matter only should a link they went
  // into turn out to have been dead, and a machine that then lacks one is
  // given up when it comes back.
  while (handed_bytes_ > kMaxHeldBytes && handed_.size() > 1) {
    const Handed& oldest = handed_.front();
    for (const auto& [id, prior] : oldest.to) {
      if (!Lacks(id, oldest)) continue;
      uint32_t& let_go = machines_[id].let_go[oldest.data.origin];
      let_go = std::max(let_go, oldest.data.sequence);
    }
    handed_bytes_ -= oldest.Bytes();
    handed_.pop_front();
  }
}

bool SessionCore::Lacks(MachineId id, const Handed& handed) const {
  auto machine = machines_.find(id);
  return machine != machines_.end() && MarkOf(machine->second.delivered, handed.data.origin) < handed.data.sequence;
}

void SessionCore::ReleaseHanded() {
  // In the order handed on: one that a machine lacks keeps those after it
  // until it has it, is gone, or the bound lets it go.
  while (!handed_.empty() && std::none_of(handed_.front().to.begin(), handed_.front().to.end(),
                                          [&](const auto& t) { return Lacks(t.first, handed_.front()); })) {
    handed_bytes_ -= handed_.front().Bytes();
    handed_.pop_front();
  }
}

bool SessionCore::CanCatchUp(const Machine& machine) {
  for (const auto& [origin, sequence] : machine.let_go)
    if (MarkOf(machine.delivered, origin) < sequence) return false;
  return true;
}

void SessionCore::HandAgain(MachineId id, PeerKey link) {
  for (const Handed& h : handed_)
    for (const auto& [to, prior] : h.to)
      if (to == id && Lacks(id, h)) {
        wire::Data again = h.data;
        again.prior = prior;
        Queue(link, wire::Encode(again), true);
      }
}

void SessionCore::TakeMarks(MachineId id, const std::vector<wire::Mark>& marks) {
  Marks& has = machines_[id].delivered;
  for (const wire::Mark& m : marks)
    if (m.origin == self_ || machines_.count(m.origin)) has[m.origin] = std::max(has[m.origin], m.sequence);
  ReleaseHanded();
  for (const wire::Mark& m : marks)
    if (m.origin == self_ || machines_.count(m.origin)) UpdateStable(m.origin);
}

bool SessionCore::AwaitsFormerHost() const {
  return std::any_of(former_hosts_.begin(), former_hosts_.end(), [](const FormerHost& f) { return !f.given_up; });
}

void SessionCore::UpdateAllStable() {
  std::vector<MachineId> origins = {self_};
  for (const auto& [origin, machine] : machines_) origins.push_back(origin);
  for (MachineId origin : origins) UpdateStable(origin);
}

void SessionCore::UpdateStable(MachineId origin) {
  // A former host that comes back takes this part's messages from their
  // senders: they keep them until it is given up.
  if (AwaitsFormerHost()) return;
  const bool own = origin == self_;
  auto it = machines_.find(origin);
  if (!own && (it == machines_.end() || !it->second.peer)) return;
  // What every machine it was handed to has, up to what this one has.
  uint32_t stable = own ? next_sequence_ - 1 : MarkOf(delivered_, origin);
  for (const auto& [id, machine] : machines_) {
    if (id == origin) continue;
    const uint32_t got = MarkOf(machine.delivered, origin);
    if (MarkOf(machine.forwarded, origin) > got) stable = std::min(stable, got);
  }
  if (own) return ReleaseUnstable(stable);
  uint32_t& sent = stable_sent_[origin];
  if (stable <= sent) return;
  sent = stable;
  Queue(*it->second.peer, wire::Encode(wire::Stable{stable}), true);
}

void SessionCore::ReleaseUnstable(uint32_t upto) {
  while (!unstable_.empty() && unstable_.front().sequence <= upto) {
    unstable_bytes_ -= unstable_.front().data.size();
    unstable_.pop_front();
  }
}

void SessionCore::OnJoin(PeerKey from, const wire::Join& join) {
  if (MachineAt(from)) return;
  if (join.application != application_ || join.instance != description_.instance) {
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  if (Full()) {
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kFull}), true);
    return;
  }
  const MachineId id = next_machine_++;
  auto link = links_.find(from);
  const MachineAddress address = link != links_.end() ? Shareable(link->second) : MachineAddress{};
  if (link != links_.end()) links_.erase(link);
  Machine machine;
  machine.address = address;
  machine.proof = join.proof;
  machine.peer = from;
  // A newcomer takes no guaranteed message sent before it came.
  for (const auto& [origin, sequence] : delivered_) machine.delivered[origin] = sequence;
  if (next_sequence_ > 1) machine.delivered[self_] = next_sequence_ - 1;
  machines_[id] = std::move(machine);
  Queue(from, wire::Encode(WelcomeFor(id)), true);
  QueueToMembers(wire::Encode(wire::MachineJoined{{id, address, join.proof}}), true, id);
}

bool SessionCore::ProvesMachine(const wire::Rejoin& rejoin) {
  auto it = machines_.find(rejoin.member);
  if (it == machines_.end()) {
    // Given up here, it may come back with the secret it had then. A
    // return without that secret leaves it given up, so it is still held
    // to what it misses.
    auto departed = departed_.find(rejoin.member);
    if (departed == departed_.end() || departed->second.missed ||
        !Continues(rejoin.secret, departed->second.proof))
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
    machine.address = Shareable(link->second);
    links_.erase(link);
  }
  // Its old link may have been dead for a while before anyone saw it go,
  // and what went into it lost with it.
  stable_sent_.erase(member);
  TakeMarks(member, rejoin.marks);
  if (!CanCatchUp(machine)) {
    // Not let back in: it would miss, unaware, what was let go.
    DropMachine(member, false);
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
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
  HandAgain(member, from);
  Machine& back = machines_[member];
  std::vector<OutgoingPacket> kept = std::exchange(back.kept, {});
  for (OutgoingPacket& p : kept) {
    kept_bytes_ -= p.bytes.size();
    if (!p.guaranteed || Rechain(back, p.bytes)) Queue(from, std::move(p.bytes), p.guaranteed);
  }
}

wire::Welcome SessionCore::WelcomeFor(MachineId member) const {
  wire::Welcome welcome;
  welcome.session = Description();
  welcome.member = member;
  welcome.host = self_;
  for (const auto& [id, machine] : machines_)
    if (id != member) welcome.machines.push_back(wire::Machine{id, machine.address, machine.proof});
  for (const auto& [id, player] : players_) welcome.players.push_back(wire::OwnedPlayer{id, player.owner, player.name});
  welcome.marks = MarksOf(delivered_);
  if (next_sequence_ > 1) welcome.marks.push_back(wire::Mark{self_, next_sequence_ - 1});
  return welcome;
}

// ---- Member ------------------------------------------------------------------------

void SessionCore::OnMemberPacket(std::span<const uint8_t> bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  if (join_state_ == JoinState::kWaiting) {
    if (const auto* welcome = std::get_if<wire::Welcome>(&*message)) {
      OnWelcome(*welcome);
    } else if (const auto* refused = std::get_if<wire::Refused>(&*message)) {
      join_state_ = refused->reason == wire::Refusal::kFull ? JoinState::kFull : JoinState::kWrongSession;
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
    ReleaseUnstable(stable->sequence);
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

void SessionCore::OnMovingPacket(const wire::Message& message) {
  if (const auto* welcome = std::get_if<wire::Welcome>(&message)) return OnWelcomeBack(*welcome);
  // The machine asked still has a host, or went back to one: this machine
  // follows it there, a few times at most.
  if (const auto* back = std::get_if<wire::Return>(&message)) {
    if (back->host == self_ || ++redirects_ > kMaxRedirects) return Lose();
    returning_to_ = FormerHost{back->host, Resolve(back->address)};
    returned_ = true;
    return MoveTo(returning_to_->id, returning_to_->address);
  }
  const auto* refused = std::get_if<wire::Refused>(&message);
  if (!refused) return;
  // The machine asked still hears the host: back to the host, once.
  if (refused->reason == wire::Refusal::kHostAlive && returning_to_ && !returned_ && host_ != returning_to_->id) {
    returned_ = true;
    return MoveTo(returning_to_->id, returning_to_->address);
  }
  Lose();
}

void SessionCore::OnWelcome(const wire::Welcome& welcome) {
  const Guid instance = description_.instance;
  description_ = welcome.session;
  description_.instance = instance;
  self_ = welcome.member;
  host_ = welcome.host;
  NoteMachine(self_);
  LearnMachines(welcome);
  for (const wire::OwnedPlayer& p : welcome.players)
    if (p.id != kAllPlayers && p.owner != self_) AddPlayer(p.id, p.name, p.owner);
  for (const wire::Mark& m : welcome.marks) delivered_[m.origin] = m.sequence;
  reported_ = delivered_;
  join_state_ = JoinState::kWelcomed;
}

void SessionCore::OnWelcomeBack(const wire::Welcome& welcome) {
  if (welcome.member != self_ || welcome.host != host_) return Lose();
  // The new host's tables are the session's now: players it lacks went,
  // players it adds came; this machine's own stay as they are.
  std::map<PlayerId, Player> before = std::exchange(players_, {});
  for (const auto& [id, player] : before)
    if (player.owner == self_) players_[id] = player;
  LearnMachines(welcome);
  for (const wire::OwnedPlayer& p : welcome.players) {
    if (p.id == kAllPlayers || p.owner == self_ || players_.count(p.id)) continue;
    AddPlayer(p.id, p.name, p.owner);
    if (!before.count(p.id)) Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, p.id, {}});
  }
  for (const auto& [id, player] : before)
    if (!players_.count(id)) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, id, {}});
  join_state_ = JoinState::kWelcomed;
  returning_to_.reset();
  returned_ = false;
  redirects_ = 0;
  passed_over_.clear();
  // Those that asked this machine to take over meanwhile come here too.
  SendAskersTo(host_, host_address_);
  Report();
  ResendUnstable();
  SendKeptMessages();
}

void SessionCore::LearnMachines(const wire::Welcome& welcome) {
  machines_.clear();
  Machine& host = machines_[host_];
  host.address = host_address_;
  NoteMachine(host_);
  for (const wire::Machine& m : welcome.machines) {
    if (m.id == self_ || m.id == host_) continue;
    Machine& machine = machines_[m.id];
    machine.address = Resolve(m.address);
    machine.proof = m.proof;
    NoteMachine(m.id);
  }
}

void SessionCore::OnPacketWhileMember(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  if (!Migrates() || !Active()) return;
  std::optional<wire::Message> message = wire::Decode(bytes);
  const auto* rejoin = message ? std::get_if<wire::Rejoin>(&*message) : nullptr;
  if (!rejoin || rejoin->member == self_ || rejoin->application != application_ ||
      rejoin->instance != description_.instance)
    return;
  // Only a machine of the session can make this one take over.
  auto machine = machines_.find(rejoin->member);
  if (machine == machines_.end() || !Continues(rejoin->secret, machine->second.proof)) return;
  // A machine takes nobody over on another's word: the asker waits until
  // this one has its own answer. It is sent to this machine's host if that
  // still answers, or this one takes it in once its own link to the host
  // went silent for the link's whole wait and the host did not answer.
  if (asked_to_take_over_.size() < 16) asked_to_take_over_.emplace_back(from, std::vector(bytes.begin(), bytes.end()));
  if (join_state_ == JoinState::kWelcomed && !host_change_)
    host_change_ = HostChange{false, machines_[host_].address, true, true};
  (void)guaranteed;
}

void SessionCore::OnNewHostReached() {
  if (role_ != Role::kMember || join_state_ != JoinState::kMoving) return;
  // Each return shows a new secret: one asked again after its answer was
  // lost is recognised as well as the first.
  std::optional<Secret> secret = secrets_ ? secrets_->Next() : std::nullopt;
  if (!secret) return Lose();
  wire::Rejoin rejoin{application_, description_.instance, self_, *secret, MarksOf(delivered_), {}};
  for (const auto& [id, player] : players_)
    if (player.owner == self_) rejoin.players.push_back(PlayerInfo{id, player.name});
  Queue(kHostPeer, wire::Encode(rejoin), true);
}

void SessionCore::OnPeerGone(PeerKey peer, bool goodbye) {
  if (role_ == Role::kHost) {
    links_.erase(peer);
    std::optional<MachineId> machine = MachineAt(peer);
    if (!machine) return;
    // A machine that said goodbye is gone; one whose link went may come back.
    if (goodbye || !Migrates())
      DropMachine(*machine);
    else
      Await(*machine);
  } else if (role_ == Role::kMember && peer != kHostPeer) {
    links_.erase(peer);
  } else if (role_ == Role::kMember) {
    if (join_state_ == JoinState::kWaiting) {
      join_state_ = JoinState::kLost;
    } else if (join_state_ == JoinState::kWelcomed) {
      if (Migrates())
        HostLost(goodbye);
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

void SessionCore::HostLost(bool goodbye) {
  returning_to_ = FormerHost{host_, machines_[host_].address};
  // One that said goodbye keeps no part of the game going.
  returning_to_->given_up = goodbye;
  returned_ = false;
  redirects_ = 0;
  passed_over_.clear();
  // A host that said goodbye is gone; one whose link went is asked first
  // whether it still hosts (OnHostChecked), and gone back to when it does.
  join_state_ = JoinState::kMoving;
  if (goodbye) return NextHost();
  host_change_ = HostChange{false, returning_to_->address, true};
}

void SessionCore::OnHostChecked(bool alive) {
  if (role_ != Role::kMember) return;
  if (join_state_ == JoinState::kWelcomed) {
    // Only the host's silence on this machine's own link, for the link's
    // whole wait, makes it leave the host: an answer that did not come
    // proves nothing while the link holds. Those who asked wait for that.
    if (alive) SendAskersTo(host_, machines_[host_].address);
    return;
  }
  if (join_state_ != JoinState::kMoving || host_change_) return;
  if (alive && returning_to_ && host_ == returning_to_->id) return MoveTo(host_, returning_to_->address);
  NextHost();
}

void SessionCore::OnHostHint() {
  if (role_ != Role::kMember || join_state_ != JoinState::kWelcomed || host_change_) return;
  host_change_ = HostChange{false, machines_[host_].address, true, true};
}

void SessionCore::MoveTo(MachineId id, MachineAddress address) {
  join_state_ = JoinState::kMoving;
  host_ = id;
  if (!machines_.count(id)) machines_[id].address = address;
  host_change_ = HostChange{false, address};
}

void SessionCore::NextHost() {
  // A machine passed over may live on, hosting a part of its own: once
  // this one hosts, it looks for it.
  if (host_ != self_ && machines_.count(host_) &&
      std::none_of(passed_over_.begin(), passed_over_.end(), [&](const FormerHost& f) { return f.id == host_; }) &&
      !(returning_to_ && returning_to_->id == host_))
    passed_over_.push_back(FormerHost{host_, machines_[host_].address});
  DropMachine(host_);
  // The machine with the lowest number left hosts: every member comes to
  // the same one from the list the host kept them up to date with.
  const MachineId next = machines_.empty() ? self_ : std::min(self_, machines_.begin()->first);
  if (next == self_) return TakeOver();
  MoveTo(next, machines_[next].address);
}

void SessionCore::TakeOver() {
  const std::optional<FormerHost> former = returning_to_;
  if (host_ != self_) DropMachine(host_);
  role_ = Role::kHost;
  join_state_ = JoinState::kNone;
  host_ = self_;
  // Players and machines made from now on come from a range of this
  // machine's own.
  next_id_ = std::max(next_id_, RangeOf(self_));
  next_machine_ = std::max(next_machine_, RangeOf(self_));
  // The host it lost, and machines before this one that it could not
  // reach, may live on where this machine cannot hear them: they are asked
  // now and then, and this part of the game goes back to one of them if
  // so. Until each has had its wait, the senders here keep their
  // guaranteed messages for it.
  if (former && former->id != self_) former_hosts_.push_back(*former);
  for (const FormerHost& f : std::exchange(passed_over_, {}))
    if (f.id != self_) former_hosts_.push_back(f);
  for (FormerHost& f : former_hosts_) f.since = now_ms_;
  sent_since_takeover_ = false;
  // Members saw only the messages meant for them: each machine's next one
  // here starts its numbering at this host.
  for (const auto& [id, machine] : machines_) unchained_.insert(id);
  returning_to_.reset();
  // Every other machine is on its way here.
  std::vector<MachineId> others;
  for (auto& [id, machine] : machines_) others.push_back(id);
  for (MachineId id : others) Await(id);
  // Requests the old host never answered are refused.
  for (auto& [request, answer] : requests_)
    if (!answer) answer = kAllPlayers;
  ResendUnstable();
  SendKeptMessages();
  Tell(SessionEvent{SessionEvent::Type::kBecameHost, 0, 0, 0, {}});
  host_change_ = HostChange{true, {}};
  // Those who asked this machine to take over while it still asked its
  // host come back now.
  for (auto& [peer, bytes] : std::exchange(asked_to_take_over_, {})) OnHostPacket(peer, bytes, true);
}

void SessionCore::OnFormerHostAlive(MachineId id) {
  if (role_ != Role::kHost) return;
  auto former = std::find_if(former_hosts_.begin(), former_hosts_.end(), [&](const FormerHost& f) { return f.id == id; });
  if (former == former_hosts_.end()) return;
  const FormerHost target = *former;
  if ((former->given_up && former->missed) ||
      std::any_of(departed_.begin(), departed_.end(), [](const auto& d) { return d.second.missed; }))
    return EndSplitPart();
  // The whole part goes back: each member to that host, then this machine.
  QueueToMembers(wire::Encode(wire::Return{target.id, target.address}), true, std::nullopt);
  role_ = Role::kMember;
  former_hosts_.clear();
  ForgetWaiting();
  // What was kept for the others goes: their senders, this machine among
  // them, send it again to that host.
  for (auto& [mid, machine] : machines_) {
    machine.peer.reset();
    machine.lost_at.reset();
    machine.kept.clear();
  }
  kept_bytes_ = 0;
  handed_.clear();
  handed_bytes_ = 0;
  returning_to_ = target;
  returned_ = true;
  MoveTo(target.id, target.address);
}

void SessionCore::EndSplitPart() {
  QueueToMembers(wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true, std::nullopt);
  std::vector<OutgoingPacket> last_words = TakeOutgoing();
  role_ = Role::kMember;
  former_hosts_.clear();
  ForgetWaiting();
  Lose();
  outgoing_ = std::move(last_words);
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
  unstable_.clear();
  unstable_bytes_ = 0;
  handed_.clear();
  handed_bytes_ = 0;
  host_change_.reset();
  ForgetWaiting();
  Tell(SessionEvent{SessionEvent::Type::kSessionLost, 0, 0, 0, {}});
}

void SessionCore::ForgetWaiting() {
  // Their senders keep them, and send them again wherever this machine goes.
  waiting_.clear();
  gap_since_.clear();
  waiting_bytes_ = 0;
  unchained_.clear();
}

void SessionCore::SendAskersTo(MachineId host, MachineAddress address) {
  for (auto& [peer, bytes] : std::exchange(asked_to_take_over_, {}))
    Queue(peer, wire::Encode(wire::Return{host, address}), true);
}

void SessionCore::SendKeptMessages() {
  std::vector<KeptMessage> kept = std::exchange(kept_messages_, {});
  for (const KeptMessage& m : kept) kept_bytes_ -= m.data.size();
  for (const KeptMessage& m : kept) Send(m.from, m.to, m.data, false);
}

void SessionCore::ResendUnstable() {
  auto data = [&](const KeptMessage& m) { return wire::Data{self_, m.sequence, m.from, m.to, m.data, m.sequence - 1}; };
  if (role_ != Role::kHost) {
    for (const KeptMessage& m : unstable_) Queue(kHostPeer, wire::Encode(data(m)), true);
    return;
  }
  // Relaying may give a machine up, and with it make some of these stable.
  const std::deque<KeptMessage> again = unstable_;
  for (const KeptMessage& m : again) Relay(data(m), std::nullopt, true, true);
  UpdateStable(self_);
}

std::optional<SessionCore::HostChange> SessionCore::TakeHostChange() { return std::exchange(host_change_, {}); }

std::vector<MachineAddress> SessionCore::AwaitedAddresses() const {
  std::vector<MachineAddress> out;
  if (role_ != Role::kHost) return out;
  for (const auto& [id, machine] : machines_)
    if (machine.lost_at && machine.address.host != 0) out.push_back(machine.address);
  return out;
}

// ---- Players and messages ------------------------------------------------------------

std::optional<PlayerId> SessionCore::CreateHostPlayer(const std::string& name, bool server_player) {
  if (role_ != Role::kHost || Full()) return std::nullopt;
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
  if (role_ != Role::kMember || join_state_ != JoinState::kWelcomed) return std::nullopt;
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
    kept_messages_.push_back(KeptMessage{0, from, to, std::move(payload)});
    return true;
  }
  // On its way to a host the member's copy is the only one: an older one
  // must not make room for it.
  if (join_state_ == JoinState::kMoving && unstable_bytes_ + data.size() > kMaxHeldBytes) return false;
  const wire::Data message{self_, next_sequence_, from, to, payload, next_sequence_ - 1};
  ++next_sequence_;
  // Kept until every other machine has it: a member sends it again to the
  // next host, a host that took over to the one it goes back to should the
  // game have split. On its way to the next host a member sends it from
  // there.
  unstable_.push_back(KeptMessage{message.sequence, from, to, std::move(payload)});
  unstable_bytes_ += data.size();
  // Past the bound the oldest are let go: they only matter should the
  // host change before they are everywhere.
  while (unstable_bytes_ > kMaxHeldBytes && unstable_.size() > 1) {
    unstable_bytes_ -= unstable_.front().data.size();
    unstable_.pop_front();
  }
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
  for (const auto& [id, player] : players_) list.push_back(PlayerInfo{id, player.name});
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
  stable_sent_.erase(id);
  std::vector<PlayerId> gone;
  for (const auto& [player, info] : players_)
    if (info.owner == id) gone.push_back(player);
  for (PlayerId player : gone) RemovePlayer(player, true, std::nullopt);
  QueueToMembers(wire::Encode(wire::MachineLeft{id}), true, std::nullopt);
  // It may have been what held the others' messages back.
  if (role_ == Role::kHost) {
    ReleaseHanded();
    UpdateAllStable();
  }
}

bool SessionCore::MissesAny(MachineId id) const {
  const Machine& machine = machines_.at(id);
  if (!CanCatchUp(machine)) return true;
  if (std::any_of(machine.kept.begin(), machine.kept.end(), [](const OutgoingPacket& p) { return p.guaranteed; }))
    return true;
  return std::any_of(handed_.begin(), handed_.end(), [&](const Handed& h) {
    return h.Went(id) && Lacks(id, h);
  });
}

void SessionCore::RemovePlayer(PlayerId id, bool tell_program, std::optional<MachineId> except) {
  if (!players_.erase(id)) return;
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
