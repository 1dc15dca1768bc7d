#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <deque>

#include "platform/netsession/session_core.h"

namespace zv::platform {

// What waits to go over one link: packets not yet handed to ENet, and the
// bytes of those handed to it and not yet let go.
struct LinkQueue {
  std::deque<OutgoingPacket> held;
  size_t held_bytes = 0;
  size_t in_flight = 0;
  size_t Bytes() const { return held_bytes + in_flight; }
  void DropHeld() {
    held.clear();
    held_bytes = 0;
  }
};

// Lets go of the oldest unguaranteed packets of `link` until `fits`.
template <class Fits>
void LetGoUnguaranteed(LinkQueue& link, Fits fits) {
  for (auto it = link.held.begin(); it != link.held.end() && !fits();) {
    if (it->guaranteed) {
      ++it;
      continue;
    }
    link.held_bytes -= it->bytes.size();
    it = link.held.erase(it);
  }
}

// Counts the bytes of packets handed to ENet until ENet lets go of them.
inline void PacketFreed(ENetPacket* packet) {
  if (packet->userData) *static_cast<size_t*>(packet->userData) -= packet->dataLength;
}

}  // namespace zv::platform
