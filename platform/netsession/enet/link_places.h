#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zv::platform {

// Which links to one ENet host keep their places. A cookie proves only that
// a stranger can receive at its address and port, and one address has
// 64,000 ports: a link earns a lasting place only by joining, which a
// machine does together with its first player (the session says so).
// Until then it is a stranger's, and:
// - one address and port holds at most one stranger's link: a new request
//   from there takes the older link's place once that had its handshake's
//   grace of kHandshakeGraceMs, many loopback round trips of a loaded
//   machine, so that it could answer first;
// - strangers hold at most `stranger_places` places. Where those are taken
//   or no place is free, the address holding the most strangers' links
//   gives way, its oldest first: at once to a request from an address
//   holding at least two fewer, past its grace to one holding one fewer.
//   Otherwise the asking address's own oldest gives way past its grace, or
//   the request is turned away. So no address, whatever its ports and
//   requests, keeps another out, and players behind one address (one NAT)
//   are never pushed out by each other while places are free; a link
//   still trying to join (its Join lost on the way, say) loses its place
//   only where that is needed.
// Links that joined, this machine's own links and those of known machines
// (members of the session, at the address and port their cookie proves)
// never give way to a stranger; a known machine, or this machine opening a
// link, takes a stranger's place, whatever its age, where none is free.
// A request costs a few lookups, however many places there are: only one
// that is let in looks for ENet's free place.
class LinkPlaces {
 public:
  static constexpr uint64_t kHandshakeGraceMs = 250;

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
    by_count_.clear();
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
  using Aged = std::pair<uint64_t, ENetPeer*>;  // a stranger's link by its age
  // An address's strangers' links, oldest first.
  using Strangers = std::set<Aged>;
  // Addresses by the strangers' links they hold, most first, then by the
  // age of their oldest: (count, oldest, address).
  struct MostFirst {
    bool operator()(const std::tuple<size_t, uint64_t, uint32_t>& a,
                    const std::tuple<size_t, uint64_t, uint32_t>& b) const {
      if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) > std::get<0>(b);
      return std::make_pair(std::get<1>(a), std::get<2>(a)) < std::make_pair(std::get<1>(b), std::get<2>(b));
    }
  };
  bool Valid(const ENetPeer* peer, const Link& link) const {
    return peer->state != ENET_PEER_STATE_DISCONNECTED && peer->connectID == link.connect_id;
  }
  // The valid stranger's link that asked from `from`'s address and port.
  ENetPeer* AskerAt(const ENetAddress& from);
  // How many strangers' links address `host` holds.
  size_t CountAt(uint32_t host) const;
  // The valid oldest stranger's link of address `host`, of the address
  // holding the most, or of all; those ENet let go of forgotten on the way.
  ENetPeer* OldestAt(uint32_t host);
  ENetPeer* OldestOfMost(size_t* count);
  ENetPeer* Oldest();
  // The stranger's link that gives way to a request from address `host`
  // where places are short; none where every candidate keeps its place.
  ENetPeer* GivesWayTo(uint32_t host, uint64_t now);
  // Notes the request about to be let in at the place ENet gives it.
  // `lasting`: a known machine's.
  bool Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting = false);
  void Note(ENetPeer* peer, Link link);
  void Remove(const ENetPeer* peer);
  void Close(ENetPeer* peer);
  // Takes address `host`'s entry out of by_count_ before its strangers
  // change, and puts it back after.
  void Unrank(uint32_t host);
  void Rank(uint32_t host);

  size_t stranger_places_;
  std::unordered_map<const ENetPeer*, Link> links_;
  std::unordered_map<uint64_t, ENetPeer*> askers_;  // strangers' links by address and port
  std::unordered_map<uint32_t, Strangers> addresses_;
  std::set<std::tuple<size_t, uint64_t, uint32_t>, MostFirst> by_count_;
  std::set<Aged> by_age_;  // strangers' links, oldest first
  std::vector<const ENetPeer*> closed_;
};

}  // namespace zv::platform
