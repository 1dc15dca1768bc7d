// The keyed hash of the cookies a machine hands those that connect to it
// (what a cookie counts for: link_gate_test.cc).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/netsession/connect_cookie.h"

namespace zv::platform {
namespace {

// The reference vectors of SipHash-2-4: key 00..0F, the message 00, 01, ...
// of each length.
TEST(ConnectCookie, HashesAsTheReferenceDoes) {
  const std::array<uint64_t, 2> key = {0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull};
  struct Case {
    size_t length;
    uint64_t hash;
  };
  for (const Case& c : {Case{0, 0x726FDB47DD0E0E31ull}, Case{1, 0x74F839C593DC67FDull},
                        Case{2, 0x0D6C8009D9A94F5Aull}, Case{15, 0xA129CA6149BE45E5ull}}) {
    std::vector<uint8_t> message(c.length);
    for (size_t i = 0; i < c.length; ++i) message[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(SipHash(key, message.data(), message.size()), c.hash) << c.length;
  }
}

}  // namespace
}  // namespace zv::platform
