#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

namespace zv::platform {

// What of the datagrams that reach an ENet host ENet may see. Connection
// requests not of this system are turned away, and so are those from an
// address that has its share of links half-open (asked for, not yet
// confirmed): a flood from one address, from however many ports, holds
// that many places at most. Where every place is taken the oldest
// half-open link makes room, so a flood from many addresses cannot keep a
// machine of the game out either. And a transport goodbye on a link that
// is up never reaches ENet: anybody who knows the link's two addresses can
// forge one, and only a leave that proves its sender ends a link
// (session_core.h).
class LinkGate {
 public:
  // Links one address may hold half-open.
  static constexpr size_t kHalfOpenPerAddress = 2;

  explicit LinkGate(uint32_t connect_magic) : connect_magic_(connect_magic) {}

  // Whether the datagram `host` just received is kept from ENet. `now`:
  // a steady clock in milliseconds.
  bool TurnAway(ENetHost* host, uint64_t now);
  // Before this machine opens a link itself: where no place is free, the
  // oldest half-open link gives its own.
  void MakePlace(ENetHost* host, uint64_t now);
  void Forget() { half_open_since_.clear(); }

 private:
  bool TurnAwayConnect(ENetHost* host, uint32_t data, uint64_t now);
  // The oldest half-open link of `host` (noting when each was first seen),
  // and whether a place is free.
  ENetPeer* OldestHalfOpen(ENetHost* host, uint64_t now, bool* free_place, size_t* from_there);

  uint32_t connect_magic_;
  std::map<const ENetPeer*, uint64_t> half_open_since_;
};

// The value a connection request carries, when `bytes` is one: a datagram
// from no link yet whose first command asks to connect.
std::optional<uint32_t> ConnectRequestData(std::span<const uint8_t> bytes);
// Whether `bytes`, received by `host`, tells a link that is up that its
// other end leaves.
bool EndsLink(const ENetHost* host, std::span<const uint8_t> bytes);

}  // namespace zv::platform
