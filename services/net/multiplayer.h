#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/netsession/net_session.h"
#include "services/net/net_interface.h"

namespace zv {

class Vm;

// The program's side of a multiplayer game: the session layer, the state
// of the game, the small numbers (1 to 255) that stand for network players,
// and the message last fetched. Each operation raises the runtime errors
// and warnings of its command on `vm`.
class Multiplayer {
 public:
  static constexpr int32_t kLastPlayerNumber = 255;

  // `network` may be null (no game can then be had); it must outlive this.
  explicit Multiplayer(platform::SessionNetwork* network) : network_(network) {}
  ~Multiplayer();
  Multiplayer(const Multiplayer&) = delete;
  Multiplayer& operator=(const Multiplayer&) = delete;

  // ---- Games and connections ------------------------------------------------
  void CreateGame(Vm& vm, std::string_view game, std::string_view player, int32_t max_players, uint32_t flags);
  // `number` counts from 1, as the game checklist does.
  void JoinGame(Vm& vm, int32_t number, std::string_view player);
  // Leaves the game and lets go of everything (also at shutdown).
  void FreeGame();
  void ChecklistConnections(Vm& vm);
  void SetConnection(Vm& vm, int32_t number, std::string_view address);
  void ChecklistGames(Vm& vm);
  void ChecklistPlayers(Vm& vm);

  // ---- Players ------------------------------------------------------------------
  // The new player's number, 0 when there is none.
  int32_t CreatePlayer(Vm& vm, std::string_view name);
  void FreePlayer(Vm& vm, int32_t number);
  // The number that stands for a network player id, giving it the lowest
  // free one when it has none; 0 for everybody (id 0), -1 when 255 players
  // are in the game. A player's number stays its own until the program was
  // told it left and it is no longer listed; then it may be given again.
  int32_t PlayerNumber(uint32_t id);

  // ---- Messages -----------------------------------------------------------------
  // To player `to` (0: everybody).
  void SendMessage(Vm& vm, uint32_t kind, int32_t to, std::span<const uint8_t> payload, bool guaranteed);
  // Fetches the next received message into the current one.
  void GetMessage(Vm& vm);

  int32_t MessageExists() const { return GameRunning() && current_.present ? 1 : 0; }
  uint32_t MessageKind() const { return current_.kind; }
  int32_t MessagePlayerFrom() { return PlayerNumber(current_.from); }
  int32_t MessagePlayerTo() { return PlayerNumber(current_.to); }
  int32_t MessageInteger() const;
  float MessageFloat() const;
  std::string MessageString() const;
  // The payload of a memory block, image, bitmap, sound or mesh message.
  std::span<const uint8_t> MessagePayload() const { return current_.payload; }

  // ---- Game state and events ------------------------------------------------------
  bool GameRunning() const { return iface_ && (status_.state == 1 || status_.state == 2); }
  int32_t GameExists() const { return status_.state == 1 || status_.state == 2 ? 1 : 0; }
  // Each reads an event after taking in what arrived, and clears it: a flag,
  // or the oldest player who came or went not given yet, each once.
  int32_t TakeGameLost();
  int32_t TakePlayerCreated();
  int32_t TakePlayerDestroyed();
  int32_t TakeNowHosting();

  // Moves the network traffic along (once per turn of the message pump),
  // warning `vm`'s program when players who came or went had to be dropped.
  void ServiceNetwork(Vm& vm);

 private:
  struct CurrentMessage {
    bool present = false;
    uint32_t kind = 0;
    uint32_t from = 0;
    uint32_t to = 0;
    uint32_t value = 0;            // integers and float bits
    std::vector<uint8_t> payload;  // strings, blocks and media
  };

  bool EnsureNetInterface(Vm& vm, int32_t* session_index);
  NetInterface& Interface(Vm& vm);
  void ClearPlayers() { players_.fill(0); }
  // Number `number` is free again unless its player's coming or going
  // waits to be told.
  void ReleaseNumber(int32_t number);
  void ReleaseNumbersOfPlayersGone();
  void FillChecklist(Vm& vm, const std::vector<std::string>& texts, size_t slots);
  int32_t TakeEventPlayer(bool joined);

  platform::SessionNetwork* network_;
  SessionStatus status_;  // the session layer refers to it: it goes last
  std::unique_ptr<NetInterface> iface_;
  std::array<uint32_t, kLastPlayerNumber + 1> players_{};  // by number; 0 free
  CurrentMessage current_;
};

}  // namespace zv
