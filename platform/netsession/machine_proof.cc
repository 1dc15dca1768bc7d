#include "platform/netsession/machine_proof.h"

#include <random>

#include "platform/netsession/crypto_library.h"

namespace zv::platform {
namespace {

Secret RandomSeed() {
  Secret seed{};
  if (Crypto().RAND_bytes(seed.data(), static_cast<int>(seed.size())) == 1) return seed;
  // The system's random source failed: the kernel's, through the library.
  std::random_device device;
  for (uint8_t& b : seed) b = static_cast<uint8_t>(device());
  return seed;
}

Proof Hash(const Secret& secret) {
  Proof proof{};
  Crypto().SHA256(secret.data(), secret.size(), proof.data());
  return proof;
}

Secret HashTimes(Secret value, int times) {
  for (int i = 0; i < times; ++i) value = Hash(value);
  return value;
}

}  // namespace

SecretChain::SecretChain() : seed_(RandomSeed()), start_(HashTimes(seed_, kLength)) {}

std::optional<Secret> SecretChain::Next() {
  if (shown_ == kLength) return std::nullopt;
  ++shown_;
  last_ = HashTimes(seed_, kLength - shown_);
  return last_;
}

bool Continues(const Secret& shown, const Proof& known) {
  Secret value = shown;
  for (int i = 0; i < kMaxSkipped; ++i) {
    value = Hash(value);
    if (value == known) return true;
  }
  return false;
}

}  // namespace zv::platform
