#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"

namespace zv::platform {

// Hands out a data object's stored values in template order for the writers,
// checking each against the type its member declares, so that an object built
// in memory with too few, too many or unfitting values is refused instead of
// written as a damaged file.
class XStoredValues {
 public:
  explicit XStoredValues(const XDataObject& object) : object_(object) {}

  int64_t Integer(XPrimitive type) {
    double value = NextNumber();
    if (value != std::floor(value) || !(value >= -2147483648.0 && value <= 4294967295.0) ||
        !IntegerFits(type, static_cast<int64_t>(value)))
      Fail("value " + std::to_string(value) + " does not fit a " +
           std::string(PrimitiveKeyword(type)));
    return static_cast<int64_t>(value);
  }
  double Float() { return NextNumber(); }
  const std::string& String() {
    if (next_string_ >= object_.strings().size()) Fail("holds fewer strings than its template");
    return object_.strings()[next_string_++];
  }

  uint64_t ValuesTaken() const { return next_number_ + next_string_; }
  uint64_t Budget() const {
    return object_.numbers().size() - next_number_ + object_.strings().size() - next_string_;
  }
  void Reserve(uint64_t) {}
  // Fails when values are left that no member took.
  void Finish() {
    if (Budget() != 0) Fail("holds more values than its template");
  }

  [[noreturn]] void Fail(const std::string& problem) const {
    std::string who = object_.type().name + (object_.name().empty() ? "" : " " + object_.name());
    ThrowXError(object_.offset(), who + ": " + problem);
  }

 private:
  double NextNumber() {
    if (next_number_ >= object_.numbers().size()) Fail("holds fewer numbers than its template");
    return object_.numbers()[next_number_++];
  }

  const XDataObject& object_;
  size_t next_number_ = 0;
  size_t next_string_ = 0;
};

}  // namespace zv::platform
