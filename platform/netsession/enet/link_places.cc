#include "platform/netsession/enet/link_places.h"

#include <algorithm>
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

std::vector<ENetPeer*>* LinkPlaces::StrangersAt(uint32_t host) {
  auto address = addresses_.find(host);
  if (address == addresses_.end()) return nullptr;
  // A handful at most: those ENet let go of are forgotten on the way.
  std::vector<ENetPeer*> stale;
  for (ENetPeer* peer : address->second.strangers)
    if (!Valid(peer, links_.at(peer))) stale.push_back(peer);
  for (ENetPeer* peer : stale) Remove(peer);
  address = addresses_.find(host);
  if (address == addresses_.end() || address->second.lasting > 0) return nullptr;
  return &address->second.strangers;
}

ENetPeer* LinkPlaces::Oldest() {
  while (!by_age_.empty()) {
    ENetPeer* peer = by_age_.begin()->second;
    if (Valid(peer, links_.at(peer))) return peer;
    Remove(peer);
  }
  return nullptr;
}

bool LinkPlaces::Admit(ENetHost* host, uint32_t connect_id, bool known, uint64_t now) {
  const ENetAddress from = host->receivedAddress;
  auto past_grace = [&](const ENetPeer* peer) { return now - links_.at(peer).since >= kHandshakeGraceMs; };
  if (ENetPeer* own = AskerAt(from)) {
    // The same request again is ENet's to recognise; a new one takes the
    // older link's place once that had its time to finish.
    if (own->connectID == connect_id) return true;
    if (!past_grace(own)) return false;
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
  if (std::vector<ENetPeer*>* strangers = StrangersAt(from.host); strangers && strangers->size() >= kPlacesPerAddress) {
    // The address's own oldest gives way, or nobody.
    ENetPeer* oldest = *std::min_element(strangers->begin(), strangers->end(), [&](ENetPeer* a, ENetPeer* b) {
      return links_.at(a).since < links_.at(b).since;
    });
    if (!past_grace(oldest)) return false;
    Close(oldest);
    return Place(host, connect_id, now);
  }
  if (by_age_.size() < stranger_places_ && FreePlace(host)) return Place(host, connect_id, now);
  ENetPeer* oldest = Oldest();
  if (!oldest || !past_grace(oldest)) return false;
  Close(oldest);
  return Place(host, connect_id, now);
}

bool LinkPlaces::Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool lasting) {
  ENetPeer* peer = FreePlace(host);
  if (!peer) return false;
  Remove(peer);
  Note(peer, Link{now, false, connect_id, lasting, host->receivedAddress});
  return true;
}

void LinkPlaces::Note(ENetPeer* peer, Link link) {
  Address& address = addresses_[link.from.host];
  if (link.lasting) {
    ++address.lasting;
  } else {
    address.strangers.push_back(peer);
    askers_[AskerKey(link.from)] = peer;
    by_age_.emplace(link.since, peer);
  }
  links_[peer] = link;
}

void LinkPlaces::Remove(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it == links_.end()) return;
  const Link& link = it->second;
  auto address = addresses_.find(link.from.host);
  if (link.lasting) {
    --address->second.lasting;
  } else {
    std::erase(address->second.strangers, peer);
    auto asker = askers_.find(AskerKey(link.from));
    if (asker != askers_.end() && asker->second == peer) askers_.erase(asker);
    by_age_.erase({link.since, const_cast<ENetPeer*>(peer)});
  }
  if (address->second.lasting == 0 && address->second.strangers.empty()) addresses_.erase(address);
  links_.erase(it);
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
