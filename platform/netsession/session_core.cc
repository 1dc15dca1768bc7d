#include "platform/netsession/session_core.h"

#include <algorithm>
#include <set>
#include <utility>

namespace zv::platform {
namespace {

std::string CutName(const std::string& name) { return name.substr(0, kMaxNameBytes); }

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
  Queue(kHostPeer, wire::Encode(wire::Join{application, instance}), true);
}

void SessionCore::End() { *this = SessionCore{}; }

bool SessionCore::Active() const {
  return role_ == Role::kHost ||
         (role_ == Role::kMember && (join_state_ == JoinState::kWelcomed || join_state_ == JoinState::kMoving));
}

bool SessionCore::IsLocal(PlayerId id) const {
  auto it = players_.find(id);
  return it != players_.end() && it->second.owner == self_;
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

void SessionCore::OnPeerConnected(PeerKey peer, MachineAddress address) {
  if (role_ == Role::kNone || (role_ == Role::kMember && peer == kHostPeer)) return;
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
    if (!owned_by_sender(data->from)) return;
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    if (data->to == kAllPlayers) {
      Deliver(data->from, kAllPlayers, data->payload);
      QueueToMembers(copy, guaranteed, sender, true);
      return;
    }
    auto to = players_.find(data->to);
    if (to == players_.end()) return;
    if (to->second.owner == self_)
      Deliver(data->from, data->to, data->payload);
    else
      QueueToMachine(to->second.owner, std::move(copy), guaranteed, true);
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
  const MachineAddress address = link != links_.end() ? link->second : MachineAddress{};
  if (link != links_.end()) links_.erase(link);
  const uint64_t secret = random_();
  machines_[id] = Machine{address, secret, from, {}};
  Queue(from, wire::Encode(WelcomeFor(id)), true);
  QueueToMembers(wire::Encode(wire::MachineJoined{{id, address, secret}}), true, id);
}

void SessionCore::OnRejoin(PeerKey from, const wire::Rejoin& rejoin) {
  if (MachineAt(from)) return;
  auto it = machines_.find(rejoin.member);
  if (rejoin.application != application_ || rejoin.instance != description_.instance || it == machines_.end() ||
      it->second.secret != rejoin.secret || it->second.peer) {
    Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    return;
  }
  const MachineId member = rejoin.member;
  Machine& machine = it->second;
  machine.peer = from;
  if (auto link = links_.find(from); link != links_.end()) {
    machine.address = link->second;
    links_.erase(link);
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
  std::vector<OutgoingPacket> kept = std::exchange(machines_[member].kept, {});
  for (OutgoingPacket& p : kept) {
    kept_bytes_ -= p.bytes.size();
    Queue(from, std::move(p.bytes), p.guaranteed);
  }
}

wire::Welcome SessionCore::WelcomeFor(MachineId member) const {
  wire::Welcome welcome;
  welcome.session = Description();
  welcome.member = member;
  if (auto it = machines_.find(member); it != machines_.end()) welcome.secret = it->second.secret;
  welcome.host = self_;
  for (const auto& [id, machine] : machines_)
    if (id != member) welcome.machines.push_back(wire::Machine{id, machine.address, machine.secret});
  for (const auto& [id, player] : players_) welcome.players.push_back(wire::OwnedPlayer{id, player.owner, player.name});
  return welcome;
}

void SessionCore::StopAwaitingMembers() {
  if (role_ != Role::kHost) return;
  std::vector<MachineId> missing;
  for (const auto& [id, machine] : machines_)
    if (!machine.peer) missing.push_back(id);
  for (MachineId id : missing) DropMachine(id);
}

// ---- Member ------------------------------------------------------------------------

void SessionCore::OnMemberPacket(std::span<const uint8_t> bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  if (join_state_ == JoinState::kWaiting || join_state_ == JoinState::kMoving) {
    const bool moving = join_state_ == JoinState::kMoving;
    if (const auto* welcome = std::get_if<wire::Welcome>(&*message)) {
      if (moving)
        OnWelcomeBack(*welcome);
      else
        OnWelcome(*welcome);
    } else if (const auto* refused = std::get_if<wire::Refused>(&*message)) {
      if (moving)
        Lose();
      else
        join_state_ = refused->reason == wire::Refusal::kFull ? JoinState::kFull : JoinState::kWrongSession;
    }
    return;
  }
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
    if (!players_.count(data->from)) return;
    if (data->to != kAllPlayers && !IsLocal(data->to)) return;
    Deliver(data->from, data->to, data->payload);
  } else if (const auto* joined = std::get_if<wire::MachineJoined>(&*message)) {
    const MachineId id = joined->machine.id;
    if (id == self_ || id == host_) return;
    machines_[id] = Machine{joined->machine.address, joined->machine.secret, std::nullopt, {}};
    NoteMachine(id);
  } else if (const auto* left = std::get_if<wire::MachineLeft>(&*message)) {
    if (left->id != self_ && left->id != host_) machines_.erase(left->id);
  }
}

void SessionCore::OnWelcome(const wire::Welcome& welcome) {
  const Guid instance = description_.instance;
  description_ = welcome.session;
  description_.instance = instance;
  self_ = welcome.member;
  secret_ = welcome.secret;
  host_ = welcome.host;
  NoteMachine(self_);
  LearnMachines(welcome);
  for (const wire::OwnedPlayer& p : welcome.players)
    if (p.id != kAllPlayers && p.owner != self_) AddPlayer(p.id, p.name, p.owner);
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
  SendKeptMessages();
}

void SessionCore::LearnMachines(const wire::Welcome& welcome) {
  machines_.clear();
  machines_[host_] = Machine{};
  NoteMachine(host_);
  for (const wire::Machine& m : welcome.machines) {
    if (m.id == self_ || m.id == host_) continue;
    machines_[m.id] = Machine{m.address, m.secret, std::nullopt, {}};
    NoteMachine(m.id);
  }
}

void SessionCore::OnPacketWhileMember(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  if (!Migrates() || !Active()) return;
  std::optional<wire::Message> message = wire::Decode(bytes);
  const auto* rejoin = message ? std::get_if<wire::Rejoin>(&*message) : nullptr;
  if (!rejoin || rejoin->member == host_ || rejoin->application != application_ ||
      rejoin->instance != description_.instance)
    return;
  // Only a machine of the session can make this one take over.
  auto machine = machines_.find(rejoin->member);
  if (machine == machines_.end() || machine->second.secret != rejoin->secret) return;
  // A member that saw the host go comes to this machine before it saw it
  // itself: it takes over now rather than keep the member waiting.
  TakeOver();
  OnHostPacket(from, bytes, guaranteed);
}

void SessionCore::OnNewHostReached() {
  if (role_ != Role::kMember || join_state_ != JoinState::kMoving) return;
  wire::Rejoin rejoin{application_, description_.instance, self_, secret_, {}};
  for (const auto& [id, player] : players_)
    if (player.owner == self_) rejoin.players.push_back(PlayerInfo{id, player.name});
  Queue(kHostPeer, wire::Encode(rejoin), true);
}

void SessionCore::OnPeerGone(PeerKey peer) {
  if (role_ == Role::kHost) {
    links_.erase(peer);
    if (std::optional<MachineId> machine = MachineAt(peer)) DropMachine(*machine);
  } else if (role_ == Role::kMember && peer != kHostPeer) {
    links_.erase(peer);
  } else if (role_ == Role::kMember) {
    if (join_state_ == JoinState::kWaiting) {
      join_state_ = JoinState::kLost;
    } else if (join_state_ == JoinState::kWelcomed || join_state_ == JoinState::kMoving) {
      if (Migrates())
        HostGone();
      else
        Lose();
    }
  }
}

void SessionCore::HostGone() {
  DropMachine(host_);
  // The machine with the lowest number left hosts: every member comes to
  // the same one from the list the host kept them up to date with.
  const MachineId next = machines_.empty() ? self_ : std::min(self_, machines_.begin()->first);
  if (next == self_) return TakeOver();
  join_state_ = JoinState::kMoving;
  host_ = next;
  host_change_ = HostChange{false, machines_[next].address};
}

void SessionCore::TakeOver() {
  DropMachine(host_);
  role_ = Role::kHost;
  join_state_ = JoinState::kNone;
  host_ = self_;
  // Requests the old host never answered are refused.
  for (auto& [request, answer] : requests_)
    if (!answer) answer = kAllPlayers;
  SendKeptMessages();
  Tell(SessionEvent{SessionEvent::Type::kBecameHost, 0, 0, 0, {}});
  host_change_ = HostChange{true, {}};
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
  host_change_.reset();
  Tell(SessionEvent{SessionEvent::Type::kSessionLost, 0, 0, 0, {}});
}

void SessionCore::SendKeptMessages() {
  std::vector<KeptMessage> kept = std::exchange(kept_messages_, {});
  for (const KeptMessage& m : kept) kept_bytes_ -= m.data.size();
  for (const KeptMessage& m : kept) Send(m.from, m.to, m.data, m.guaranteed);
}

std::optional<SessionCore::HostChange> SessionCore::TakeHostChange() { return std::exchange(host_change_, {}); }

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
  if (join_state_ == JoinState::kMoving) {
    if (kept_bytes_ + data.size() > kMaxHeldBytes) return false;
    kept_bytes_ += data.size();
    kept_messages_.push_back(KeptMessage{from, to, std::vector<uint8_t>(data.begin(), data.end()), guaranteed});
    return true;
  }
  std::vector<uint8_t> bytes = wire::Encode(wire::Data{from, to, std::vector<uint8_t>(data.begin(), data.end())});
  if (role_ == Role::kMember)
    Queue(kHostPeer, std::move(bytes), guaranteed);
  else if (to == kAllPlayers)
    QueueToMembers(bytes, guaranteed, std::nullopt, true);
  else
    QueueToMachine(players_[to].owner, std::move(bytes), guaranteed, true);
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

void SessionCore::DropMachine(MachineId id) {
  auto it = machines_.find(id);
  if (it == machines_.end()) return;
  for (const OutgoingPacket& p : it->second.kept) kept_bytes_ -= p.bytes.size();
  machines_.erase(it);
  std::vector<PlayerId> gone;
  for (const auto& [player, info] : players_)
    if (info.owner == id) gone.push_back(player);
  for (PlayerId player : gone) RemovePlayer(player, true, std::nullopt);
  QueueToMembers(wire::Encode(wire::MachineLeft{id}), true, std::nullopt);
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
  Machine& machine = it->second;
  if (machine.peer) {
    Queue(*machine.peer, std::move(bytes), guaranteed);
  } else if (keep && kept_bytes_ + bytes.size() <= kMaxHeldBytes) {
    kept_bytes_ += bytes.size();
    machine.kept.push_back(OutgoingPacket{0, std::move(bytes), guaranteed});
  }
}

void SessionCore::QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<MachineId> except,
                                 bool keep) {
  if (role_ != Role::kHost) return;
  for (const auto& [id, machine] : machines_)
    if (id != except) QueueToMachine(id, bytes, guaranteed, keep);
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
