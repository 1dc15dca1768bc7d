#pragma once

#include <cstdint>
#include <string>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"
#include "platform/xfile/single_float.h"

namespace zv::platform {

// Reads an object's flattened numbers in order for the typed views. Running
// out of numbers, or a value that does not fit, throws XFileException at the
// object's offset; the views turn it into an XError.
class XNumberCursor {
 public:
  explicit XNumberCursor(const XDataObject& object) : object_(object) {}

  size_t remaining() const { return object_.numbers().size() - next_; }

  double Number() {
    if (next_ >= object_.numbers().size()) Fail("holds fewer values than its template");
    return object_.numbers()[next_++];
  }
  uint32_t U32() {
    double value = Number();
    if (!(value >= 0 && value <= 4294967295.0)) Fail("holds a count or index that is not a DWORD");
    return static_cast<uint32_t>(value);
  }
  float F32() { return ToSingle(Number()); }

  // Fails on the number read last (on the object where none was read).
  [[noreturn]] void Fail(const std::string& problem) const {
    XError error{object_.offset(), object_.type().name + " object " + problem};
    if (next_ > 0) error.number = next_ - 1;
    throw XFileException(std::move(error));
  }

 private:
  const XDataObject& object_;
  size_t next_ = 0;
};

// Views accept objects whose template has the standard layout of `kind`
// (files may declare the standard templates again, even under other
// spellings); anything else throws.
void RequireStandardLayout(const XDataObject& object, XTemplateKind kind);

// Runs `read` and turns what it throws into an XError.
template <class T, class F>
XResult<T> ReadView(F&& read) {
  try {
    return read();
  } catch (const XFileException& e) {
    return e.error();
  }
}

}  // namespace zv::platform
