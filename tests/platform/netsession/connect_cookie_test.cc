// The cookies a machine hands those that connect to it: a keyed hash that
// nobody without the key can make, bound to one address and port.
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

// A cookie counts for the address and port it was issued to, at the
// machine that issued it, in its turn and the next; not for another asker,
// another machine, another version of the wire, or later.
TEST(ConnectCookie, CountsOnlyForItsAskerAtItsMachineForOneToTwoTurns) {
  ConnectCookies issuer(7), other_machine(7), other_version(8);
  const uint64_t now = 5 * ConnectCookies::kTurnMs + 100;
  const uint32_t cookie = issuer.Issue(0x0100007F, 40000, now);
  struct Case {
    const char* what;
    ConnectCookies& at;
    uint32_t host;
    uint16_t port;
    uint64_t when;
    bool valid;
  };
  const Case cases[] = {
      {"its asker", issuer, 0x0100007F, 40000, now, true},
      {"another port", issuer, 0x0100007F, 40001, now, false},
      {"another address", issuer, 0x0200007F, 40000, now, false},
      {"another machine", other_machine, 0x0100007F, 40000, now, false},
      {"another version", other_version, 0x0100007F, 40000, now, false},
      {"the next turn", issuer, 0x0100007F, 40000, now + ConnectCookies::kTurnMs, true},
      {"the turn after", issuer, 0x0100007F, 40000, now + 2 * ConnectCookies::kTurnMs, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.at.Valid(cookie, c.host, c.port, c.when), c.valid) << c.what;
}

}  // namespace
}  // namespace zv::platform
