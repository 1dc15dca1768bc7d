#include "platform/netsession/machine_proof.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <random>

namespace zv::platform {

Secret NewSecret() {
  Secret secret{};
  if (RAND_bytes(secret.data(), static_cast<int>(secret.size())) == 1) return secret;
  // The system's random source failed: the kernel's, through the library.
  std::random_device device;
  for (uint8_t& b : secret) b = static_cast<uint8_t>(device());
  return secret;
}

Proof ProofOf(const Secret& secret) {
  Proof proof{};
  SHA256(secret.data(), secret.size(), proof.data());
  return proof;
}

}  // namespace zv::platform
