#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <optional>
#include <utility>
#include <vector>

namespace zv::platform {

// Which links to an ENet host keep their places. A cookie proves only that
// a stranger can receive at its address and port, and one address has
// 64,000 ports: a link earns a lasting place only by joining (the session
// took it as a machine's link). Until then it is a stranger's, and:
// - a handshake in progress keeps its place for kHandshakeGraceMs, many
//   loopback round trips of a loaded machine, so that no later handshake
//   pushes a joiner out before it could answer;
// - one address and port holds at most one stranger's link: a new request
//   from there takes the older link's place once that had its grace;
// - a link whose handshake ended and that has not joined kJoinWaitMs plus
//   four of its handshake's round trips later (at most kMaxJoinWaitMs) is
//   dropped: 250 ms on this machine's loopback, 450 ms on a link with a
//   50 ms round trip;
// - strangers hold at most `stranger_places` places, and where those are
//   taken or no place is free, a new handshake takes the place of the
//   oldest stranger past its grace, or is turned away.
// Links that joined, this machine's own links and those of known machines
// (members of the session, at the address and port their cookie proves)
// never give way to a stranger; a known machine, or this machine opening a
// link, takes a stranger's place, whatever its age, where none is free.
class LinkPlaces {
 public:
  static constexpr uint64_t kHandshakeGraceMs = 250;
  static constexpr uint64_t kJoinWaitMs = 250;
  static constexpr uint64_t kMaxJoinWaitMs = 750;

  explicit LinkPlaces(size_t stranger_places) : stranger_places_(stranger_places) {}

  // A connection request with a valid cookie and `connect_id` (as it came)
  // reached `host` from host->receivedAddress; `known`: a known machine's.
  // Whether ENet may take it: a place is free or was made. `now`: a steady
  // clock in milliseconds.
  bool Admit(ENetHost* host, uint32_t connect_id, bool known, uint64_t now);
  // Before this machine opens a link itself. False where every place is
  // held by links that joined or are this machine's own.
  bool MakePlace(ENetHost* host);
  // The handshake of `peer`, a link to this machine, ended.
  void Connected(const ENetPeer* peer, uint64_t now);
  // `peer` joined: its place lasts.
  void Joined(const ENetPeer* peer);
  // Whether `peer` is a stranger's link to this machine.
  bool IsStranger(const ENetPeer* peer) const;
  // Closes the strangers' links of `host` whose Join is overdue.
  void DropLate(ENetHost* host, uint64_t now);
  // The links closed since last asked whose handshake had ended: the
  // session knew them.
  std::vector<const ENetPeer*> TakeClosed() { return std::exchange(closed_, {}); }
  void Forget(const ENetPeer* peer) { links_.erase(peer); }
  void Clear() {
    links_.clear();
    askers_.clear();
    closed_.clear();
  }

 private:
  struct Link {
    uint64_t since = 0;  // the request let in, or first seen
    std::optional<uint64_t> connected;
    uint32_t connect_id = 0;
    bool joined = false;
  };
  struct Census {
    bool free = false;
    size_t strangers = 0;
    ENetPeer* asker = nullptr;   // the asker's own stranger's link
    ENetPeer* oldest = nullptr;  // the oldest stranger past its grace
    ENetPeer* first = nullptr;   // the oldest stranger
  };
  Census Count(ENetHost* host, uint64_t now);
  // The asker's own stranger's link when it is still in its grace, found
  // without counting: a flood of requests from the ports that hold links
  // costs no more than their cookies' checks.
  const Link* AskerInGrace(const ENetHost* host, uint64_t now) const;
  // The link `host` has at `peer`, noted now where it is a handshake not
  // seen before; none for a free place or a link of this machine's own.
  Link* Find(ENetPeer* peer, uint64_t now);
  // Notes the request about to be let in at the place ENet gives it.
  // `known`: a known machine's, whose place lasts.
  bool Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool known = false);
  void Close(ENetPeer* peer);

  size_t stranger_places_;
  std::unordered_map<const ENetPeer*, Link> links_;
  // Each stranger's link by the address and port it came from, as last
  // counted.
  std::unordered_map<uint64_t, ENetPeer*> askers_;
  std::vector<const ENetPeer*> closed_;
};

}  // namespace zv::platform
