#include "services/net/multiplayer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <utility>

#include "runtime/vm/vm.h"
#include "services/net/net_errors.h"
#include "services/net/net_message_packet.h"

namespace zv {
namespace {

constexpr int32_t kMinPlayers = 2;
constexpr int32_t kMaxPlayers = 255;
constexpr int32_t kMaxGameIndex = 255;  // game numbers 1..256
constexpr int32_t kMaxConnectionNumber = 64;

// A name travels whole: an empty one, or one longer than a name may be, is
// the program's to mend. `what` says which name it is.
bool NameFits(Vm& vm, std::string_view name, int32_t empty_error, std::string_view what) {
  if (name.empty()) {
    vm.RunError(empty_error);
    return false;
  }
  if (name.size() <= NetInterface::kMaxNameChars) return true;
  vm.RunError(net_error::kNameTooLong, {}, std::string(what) + " has " + std::to_string(name.size()) + " characters");
  return false;
}

}  // namespace

Multiplayer::~Multiplayer() { FreeGame(); }

bool Multiplayer::EnsureNetInterface(Vm& vm, int32_t* session_index) {
  // A layer that only listed connections, or whose choice failed, has no
  // connection yet: it takes the first, as a new one does.
  if (iface_ && iface_->HasConnection()) return true;
  if (!iface_) iface_ = std::make_unique<NetInterface>(network_, status_, vm.errors.internal_code);
  if (!iface_->SelectConnection(0)) {
    vm.RunWarning(net_error::kSelectConnection);
    return false;
  }
  if (!iface_->SelectConnectionWithAddress("")) {
    vm.RunWarning(net_error::kInitialiseConnection);
    return false;
  }
  if (session_index) *session_index = 0;
  return true;
}

NetInterface& Multiplayer::Interface(Vm& vm) {
  if (!iface_) iface_ = std::make_unique<NetInterface>(network_, status_, vm.errors.internal_code);
  return *iface_;
}

void Multiplayer::CreateGame(Vm& vm, std::string_view game, std::string_view player, int32_t max_players,
                             uint32_t flags) {
  if (status_.state != 0) return vm.RunWarning(net_error::kAlreadyInGame);
  if (!EnsureNetInterface(vm, nullptr)) return vm.RunWarning(net_error::kHost);
  if (!NameFits(vm, game, net_error::kEmptyGameName, "the game name")) return;
  if (!NameFits(vm, player, net_error::kEmptyPlayerName, "the player name")) return;
  if (max_players < kMinPlayers || max_players > kMaxPlayers) return vm.RunError(net_error::kMaxPlayers);
  if (!iface_->HostSession(std::string(game), std::string(player), static_cast<uint32_t>(max_players), flags))
    return vm.RunWarning(net_error::kHost, {}, iface_->FailureReason());
  status_.state = 1;
  ClearPlayers();
}

void Multiplayer::JoinGame(Vm& vm, int32_t number, std::string_view player) {
  if (status_.state != 0) return vm.RunWarning(net_error::kAlreadyInGame);
  // A session layer made just now has one fresh list: its first game is meant.
  int32_t index = number - 1;
  if (!EnsureNetInterface(vm, &index)) return vm.RunWarning(net_error::kJoin);
  if (number < 1 || number > kMaxGameIndex + 1) return vm.RunError(net_error::kGameNumber);
  iface_->SetJoinSession(index);
  if (!NameFits(vm, player, net_error::kEmptyPlayerName, "the player name")) return;
  switch (iface_->JoinSession(std::string(player))) {
    case JoinOutcome::kJoined:
      status_.state = 2;
      ClearPlayers();
      break;
    case JoinOutcome::kPlayerFailed: return vm.RunWarning(net_error::kCreatePlayer);
    case JoinOutcome::kRefused: return vm.RunWarning(net_error::kRefused, {}, iface_->FailureReason());
    case JoinOutcome::kFailed: return vm.RunWarning(net_error::kJoin, {}, iface_->FailureReason());
  }
}

void Multiplayer::FreeGame() {
  status_.state = 0;
  ClearPlayers();
  if (current_.kind >= net_kind::kString) current_.payload.clear();
  if (iface_) {
    iface_->CloseSession();
    iface_.reset();
  }
}

void Multiplayer::FillChecklist(Vm& vm, const std::vector<std::string>& texts, size_t slots) {
  Checklist& list = vm.checklist;
  for (size_t i = 0; i < slots; ++i) {
    ChecklistEntry& entry = list.At(i);
    entry.text.clear();
    if (i < texts.size() && !texts[i].empty()) {
      entry.text = texts[i];
      list.count = std::max(list.count, static_cast<int32_t>(i + 1));
    }
  }
}

void Multiplayer::ChecklistConnections(Vm& vm) {
  NetInterface& net = Interface(vm);
  vm.checklist.count = 0;
  vm.checklist.made = true;
  vm.checklist.values_valid = false;
  vm.checklist.texts_valid = true;
  FillChecklist(vm, net.Connections(), NetInterface::kMaxConnections);
}

void Multiplayer::ChecklistGames(Vm& vm) {
  NetInterface& net = Interface(vm);
  vm.checklist.count = 0;
  vm.checklist.made = true;
  vm.checklist.values_valid = false;
  vm.checklist.texts_valid = true;
  // A program that chose no connection looks on the local network with
  // the first, as hosting and joining would; the connection stays chosen,
  // so a game created afterwards is hosted on it.
  if (!net.HasConnection()) net.SelectConnection(0);
  if (std::optional<std::vector<std::string>> games = net.ListSessions())
    FillChecklist(vm, *games, NetInterface::kMaxSessions);
}

void Multiplayer::SetConnection(Vm& vm, int32_t number, std::string_view address) {
  if (number < 1 || number > kMaxConnectionNumber) return vm.RunError(net_error::kConnectionNumber);
  NetInterface& net = Interface(vm);
  if (!net.SelectConnection(number - 1)) return vm.RunWarning(net_error::kSelectConnection);
  if (!net.SelectConnectionWithAddress(address)) return vm.RunWarning(net_error::kInitialiseConnection);
}

void Multiplayer::ChecklistPlayers(Vm& vm) {
  Checklist& list = vm.checklist;
  list.count = 0;
  list.made = list.values_valid = list.texts_valid = true;
  if (!GameRunning()) return;
  std::optional<std::vector<platform::PlayerInfo>> players = iface_->ListPlayers();
  if (!players || players->empty()) return;
  std::array<bool, kLastPlayerNumber + 1> seen{};
  for (size_t i = 0; i < players->size(); ++i) {
    const platform::PlayerInfo& player = (*players)[i];
    ChecklistEntry& entry = list.At(i);
    entry.text.clear();
    if (player.name.empty()) continue;
    const int32_t number = PlayerNumber(player.id);
    if (number > 0) seen[static_cast<size_t>(number)] = true;
    entry.a = number;
    entry.b = static_cast<int32_t>(player.id);
    entry.c = player.local ? 1 : 0;
    entry.d = player.id == platform::kServerPlayer ? 1 : 0;
    entry.text = player.name;
    list.count = std::max(list.count, static_cast<int32_t>(i + 1));
  }
  // Players that left lose their numbers, once the program was told.
  for (int32_t n = 1; n <= kLastPlayerNumber; ++n)
    if (!seen[static_cast<size_t>(n)]) ReleaseNumber(n);
}

void Multiplayer::ReleaseNumber(int32_t number) {
  uint32_t& id = players_[static_cast<size_t>(number)];
  // Until net player destroyed() told of it, its number is the one it gives.
  if (id != 0 && !iface_->PlayerEventWaits(id)) id = 0;
}

void Multiplayer::ReleaseNumbersOfPlayersGone() {
  if (!GameRunning()) return;
  std::optional<std::vector<platform::PlayerInfo>> players = iface_->ListPlayers();
  if (!players) return;
  std::set<uint32_t> listed;
  for (const platform::PlayerInfo& p : *players) listed.insert(p.id);
  for (int32_t n = 1; n <= kLastPlayerNumber; ++n)
    if (!listed.count(players_[static_cast<size_t>(n)])) ReleaseNumber(n);
}

int32_t Multiplayer::CreatePlayer(Vm& vm, std::string_view name) {
  if (!GameRunning()) {
    vm.RunWarning(net_error::kNoGame);
    return 0;
  }
  // As hosting and joining refuse one: a player without a name is listed
  // by nobody.
  if (!NameFits(vm, name, net_error::kEmptyPlayerName, "the player name")) return 0;
  const uint32_t id = iface_->CreatePlayer(std::string(name));
  if (id == 0) {
    vm.RunWarning(net_error::kCreatePlayer);
    return 0;
  }
  return PlayerNumber(id);
}

void Multiplayer::FreePlayer(Vm& vm, int32_t number) {
  if (!GameRunning()) return vm.RunWarning(net_error::kNoGame);
  if (number < 1 || number > kLastPlayerNumber) return vm.RunError(net_error::kPlayerNumber);
  uint32_t& entry = players_[static_cast<size_t>(number)];
  if (entry == 0) return vm.RunWarning(net_error::kPlayerNotInUse);
  if (!iface_->DestroyPlayer(entry)) return vm.RunWarning(net_error::kDestroyPlayer);
  entry = 0;
}

int32_t Multiplayer::PlayerNumber(uint32_t id) {
  if (id == 0) return 0;
  auto number = std::find(players_.begin() + 1, players_.end(), id);
  if (number != players_.end()) return static_cast<int32_t>(number - players_.begin());
  // A game that never lists its players has the numbers of those gone
  // given again once every number was given.
  auto free = std::find(players_.begin() + 1, players_.end(), 0u);
  if (free == players_.end()) {
    ReleaseNumbersOfPlayersGone();
    free = std::find(players_.begin() + 1, players_.end(), 0u);
  }
  if (free == players_.end()) return -1;
  *free = id;
  return static_cast<int32_t>(free - players_.begin());
}

void Multiplayer::SendMessage(Vm& vm, uint32_t kind, int32_t to, std::span<const uint8_t> payload,
                              bool guaranteed) {
  if (!GameRunning()) return vm.RunWarning(net_error::kNoGame);
  uint32_t id = 0;
  if (to != 0) {
    if (to < 1 || to > kLastPlayerNumber || players_[static_cast<size_t>(to)] == 0)
      return vm.RunWarning(net_error::kPlayerNotInUse);
    id = players_[static_cast<size_t>(to)];
  }
  if (!iface_->Send(id, BuildNetPacket(kind, payload), guaranteed)) vm.RunWarning(net_error::kSend);
}

void Multiplayer::GetMessage(Vm& vm) {
  if (!GameRunning()) return vm.RunWarning(net_error::kNoGame);
  std::optional<ReceivedNetMessage> message = iface_->NextMessage();
  std::optional<NetPacketView> packet;
  if (message) packet = ParseNetPacket(message->packet);
  if (!packet) {
    current_.present = false;
    current_.kind = 0;
    return;
  }
  current_ = CurrentMessage{};
  current_.present = true;
  current_.kind = packet->kind;
  current_.from = message->from;
  current_.to = message->to;
  if (packet->kind == net_kind::kInteger || packet->kind == net_kind::kFloat) {
    const std::span<const uint8_t> b = packet->payload;
    current_.value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  } else if (packet->kind >= net_kind::kString && packet->kind <= net_kind::kMesh) {
    current_.payload.assign(packet->payload.begin(), packet->payload.end());
  }
}

int32_t Multiplayer::MessageInteger() const {
  return current_.kind == net_kind::kInteger ? static_cast<int32_t>(current_.value) : 0;
}

float Multiplayer::MessageFloat() const {
  return current_.kind == net_kind::kFloat ? std::bit_cast<float>(current_.value) : 0.0f;
}

std::string Multiplayer::MessageString() const {
  if (current_.kind != net_kind::kString || !GameRunning() || current_.payload.empty()) return {};
  // The text ends at its terminator, or where the payload ends without one.
  const auto* begin = reinterpret_cast<const char*>(current_.payload.data());
  return std::string(begin, strnlen(begin, current_.payload.size()));
}

int32_t Multiplayer::TakeGameLost() {
  if (iface_) iface_->PollMessages();
  return std::exchange(status_.lost, false) ? 1 : 0;
}

int32_t Multiplayer::TakeEventPlayer(bool joined) {
  if (!iface_) return 0;
  iface_->PollMessages();
  const uint32_t id = iface_->TakePlayerEvent(joined);
  return id == 0 ? 0 : PlayerNumber(id);
}

int32_t Multiplayer::TakePlayerCreated() { return TakeEventPlayer(true); }
int32_t Multiplayer::TakePlayerDestroyed() { return TakeEventPlayer(false); }

int32_t Multiplayer::TakeNowHosting() {
  if (iface_) iface_->PollMessages();
  return std::exchange(status_.became_host, false) ? 1 : 0;
}

void Multiplayer::ServiceNetwork(Vm& vm) {
  if (!iface_) return;
  iface_->Service();
  // What came is taken in every turn, so that the players who came and
  // went wait here, counted, for a program that does not ask.
  iface_->PollMessages();
  if (iface_->TakePlayerEventsDropped())
    vm.WarnAndGoOn(net_error::kPlayerEventsDropped, {},
                   "the game keeps the oldest " + std::to_string(NetInterface::kMaxPlayerEvents) +
                       " that net player created() and net player destroyed() have not given yet");
}

}  // namespace zv
