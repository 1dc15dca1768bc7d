#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zv::platform {

// Which links to one ENet host keep their places. A cookie proves only that
// a stranger can receive at its address and port, and one address has
// 64,000 ports: a link earns a lasting place only by joining with a player
// of its own (the session says so). Until then it is a stranger's, and:
// - a handshake in progress keeps its place for kHandshakeGraceMs, many
//   loopback round trips of a loaded machine, so that no later handshake
//   pushes a joiner out before it could answer;
// - one address and port holds at most one stranger's link: a new request
//   from there takes the older link's place once that had its grace;
// - one address holds at most kPlacesPerAddress strangers' links, whatever
//   its ports, unless a link of it has a lasting place (a player's machine
//   is there): a new request from it takes the place of its own oldest past
//   its grace, or is turned away;
// - strangers hold at most `stranger_places` places, and where those are
//   taken or no place is free, a new handshake takes the place of the
//   oldest stranger past its grace, or is turned away. So a link still
//   trying to join (its Join lost on the way, say) loses its place only
//   where that is needed.
// Links that joined, this machine's own links and those of known machines
// (members of the session, at the address and port their cookie proves)
// never give way to a stranger; a known machine, or this machine opening a
// link, takes a stranger's place, whatever its age, where none is free.
// A request costs a few lookups, however many places there are: only one
// that is let in looks for ENet's free place.
class LinkPlaces {
 public:
  static constexpr uint64_t kHandshakeGraceMs = 250;
  static constexpr size_t kPlacesPerAddress = 4;

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
  void Connected(ENetPeer* peer, uint64_t now);
  // `peer` joined: its place lasts.
  void Joined(const ENetPeer* peer);
  // Whether `peer` is a stranger's link to this machine.
  bool IsStranger(const ENetPeer* peer) const;
  // Forgets the links ENet let go of without a word, and notes those it
  // took that were not seen yet; once a turn.
  void Sweep(ENetHost* host, uint64_t now);
  // The links closed since last asked whose handshake had ended: the
  // session knew them.
  std::vector<const ENetPeer*> TakeClosed() { return std::exchange(closed_, {}); }
  void Forget(const ENetPeer* peer);
  void Clear() {
    links_.clear();
    askers_.clear();
    addresses_.clear();
    by_age_.clear();
    closed_.clear();
  }

 private:
  struct Link {
    uint64_t since = 0;  // the request let in, or first seen
    bool connected = false;
    uint32_t connect_id = 0;
    bool lasting = false;
    ENetAddress from{};
  };
  struct Address {
    std::vector<ENetPeer*> strangers;
    size_t lasting = 0;
  };
  bool Valid(const ENetPeer* peer, const Link& link) const {
    return peer->state != ENET_PEER_STATE_DISCONNECTED && peer->connectID == link.connect_id;
  }
  // The valid stranger's link that asked from `from`'s address and port.
  ENetPeer* AskerAt(const ENetAddress& from);
  // The strangers' links of `from`'s address, those ENet let go of forgotten.
  std::vector<ENetPeer*>* StrangersAt(uint32_t host);
  // The oldest stranger's link.
  ENetPeer* Oldest();
  // Notes the request about to be let in at the place ENet gives it.
  // `lasting`: a known machine's.
  bool Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting = false);
  void Note(ENetPeer* peer, Link link);
  void Remove(const ENetPeer* peer);
  void Close(ENetPeer* peer);

  size_t stranger_places_;
  std::unordered_map<const ENetPeer*, Link> links_;
  std::unordered_map<uint64_t, ENetPeer*> askers_;  // strangers' links by address and port
  std::unordered_map<uint32_t, Address> addresses_;
  std::set<std::pair<uint64_t, ENetPeer*>> by_age_;  // strangers' links, oldest first
  std::vector<const ENetPeer*> closed_;
};

}  // namespace zv::platform
