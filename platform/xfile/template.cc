#include "platform/xfile/template.h"

#include <algorithm>

#include "platform/paths/path_resolver.h"

namespace zv::platform {
namespace {

struct KeywordEntry {
  XPrimitive primitive;
  std::string_view keyword;
};

constexpr KeywordEntry kKeywords[] = {
    {XPrimitive::kWord, "WORD"},       {XPrimitive::kDword, "DWORD"},
    {XPrimitive::kFloat, "FLOAT"},     {XPrimitive::kDouble, "DOUBLE"},
    {XPrimitive::kChar, "CHAR"},       {XPrimitive::kUchar, "UCHAR"},
    {XPrimitive::kByte, "BYTE"},       {XPrimitive::kSword, "SWORD"},
    {XPrimitive::kSdword, "SDWORD"},   {XPrimitive::kString, "STRING"},
    {XPrimitive::kCString, "CSTRING"}, {XPrimitive::kUnicode, "UNICODE"},
};

constexpr uint64_t kMinValuesCap = uint64_t{1} << 32;

uint64_t CappedProduct(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  if (a > kMinValuesCap / b) return kMinValuesCap;
  return std::min(a * b, kMinValuesCap);
}

}  // namespace

bool IsStringPrimitive(XPrimitive p) {
  return p == XPrimitive::kString || p == XPrimitive::kCString || p == XPrimitive::kUnicode;
}

bool IsFloatPrimitive(XPrimitive p) { return p == XPrimitive::kFloat || p == XPrimitive::kDouble; }

bool IsIntegerPrimitive(XPrimitive p) {
  return p != XPrimitive::kNone && !IsStringPrimitive(p) && !IsFloatPrimitive(p);
}

std::string_view PrimitiveKeyword(XPrimitive p) {
  for (const auto& k : kKeywords)
    if (k.primitive == p) return k.keyword;
  return {};
}

XPrimitive PrimitiveFromKeyword(std::string_view word) {
  for (const auto& k : kKeywords)
    if (EqualNoCase(k.keyword, word)) return k.primitive;
  return XPrimitive::kNone;
}

bool IntegerFits(XPrimitive p, int64_t v) {
  switch (p) {
    case XPrimitive::kWord: return v >= 0 && v <= 0xFFFF;
    case XPrimitive::kDword: return v >= 0 && v <= 0xFFFFFFFFll;
    case XPrimitive::kChar: return v >= -128 && v <= 127;
    case XPrimitive::kUchar:
    case XPrimitive::kByte: return v >= 0 && v <= 255;
    case XPrimitive::kSword: return v >= -32768 && v <= 32767;
    case XPrimitive::kSdword: return v >= INT32_MIN && v <= INT32_MAX;
    default: return false;
  }
}

const std::string& XMember::TypeName() const {
  static const std::string kEmpty;
  return type ? type->name : kEmpty;
}

std::string XTemplate::Measure() {
  depth = 1;
  min_values = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    const XMember& m = members[i];
    for (size_t j = 0; j < i && !m.name.empty(); ++j)
      if (members[j].name == m.name) return "member " + m.name + " is declared twice";
    uint64_t element_min = 1;
    if (m.primitive == XPrimitive::kNone) {
      if (!m.type) return "member " + m.name + " has no type";
      depth = std::max(depth, m.type->depth + 1);
      element_min = m.type->min_values;
    }
    uint64_t count = 1;
    for (const XDimension& d : m.dimensions) {
      if (d.member < 0) {
        count = CappedProduct(count, d.fixed);
        continue;
      }
      if (static_cast<size_t>(d.member) >= i)
        return "array " + m.name + " is sized by a member that does not come before it";
      const XMember& sizer = members[d.member];
      if (sizer.is_array() || !IsIntegerPrimitive(sizer.primitive))
        return "array " + m.name + " is sized by " + sizer.name + ", which is not a single integer";
      count = 0;  // a variable dimension may be empty
    }
    min_values = std::min(min_values + CappedProduct(count, element_min), kMinValuesCap);
  }
  if (depth > kMaxTemplateDepth) return "template " + name + " nests too deeply";
  return {};
}

int XTemplate::FindMember(std::string_view member_name) const {
  for (size_t i = 0; i < members.size(); ++i)
    if (members[i].name == member_name) return static_cast<int>(i);
  for (size_t i = 0; i < members.size(); ++i)
    if (EqualNoCase(members[i].name, member_name)) return static_cast<int>(i);
  return -1;
}

namespace {
std::string GuidKey(const XGuid& guid) {
  auto bytes = guid.ToBytes();
  return std::string(bytes.begin(), bytes.end());
}
}  // namespace

void XTemplateRegistry::Add(std::shared_ptr<const XTemplate> t) {
  if (t->guid) by_guid_[GuidKey(*t->guid)] = t;
  by_name_[AsciiLower(t->name)] = std::move(t);
}

std::shared_ptr<const XTemplate> XTemplateRegistry::FindByName(std::string_view name) const {
  auto it = by_name_.find(AsciiLower(name));
  return it == by_name_.end() ? nullptr : it->second;
}

std::shared_ptr<const XTemplate> XTemplateRegistry::FindByGuid(const XGuid& guid) const {
  auto it = by_guid_.find(GuidKey(guid));
  return it == by_guid_.end() ? nullptr : it->second;
}

}  // namespace zv::platform
