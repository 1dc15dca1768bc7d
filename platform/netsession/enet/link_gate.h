#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "platform/netsession/connect_cookie.h"

namespace zv::platform {

// What of the datagrams that reach an ENet host ENet may see. A connection
// request counts only when it carries a cookie this machine issued to the
// address and port it comes from (connect_cookie.h): a flood of requests
// from addresses that cannot receive the cookies, however many and however
// fast, never reaches ENet, and this machine remembers nothing of it. One
// address and port holds at most one link half-open (asked for, not yet
// confirmed): a new request from there takes the older one's place. Where
// every place is taken the oldest half-open link makes room. And a
// transport goodbye on a link that is up never reaches ENet: anybody who
// knows the link's two addresses can forge one, and only a leave that
// proves its sender ends a link (session_core.h). The rest of the datagram
// around it does.
class LinkGate {
 public:
  explicit LinkGate(ConnectCookies& cookies) : cookies_(cookies) {}

  // Whether the datagram `host` just received is kept from ENet; a
  // goodbye is taken out of one that is not. `now`: a steady clock in
  // milliseconds.
  bool TurnAway(ENetHost* host, uint64_t now);
  // Before this machine opens a link itself: where no place is free, the
  // oldest half-open link gives its own.
  void MakePlace(ENetHost* host, uint64_t now);
  void Forget() { half_open_since_.clear(); }

 private:
  bool TurnAwayConnect(ENetHost* host, const ENetProtocolConnect& connect, uint64_t now);
  // The oldest half-open link of `host` (noting when each was first seen),
  // whether a place is free, and the half-open link of the address and
  // port the last datagram came from.
  ENetPeer* OldestHalfOpen(ENetHost* host, uint64_t now, bool* free_place, ENetPeer** asker);

  ConnectCookies& cookies_;
  std::map<const ENetPeer*, uint64_t> half_open_since_;
};

// The connection request `bytes` is: a datagram from no link yet whose
// first command asks to connect. Its fields are as they came (big-endian).
std::optional<ENetProtocolConnect> ConnectRequest(std::span<const uint8_t> bytes);
// Takes every transport goodbye out of `bytes`, a datagram `host` received
// on a link that is up, moving what follows forward. The datagram's length
// after: the same where it holds none, 0 where nothing else is left.
size_t WithoutGoodbyes(const ENetHost* host, std::span<uint8_t> bytes);

}  // namespace zv::platform
