#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/netsession/net_session.h"

namespace zv {

// The state of a game as the multiplayer commands see it. The commands set
// the state; the session layer clears it when the session is lost and
// leaves each flag here until a command reads it.
struct SessionStatus {
  int32_t state = 0;  // 0 no game, 1 hosting, 2 joined
  bool lost = false;
  bool became_host = false;
};

// A received message as the queue hands it out: the packet (kind, size,
// payload) with its sender and addressee (0: everybody).
struct ReceivedNetMessage {
  std::vector<uint8_t> packet;
  uint32_t from = 0;
  uint32_t to = 0;
};

enum class JoinOutcome { kFailed = 0, kJoined = 1, kPlayerFailed = 2, kRefused = 3 };

// Every game of this system carries this identity; searches list only
// sessions that carry it too.
extern const platform::Guid kApplicationGuid;

// The session layer under the multiplayer commands: the connections, the
// games found, the session hosted or joined with this machine's player, and
// the queue of received messages. Each failure leaves a detail code in the
// Vm's internal error code.
class NetInterface {
 public:
  static constexpr size_t kMaxConnections = 64;
  static constexpr size_t kMaxSessions = 256;
  static constexpr size_t kMaxPlayers = 256;
  static constexpr size_t kMaxNameChars = 255;
  // Players who came or went that the program has not asked for yet, kept
  // at most; the oldest stay.
  static constexpr size_t kMaxPlayerEvents = 1024;

  // Lists the connections of `network` (null: no network can be had).
  NetInterface(platform::SessionNetwork* network, SessionStatus& status, int32_t& detail_code);
  ~NetInterface();
  NetInterface(const NetInterface&) = delete;
  NetInterface& operator=(const NetInterface&) = delete;

  // Chooses connection `index` (from 0) with no address.
  bool SelectConnection(int32_t index);
  // Opens the chosen connection towards `address` and looks for games there.
  bool SelectConnectionWithAddress(std::string_view address);

  // True once a connection was chosen and could be opened.
  bool HasConnection() const { return session_ != nullptr; }
  const std::vector<std::string>& Connections() const { return connections_; }
  // Looks for games anew: "name (players/maximum)" per game.
  std::optional<std::vector<std::string>> ListSessions();
  std::optional<std::vector<platform::PlayerInfo>> ListPlayers();

  void SetJoinSession(int32_t index) { join_index_ = index; }
  bool HostSession(const std::string& game, const std::string& player, uint32_t max_players, uint32_t flags);
  JoinOutcome JoinSession(const std::string& player);
  void CloseSession();

  uint32_t CreatePlayer(const std::string& name);  // 0 on failure
  bool DestroyPlayer(uint32_t id);
  bool Send(uint32_t to, std::span<const uint8_t> packet, bool guaranteed);

  // The oldest received message, taken out of the queue.
  std::optional<ReceivedNetMessage> NextMessage();
  // Takes in everything that arrived.
  void PollMessages();
  // The id of the player who came (`joined`) or went longest ago of those
  // not taken yet; 0 when none. A player who came and went before either
  // was taken is told as come and gone when its coming is taken first;
  // once its going is taken, its coming no longer stands.
  uint32_t TakePlayerEvent(bool joined);
  // Whether a coming or going of player `id` waits to be taken, of all
  // that arrived (a list of the players may show what came with it).
  bool PlayerEventWaits(uint32_t id);
  // Whether players who came or went were dropped for want of room since
  // last asked: true once for each stretch of drops, which ends when the
  // program takes one.
  bool TakePlayerEventsDropped() { return std::exchange(drops_to_tell_, false); }
  // Moves the network traffic along (once per turn of the message pump).
  void Service();

  uint32_t LocalPlayerId() const { return local_player_; }
  // Why the last hosting or join failed, when the network could say.
  const std::string& FailureReason() const { return failure_reason_; }
  size_t QueuedMessages() const { return queue_.size(); }

 private:
  bool FindSessions(bool append, int32_t failure_code);
  void HandleSystemEvent(const platform::SessionEvent& event);
  void QueuePlayerEvent(bool joined, uint32_t id);
  void Fail(int32_t code) { detail_code_ = code; }

  platform::SessionNetwork* network_;
  SessionStatus& status_;
  int32_t& detail_code_;
  std::unique_ptr<platform::NetSession> session_;
  bool in_session_ = false;  // hosting or joined until closed
  uint32_t local_player_ = 0;
  int32_t join_index_ = 0;
  std::vector<std::string> connections_;
  int32_t chosen_connection_ = 0;
  struct FoundSession {
    platform::Guid instance{};
    std::string text;
  };
  std::vector<FoundSession> sessions_;
  std::string failure_reason_;
  std::deque<ReceivedNetMessage> queue_;
  size_t queued_bytes_ = 0;  // of the packets in queue_: each turn takes in what came
  struct PlayerEvent {
    bool joined = false;
    uint32_t id = 0;
  };
  std::deque<PlayerEvent> player_events_;  // in the order they happened
  bool dropping_ = false;
  bool drops_to_tell_ = false;
};

}  // namespace zv
