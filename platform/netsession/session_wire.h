#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/netsession/machine_proof.h"
#include "platform/netsession/net_session.h"

namespace zv::platform {

// Where the transport reaches a machine (an IPv4 address and a port, as
// the transport stores them); the session rules only carry it along, but
// for one thing: a host that sees a member at a loopback address sends the
// others host 0 for it, "the computer the host is on", which each of them
// reads as the address it reaches the host at.
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

// A member asks to join the session, with the proof of its secret (see
// machine_proof.h): the secret itself never leaves the machine until it
// comes back after the host changed. It joins together with its first
// player, named `player`: no machine is in a game without having made one.
struct Join {
  Guid application{};
  Guid instance{};
  Proof proof{};
  std::string player;
};
struct OwnedPlayer {
  PlayerId id = 0;
  MachineId owner = 0;
  std::string name;
};
// A machine as the members know it: where it is, and the proof that lets
// whoever hosts recognise it when it comes back. An address whose host is 0
// is on the same computer as the machine that hosts (see MachineAddress).
struct Machine {
  MachineId id = 0;
  MachineAddress address;
  Proof proof{};
};
// The last guaranteed message of `origin` that a machine has, by its number.
struct Mark {
  MachineId origin = 0;
  uint32_t sequence = 0;
};
// The host takes a member in, or back in after the host changed: the
// session, the member's number, the host's own number, the other members,
// every player with the machine that made it (a newcomer's first player
// among them), and the last guaranteed message of each machine that the
// host has (a newcomer takes no earlier one).
struct Welcome {
  SessionDescription session;
  MachineId member = 0;
  MachineId host = 0;
  std::vector<Machine> machines;
  std::vector<OwnedPlayer> players;
  std::vector<Mark> marks;
};
// kHostAlive: a member asked to take over while it still hears the host.
// kHostLeft: the host leaves; it tells the links that have not joined yet.
enum class Refusal : uint8_t { kFull = 1, kWrongSession = 2, kHostAlive = 3, kHostLeft = 4 };
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
// A player's message, carried by the host to its addressee. Guaranteed
// messages carry their machine's running number (`sequence`, from 1; 0 for
// the others), so one that comes twice after a host change is taken once,
// and the number of the one before it on the way to this receiver
// (`prior`): from its sender to the host that is the one just before, from
// the host to a member the last of that sender's it handed that member. A
// receiver takes a message only once it has the one before, so none is
// ever taken past a missing one.
struct Data {
  MachineId origin = 0;
  uint32_t sequence = 0;
  PlayerId from = 0;
  PlayerId to = 0;
  std::vector<uint8_t> payload;
  uint32_t prior = 0;
};

// The host tells the members of a machine that joined, so each knows
// where to find the others should the host go.
struct MachineJoined {
  Machine machine;
};
struct MachineLeft {
  MachineId id = 0;
};
// After the host went, a member asks the machine that hosts now to take it
// back, with the players it has. It shows the next secret of its chain
// (machine_proof.h), which the others recognise from the last they knew.
// `marks`: the last guaranteed message of each machine it has, so that
// what went into a link that was already dead is sent again. `copies`:
// those it took of machines no longer in the game that not every machine
// is known to have, which nobody else may hold.
struct Rejoin {
  Guid application{};
  Guid instance{};
  MachineId member = 0;
  Secret secret{};
  std::vector<Mark> marks;
  std::vector<PlayerInfo> players;
  std::vector<Data> copies;
};
// A member tells the host the last guaranteed message of each machine it
// has; the host tells every machine, for each machine, the last that every
// machine it went to has (`Stable`): a machine then need not keep its own
// up to there for a host change, nor its copies of the others'.
struct Delivered {
  std::vector<Mark> marks;
};
struct Stable {
  std::vector<Mark> marks;
};
// The machine that hosts found the host it took over from alive: the
// members go back to that machine.
struct Return {
  MachineId host = 0;
  MachineAddress address;
};
// The sender leaves the session, as the next secret of its chain proves
// (machine_proof.h). A link that only goes says nothing of the kind.
struct Leave {
  Secret secret{};
};

using Message = std::variant<Join, Welcome, Refused, CreatePlayer, PlayerCreated, PlayerRefused, DestroyPlayer,
                             PlayerDestroyed, Data, MachineJoined, MachineLeft, Rejoin, Delivered, Stable, Return,
                             Leave>;

std::vector<uint8_t> Encode(const Message& message);
std::optional<Message> Decode(std::span<const uint8_t> bytes);

// The search: a datagram to a host's port, and the host's answer.
struct Query {
  Guid application{};
  uint32_t nonce = 0;
};
struct QueryReply {
  uint32_t nonce = 0;
  MachineId host = 0;  // the machine that hosts, by its number in the session
  SessionDescription session;
};

// A machine that took over as host tells the machines it waits for that it
// does, so one that missed the old host's goodbye looks at its host at once.
// Nobody believes it: it only makes a member ask its own host.
struct Hint {
  Guid instance{};
  MachineId host = 0;
};
// A machine that leaves tells those that did not take its Leave in time,
// outside their links, with the same proof, and with the last guaranteed
// message of each machine it handed over that link: the goodbye takes
// effect once they are there.
struct Goodbye {
  Guid instance{};
  MachineId machine = 0;
  Secret secret{};
  std::vector<Mark> marks;
};
// Before it connects, a machine asks the one it connects to for a cookie:
// a number bound to the address and port it asks from, which its
// connection request then carries (connect_cookie.h). The request is the
// larger, so that nobody gets more bytes sent to another than it sends.
struct CookieRequest {
  Guid instance{};
  uint32_t nonce = 0;
};
struct CookieReply {
  uint32_t nonce = 0;
  uint32_t cookie = 0;
};

std::vector<uint8_t> EncodeQuery(const Query& query);
std::optional<Query> DecodeQuery(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeQueryReply(const QueryReply& reply);
std::optional<QueryReply> DecodeQueryReply(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeHint(const Hint& hint);
std::optional<Hint> DecodeHint(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeGoodbye(const Goodbye& goodbye);
std::optional<Goodbye> DecodeGoodbye(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeCookieRequest(const CookieRequest& request);
std::optional<CookieRequest> DecodeCookieRequest(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeCookieReply(const CookieReply& reply);
std::optional<CookieReply> DecodeCookieReply(std::span<const uint8_t> bytes);

// The wire's version, which every cookie is bound to as well, so that
// machines of other versions do not meet.
constexpr uint32_t kConnectMagic = 0x5A56'4E38;  // "ZVN8"

}  // namespace zv::platform::wire
