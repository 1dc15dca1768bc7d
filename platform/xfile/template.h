#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xfile/guid.h"

namespace zv::platform {

// The primitive member types of X templates. kNone marks a member whose type
// is another template.
enum class XPrimitive : uint8_t {
  kNone,
  kWord,
  kDword,
  kFloat,
  kDouble,
  kChar,
  kUchar,
  kByte,
  kSword,
  kSdword,
  kString,
  kCString,
  kUnicode,
};

bool IsStringPrimitive(XPrimitive p);
bool IsFloatPrimitive(XPrimitive p);
bool IsIntegerPrimitive(XPrimitive p);
// The keyword that names `p` in text ("DWORD", "STRING", ...).
std::string_view PrimitiveKeyword(XPrimitive p);
// The primitive named by a text keyword (any letter case), or kNone.
XPrimitive PrimitiveFromKeyword(std::string_view word);
// Whether `value` fits the integer primitive `p`.
bool IntegerFits(XPrimitive p, int64_t value);

struct XTemplate;

// One array dimension: a fixed size, or the value of an earlier integer member
// of the same template.
struct XDimension {
  uint32_t fixed = 0;
  int member = -1;  // index into XTemplate::members, or -1 for a fixed size
};

struct XMember {
  std::string name;
  XPrimitive primitive = XPrimitive::kNone;
  std::shared_ptr<const XTemplate> type;  // set when primitive is kNone
  std::vector<XDimension> dimensions;     // empty for a single value

  bool is_array() const { return !dimensions.empty(); }
  const std::string& TypeName() const;
};

// Which child objects a template's data objects may hold.
enum class XRestriction { kClosed, kOpen, kRestricted };

struct XAllowedChild {
  std::string name;
  std::optional<XGuid> guid;
};

struct XTemplate {
  std::string name;
  std::optional<XGuid> guid;
  std::vector<XMember> members;
  XRestriction restriction = XRestriction::kClosed;
  std::vector<XAllowedChild> allowed;

  // Filled by Measure(): how deeply member types nest, and the fewest
  // primitive values one instance can hold (capped at 2^32).
  int depth = 1;
  uint64_t min_values = 0;

  // Checks the members (names are unique; dimension references name an
  // earlier integer member that is not an array; nesting stays shallow) and
  // fills depth and min_values. Returns an error message, or an empty string.
  std::string Measure();
  // Index of the member called `name` (exact spelling first, then without
  // regard to case), or -1.
  int FindMember(std::string_view member_name) const;
};

// Templates by name (without regard to case) and by identity. Later additions
// under a name already present replace the earlier one for lookups by name.
class XTemplateRegistry {
 public:
  void Add(std::shared_ptr<const XTemplate> t);
  std::shared_ptr<const XTemplate> FindByName(std::string_view name) const;
  std::shared_ptr<const XTemplate> FindByGuid(const XGuid& guid) const;

 private:
  std::unordered_map<std::string, std::shared_ptr<const XTemplate>> by_name_;
  std::unordered_map<std::string, std::shared_ptr<const XTemplate>> by_guid_;  // key: 16 bytes
};

// The largest nesting of template-typed members the reader accepts.
inline constexpr int kMaxTemplateDepth = 32;

}  // namespace zv::platform
