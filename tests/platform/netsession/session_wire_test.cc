// The session messages: what goes out comes back the same, and what does
// not add up is refused.
#include <gtest/gtest.h>

#include "platform/netsession/session_wire.h"

namespace zv::platform::wire {
namespace {

Guid MakeGuid(uint8_t seed) {
  Guid g;
  for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(seed + i);
  return g;
}

TEST(SessionWire, EveryMessageComesBackAsItWent) {
  Welcome welcome;
  welcome.session = SessionDescription{MakeGuid(1), "Arena", 4, 2, 8};
  welcome.member = 3;
  welcome.machines = {{1, {0x0100007F, 40000}, Proof{5}}, {2, {0x0200000A, 1}, Proof{6}}};
  welcome.players = {{1, 0, "host"}, {7, 2, ""}};
  welcome.marks = {{1, 40}, {2, 7}};
  const std::vector<Message> messages = {
      Join{MakeGuid(3), MakeGuid(4), Proof{1, 2}, "amy"}, welcome, Refused{Refusal::kHostAlive}, CreatePlayer{9, "bob"},
      PlayerCreated{9, 12, 3, "bob"}, PlayerRefused{9}, DestroyPlayer{12}, PlayerDestroyed{12},
      Data{3, 5, 12, 0, {1, 2, 3}}, MachineJoined{{4, {0x0100007F, 30620}, Proof{7}}}, MachineLeft{4},
      Rejoin{MakeGuid(3), MakeGuid(4), 2, Secret{6}, {{1, 3}}, {{7, "eve"}}, {Data{0, 4, 1, 0, {5, 6}, 3}, Data{}}},
      Delivered{{{1, 2}}}, Stable{{{1, 9}, {0, 2}}},
      Return{0, {0x0100007F, 30620}}, Leave{Secret{8, 9}}};
  for (const Message& m : messages) {
    std::optional<Message> back = Decode(Encode(m));
    ASSERT_TRUE(back) << m.index();
    EXPECT_EQ(back->index(), m.index());
    EXPECT_EQ(Encode(*back), Encode(m));
  }
  const auto back = std::get<Welcome>(*Decode(Encode(welcome)));
  EXPECT_EQ(back.session.name, "Arena");
  EXPECT_EQ(back.session.max_players, 8u);
  ASSERT_EQ(back.players.size(), 2u);
  EXPECT_EQ(back.players[1].id, 7u);
  EXPECT_EQ(back.players[1].owner, 2u);
  ASSERT_EQ(back.machines.size(), 2u);
  EXPECT_EQ(back.machines[0].address, (MachineAddress{0x0100007F, 40000}));
  EXPECT_EQ(back.machines[1].proof, Proof{6});
  ASSERT_EQ(back.marks.size(), 2u);
  EXPECT_EQ(back.marks[0].sequence, 40u);
}

TEST(SessionWire, RefusesShortLongAndUnknownMessages) {
  const std::vector<uint8_t> good = Encode(PlayerCreated{1, 2, 0, "abc"});
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(Decode(std::span<const uint8_t>(good.data(), n))) << "cut to " << n;
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(Decode(longer));
  EXPECT_FALSE(Decode(std::vector<uint8_t>{0}));
  EXPECT_FALSE(Decode(std::vector<uint8_t>{10, 0, 0, 0, 0}));
  EXPECT_FALSE(Decode(std::vector<uint8_t>{3, 7}));  // no such refusal
}

TEST(SessionWire, ListsCannotClaimMoreThanTheyCarry) {
  // Each list ends the message: its count stands before its one item.
  struct Case {
    Message message;
    size_t item_bytes;
  };
  for (const Case& c : {Case{Welcome{SessionDescription{}, 1, 0, {}, {}, {{1, 2}}}, 8},
                        Case{Rejoin{Guid{}, Guid{}, 1, Secret{}, {{1, 2}}, {{1, "a"}}, {Data{1, 2, 3, 4, {9}}}}, 25},
                        Case{Delivered{{{1, 2}}}, 8}, Case{Stable{{{1, 2}}}, 8}}) {
    std::vector<uint8_t> bytes = Encode(c.message);
    ASSERT_TRUE(Decode(bytes));
    bytes[bytes.size() - c.item_bytes - 2] = 0x60;  // 60000 items
    bytes[bytes.size() - c.item_bytes - 1] = 0xEA;
    EXPECT_FALSE(Decode(bytes)) << c.message.index();
  }
  // A copy whose length claims more than the message holds, or less.
  for (const uint8_t length : {2, 0}) {
    std::vector<uint8_t> bytes = Encode(Rejoin{Guid{}, Guid{}, 1, Secret{}, {}, {}, {Data{1, 2, 3, 4, {9}}}});
    bytes[bytes.size() - 5] = length;
    EXPECT_FALSE(Decode(bytes)) << int{length};
  }
}

TEST(SessionWire, NamesAreCutTo255Bytes) {
  const auto back = std::get<CreatePlayer>(*Decode(Encode(CreatePlayer{1, std::string(300, 'x')})));
  EXPECT_EQ(back.name.size(), 255u);
}

TEST(SessionWire, SearchesAndAnswersCarryTheirMarks) {
  const Query query{MakeGuid(5), 0xDEADBEEF};
  std::optional<Query> q = DecodeQuery(EncodeQuery(query));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->application, query.application);
  EXPECT_EQ(q->nonce, 0xDEADBEEFu);
  EXPECT_FALSE(DecodeQueryReply(EncodeQuery(query)));

  const QueryReply reply{7, 3, SessionDescription{MakeGuid(2), "Arena", 0, 2, 8}};
  std::optional<QueryReply> r = DecodeQueryReply(EncodeQueryReply(reply));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->host, 3u);
  EXPECT_EQ(r->session.name, "Arena");
  EXPECT_EQ(r->session.current_players, 2u);
  std::vector<uint8_t> bytes = EncodeQueryReply(reply);
  bytes.pop_back();
  EXPECT_FALSE(DecodeQueryReply(bytes));
  std::optional<Hint> h = DecodeHint(EncodeHint(Hint{MakeGuid(2), 4}));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->host, 4u);
  EXPECT_FALSE(DecodeHint(EncodeQuery(query)));
  const std::vector<uint8_t> goodbye = EncodeGoodbye(Goodbye{MakeGuid(2), 3, Secret{7, 1}, {{3, 12}, {0, 4}}});
  std::optional<Goodbye> g = DecodeGoodbye(goodbye);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->instance, MakeGuid(2));
  EXPECT_EQ(g->machine, 3u);
  EXPECT_EQ(g->secret, (Secret{7, 1}));
  ASSERT_EQ(g->marks.size(), 2u);
  EXPECT_EQ(g->marks[0].sequence, 12u);
  EXPECT_FALSE(DecodeGoodbye(std::span<const uint8_t>(goodbye.data(), goodbye.size() - 1)));
  EXPECT_FALSE(DecodeGoodbye(EncodeHint(Hint{MakeGuid(2), 4})));
  EXPECT_FALSE(DecodeHint(goodbye));

  // Asking for a cookie costs more bytes than the answer brings.
  const std::vector<uint8_t> ask = EncodeCookieRequest(CookieRequest{MakeGuid(2), 0x1234});
  const std::vector<uint8_t> answer = EncodeCookieReply(CookieReply{0x1234, 0xC0FFEE});
  EXPECT_GT(ask.size(), answer.size());
  ASSERT_TRUE(DecodeCookieRequest(ask));
  EXPECT_EQ(DecodeCookieRequest(ask)->instance, MakeGuid(2));
  ASSERT_TRUE(DecodeCookieReply(answer));
  EXPECT_EQ(DecodeCookieReply(answer)->cookie, 0xC0FFEEu);
  EXPECT_FALSE(DecodeCookieReply(ask));
  EXPECT_FALSE(DecodeCookieRequest(answer));
  EXPECT_FALSE(DecodeCookieReply(std::span<const uint8_t>(answer.data(), answer.size() - 1)));
}

}  // namespace
}  // namespace zv::platform::wire
