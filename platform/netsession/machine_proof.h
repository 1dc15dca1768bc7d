#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace zv::platform {

// How a machine of a session shows, after the host changed, that it is the
// machine it says it is. Its secrets form a chain, each the one-way hash of
// the next, drawn from one seed that the machine keeps to itself. It gives
// the others the end of the chain when it joins and, each time it comes
// back, shows the next secret towards the seed. Whoever holds a secret
// shown before recognises a later one by hashing it until it meets the one
// held, but cannot make it: a secret that was shown is of no further use,
// and a machine whose last return only some machines saw is still
// recognised by the others.
using Secret = std::array<uint8_t, 32>;
using Proof = std::array<uint8_t, 32>;

class SecretChain {
 public:
  // Returns a machine can make in one session.
  static constexpr int kLength = 1024;

  SecretChain();  // from the system's random source
  // The end of the chain: what the machine is known by when it joins.
  const Proof& Start() const { return start_; }
  // The next secret to show, towards the seed; none once every one was.
  std::optional<Secret> Next();
  // What the others know the machine by now: the last secret shown, or
  // the end of the chain.
  const Proof& Shown() const { return shown_ == 0 ? start_ : last_; }

 private:
  Secret seed_{};
  Proof start_{};
  Secret last_{};
  int shown_ = 0;
};

// Whether `shown` comes after `known` in a chain: hashing it at least once
// and at most `kMaxSkipped` times gives `known`. Bounded so that a stranger
// cannot make a machine hash for long.
constexpr int kMaxSkipped = 64;
bool Continues(const Secret& shown, const Proof& known);

}  // namespace zv::platform
