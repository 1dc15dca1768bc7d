#include "platform/netsession/session_core.h"

#include <utility>

#include "platform/netsession/session_wire.h"

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

void SessionCore::End() {
  role_ = Role::kNone;
  join_state_ = JoinState::kNone;
  description_ = SessionDescription{};
  players_.clear();
  members_.clear();
  next_id_ = kServerPlayer + 1;
  requests_.clear();
  outgoing_.clear();
  events_.clear();
  held_bytes_ = 0;
}

bool SessionCore::Active() const {
  return role_ == Role::kHost || (role_ == Role::kMember && join_state_ == JoinState::kWelcomed);
}

bool SessionCore::IsLocal(PlayerId id) const {
  auto it = players_.find(id);
  return it != players_.end() && it->second.local;
}

void SessionCore::OnPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  if (role_ == Role::kHost)
    OnHostPacket(from, bytes, guaranteed);
  else if (role_ == Role::kMember && from == kHostPeer)
    OnMemberPacket(bytes);
}

void SessionCore::OnHostPacket(PeerKey from, std::span<const uint8_t> bytes, bool guaranteed) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  if (const auto* join = std::get_if<wire::Join>(&*message)) {
    if (members_.count(from)) return;
    if (join->application != application_ || join->instance != description_.instance) {
      Queue(from, wire::Encode(wire::Refused{wire::Refusal::kWrongSession}), true);
    } else if (Full()) {
      Queue(from, wire::Encode(wire::Refused{wire::Refusal::kFull}), true);
    } else {
      members_.insert(from);
      wire::Welcome welcome{Description(), Players()};
      Queue(from, wire::Encode(welcome), true);
    }
    return;
  }
  // Only members that joined may speak, and only for their own players.
  if (!members_.count(from)) return;
  auto owned_by_sender = [&](PlayerId id) {
    auto it = players_.find(id);
    return it != players_.end() && !it->second.local && it->second.owner == from;
  };

  if (const auto* create = std::get_if<wire::CreatePlayer>(&*message)) {
    if (Full()) {
      Queue(from, wire::Encode(wire::PlayerRefused{create->request}), true);
      return;
    }
    const PlayerId id = next_id_++;
    const std::string name = CutName(create->name);
    players_[id] = Player{name, false, from};
    Queue(from, wire::Encode(wire::PlayerCreated{create->request, id, name}), true);
    QueueToMembers(wire::Encode(wire::PlayerCreated{0, id, name}), true, from);
    Tell(SessionEvent{SessionEvent::Type::kPlayerJoined, 0, 0, id, {}});
  } else if (const auto* destroy = std::get_if<wire::DestroyPlayer>(&*message)) {
    if (owned_by_sender(destroy->id)) RemovePlayer(destroy->id, true, from);
  } else if (const auto* data = std::get_if<wire::Data>(&*message)) {
    if (!owned_by_sender(data->from)) return;
    if (data->to == kAllPlayers) {
      Deliver(data->from, kAllPlayers, data->payload);
      QueueToMembers(std::vector<uint8_t>(bytes.begin(), bytes.end()), guaranteed, from);
      return;
    }
    auto to = players_.find(data->to);
    if (to == players_.end()) return;
    if (to->second.local)
      Deliver(data->from, data->to, data->payload);
    else
      Queue(to->second.owner, std::vector<uint8_t>(bytes.begin(), bytes.end()), guaranteed);
  }
}

void SessionCore::OnMemberPacket(std::span<const uint8_t> bytes) {
  std::optional<wire::Message> message = wire::Decode(bytes);
  if (!message) return;

  if (join_state_ == JoinState::kWaiting) {
    if (auto* welcome = std::get_if<wire::Welcome>(&*message)) {
      const Guid instance = description_.instance;
      description_ = welcome->session;
      description_.instance = instance;
      for (PlayerInfo& p : welcome->players)
        if (p.id != kAllPlayers) players_[p.id] = Player{CutName(p.name), false, kHostPeer};
      join_state_ = JoinState::kWelcomed;
    } else if (const auto* refused = std::get_if<wire::Refused>(&*message)) {
      join_state_ = refused->reason == wire::Refusal::kFull ? JoinState::kFull : JoinState::kWrongSession;
    }
    return;
  }
  if (!Active()) return;

  if (const auto* created = std::get_if<wire::PlayerCreated>(&*message)) {
    if (created->id == kAllPlayers || players_.count(created->id)) return;
    auto request = requests_.find(created->request);
    const bool ours = created->request != 0 && request != requests_.end() && !request->second;
    players_[created->id] = Player{CutName(created->name), ours, kHostPeer};
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
    const bool local = it->second.local;
    players_.erase(it);
    if (!local) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, destroyed->id, {}});
  } else if (const auto* data = std::get_if<wire::Data>(&*message)) {
    if (!players_.count(data->from)) return;
    if (data->to != kAllPlayers && !IsLocal(data->to)) return;
    Deliver(data->from, data->to, data->payload);
  }
}

void SessionCore::OnPeerGone(PeerKey peer) {
  if (role_ == Role::kHost) {
    if (!members_.erase(peer)) return;
    std::vector<PlayerId> gone;
    for (const auto& [id, player] : players_)
      if (!player.local && player.owner == peer) gone.push_back(id);
    for (PlayerId id : gone) RemovePlayer(id, true, std::nullopt);
  } else if (role_ == Role::kMember && peer == kHostPeer) {
    if (join_state_ == JoinState::kWaiting) {
      join_state_ = JoinState::kLost;
    } else if (join_state_ == JoinState::kWelcomed) {
      join_state_ = JoinState::kLost;
      players_.clear();
      requests_.clear();
      outgoing_.clear();
      Tell(SessionEvent{SessionEvent::Type::kSessionLost, 0, 0, 0, {}});
    }
  }
}

std::optional<PlayerId> SessionCore::CreateHostPlayer(const std::string& name, bool server_player) {
  if (role_ != Role::kHost || Full()) return std::nullopt;
  PlayerId id = kServerPlayer;
  if (!server_player)
    id = next_id_++;
  else if (players_.count(kServerPlayer))
    return std::nullopt;
  const std::string cut = CutName(name);
  players_[id] = Player{cut, true, 0};
  QueueToMembers(wire::Encode(wire::PlayerCreated{0, id, cut}), true, std::nullopt);
  return id;
}

std::optional<uint32_t> SessionCore::RequestPlayer(const std::string& name) {
  if (role_ != Role::kMember || !Active()) return std::nullopt;
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
    Queue(kHostPeer, wire::Encode(wire::DestroyPlayer{id}), true);
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
  std::vector<uint8_t> bytes = wire::Encode(wire::Data{from, to, std::vector<uint8_t>(data.begin(), data.end())});
  if (role_ == Role::kMember)
    Queue(kHostPeer, std::move(bytes), guaranteed);
  else if (to == kAllPlayers)
    QueueToMembers(bytes, guaranteed, std::nullopt);
  else
    Queue(players_[to].owner, std::move(bytes), guaranteed);
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

void SessionCore::RemovePlayer(PlayerId id, bool tell_program, std::optional<PeerKey> except) {
  if (!players_.erase(id)) return;
  QueueToMembers(wire::Encode(wire::PlayerDestroyed{id}), true, except);
  if (tell_program) Tell(SessionEvent{SessionEvent::Type::kPlayerLeft, 0, 0, id, {}});
}

void SessionCore::Queue(PeerKey peer, std::vector<uint8_t> bytes, bool guaranteed) {
  outgoing_.push_back(OutgoingPacket{peer, std::move(bytes), guaranteed});
}

void SessionCore::QueueToMembers(const std::vector<uint8_t>& bytes, bool guaranteed, std::optional<PeerKey> except) {
  for (PeerKey member : members_)
    if (member != except) Queue(member, bytes, guaranteed);
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
