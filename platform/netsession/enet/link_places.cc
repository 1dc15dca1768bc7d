#include "platform/netsession/enet/link_places.h"

#include <algorithm>
#include <utility>

#include "platform/netsession/enet/enet_address.h"
#include "platform/netsession/enet/enet_library.h"

namespace zv::platform {
namespace {

// The place ENet gives a new link: the first free one.
ENetPeer* FreePlace(ENetHost* host) {
  for (size_t i = 0; i < host->peerCount; ++i)
    if (host->peers[i].state == ENET_PEER_STATE_DISCONNECTED) return &host->peers[i];
  return nullptr;
}

}  // namespace

ENetPeer* LinkPlaces::AskerAt(const ENetAddress& from) {
  auto asker = askers_.find(AddressKey(from));
  if (asker == askers_.end()) return nullptr;
  ENetPeer* peer = asker->second;
  auto link = links_.find(peer);
  if (link != links_.end() && Valid(peer, link->second)) return peer;
  Remove(peer);
  return nullptr;
}

size_t LinkPlaces::CountAt(uint32_t host) const {
  auto address = addresses_.find(host);
  return address == addresses_.end() ? 0 : address->second.size();
}

ENetPeer* LinkPlaces::Idle(uint64_t now, std::optional<uint32_t> asker) {
  for (auto it = by_end_.begin(); it != by_end_.end();) {
    const auto [end, peer] = *it++;
    const Link& link = links_.at(peer);
    if (!Valid(peer, link)) {
      Remove(peer);
      continue;
    }
    if (end > now) return nullptr;
    if (!asker || Outranks(link.from.host, *asker, 1)) return peer;
  }
  return nullptr;
}

bool LinkPlaces::Outranks(uint32_t holder, uint32_t asker, size_t margin) const {
  const bool wasteful = Wasteful(holder);
  if (wasteful != Wasteful(asker)) return wasteful;
  return CountAt(holder) >= CountAt(asker) + margin;
}

ENetPeer* LinkPlaces::Top(Standing* standing) {
  while (!by_rank_.empty()) {
    const Standing first = *by_rank_.begin();
    ENetPeer* peer = addresses_.at(std::get<3>(first)).begin()->second;
    if (Valid(peer, links_.at(peer))) {
      *standing = first;
      return peer;
    }
    Remove(peer);
  }
  return nullptr;
}

ENetPeer* LinkPlaces::FirstOfAll(uint64_t now) {
  if (ENetPeer* idle = Idle(now)) return idle;
  Standing top;
  return Top(&top);
}

ENetPeer* LinkPlaces::GivesWayTo(uint32_t host, uint64_t now) {
  // A flood that wasted handshakes gives way to any other address; among
  // addresses of one kind, an address crowding out others does, so that
  // no address, whatever its ports and requests, keeps another out. A link
  // past its time gives way to an address holding one fewer, in its time to
  // one holding two fewer: players behind one address, or one whose Join a
  // busy machine held up, are not pushed out by each other nor by a flood.
  if (ENetPeer* idle = Idle(now, host)) return idle;
  Standing top;
  ENetPeer* peer = Top(&top);
  return peer && Outranks(std::get<3>(top), host, 2) ? peer : nullptr;
}

bool LinkPlaces::Admit(ENetHost* host, uint32_t connect_id, bool known, uint64_t now) {
  now_ = now;
  const ENetAddress from = host->receivedAddress;
  if (ENetPeer* own = AskerAt(from)) {
    // The same request again is ENet's to recognise; a new one takes the
    // older link's place once that had its time to answer.
    if (own->connectID == connect_id) return true;
    if (now - links_.at(own).since < kHandshakeGraceMs) return false;
    Close(own, true);
    return Place(host, connect_id, now);
  }
  if (known) {
    if (!FreePlace(host)) {
      ENetPeer* first = FirstOfAll(now);
      if (!first) return false;
      Close(first, links_.at(first).end <= now);
    }
    return Place(host, connect_id, now, true);
  }
  if (by_end_.size() < stranger_places_ && FreePlace(host)) return Place(host, connect_id, now);
  ENetPeer* gives_way = GivesWayTo(from.host, now);
  if (!gives_way) return false;
  Close(gives_way, links_.at(gives_way).end <= now);
  return Place(host, connect_id, now);
}

bool LinkPlaces::Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting) {
  ENetPeer* peer = FreePlace(host);
  if (!peer) return false;
  Remove(peer);
  Note(peer, Link{now, now + kHandshakeMs, false, connect_id, lasting, host->receivedAddress});
  return true;
}

void LinkPlaces::Unrank(uint32_t host) {
  auto address = addresses_.find(host);
  if (address != addresses_.end()) by_rank_.erase(StandingOf(host, address->second));
}

void LinkPlaces::Rerank(uint32_t host) {
  auto address = addresses_.find(host);
  if (address == addresses_.end()) return;
  if (address->second.empty()) {
    addresses_.erase(address);
    return;
  }
  by_rank_.insert(StandingOf(host, address->second));
}

void LinkPlaces::Note(ENetPeer* peer, Link link) {
  links_[peer] = link;
  if (link.lasting) return;
  Unrank(link.from.host);
  addresses_[link.from.host].insert({link.since, peer});
  Rerank(link.from.host);
  askers_[AddressKey(link.from)] = peer;
  by_end_.insert({link.end, peer});
}

void LinkPlaces::Remove(const ENetPeer* peer, bool wasted) {
  auto it = links_.find(peer);
  if (it == links_.end()) return;
  const Link link = it->second;
  links_.erase(it);
  if (link.lasting) return;
  auto* stranger = const_cast<ENetPeer*>(peer);
  const uint32_t host = link.from.host;
  Unrank(host);
  addresses_[host].erase({link.since, stranger});
  if (wasted && !link.asked) {
    if (!Wasteful(host)) wasteful_order_.push_back({now_, host});
    wasteful_[host] = now_;
  }
  Rerank(host);
  auto asker = askers_.find(AddressKey(link.from));
  if (asker != askers_.end() && asker->second == peer) askers_.erase(asker);
  by_end_.erase({link.end, stranger});
}

void LinkPlaces::Forgive(uint64_t now) {
  while (!wasteful_order_.empty()) {
    const auto [since, host] = wasteful_order_.front();
    const uint64_t last = wasteful_.at(host);
    const bool crowded = wasteful_.size() > kMaxWasteful;
    if (!crowded && now - since < kWastefulMs) return;
    wasteful_order_.pop_front();
    if (!crowded && now - last < kWastefulMs) {
      // Wasteful again since: it waits its turn from then.
      wasteful_order_.push_back({last, host});
      continue;
    }
    Unrank(host);
    wasteful_.erase(host);
    Rerank(host);
  }
}

bool LinkPlaces::MakePlace(ENetHost* host) {
  if (FreePlace(host)) return true;
  ENetPeer* first = FirstOfAll(now_);
  if (!first) return false;
  Close(first, links_.at(first).end <= now_);
  return true;
}

void LinkPlaces::Connected(ENetPeer* peer, uint64_t now) {
  now_ = now;
  auto it = links_.find(peer);
  if (it == links_.end() || it->second.connect_id != peer->connectID) {
    Remove(peer);
    Note(peer, Link{now, now + kHandshakeMs, false, peer->connectID, false, peer->address});
    it = links_.find(peer);
  }
  Link& link = it->second;
  if (!link.connected && !link.lasting) {
    // Its handshake proved the round trip its Join needs.
    const uint64_t join_ms = std::clamp((now - link.since) * kJoinRoundTrips, kMinJoinMs, kMaxJoinMs);
    by_end_.erase({link.end, peer});
    link.end = now + join_ms;
    by_end_.insert({link.end, peer});
  }
  link.connected = true;
}

void LinkPlaces::Joined(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it == links_.end() || it->second.lasting || !Valid(peer, it->second)) return;
  Link link = it->second;
  Remove(peer, false);
  link.lasting = true;
  Note(const_cast<ENetPeer*>(peer), link);
}

void LinkPlaces::Asked(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it != links_.end() && Valid(peer, it->second)) it->second.asked = true;
}

bool LinkPlaces::IsStranger(const ENetPeer* peer) const {
  auto it = links_.find(peer);
  return it != links_.end() && !it->second.lasting && Valid(peer, it->second);
}

void LinkPlaces::Sweep(ENetHost* host, uint64_t now) {
  now_ = now;
  std::vector<const ENetPeer*> gone;
  for (const auto& [peer, link] : links_)
    if (!Valid(peer, link)) gone.push_back(peer);
  for (const ENetPeer* peer : gone) Remove(peer);
  // A handshake that came in is seen here first where ENet put it in
  // another place than the one noted; this machine's own links never wait
  // in this state.
  for (size_t i = 0; i < host->peerCount; ++i) {
    ENetPeer* peer = &host->peers[i];
    if (peer->state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT && !links_.count(peer))
      Note(peer, Link{now, now + kHandshakeMs, false, peer->connectID, false, peer->address});
  }
  Forgive(now);
}

void LinkPlaces::Forget(const ENetPeer* peer) { Remove(peer); }

void LinkPlaces::Close(ENetPeer* peer, bool wasted) {
  auto it = links_.find(peer);
  if (it != links_.end() && it->second.connected) closed_.push_back(peer);
  Remove(peer, wasted);
  // Without a word: a stranger learns nothing from it, and its place is
  // free at once.
  Enet().enet_peer_reset(peer);
}

}  // namespace zv::platform
