#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zv::platform {

// What lets a machine take a connection request without remembering
// anything of the asker before it: a request counts only when it carries a
// cookie this machine issued to the address and port it comes from. The
// cookie is a keyed hash of that address, that port and the wire's
// version, under a secret that changes every kTurnMs and is never sent; so
// nobody who cannot receive at an address can make one for it, however
// many requests they forge, and a cookie serves its asker for one to two
// turns. Asking for one costs the asker a datagram larger than the answer.
class ConnectCookies {
 public:
  static constexpr uint64_t kTurnMs = 15000;

  explicit ConnectCookies(uint32_t version);  // secrets from the system's random source

  // `now_ms`: a steady clock.
  uint32_t Issue(uint32_t host, uint16_t port, uint64_t now_ms);
  bool Valid(uint32_t cookie, uint32_t host, uint16_t port, uint64_t now_ms);

 private:
  using Key = std::array<uint64_t, 2>;
  void Turn(uint64_t now_ms);
  uint32_t Make(const Key& key, uint32_t host, uint16_t port) const;

  uint32_t version_;
  uint64_t turn_ = 0;
  Key now_{};
  Key before_{};
};

// SipHash-2-4 of `bytes` under `key`: a keyed hash made for short inputs.
uint64_t SipHash(const std::array<uint64_t, 2>& key, const uint8_t* bytes, size_t length);

}  // namespace zv::platform
