#include "platform/xfile/binary_writer.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/xfile/single_float.h"
#include "platform/xfile/stored_values.h"
#include "platform/xfile/token.h"
#include "platform/xfile/value_walker.h"

namespace zv::platform {
namespace {

uint16_t TypeToken(XPrimitive p) {
  switch (p) {
    case XPrimitive::kWord: return xbin::kWord;
    case XPrimitive::kDword: return xbin::kDword;
    case XPrimitive::kFloat: return xbin::kFloat;
    case XPrimitive::kDouble: return xbin::kDouble;
    case XPrimitive::kChar: return xbin::kChar;
    case XPrimitive::kUchar:
    case XPrimitive::kByte: return xbin::kUchar;  // the binary form has no BYTE token
    case XPrimitive::kSword: return xbin::kSword;
    case XPrimitive::kSdword: return xbin::kSdword;
    case XPrimitive::kString: return xbin::kLpstr;
    case XPrimitive::kCString: return xbin::kCstring;
    case XPrimitive::kUnicode: return xbin::kUnicode;
    case XPrimitive::kNone: break;
  }
  return xbin::kVoid;
}

}  // namespace

// Gathers runs of integers and of floats into lists.
class XBinaryWriter::ValueWriter {
 public:
  ValueWriter(XBinaryWriter& writer, const XDataObject& object)
      : writer_(writer), values_(object) {}

  int64_t Integer(XPrimitive type) {
    int64_t value = values_.Integer(type);
    if (float_run_) Flush();
    integers_.push_back(static_cast<uint32_t>(value));
    return value;
  }
  void Float(XPrimitive) {
    double value = values_.Float();
    if (!integers_.empty()) Flush();
    float_run_ = true;
    floats_.push_back(value);
  }
  void String(XPrimitive) {
    const std::string& value = values_.String();
    Flush();
    writer_.Token(xbin::kString);
    writer_.U32(static_cast<uint32_t>(value.size()));
    writer_.out_ += value;
    writer_.Token(xbin::kSemicolon);
  }
  void ElementSeparator(const XMember&, int) {}
  void EndMember(const XMember&, int) {}
  uint64_t ValuesTaken() const { return values_.ValuesTaken(); }
  uint64_t Budget() const { return values_.Budget(); }
  void Reserve(uint64_t) {}
  [[noreturn]] void Fail(const std::string& problem) { values_.Fail(problem); }
  void Finish() {
    values_.Finish();
    Flush();
  }

 private:
  void Flush() {
    std::string& out = writer_.out_;
    if (!integers_.empty()) {
      writer_.Token(xbin::kIntegerList);
      writer_.U32(static_cast<uint32_t>(integers_.size()));
      for (uint32_t v : integers_) writer_.U32(v);
      integers_.clear();
    }
    if (float_run_) {
      writer_.Token(xbin::kFloatList);
      writer_.U32(static_cast<uint32_t>(floats_.size()));
      for (double v : floats_) {
        char bytes[8];
        if (std::isnan(v)) v = 0.0;  // the reader takes NaN as 0 anyway
        if (writer_.float_bits_ == 32) {
          float f = ToSingle(v);
          std::memcpy(bytes, &f, 4);
          out.append(bytes, 4);
        } else {
          std::memcpy(bytes, &v, 8);
          out.append(bytes, 8);
        }
      }
      floats_.clear();
      float_run_ = false;
    }
  }

  XBinaryWriter& writer_;
  XStoredValues values_;
  std::vector<uint32_t> integers_;
  std::vector<double> floats_;
  bool float_run_ = false;
};

void XBinaryWriter::Token(uint16_t id) {
  out_ += static_cast<char>(id & 0xFF);
  out_ += static_cast<char>(id >> 8);
}

void XBinaryWriter::U32(uint32_t value) {
  for (int i = 0; i < 4; ++i) out_ += static_cast<char>(value >> (8 * i));
}

void XBinaryWriter::Name(std::string_view name) {
  Token(xbin::kName);
  U32(static_cast<uint32_t>(name.size()));
  out_ += name;
}

void XBinaryWriter::Guid(const XGuid& guid) {
  Token(xbin::kGuid);
  auto bytes = guid.ToBytes();
  out_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void XBinaryWriter::WriteTemplate(const XTemplate& t) {
  Token(xbin::kTemplate);
  Name(t.name);
  Token(xbin::kOpenBrace);
  if (t.guid) Guid(*t.guid);
  for (const XMember& m : t.members) {
    if (m.is_array()) Token(xbin::kArray);
    if (m.primitive == XPrimitive::kNone)
      Name(m.TypeName());
    else
      Token(TypeToken(m.primitive));
    if (!m.name.empty()) Name(m.name);
    for (const XDimension& d : m.dimensions) {
      Token(xbin::kOpenBracket);
      if (d.member >= 0) {
        Name(t.members[d.member].name);
      } else {
        Token(xbin::kInteger);
        U32(d.fixed);
      }
      Token(xbin::kCloseBracket);
    }
    Token(xbin::kSemicolon);
  }
  if (t.restriction == XRestriction::kOpen) {
    Token(xbin::kOpenBracket);
    for (int i = 0; i < 3; ++i) Token(xbin::kDot);
    Token(xbin::kCloseBracket);
  } else if (t.restriction == XRestriction::kRestricted) {
    Token(xbin::kOpenBracket);
    for (size_t i = 0; i < t.allowed.size(); ++i) {
      if (i > 0) Token(xbin::kComma);
      Name(t.allowed[i].name);
      if (t.allowed[i].guid) Guid(*t.allowed[i].guid);
    }
    Token(xbin::kCloseBracket);
  }
  Token(xbin::kCloseBrace);
}

void XBinaryWriter::WriteObject(const XDataObject& object) {
  Name(object.type().name);
  if (!object.name().empty()) Name(object.name());
  Token(xbin::kOpenBrace);
  if (object.guid()) Guid(*object.guid());
  ValueWriter values(*this, object);
  XValueWalker<ValueWriter>(values).Walk(object.type());
  values.Finish();
  for (const XChild& child : object.children()) {
    if (child.object())
      WriteObject(*child.object());
    else
      WriteReference(*child.reference());
  }
  Token(xbin::kCloseBrace);
}

void XBinaryWriter::WriteReference(const XReference& reference) {
  if (reference.name.empty() && !reference.guid)
    ThrowXError(reference.offset, "reference names no object");
  Token(xbin::kOpenBrace);
  if (!reference.name.empty()) Name(reference.name);
  if (reference.guid) Guid(*reference.guid);
  Token(xbin::kCloseBrace);
}

}  // namespace zv::platform
