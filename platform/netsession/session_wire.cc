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
  kMachineJoined,
  kMachineLeft,
  kRejoin,
  kDelivered,
  kStable,
  kReturn,
  kLeave,
};

constexpr uint8_t kQueryMagic[4] = {'Z', 'V', 'N', 'Q'};
constexpr uint8_t kReplyMagic[4] = {'Z', 'V', 'N', 'S'};
constexpr uint8_t kHintMagic[4] = {'Z', 'V', 'N', 'H'};
constexpr uint8_t kGoodbyeMagic[4] = {'Z', 'V', 'N', 'B'};
constexpr uint8_t kCookieRequestMagic[4] = {'Z', 'V', 'N', 'C'};
constexpr uint8_t kCookieReplyMagic[4] = {'Z', 'V', 'N', 'K'};
// 6: a leave proves its sender. 7: connections carry cookies, goodbyes what
// came before them, and survivors pass on what a machine gone left them.
// 8: a machine joins together with its first player.
constexpr uint8_t kVersion = 8;

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
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v & 0xFF));
    U8(static_cast<uint8_t>(v >> 8));
  }
  // A list: its count in 16 bits, then at most that many items.
  template <class T, class WriteItem>
  void List(const std::vector<T>& items, WriteItem write) {
    const size_t count = std::min<size_t>(items.size(), 0xFFFF);
    U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) write(items[i]);
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Address(const MachineAddress& a) {
    U32(a.host);
    U16(a.port);
  }
  void Machine(const wire::Machine& m) {
    U32(m.id);
    Address(m.address);
    Bytes(m.proof);
  }
  void Marks(const std::vector<Mark>& marks) {
    List(marks, [&](const Mark& m) {
      U32(m.origin);
      U32(m.sequence);
    });
  }
  // A player's message; `sized`: its payload's length first, where more
  // follows it.
  void Data(const wire::Data& m, bool sized) {
    U32(m.origin);
    U32(m.sequence);
    U32(m.prior);
    U32(m.from);
    U32(m.to);
    if (sized) U32(static_cast<uint32_t>(m.payload.size()));
    Bytes(m.payload);
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
  uint16_t U16() {
    if (!Have(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  // A list of items at least `min_bytes` long each: a count that the bytes
  // left cannot hold marks the message bad before anything is reserved.
  template <class T, class ReadItem>
  std::vector<T> List(size_t min_bytes, ReadItem read) {
    const size_t count = U16();
    std::vector<T> items;
    if (!ok_ || count > Remaining() / min_bytes) {
      ok_ = false;
      return items;
    }
    items.reserve(count);
    for (size_t i = 0; i < count && ok_; ++i) items.push_back(read());
    return items;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | uint64_t{U32()} << 32;
  }
  MachineAddress Address() {
    MachineAddress a;
    a.host = U32();
    a.port = U16();
    return a;
  }
  wire::Machine Machine() {
    wire::Machine m;
    m.id = U32();
    m.address = Address();
    Into(m.proof);
    return m;
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
  // The next `n` bytes; none, and the message bad, when fewer are left.
  std::vector<uint8_t> Take(size_t n) {
    if (!Have(n)) return {};
    std::vector<uint8_t> out(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                             bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    return out;
  }
  size_t Remaining() const { return bytes_.size() - pos_; }
  void Fail() { ok_ = false; }
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

// The smallest encoded items of the lists: a player (its id and an empty
// name), one with its owner too, and a machine (number and address).
constexpr size_t kMinPlayerBytes = 5;
constexpr size_t kMinOwnedPlayerBytes = 9;
constexpr size_t kMachineBytes = 42;
constexpr size_t kMarkBytes = 8;
constexpr size_t kDataHeadBytes = 20;

std::vector<Mark> ReadMarks(Reader& r) {
  return r.List<Mark>(kMarkBytes, [&] {
    Mark m;
    m.origin = r.U32();
    m.sequence = r.U32();
    return m;
  });
}

// A player's message; `sized`: with its payload's length, else the rest.
Data ReadData(Reader& r, bool sized) {
  Data m;
  m.origin = r.U32();
  m.sequence = r.U32();
  m.prior = r.U32();
  m.from = r.U32();
  m.to = r.U32();
  const size_t length = sized ? r.U32() : r.Remaining();
  if (length > kMaxMessageBytes || length > r.Remaining()) {
    r.Fail();
    return m;
  }
  m.payload = r.Take(length);
  return m;
}

struct EncodeVisitor {
  Writer& w;
  void operator()(const Join& m) {
    w.U8(static_cast<uint8_t>(Tag::kJoin));
    w.Bytes(m.application);
    w.Bytes(m.instance);
    w.Bytes(m.proof);
    w.Name(m.player);
  }
  void operator()(const Welcome& m) {
    w.U8(static_cast<uint8_t>(Tag::kWelcome));
    w.Session(m.session);
    w.U32(m.member);
    w.U32(m.host);
    w.List(m.machines, [&](const Machine& machine) { w.Machine(machine); });
    w.List(m.players, [&](const OwnedPlayer& p) {
      w.U32(p.id);
      w.U32(p.owner);
      w.Name(p.name);
    });
    w.Marks(m.marks);
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
    w.U32(m.owner);
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
    w.Data(m, false);
  }
  void operator()(const MachineJoined& m) {
    w.U8(static_cast<uint8_t>(Tag::kMachineJoined));
    w.Machine(m.machine);
  }
  void operator()(const MachineLeft& m) {
    w.U8(static_cast<uint8_t>(Tag::kMachineLeft));
    w.U32(m.id);
  }
  void operator()(const Rejoin& m) {
    w.U8(static_cast<uint8_t>(Tag::kRejoin));
    w.Bytes(m.application);
    w.Bytes(m.instance);
    w.U32(m.member);
    w.Bytes(m.secret);
    w.Marks(m.marks);
    w.List(m.players, [&](const PlayerInfo& p) {
      w.U32(p.id);
      w.Name(p.name);
    });
    w.List(m.copies, [&](const Data& d) { w.Data(d, true); });
  }
  void operator()(const Delivered& m) {
    w.U8(static_cast<uint8_t>(Tag::kDelivered));
    w.Marks(m.marks);
  }
  void operator()(const Stable& m) {
    w.U8(static_cast<uint8_t>(Tag::kStable));
    w.Marks(m.marks);
  }
  void operator()(const Return& m) {
    w.U8(static_cast<uint8_t>(Tag::kReturn));
    w.U32(m.host);
    w.Address(m.address);
  }
  void operator()(const Leave& m) {
    w.U8(static_cast<uint8_t>(Tag::kLeave));
    w.Bytes(m.secret);
  }
};

std::optional<Message> DecodeBody(Tag tag, Reader& r) {
  switch (tag) {
    case Tag::kJoin: {
      Join m;
      r.Into(m.application);
      r.Into(m.instance);
      r.Into(m.proof);
      m.player = r.Name();
      return m;
    }
    case Tag::kWelcome: {
      Welcome m;
      m.session = r.Session();
      m.member = r.U32();
      m.host = r.U32();
      m.machines = r.List<Machine>(kMachineBytes, [&] { return r.Machine(); });
      m.players = r.List<OwnedPlayer>(kMinOwnedPlayerBytes, [&] {
        OwnedPlayer p;
        p.id = r.U32();
        p.owner = r.U32();
        p.name = r.Name();
        return p;
      });
      m.marks = ReadMarks(r);
      return m;
    }
    case Tag::kRefused: {
      const uint8_t reason = r.U8();
      if (reason < static_cast<uint8_t>(Refusal::kFull) || reason > static_cast<uint8_t>(Refusal::kHostLeft))
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
      m.owner = r.U32();
      m.name = r.Name();
      return m;
    }
    case Tag::kPlayerRefused:
      return PlayerRefused{r.U32()};
    case Tag::kDestroyPlayer:
      return DestroyPlayer{r.U32()};
    case Tag::kPlayerDestroyed:
      return PlayerDestroyed{r.U32()};
    case Tag::kData:
      return ReadData(r, false);
    case Tag::kMachineJoined:
      return MachineJoined{r.Machine()};
    case Tag::kMachineLeft:
      return MachineLeft{r.U32()};
    case Tag::kRejoin: {
      Rejoin m;
      r.Into(m.application);
      r.Into(m.instance);
      m.member = r.U32();
      r.Into(m.secret);
      m.marks = ReadMarks(r);
      m.players = r.List<PlayerInfo>(kMinPlayerBytes, [&] {
        PlayerInfo p;
        p.id = r.U32();
        p.name = r.Name();
        return p;
      });
      m.copies = r.List<Data>(kDataHeadBytes + 4, [&] { return ReadData(r, true); });
      return m;
    }
    case Tag::kDelivered:
      return Delivered{ReadMarks(r)};
    case Tag::kStable:
      return Stable{ReadMarks(r)};
    case Tag::kReturn: {
      Return m;
      m.host = r.U32();
      m.address = r.Address();
      return m;
    }
    case Tag::kLeave: {
      Leave m;
      r.Into(m.secret);
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
  if (!r.Ok() || tag < static_cast<uint8_t>(Tag::kJoin) || tag > static_cast<uint8_t>(Tag::kLeave))
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
  w.U32(reply.host);
  w.Session(reply.session);
  return w.Take();
}

std::optional<QueryReply> DecodeQueryReply(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kReplyMagic)) return std::nullopt;
  QueryReply q;
  q.nonce = r.U32();
  q.host = r.U32();
  q.session = r.Session();
  if (!r.Done()) return std::nullopt;
  return q;
}

std::vector<uint8_t> EncodeHint(const Hint& hint) {
  Writer w;
  PutMagic(w, kHintMagic);
  w.Bytes(hint.instance);
  w.U32(hint.host);
  return w.Take();
}

std::optional<Hint> DecodeHint(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kHintMagic)) return std::nullopt;
  Hint h;
  r.Into(h.instance);
  h.host = r.U32();
  if (!r.Done()) return std::nullopt;
  return h;
}

std::vector<uint8_t> EncodeGoodbye(const Goodbye& goodbye) {
  Writer w;
  PutMagic(w, kGoodbyeMagic);
  w.Bytes(goodbye.instance);
  w.U32(goodbye.machine);
  w.Bytes(goodbye.secret);
  w.Marks(goodbye.marks);
  return w.Take();
}

std::optional<Goodbye> DecodeGoodbye(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kGoodbyeMagic)) return std::nullopt;
  Goodbye g;
  r.Into(g.instance);
  g.machine = r.U32();
  r.Into(g.secret);
  g.marks = ReadMarks(r);
  if (!r.Done()) return std::nullopt;
  return g;
}

std::vector<uint8_t> EncodeCookieRequest(const CookieRequest& request) {
  Writer w;
  PutMagic(w, kCookieRequestMagic);
  w.Bytes(request.instance);
  w.U32(request.nonce);
  return w.Take();
}

std::optional<CookieRequest> DecodeCookieRequest(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kCookieRequestMagic)) return std::nullopt;
  CookieRequest q;
  r.Into(q.instance);
  q.nonce = r.U32();
  if (!r.Done()) return std::nullopt;
  return q;
}

std::vector<uint8_t> EncodeCookieReply(const CookieReply& reply) {
  Writer w;
  PutMagic(w, kCookieReplyMagic);
  w.U32(reply.nonce);
  w.U32(reply.cookie);
  return w.Take();
}

std::optional<CookieReply> DecodeCookieReply(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  if (!HasMagic(r, kCookieReplyMagic)) return std::nullopt;
  CookieReply q;
  q.nonce = r.U32();
  q.cookie = r.U32();
  if (!r.Done()) return std::nullopt;
  return q;
}

}  // namespace zv::platform::wire
