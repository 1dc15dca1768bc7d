#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>

#include "platform/netsession/connect_cookie.h"
#include "platform/netsession/enet/link_places.h"

namespace zv::platform {

// What of the datagrams that reach an ENet host ENet may see. A connection
// request counts only when it carries a cookie this machine issued to the
// address and port it comes from (connect_cookie.h): a flood of requests
// from addresses that cannot receive the cookies, however many and however
// fast, never reaches ENet, and this machine remembers nothing of it. A
// request with a cookie gets a place as link_places.h says. And a
// transport goodbye on a link that is up never reaches ENet: anybody who
// knows the link's two addresses can forge one, and only a leave that
// proves its sender ends a link (session_core.h). The rest of the datagram
// around it does. A link's first messages (a joiner's Join) that come before
// the acknowledgement of the handshake's last step, lost or still on its
// way, stand for it: the other end could send them only once it had that
// step, and ENet would drop them unread.
class LinkGate {
 public:
  // `known`: whether a request from that address and port is a known
  // machine's.
  using Known = std::function<bool(const ENetAddress&)>;
  LinkGate(ConnectCookies& cookies, LinkPlaces& places, Known known)
      : cookies_(cookies), places_(places), known_(std::move(known)) {}

  // Whether the datagram `host` just received is kept from ENet; a
  // goodbye is taken out of one that is not. `now`: a steady clock in
  // milliseconds.
  bool TurnAway(ENetHost* host, uint64_t now);

 private:
  bool TurnAwayConnect(ENetHost* host, const ENetProtocolConnect& connect, uint64_t now);

  ConnectCookies& cookies_;
  LinkPlaces& places_;
  Known known_;
};

// Goodbyes that came outside a link checked a second, at most: a flood of
// false ones must not keep this machine hashing.
class GoodbyeBudget {
 public:
  bool Take(uint64_t now_ms) {
    if (now_ms / 1000 != second_) {
      second_ = now_ms / 1000;
      used_ = 0;
    }
    return used_++ < kPerSecond;
  }

 private:
  static constexpr uint32_t kPerSecond = 32;
  uint64_t second_ = 0;
  uint32_t used_ = 0;
};

// The connection request `bytes` is: a datagram from no link yet whose
// first command asks to connect. Its fields are as they came (big-endian).
std::optional<ENetProtocolConnect> ConnectRequest(std::span<const uint8_t> bytes);
// Takes every transport goodbye out of `bytes`, a datagram `host` received
// on a link that is up, moving what follows forward. The datagram's length
// after: the same where it holds none, 0 where nothing else is left.
size_t WithoutGoodbyes(const ENetHost* host, std::span<uint8_t> bytes);
// Where the datagram `host` just received comes on a link whose handshake
// waits for its last acknowledgement and carries that link's commands (none
// an acknowledgement), puts the acknowledgement before them; whether it did.
bool AcknowledgeHandshake(ENetHost* host);

}  // namespace zv::platform
