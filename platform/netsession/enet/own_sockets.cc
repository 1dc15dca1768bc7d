#include "platform/netsession/enet/own_sockets.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv::platform {
namespace {

// Less than the shared socket's: one machine's traffic, not a flood's.
constexpr int kOwnSocketBufferBytes = 1 << 20;

bool SameAddress(const ENetAddress& a, const ENetAddress& b) { return a.host == b.host && a.port == b.port; }

}  // namespace

void OwnSockets::Open(ENetHost* host, ENetPeer* peer) {
  auto it = sockets_.find(peer);
  if (it != sockets_.end() && it->second.host == host && SameAddress(it->second.address, peer->address)) return;
  Close(peer);
  const int one = 1;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(host->socket, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      setsockopt(host->socket, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0)
    return;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = peer->address.host;
  remote.sin_port = htons(peer->address.port);
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    close(fd);
    return;
  }
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kOwnSocketBufferBytes, sizeof kOwnSocketBufferBytes);
  sockets_[peer] = Own{host, peer->address, fd};
}

void OwnSockets::Close(const ENetPeer* peer) {
  auto it = sockets_.find(peer);
  if (it == sockets_.end()) return;
  CloseLater(it->second.fd);
  sockets_.erase(it);
}

void OwnSockets::CloseAll() {
  for (const auto& [peer, own] : sockets_) CloseLater(own.fd);
  sockets_.clear();
}

void OwnSockets::CloseLater(std::optional<int> fd) {
  if (fd) closing_.push_back(*fd);
  if (reading_) return;
  for (int f : std::exchange(closing_, {})) close(f);
}

std::vector<std::pair<const ENetPeer*, int>> OwnSockets::Of(const ENetHost* host) {
  std::vector<std::pair<const ENetPeer*, int>> out;
  for (auto it = sockets_.begin(); it != sockets_.end();) {
    const ENetPeer* peer = it->first;
    const Own& own = it->second;
    if (own.host != host) {
      ++it;
      continue;
    }
    // A link that went, or whose place another took: what comes from its
    // address goes to the shared socket again.
    if (peer->state == ENET_PEER_STATE_DISCONNECTED || peer->state == ENET_PEER_STATE_ZOMBIE ||
        !SameAddress(peer->address, own.address)) {
      CloseLater(own.fd);
      it = sockets_.erase(it);
      continue;
    }
    out.emplace_back(peer, own.fd);
    ++it;
  }
  return out;
}

bool OwnSockets::Current(const ENetPeer* peer, int fd) const {
  auto it = sockets_.find(peer);
  return it != sockets_.end() && it->second.fd == fd;
}

}  // namespace zv::platform
