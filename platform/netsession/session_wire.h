#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/netsession/net_session.h"

namespace zv::platform::wire {

// What the machines of a session say to each other, little-endian. Every
// message that arrives is untrusted: Decode refuses anything whose lengths
// and counts do not match its bytes exactly.

// A member asks to join the session.
struct Join {
  Guid application{};
  Guid instance{};
};
// The host takes the member in: the session and its players so far.
struct Welcome {
  SessionDescription session;
  std::vector<PlayerInfo> players;
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

using Message = std::variant<Join, Welcome, Refused, CreatePlayer, PlayerCreated, PlayerRefused, DestroyPlayer,
                             PlayerDestroyed, Data>;

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
constexpr uint32_t kConnectMagic = 0x5A56'4E31;  // "ZVN1"

}  // namespace zv::platform::wire
