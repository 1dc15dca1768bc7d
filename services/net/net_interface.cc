#include "services/net/net_interface.h"

#include <algorithm>
#include <utility>

#include "services/net/net_errors.h"
#include "services/net/net_message_packet.h"

namespace zv {

const platform::Guid kApplicationGuid = {0x7d, 0x2f, 0x08, 0x93, 0x0b, 0x73, 0x48, 0xff,
                                         0xae, 0x7f, 0x66, 0x83, 0xec, 0x72, 0x6b, 0x21};

namespace {

using platform::SessionError;

// Received messages held for the program before further ones are dropped,
// so a peer cannot fill the memory of a program that never fetches.
constexpr size_t kMaxQueuedBytes = 64u << 20;

std::string Cut(std::string text) {
  if (text.size() > NetInterface::kMaxNameChars) text.resize(NetInterface::kMaxNameChars);
  return text;
}

// Hosting failures with a code of their own; others leave the code as it was.
std::optional<int32_t> HostFailureCode(SessionError error) {
  switch (error) {
    case SessionError::kAlreadyOpen: return 18531;
    case SessionError::kRefused: return 18532;
    case SessionError::kTimedOut: return 18533;
    case SessionError::kNoSessions: return 18535;
    default: return std::nullopt;
  }
}

int32_t JoinFailureCode(SessionError error) {
  switch (error) {
    case SessionError::kAlreadyOpen: return 18526;
    case SessionError::kCannotHost: return 18528;
    case SessionError::kConnectionLost: return 18534;
    case SessionError::kInvalidParams: return 18538;
    case SessionError::kNoSessions: return 18543;
    case SessionError::kTimedOut: return 18545;
    case SessionError::kNotInitialized: return 18546;
    case SessionError::kRefused: return 18548;
    default: return 18549;
  }
}

}  // namespace

NetInterface::NetInterface(platform::SessionNetwork* network, SessionStatus& status, int32_t& detail_code)
    : network_(network), status_(status), detail_code_(detail_code) {
  status_ = SessionStatus{};
  if (!network_) {
    Fail(net_detail::kCreateNetwork);
    return;
  }
  for (std::string& name : network_->Connections()) {
    if (connections_.size() == kMaxConnections) break;
    connections_.push_back(Cut(std::move(name)));
  }
}

NetInterface::~NetInterface() {
  CloseSession();
  status_ = SessionStatus{};
}

bool NetInterface::SelectConnection(int32_t index) {
  if (!network_ || index < 0 || static_cast<size_t>(index) >= connections_.size() || in_session_) return false;
  std::unique_ptr<platform::NetSession> session = network_->Open(static_cast<size_t>(index), "");
  if (!session) return false;
  session_ = std::move(session);
  chosen_connection_ = index;
  return true;
}

bool NetInterface::SelectConnectionWithAddress(std::string_view address) {
  // A game in progress keeps its session: choosing anew would strand it.
  if (!network_ || in_session_) {
    Fail(net_detail::kNetworkForAddress);
    return false;
  }
  std::unique_ptr<platform::NetSession> session = network_->Open(static_cast<size_t>(chosen_connection_), address);
  if (!session) {
    Fail(net_detail::kInitialiseWithAddress);
    return false;
  }
  session_ = std::move(session);
  sessions_.clear();
  return FindSessions(false, net_detail::kFindSessions);
}

bool NetInterface::FindSessions(bool append, int32_t failure_code) {
  std::optional<std::vector<platform::SessionDescription>> found;
  if (session_) found = session_->FindSessions(kApplicationGuid);
  if (!found) {
    Fail(failure_code);
    return false;
  }
  if (!append) sessions_.clear();
  for (const platform::SessionDescription& s : *found) {
    if (sessions_.size() == kMaxSessions) break;
    // A game's name from another computer is held to a name's length; the
    // players it counts follow it whole.
    std::string text = Cut(s.name) + " (" + std::to_string(static_cast<int32_t>(s.current_players)) + "/" +
                       std::to_string(static_cast<int32_t>(s.max_players)) + ")";
    sessions_.push_back(FoundSession{s.instance, std::move(text)});
  }
  return true;
}

std::optional<std::vector<std::string>> NetInterface::ListSessions() {
  sessions_.clear();
  if (!FindSessions(false, net_detail::kFindSessions)) return std::nullopt;
  std::vector<std::string> texts;
  for (const FoundSession& s : sessions_) texts.push_back(s.text);
  return texts;
}

std::optional<std::vector<platform::PlayerInfo>> NetInterface::ListPlayers() {
  std::optional<std::vector<platform::PlayerInfo>> players;
  if (session_) players = session_->Players();
  if (!players) {
    Fail(net_detail::kPlayers);
    return std::nullopt;
  }
  if (players->size() > kMaxPlayers) players->resize(kMaxPlayers);
  for (platform::PlayerInfo& p : *players) p.name = Cut(std::move(p.name));
  return players;
}

bool NetInterface::HostSession(const std::string& game, const std::string& player, uint32_t max_players,
                               uint32_t flags) {
  if (!session_) return false;
  platform::SessionDescription description;
  description.name = Cut(game);
  description.flags = flags;
  description.max_players = max_players;
  const SessionError error = session_->Host(kApplicationGuid, description);
  failure_reason_ = error == SessionError::kNone ? std::string() : session_->FailureReason();
  if (error != SessionError::kNone) {
    if (std::optional<int32_t> code = HostFailureCode(error)) Fail(*code);
    return false;
  }
  in_session_ = true;
  std::optional<platform::PlayerId> id = session_->CreatePlayer(Cut(player), true);
  if (!id) {
    // A session without its host's player is of no use to anyone.
    CloseSession();
    Fail(net_detail::kHostPlayer);
    return false;
  }
  local_player_ = *id;
  return true;
}

JoinOutcome NetInterface::JoinSession(const std::string& player) {
  // Looking again keeps the numbers the program saw: new finds go after them.
  failure_reason_.clear();
  if (!FindSessions(true, net_detail::kFindBeforeJoin)) return JoinOutcome::kFailed;
  platform::JoinResult joined{SessionError::kNoSessions};
  // The host makes this machine's player as it takes the machine in.
  if (join_index_ >= 0 && static_cast<size_t>(join_index_) < sessions_.size()) {
    joined = session_->Join(kApplicationGuid, sessions_[static_cast<size_t>(join_index_)].instance, Cut(player));
    if (joined.error != SessionError::kNone) failure_reason_ = session_->FailureReason();
  } else {
    // A search that nothing answered proves no game absent.
    failure_reason_ = sessions_.empty() ? "no game answered the search (none may be hosted, or its answer was lost)"
                                        : "no such game was found";
  }
  if (joined.error != SessionError::kNone) {
    Fail(JoinFailureCode(joined.error));
    return joined.error == SessionError::kRefused ? JoinOutcome::kRefused : JoinOutcome::kFailed;
  }
  in_session_ = true;
  if (joined.player == 0) {
    CloseSession();
    Fail(net_detail::kJoinPlayer);
    return JoinOutcome::kPlayerFailed;
  }
  local_player_ = joined.player;
  return JoinOutcome::kJoined;
}

void NetInterface::CloseSession() {
  sessions_.clear();
  if (!session_ || !in_session_) return;
  if (local_player_) session_->DestroyPlayer(local_player_);
  local_player_ = 0;
  in_session_ = false;
  session_->Close();
}

uint32_t NetInterface::CreatePlayer(const std::string& name) {
  std::optional<platform::PlayerId> id;
  if (session_) id = session_->CreatePlayer(Cut(name), false);
  if (!id) {
    Fail(net_detail::kPlayers);
    return 0;
  }
  // Messages go from this machine's player: a lobby that freed the one it
  // joined or hosted with sends from the next it makes.
  if (local_player_ == 0) local_player_ = *id;
  return *id;
}

bool NetInterface::DestroyPlayer(uint32_t id) {
  if (id == platform::kServerPlayer) return false;
  if (!session_ || !session_->DestroyPlayer(id)) {
    Fail(net_detail::kDestroyPlayer);
    return false;
  }
  if (id == local_player_) local_player_ = 0;
  return true;
}

bool NetInterface::Send(uint32_t to, std::span<const uint8_t> packet, bool guaranteed) {
  return session_ && session_->Send(local_player_, to, packet, guaranteed);
}

void NetInterface::PollMessages() {
  if (!session_) return;
  while (std::optional<platform::SessionEvent> event = session_->Receive()) {
    if (event->type != platform::SessionEvent::Type::kMessage) {
      HandleSystemEvent(*event);
      continue;
    }
    // A packet whose layout does not add up is refused here, before anyone
    // reads its payload.
    if (!ParseNetPacket(event->data) || queued_bytes_ + event->data.size() > kMaxQueuedBytes) continue;
    queued_bytes_ += event->data.size();
    queue_.push_back(ReceivedNetMessage{std::move(event->data), event->from, event->to});
  }
}

void NetInterface::HandleSystemEvent(const platform::SessionEvent& event) {
  using Type = platform::SessionEvent::Type;
  switch (event.type) {
    case Type::kPlayerJoined: QueuePlayerEvent(true, event.player); break;
    case Type::kPlayerLeft: QueuePlayerEvent(false, event.player); break;
    case Type::kSessionLost:
      status_.lost = true;
      status_.state = 0;
      // The player went with the session; what is left of the session
      // object goes when it is replaced or the layer is deleted.
      local_player_ = 0;
      in_session_ = false;
      break;
    case Type::kBecameHost: status_.became_host = true; break;
    case Type::kMessage: break;
  }
}

void NetInterface::QueuePlayerEvent(bool joined, uint32_t id) {
  // An id with its top bit set is never reported.
  if (static_cast<int32_t>(id) <= 0) return;
  if (player_events_.size() >= kMaxPlayerEvents) {
    drops_to_tell_ |= !dropping_;
    dropping_ = true;
    return;
  }
  player_events_.push_back(PlayerEvent{joined, id});
}

uint32_t NetInterface::TakePlayerEvent(bool joined) {
  auto it = std::find_if(player_events_.begin(), player_events_.end(),
                         [&](const PlayerEvent& e) { return e.joined == joined; });
  if (it == player_events_.end()) return 0;
  const uint32_t id = it->id;
  const auto came = joined ? it : std::find_if(player_events_.begin(), it, [&](const PlayerEvent& e) { return e.id == id; });
  const bool came_too = came != it;
  const auto came_at = came - player_events_.begin();
  player_events_.erase(it);
  if (came_too) player_events_.erase(player_events_.begin() + came_at);
  dropping_ = false;
  return id;
}

bool NetInterface::PlayerEventWaits(uint32_t id) {
  PollMessages();
  return std::any_of(player_events_.begin(), player_events_.end(), [&](const PlayerEvent& e) { return e.id == id; });
}

std::optional<ReceivedNetMessage> NetInterface::NextMessage() {
  PollMessages();
  if (queue_.empty()) return std::nullopt;
  ReceivedNetMessage message = std::move(queue_.front());
  queue_.pop_front();
  queued_bytes_ -= message.packet.size();
  return message;
}

void NetInterface::Service() {
  if (session_) session_->Service();
}

}  // namespace zv
