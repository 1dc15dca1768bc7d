#pragma once

#include <enet/enet.h>

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace zv::platform {

// Sockets of their own for the links that matter: a machine of the game
// (and a member's link to its host) reads its datagrams from a socket
// connected to its other end, which the system fills apart from the shared
// one. A flood at the shared port then neither delays them behind its
// datagrams nor gets them dropped at its full buffer. Each such socket
// shares the ENet host's port (SO_REUSEPORT, which the system allows to
// this user alone, after the host's own bind took the port for itself), so
// what the link sends still comes from that port, and ENet reads it as it
// reads the shared socket.
class OwnSockets {
 public:
  OwnSockets() = default;
  OwnSockets(const OwnSockets&) = delete;
  OwnSockets& operator=(const OwnSockets&) = delete;
  ~OwnSockets() { CloseAll(); }

  // `peer` of `host` is up and matters. Where no socket can be had, its
  // datagrams keep coming on the shared one.
  void Open(ENetHost* host, ENetPeer* peer);
  void Close(const ENetPeer* peer);
  void CloseAll();
  // Calls `read` with host->socket standing for each socket of `host`'s
  // links in turn; `read` returns once that socket has nothing more, or
  // once the predicate it is given says the socket is no longer its
  // link's. Sockets closed meanwhile are closed once all were read, so
  // that no other socket takes their number while one stands in.
  template <class Read>
  void ReadEach(ENetHost* host, Read read) {
    reading_ = true;
    for (const auto& [peer, fd] : Of(host)) {
      if (!Current(peer, fd)) continue;
      const ENetSocket shared = host->socket;
      host->socket = fd;
      read([&, peer = peer, fd = fd] { return Current(peer, fd); });
      host->socket = shared;
    }
    reading_ = false;
    CloseLater({});
  }

 private:
  struct Own {
    ENetHost* host = nullptr;
    ENetAddress address{};
    int fd = -1;
  };
  // The sockets of `host`'s links whose link is still there; the others are
  // closed.
  std::vector<std::pair<const ENetPeer*, int>> Of(const ENetHost* host);
  // Whether `fd` is still the socket of `peer`'s link.
  bool Current(const ENetPeer* peer, int fd) const;
  // Closes `fd` now, or once the sockets are read; and those closed meanwhile.
  void CloseLater(std::optional<int> fd);

  std::map<const ENetPeer*, Own> sockets_;
  bool reading_ = false;
  std::vector<int> closing_;
};

}  // namespace zv::platform
