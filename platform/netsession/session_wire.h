#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/netsession/net_session.h"

namespace zv::platform {

// Where the transport reaches a machine (an IPv4 address and a port, as
// the transport stores them); the session rules only carry it along.
struct MachineAddress {
  uint32_t host = 0;
  uint16_t port = 0;
  bool operator==(const MachineAddress&) const = default;
};

// A machine's number in its session: the one that made the session is 0,
// members are numbered from 1 in the order they joined.
using MachineId = uint32_t;

}  // namespace zv::platform

namespace zv::platform::wire {

// What the machines of a session say to each other, little-endian. Every
// message that arrives is untrusted: Decode refuses anything whose lengths
// and counts do not match its bytes exactly.

// A member asks to join the session.
struct Join {
  Guid application{};
  Guid instance{};
};
struct OwnedPlayer {
  PlayerId id = 0;
  MachineId owner = 0;
  std::string name;
};
// A machine as the members know it. Its secret, which only the machines of
// the session learn, is what it shows to come back after the host changed.
struct Machine {
  MachineId id = 0;
  MachineAddress address;
  uint64_t secret = 0;
};
// The host takes a member in, or back in after the host changed: the
// session, the member's number and secret, the host's own number, the
// other members and every player with the machine that made it.
struct Welcome {
  SessionDescription session;
  MachineId member = 0;
  uint64_t secret = 0;
  MachineId host = 0;
  std::vector<Machine> machines;
  std::vector<OwnedPlayer> players;
};
enum class Refusal : uint8_t { kFull = 1, kWrongSession = 2 };
struct Refused {
  Refusal reason = Refusal::kFull;
};
// A member asks for a player; `request` pairs the answer with the question.
struct CreatePlayer {
  uint32_t request = 0;
  std::string name;
};
// A player was made; `request` is the asker's number for its own
// players and 0 for everybody else's.
struct PlayerCreated {
  uint32_t request = 0;
  PlayerId id = 0;
  MachineId owner = 0;
  std::string name;
};
struct PlayerRefused {
  uint32_t request = 0;
};
struct DestroyPlayer {
  PlayerId id = 0;
};
struct PlayerDestroyed {
  PlayerId id = 0;
};
// A player's message, carried by the host to its addressee.
struct Data {
  PlayerId from = 0;
  PlayerId to = 0;
  std::vector<uint8_t> payload;
};

// The host tells the members of a machine that joined, so each knows
// where to find the others should the host go.
struct MachineJoined {
  Machine machine;
};
struct MachineLeft {
  MachineId id = 0;
};
// After the host went, a member asks the machine that takes over to take
// it back, with the players it has now.
struct Rejoin {
  Guid application{};
  Guid instance{};
  MachineId member = 0;
  uint64_t secret = 0;
  std::vector<PlayerInfo> players;
};

using Message = std::variant<Join, Welcome, Refused, CreatePlayer, PlayerCreated, PlayerRefused, DestroyPlayer,
                             PlayerDestroyed, Data, MachineJoined, MachineLeft, Rejoin>;

std::vector<uint8_t> Encode(const Message& message);
std::optional<Message> Decode(std::span<const uint8_t> bytes);

// The search: a datagram to a host's port, and the host's answer.
struct Query {
  Guid application{};
  uint32_t nonce = 0;
};
struct QueryReply {
  uint32_t nonce = 0;
  SessionDescription session;
};

std::vector<uint8_t> EncodeQuery(const Query& query);
std::optional<Query> DecodeQuery(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeQueryReply(const QueryReply& reply);
std::optional<QueryReply> DecodeQueryReply(std::span<const uint8_t> bytes);

// The value a member's connection request carries, so a host turns away
// what is not one of ours.
constexpr uint32_t kConnectMagic = 0x5A56'4E32;  // "ZVN2"

}  // namespace zv::platform::wire
