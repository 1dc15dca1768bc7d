#include "platform/netsession/enet/link_places.h"

#include <algorithm>
#include <utility>

namespace zv::platform {
namespace {

bool SameAsker(const ENetAddress& a, const ENetAddress& b) { return a.host == b.host && a.port == b.port; }

uint64_t AskerKey(const ENetAddress& a) { return uint64_t{a.host} << 16 | a.port; }

// How long a link whose handshake ended may take to join: a fixed wait and
// four of its handshake's round trips, within a bound.
uint64_t JoinWait(uint64_t since, uint64_t connected) {
  const uint64_t round_trip = connected > since ? connected - since : 0;
  return std::min(LinkPlaces::kJoinWaitMs + 4 * round_trip, LinkPlaces::kMaxJoinWaitMs);
}

}  // namespace

LinkPlaces::Link* LinkPlaces::Find(ENetPeer* peer, uint64_t now) {
  if (peer->state == ENET_PEER_STATE_DISCONNECTED) {
    links_.erase(peer);
    return nullptr;
  }
  auto it = links_.find(peer);
  // The place was given to another link since.
  if (it != links_.end() && it->second.connect_id != peer->connectID) {
    links_.erase(it);
    it = links_.end();
  }
  if (it != links_.end()) return &it->second;
  // A handshake that came in is seen here first where ENet put it in
  // another place than the one noted; this machine's own links never wait
  // in this state.
  if (peer->state != ENET_PEER_STATE_ACKNOWLEDGING_CONNECT) return nullptr;
  return &links_.try_emplace(peer, Link{now, std::nullopt, peer->connectID, false}).first->second;
}

const LinkPlaces::Link* LinkPlaces::AskerInGrace(const ENetHost* host, uint64_t now) const {
  auto asker = askers_.find(AskerKey(host->receivedAddress));
  if (asker == askers_.end()) return nullptr;
  const ENetPeer* peer = asker->second;
  auto link = links_.find(peer);
  if (link == links_.end() || link->second.joined || link->second.connect_id != peer->connectID ||
      peer->state == ENET_PEER_STATE_DISCONNECTED || !SameAsker(peer->address, host->receivedAddress) ||
      now - link->second.since >= kHandshakeGraceMs)
    return nullptr;
  return &link->second;
}

LinkPlaces::Census LinkPlaces::Count(ENetHost* host, uint64_t now) {
  Census c;
  askers_.clear();
  for (size_t i = 0; i < host->peerCount; ++i) {
    ENetPeer* peer = &host->peers[i];
    if (peer->state == ENET_PEER_STATE_DISCONNECTED) c.free = true;
    const Link* link = Find(peer, now);
    if (!link || link->joined) continue;
    ++c.strangers;
    askers_[AskerKey(peer->address)] = peer;
    if (SameAsker(peer->address, host->receivedAddress)) c.asker = peer;
    if (!c.first || link->since < links_[c.first].since) c.first = peer;
    if (now - link->since >= kHandshakeGraceMs && (!c.oldest || link->since < links_[c.oldest].since)) c.oldest = peer;
  }
  return c;
}

bool LinkPlaces::Admit(ENetHost* host, uint32_t connect_id, bool known, uint64_t now) {
  if (const Link* mine = AskerInGrace(host, now)) return mine->connect_id == connect_id;
  const Census c = Count(host, now);
  if (c.asker) {
    // The same request again is ENet's to recognise; a new one takes the
    // older link's place once that had its time to finish.
    if (c.asker->connectID == connect_id) return true;
    if (now - links_[c.asker].since < kHandshakeGraceMs) return false;
    Close(c.asker);
    return Place(host, connect_id, now);
  }
  if (known) {
    if (!c.free && !c.first) return false;
    if (!c.free) Close(c.first);
    return Place(host, connect_id, now, true);
  }
  if (c.free && c.strangers < stranger_places_) return Place(host, connect_id, now);
  if (!c.oldest) return false;
  Close(c.oldest);
  return Place(host, connect_id, now);
}

bool LinkPlaces::Place(ENetHost* host, uint32_t connect_id, uint64_t now, bool known) {
  // ENet gives a new link the first free place.
  for (size_t i = 0; i < host->peerCount; ++i) {
    if (host->peers[i].state != ENET_PEER_STATE_DISCONNECTED) continue;
    links_[&host->peers[i]] = Link{now, std::nullopt, connect_id, known};
    askers_[AskerKey(host->receivedAddress)] = &host->peers[i];
    return true;
  }
  return false;
}

bool LinkPlaces::MakePlace(ENetHost* host) {
  ENetPeer* oldest = nullptr;
  for (size_t i = 0; i < host->peerCount; ++i) {
    ENetPeer* peer = &host->peers[i];
    if (peer->state == ENET_PEER_STATE_DISCONNECTED) return true;
    auto it = links_.find(peer);
    if (it == links_.end() || it->second.joined || it->second.connect_id != peer->connectID) continue;
    if (!oldest || it->second.since < links_[oldest].since) oldest = peer;
  }
  if (!oldest) return false;
  Close(oldest);
  return true;
}

void LinkPlaces::Connected(const ENetPeer* peer, uint64_t now) {
  auto it = links_.find(peer);
  if (it == links_.end() || it->second.connect_id != peer->connectID)
    it = links_.insert_or_assign(peer, Link{now, std::nullopt, peer->connectID, false}).first;
  it->second.connected = now;
}

void LinkPlaces::Joined(const ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it != links_.end()) it->second.joined = true;
}

bool LinkPlaces::IsStranger(const ENetPeer* peer) const {
  auto it = links_.find(peer);
  return it != links_.end() && !it->second.joined && it->second.connect_id == peer->connectID;
}

void LinkPlaces::DropLate(ENetHost* host, uint64_t now) {
  std::vector<ENetPeer*> late;
  for (const auto& [peer, link] : links_) {
    if (peer < host->peers || peer >= host->peers + host->peerCount) continue;
    if (link.joined || !link.connected || link.connect_id != peer->connectID) continue;
    if (now - *link.connected >= JoinWait(link.since, *link.connected))
      late.push_back(&host->peers[peer - host->peers]);
  }
  for (ENetPeer* peer : late) Close(peer);
}

void LinkPlaces::Close(ENetPeer* peer) {
  auto it = links_.find(peer);
  if (it != links_.end() && it->second.connected) closed_.push_back(peer);
  if (it != links_.end()) links_.erase(it);
  // Without a word: a stranger learns nothing from it, and its place is
  // free at once.
  enet_peer_reset(peer);
}

}  // namespace zv::platform
