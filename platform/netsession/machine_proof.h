#pragma once

#include <array>
#include <cstdint>

namespace zv::platform {

// How a machine of a session shows, after the host changed, that it is the
// machine it says it is. Each machine draws a secret that it keeps to
// itself and gives the others only its proof, a one-way hash of it: the
// proof recognises the secret, but nobody who holds the proof can make the
// secret. Coming back, the machine shows the secret once and hands in the
// proof of its next one, so a secret that was shown is of no further use.
using Secret = std::array<uint8_t, 32>;
using Proof = std::array<uint8_t, 32>;

// A secret from the system's random source.
Secret NewSecret();
Proof ProofOf(const Secret& secret);

}  // namespace zv::platform
