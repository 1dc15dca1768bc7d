#include "platform/netsession/connect_cookie.h"

#include <cstring>
#include <random>

#include "platform/netsession/crypto_library.h"

namespace zv::platform {
namespace {

std::array<uint64_t, 2> RandomKey() {
  std::array<uint64_t, 2> key{};
  if (Crypto().RAND_bytes(reinterpret_cast<unsigned char*>(key.data()), sizeof key) == 1) return key;
  // The system's random source failed: the kernel's, through the library.
  std::random_device device;
  for (uint64_t& k : key) k = uint64_t{device()} << 32 | device();
  return key;
}

uint64_t Rotl(uint64_t x, int b) { return x << b | x >> (64 - b); }

struct SipState {
  uint64_t v0, v1, v2, v3;
  void Round() {
    v0 += v1;
    v1 = Rotl(v1, 13);
    v1 ^= v0;
    v0 = Rotl(v0, 32);
    v2 += v3;
    v3 = Rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = Rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = Rotl(v1, 17);
    v1 ^= v2;
    v2 = Rotl(v2, 32);
  }
  void Absorb(uint64_t m) {
    v3 ^= m;
    Round();
    Round();
    v0 ^= m;
  }
};

uint64_t LittleEndian64(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

}  // namespace

uint64_t SipHash(const std::array<uint64_t, 2>& key, const uint8_t* bytes, size_t length) {
  SipState s{key[0] ^ 0x736F6D6570736575ull, key[1] ^ 0x646F72616E646F6Dull, key[0] ^ 0x6C7967656E657261ull,
             key[1] ^ 0x7465646279746573ull};
  const size_t whole = length - length % 8;
  for (size_t at = 0; at < whole; at += 8) s.Absorb(LittleEndian64(bytes + at, 8));
  s.Absorb(LittleEndian64(bytes + whole, length - whole) | uint64_t{length & 0xFF} << 56);
  s.v2 ^= 0xFF;
  for (int i = 0; i < 4; ++i) s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

ConnectCookies::ConnectCookies(uint32_t version) : version_(version), now_(RandomKey()), before_(RandomKey()) {}

void ConnectCookies::Turn(uint64_t now_ms) {
  const uint64_t turn = now_ms / kTurnMs;
  if (turn == turn_) return;
  // A cookie of the turn before still counts; older ones do not.
  before_ = turn == turn_ + 1 ? now_ : RandomKey();
  now_ = RandomKey();
  turn_ = turn;
}

uint32_t ConnectCookies::Make(const Key& key, uint32_t host, uint16_t port) const {
  uint8_t bytes[10];
  std::memcpy(bytes, &host, 4);
  std::memcpy(bytes + 4, &port, 2);
  std::memcpy(bytes + 6, &version_, 4);
  const uint64_t hash = SipHash(key, bytes, sizeof bytes);
  return static_cast<uint32_t>(hash ^ hash >> 32);
}

uint32_t ConnectCookies::Issue(uint32_t host, uint16_t port, uint64_t now_ms) {
  Turn(now_ms);
  return Make(now_, host, port);
}

bool ConnectCookies::Valid(uint32_t cookie, uint32_t host, uint16_t port, uint64_t now_ms) {
  Turn(now_ms);
  return cookie == Make(now_, host, port) || cookie == Make(before_, host, port);
}

}  // namespace zv::platform
