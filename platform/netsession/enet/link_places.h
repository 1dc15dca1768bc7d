#pragma once

#include <enet/enet.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
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
// Until then it is a stranger's, and it keeps its place for the time its
// handshake and Join need: kHandshakeMs from its request on a link that has
// proved nothing yet (a 300 ms round trip with two of the handshake's last
// steps lost), and once its handshake ended, kJoinRoundTrips of the round
// trip that took (the time for its Join to be sent twice more), between
// kMinJoinMs and kMaxJoinMs. Past that it is idle. An address that lately
// (kWastefulMs) had a stranger's link end without joining, but for one
// pushed out in its time or one that asked to join as a player does and
// found no place, is wasteful: a flood's addresses become so within their
// links' time (their links never join), players' addresses stay clean
// whether their joins succeed or are refused, and only new addresses make
// a flood clean again. Where strangers' places (`stranger_places`) are taken
// or no place is free, for a request with a valid cookie:
// - an idle link gives way first, the one longest past its time, to a
//   request from an address that is not wasteful where its own is, or from
//   one of the same kind holding fewer;
// - else the address holding the most strangers' links among the wasteful
//   ones (among all where none is) gives way, its oldest first: at once to
//   a request from an address that is not wasteful, and to one of the same
//   kind holding at least two fewer;
// - else the request is turned away.
// So players behind one address (one NAT) never push each other out, and
// no flood, however many ports and addresses it has, pushes out or keeps
// out a clean joiner once its addresses wasted a handshake; before that,
// an address holding at most one link more than the joiner's keeps its
// place for its links' time. One address and port holds at most one
// stranger's link: a new request from there takes the older link's place
// once that had kHandshakeGraceMs, many loopback round trips of a loaded
// machine, so that it could answer first.
// Links that joined, this machine's own links and those of known machines
// (members of the session, at the address and port their cookie proves)
// never give way to a stranger; a known machine, or this machine opening a
// link, takes a stranger's place, whatever its time, where none is free: the
// one that would give way first.
// A request costs a few lookups, however many places there are: only one
// that is let in looks for ENet's free place.
class LinkPlaces {
 public:
  static constexpr uint64_t kHandshakeGraceMs = 250;
  static constexpr uint64_t kHandshakeMs = 2000;
  static constexpr uint64_t kJoinRoundTrips = 10;
  static constexpr uint64_t kMinJoinMs = 500;
  static constexpr uint64_t kMaxJoinMs = 4000;
  static constexpr uint64_t kWastefulMs = 30000;
  // Wasteful addresses remembered at most; past it the longest known go
  // first.
  static constexpr size_t kMaxWasteful = 4096;

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
  // `peer` asked to join as a player does, and was refused for want of a
  // place: its end wastes nothing.
  void Asked(const ENetPeer* peer);
  // Whether `peer` is a stranger's link to this machine.
  bool IsStranger(const ENetPeer* peer) const;
  // Forgets the links ENet let go of without a word, notes those it took
  // that were not seen yet, and lets wasteful addresses be forgiven; once
  // a turn.
  void Sweep(ENetHost* host, uint64_t now);
  // The links closed since last asked whose handshake had ended: the
  // session knew them.
  std::vector<const ENetPeer*> TakeClosed() { return std::exchange(closed_, {}); }
  void Forget(const ENetPeer* peer);
  void Clear() {
    links_.clear();
    askers_.clear();
    addresses_.clear();
    by_rank_.clear();
    by_end_.clear();
    wasteful_.clear();
    wasteful_order_.clear();
    closed_.clear();
  }

 private:
  struct Link {
    uint64_t since = 0;  // the request let in, or first seen
    uint64_t end = 0;    // idle from then on
    bool connected = false;
    uint32_t connect_id = 0;
    bool lasting = false;
    ENetAddress from{};
    bool asked = false;
  };
  using Timed = std::pair<uint64_t, ENetPeer*>;
  // An address's strangers' links, oldest first.
  using Strangers = std::set<Timed>;
  // An address holding strangers' links: (wasteful, count, its oldest,
  // address); the first to give way first.
  using Standing = std::tuple<bool, size_t, uint64_t, uint32_t>;
  struct FirstToGo {
    bool operator()(const Standing& a, const Standing& b) const {
      if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a);
      if (std::get<1>(a) != std::get<1>(b)) return std::get<1>(a) > std::get<1>(b);
      return std::make_pair(std::get<2>(a), std::get<3>(a)) < std::make_pair(std::get<2>(b), std::get<3>(b));
    }
  };
  bool Valid(const ENetPeer* peer, const Link& link) const {
    return peer->state != ENET_PEER_STATE_DISCONNECTED && peer->connectID == link.connect_id;
  }
  // The valid stranger's link that asked from `from`'s address and port.
  ENetPeer* AskerAt(const ENetAddress& from);
  // How many strangers' links address `host` holds.
  size_t CountAt(uint32_t host) const;
  bool Wasteful(uint32_t host) const { return wasteful_.count(host) != 0; }
  // The valid stranger's link longest past its time, or none; the oldest
  // link of the address first to give way (with its standing); the first of
  // these. Those ENet let go of are forgotten on the way.
  // With `asker`, the first of those that gives way to it.
  ENetPeer* Idle(uint64_t now, std::optional<uint32_t> asker = std::nullopt);
  // Whether address `holder` gives way to address `asker`: it is wasteful
  // and the asker not, or both are of a kind and it holds `margin` more.
  bool Outranks(uint32_t holder, uint32_t asker, size_t margin) const;
  ENetPeer* Top(Standing* standing);
  ENetPeer* FirstOfAll(uint64_t now);
  // The stranger's link that gives way to a request from address `host`
  // where places are short; none where every candidate keeps its place.
  ENetPeer* GivesWayTo(uint32_t host, uint64_t now);
  // Notes the request about to be let in at the place ENet gives it.
  // `lasting`: a known machine's.
  bool Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting = false);
  void Note(ENetPeer* peer, Link link);
  // `wasted`: the link ended without joining and not pushed out in its
  // time, which makes its address wasteful unless it asked to join.
  void Remove(const ENetPeer* peer, bool wasted = true);
  void Close(ENetPeer* peer, bool wasted);
  // Takes address `host`'s standing out of by_rank_ before it changes, and
  // puts it back after.
  void Unrank(uint32_t host);
  void Rerank(uint32_t host);
  Standing StandingOf(uint32_t host, const Strangers& links) const {
    return {Wasteful(host), links.size(), links.begin()->first, host};
  }
  // Forgives the addresses that wasted nothing for kWastefulMs, and the
  // longest known past kMaxWasteful.
  void Forgive(uint64_t now);

  size_t stranger_places_;
  uint64_t now_ = 0;  // the latest time this was told
  std::unordered_map<const ENetPeer*, Link> links_;
  std::unordered_map<uint64_t, ENetPeer*> askers_;  // strangers' links by address and port
  std::unordered_map<uint32_t, Strangers> addresses_;
  std::set<Standing, FirstToGo> by_rank_;
  std::set<Timed> by_end_;  // strangers' links, by when each is idle
  // Wasteful addresses, by when each last wasted a handshake, and in the
  // order they became so (an entry seen again is kept at its latest).
  std::unordered_map<uint32_t, uint64_t> wasteful_;
  std::deque<std::pair<uint64_t, uint32_t>> wasteful_order_;
  std::vector<const ENetPeer*> closed_;
};

}  // namespace zv::platform
