#include "platform/netsession/session_wire.h"

#include <algorithm>
#include <cstring>

namespace zv::platform::wire {
namespace {

enum class Tag : uint8_t {
  kJoin = 1,
  kWelcome,
  kRefused,
  kCreatePlayer,
  kPlayerCreated,
  kPlayerRefused,
  kDestroyPlayer,
  kPlayerDestroyed,
  kData,
};

constexpr uint8_t kQueryMagic[4] = {'Z', 'V', 'N', 'Q'};
constexpr uint8_t kReplyMagic[4] = {'Z', 'V', 'N', 'S'};
constexpr uint8_t kVersion = 1;

class Writer {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Bytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  // A name: one length byte, then at most kMaxNameBytes bytes.
  void Name(const std::string& s) {
    const size_t n = std::min(s.size(), kMaxNameBytes);
    U8(static_cast<uint8_t>(n));
    bytes_.insert(bytes_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  }
  void Session(const SessionDescription& d) {
    Bytes(d.instance);
    U32(d.flags);
    U32(d.current_players);
    U32(d.max_players);
    Name(d.name);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads forward through untrusted bytes; any read past the end marks the
// whole message bad.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t U8() {
    if (!Have(1)) return 0;
    return bytes_[pos_++];
  }
  uint32_t U32() {
    if (!Have(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{bytes_[pos_ + i]} << (8 * i);
    pos_ += 4;
    return v;
  }
  void Into(std::span<uint8_t> out) {
    if (!Have(out.size())) return;
    std::memcpy(out.data(), bytes_.data() + pos_, out.size());
    pos_ += out.size();
  }
  std::string Name() {
    const size_t n = U8();
    if (!Have(n)) return {};
    std::string s(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return s;
  }
  SessionDescription Session() {
    SessionDescription d;
    Into(d.instance);
    d.flags = U32();
    d.current_players = U32();
    d.max_players = U32();
    d.name = Name();
    return d;
  }
  std::vector<uint8_t> Rest() {
    std::vector<uint8_t> rest(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), bytes_.end());
    pos_ = bytes_.size();
    return rest;
  }
  size_t Remaining() const { return bytes_.size() - pos_; }
  // True when every read fitted and nothing is left over.
  bool Done() const { return ok_ && pos_ == bytes_.size(); }
  bool Ok() const { return ok_; }

 private:
  bool Have(size_t n) {
    if (!ok_ || n > bytes_.size() - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// The smallest encoded player: its id and an empty name.
constexpr size_t kMinPlayerBytes = 5;

struct EncodeVisitor {
  Writer& w;
  void operator()(const Join& m) {
    w.U8(static_cast<uint8_t>(Tag::kJoin));
    w.Bytes(m.application);
    w.Bytes(m.instance);
  }
  void operator()(const Welcome& m) {
    w.U8(static_cast<uint8_t>(Tag::kWelcome));
    w.Session(m.session);
    const size_t count = std::min<size_t>(m.players.size(), 0xFFFF);
    w.U8(static_cast<uint8_t>(count & 0xFF));
    w.U8(static_cast<uint8_t>(count >> 8));
    for (size_t i = 0; i < count; ++i) {
      w.U32(m.players[i].id);
      w.Name(m.players[i].name);
    }
  }
  void operator()(const Refused& m) {
    w.U8(static_cast<uint8_t>(Tag::kRefused));
    w.U8(static_cast<uint8_t>(m.reason));
  }
  void operator()(const CreatePlayer& m) {
    w.U8(static_cast<uint8_t>(Tag::kCreatePlayer));
    w.U32(m.request);
    w.Name(m.name);
  }
  void operator()(const PlayerCreated& m) {
    w.U8(static_cast<uint8_t>(Tag::kPlayerCreated));
    w.U32(m.request);
    w.U32(m.id);
    w.Name(m.name);
  }
  void operator()(const PlayerRefused& m) {
    w.U8(static_cast<uint8_t>(Tag::kPlayerRefused));
    w.U32(m.request);
  }
  void operator()(const DestroyPlayer& m) {
    w.U8(static_cast<uint8_t>(Tag::kDestroyPlayer));
    w.U32(m.id);
  }
  void operator()(const PlayerDestroyed& m) {
    w.U8(static_cast<uint8_t>(Tag::kPlayerDestroyed));
    w.U32(m.id);
  }
  void operator()(const Data& m) {
    w.U8(static_cast<uint8_t>(Tag::kData));
    w.U32(m.from);
    w.U32(m.to);
    w.Bytes(m.payload);
  }
};

std::optional<Message> DecodeBody(Tag tag, Reader& r) {
  switch (tag) {
    case Tag::kJoin: {
      Join m;
      r.Into(m.application);
      r.Into(m.instance);
      return m;
    }
    case Tag::kWelcome: {
      Welcome m;
      m.session = r.Session();
      const size_t count = r.U8() | (size_t{r.U8()} << 8);
      if (!r.Ok() || count > r.Remaining() / kMinPlayerBytes) return std::nullopt;
      m.players.reserve(count);
      for (size_t i = 0; i < count && r.Ok(); ++i) {
        PlayerInfo p;
        p.id = r.U32();
        p.name = r.Name();
        m.players.push_back(std::move(p));
      }
      return m;
    }
    case Tag::kRefused: {
      const uint8_t reason = r.U8();
      if (reason != static_cast<uint8_t>(Refusal::kFull) && reason != static_cast<uint8_t>(Refusal::kWrongSession))
        return std::nullopt;
      return Refused{static_cast<Refusal>(reason)};
    }
    case Tag::kCreatePlayer: {
      CreatePlayer m;
      m.request = r.U32();
      m.name = r.Name();
      return m;
    }
    case Tag::kPlayerCreated: {
      PlayerCreated m;
      m.request = r.U32();
      m.id = r.U32();
      m.name = r.Name();
      return m;
    }
    case Tag::kPlayerRefused:
      return PlayerRefused{r.U32()};
    case Tag::kDestroyPlayer:
      return DestroyPlayer{r.U32()};
    case Tag::kPlayerDestroyed:
      return PlayerDestroyed{r.U32()};
    case Tag::kData: {
      Data m;
      m.from = r.U32();
      m.to = r.U32();
      if (r.Remaining() > kMaxMessageBytes) return std::nullopt;
      m.payload = r.Rest();
      return m;
    }
  }
  return std::nullopt;
}

bool HasMagic(Reader& r, const uint8_t (&magic)[4]) {
  for (uint8_t m : magic)
    if (r.U8() != m) return false;
  return r.U8() == kVersion && r.Ok();
}

void PutMagic(Writer& w, const uint8_t (&magic)[4]) {
  for (uint8_t m : magic) w.U8(m);
  w.U8(kVersion);
}

}  // namespace

std::vector<uint8_t> Encode(const Message& message) {
  Writer w;
  std::visit(EncodeVisitor{w}, message);
  return w.Take();
}

std::optional<Message> Decode(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  const uint8_t tag = r.U8();
  if (!r.Ok() || tag < static_cast<uint8_t>(Tag::kJoin) || tag > static_cast<uint8_t>(Tag::kData))
    return std::nullopt;
  std::optional<Message> m = DecodeBody(static_cast<Tag>(tag), r);
  if (!m || !r.Done()) return std::nullopt;
  return m;
}

std::vector<uint8_t> EncodeQuery(const Query& query) {
  Writer w;
  PutMagic(w, kQueryMagic);
  w.Bytes(query.application);
  w.U32(query.nonce);
  return w.Take();
}

std::optional<Query> DecodeQuery(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kQueryMagic)) return std::nullopt;
  Query q;
  r.Into(q.application);
  q.nonce = r.U32();
  if (!r.Done()) return std::nullopt;
  return q;
}

std::vector<uint8_t> EncodeQueryReply(const QueryReply& reply) {
  Writer w;
  PutMagic(w, kReplyMagic);
  w.U32(reply.nonce);
  w.Session(reply.session);
  return w.Take();
}

std::optional<QueryReply> DecodeQueryReply(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kReplyMagic)) return std::nullopt;
  QueryReply q;
  q.nonce = r.U32();
  q.session = r.Session();
  if (!r.Done()) return std::nullopt;
  return q;
}

}  // namespace zv::platform::wire
