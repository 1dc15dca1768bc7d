#include "platform/netsession/enet/link_places.h"

#include <utility>

namespace zv::platform {
namespace {

uint64_t AskerKey(const ENetAddress& a) { return uint64_t{a.host} << 16 | a.port; }

// The place ENet gives a new link: the first free one.
ENetPeer* FreePlace(ENetHost* host) {
  for (size_t i = 0; i < host->peerCount; ++i)
    if (host->peers[i].state == ENET_PEER_STATE_DISCONNECTED) return &host->peers[i];
  return nullptr;
}

}  // namespace

ENetPeer* LinkPlaces::AskerAt(const ENetAddress& from) {
  auto asker = askers_.find(AskerKey(from));
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

ENetPeer* LinkPlaces::OldestAt(uint32_t host) {
  for (auto address = addresses_.find(host); address != addresses_.end(); address = addresses_.find(host)) {
    ENetPeer* peer = address->second.begin()->second;
    if (Valid(peer, links_.at(peer))) return peer;
    Remove(peer);
  }
  return nullptr;
}

ENetPeer* LinkPlaces::OldestOfMost(size_t* count) {
  while (!by_count_.empty()) {
    const auto [most, since, host] = *by_count_.begin();
    if (ENetPeer* peer = addresses_.at(host).begin()->second; Valid(peer, links_.at(peer))) {
      *count = most;
      return peer;
    } else {
      Remove(peer);
    }
  }
  return nullptr;
}

ENetPeer* LinkPlaces::Oldest() {
  while (!by_age_.empty()) {
    ENetPeer* peer = by_age_.begin()->second;
    if (Valid(peer, links_.at(peer))) return peer;
    Remove(peer);
  }
  return nullptr;
}

ENetPeer* LinkPlaces::GivesWayTo(uint32_t host, uint64_t now) {
  auto past_grace = [&](const ENetPeer* peer) { return now - links_.at(peer).since >= kHandshakeGraceMs; };
  const size_t mine = CountAt(host);
  size_t most = 0;
  ENetPeer* top = OldestOfMost(&most);
  if (!top) return nullptr;
  // An address crowding out others has no grace against one holding far
  // fewer; against one holding nearly as many it has, so that two such do
  // not push each other's joiners out by turns.
  if (most >= mine + 2 || (most == mine + 1 && past_grace(top))) return top;
  ENetPeer* own = OldestAt(host);
  return own && past_grace(own) ? own : nullptr;
}

bool LinkPlaces::Admit(ENetHost* host, uint32_t connect_id, bool known, uint64_t now) {
  const ENetAddress from = host->receivedAddress;
  if (ENetPeer* own = AskerAt(from)) {
    // The same request again is ENet's to recognise; a new one takes the
    // older link's place once that had its time to finish.
    if (own->connectID == connect_id) return true;
    if (now - links_.at(own).since < kHandshakeGraceMs) return false;
    Close(own);
    return Place(host, connect_id, now);
  }
  if (known) {
    if (!FreePlace(host)) {
      ENetPeer* oldest = Oldest();
      if (!oldest) return false;
      Close(oldest);
    }
    return Place(host, connect_id, now, true);
  }
  if (by_age_.size() < stranger_places_ && FreePlace(host)) return Place(host, connect_id, now);
  ENetPeer* gives_way = GivesWayTo(from.host, now);
  if (!gives_way) return false;
  Close(gives_way);
  return Place(host, connect_id, now);
}

bool LinkPlaces::Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting) {
  ENetPeer* peer = FreePlace(host);
  if (!peer) return false;
  Remove(peer);
  Note(peer, Link{now, false, connect_id, lasting, host->receivedAddress});
  return true;
}

void LinkPlaces::Unrank(uint32_t host) {
  auto address = addresses_.find(host);
  if (address != addresses_.end()) by_count_.erase({address->second.size(), address->second.begin()->first, host});
}

void LinkPlaces::Rank(uint32_t host) {
  auto address = addresses_.find(host);
  if (address == addresses_.end()) return;
  if (address->second.empty()) {
    addresses_.erase(address);
    return;
  }
  by_count_.insert({address->second.size(), address->second.begin()->first, host});
}

void LinkPlaces::Note(ENetPeer* peer, Link link) {
  links_[peer] = link;
  if (link.lasting) return;
  Unrank(link.from.host);
  addresses_[link.from.host].insert({link.since, peer});
  Rank(link.from.host);
  askers_[AskerKey(link.from)] = peer;
  by_age_.insert({link.since, peer});
}

void LinkPlaces::Remove(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it == links_.end()) return;
  const Link link = it->second;
  links_.erase(it);
  if (link.lasting) return;
  const Aged aged{link.since, const_cast<ENetPeer*>(peer)};
  Unrank(link.from.host);
  addresses_[link.from.host].erase(aged);
  Rank(link.from.host);
  auto asker = askers_.find(AskerKey(link.from));
  if (asker != askers_.end() && asker->second == peer) askers_.erase(asker);
  by_age_.erase(aged);
}

bool LinkPlaces::MakePlace(ENetHost* host) {
  if (FreePlace(host)) return true;
  ENetPeer* oldest = Oldest();
  if (!oldest) return false;
  Close(oldest);
  return true;
}

void LinkPlaces::Connected(ENetPeer* peer, uint64_t now) {
  auto it = links_.find(peer);
  if (it == links_.end() || it->second.connect_id != peer->connectID) {
    Remove(peer);
    Note(peer, Link{now, false, peer->connectID, false, peer->address});
    it = links_.find(peer);
  }
  it->second.connected = true;
}

void LinkPlaces::Joined(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it == links_.end() || it->second.lasting || !Valid(peer, it->second)) return;
  Link link = it->second;
  Remove(peer);
  link.lasting = true;
  Note(const_cast<ENetPeer*>(peer), link);
}

bool LinkPlaces::IsStranger(const ENetPeer* peer) const {
  auto it = links_.find(peer);
  return it != links_.end() && !it->second.lasting && Valid(peer, it->second);
}

void LinkPlaces::Sweep(ENetHost* host, uint64_t now) {
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
      Note(peer, Link{now, false, peer->connectID, false, peer->address});
  }
}

void LinkPlaces::Forget(const ENetPeer* peer) { Remove(peer); }

void LinkPlaces::Close(ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it != links_.end() && it->second.connected) closed_.push_back(peer);
  Remove(peer);
  // Without a word: a stranger learns nothing from it, and its place is
  // free at once.
  enet_peer_reset(peer);
}

}  // namespace zv::platform
