#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "platform/xfile/template.h"

namespace zv::platform {

// Walks the primitive values of one instance of a template in file order, for
// the reader (values come from a lexer), the writers (values go out) and the
// checks of built objects. Array sizes come from the integer members already
// walked. The visitor supplies:
//   int64_t Integer(XPrimitive)   the next integer (taken or given)
//   void Float(XPrimitive), void String(XPrimitive)
//   void ElementSeparator(const XMember&, int level)   between array elements
//   void EndMember(const XMember&, int level)          after every member
//   uint64_t ValuesTaken()        values visited so far
//   uint64_t Budget()             an upper bound on the values still available
//   void Reserve(uint64_t)        a hint: that many values are coming
//   [[noreturn]] void Fail(std::string)
template <class Visitor>
class XValueWalker {
 public:
  explicit XValueWalker(Visitor& visitor) : v_(visitor) {}

  void Walk(const XTemplate& t, int level = 0) {
    // Values of this instance's single integer members, for array sizes;
    // kept on the stack for the usual small templates.
    int64_t small[16];
    std::vector<int64_t> large;
    int64_t* sizes = small;
    if (t.members.size() > std::size(small)) {
      large.resize(t.members.size());
      sizes = large.data();
    }
    std::fill(sizes, sizes + t.members.size(), -1);
    for (size_t i = 0; i < t.members.size(); ++i) {
      const XMember& m = t.members[i];
      if (!m.is_array()) {
        sizes[i] = WalkElement(m, level);
      } else {
        WalkArray(m, ElementCount(m, i, sizes), level);
      }
      v_.EndMember(m, level);
    }
  }

 private:
  uint64_t ElementCount(const XMember& m, size_t m_index, const int64_t* sizes) {
    uint64_t count = 1;
    for (const XDimension& d : m.dimensions) {
      uint64_t size = d.fixed;
      if (d.member >= 0) {
        // Measure() only lets earlier single integers size arrays; -1 marks
        // anything else in templates that skipped it.
        int64_t value = static_cast<size_t>(d.member) < m_index ? sizes[d.member] : -1;
        if (value < 0)
          v_.Fail("array " + m.name + " has the negative size " + std::to_string(value));
        size = static_cast<uint64_t>(value);
      }
      if (size != 0 && count > UINT64_MAX / size)
        v_.Fail("array " + m.name + " is too large");
      count *= size;
    }
    return count;
  }

  void WalkArray(const XMember& m, uint64_t count, int level) {
    const uint64_t element_min = m.primitive == XPrimitive::kNone ? m.type->min_values : 1;
    if (element_min > 0) {
      if (count > v_.Budget())
        v_.Fail("array " + m.name + " claims " + std::to_string(count) +
                " elements, more than the data holds");
      v_.Reserve(count * element_min);
    }
    for (uint64_t e = 0; e < count; ++e) {
      if (e > 0) v_.ElementSeparator(m, level);
      const uint64_t before = v_.ValuesTaken();
      WalkElement(m, level);
      // An element without values has no member that holds one, so every
      // further element is empty as well.
      if (v_.ValuesTaken() == before) break;
    }
  }

  // Returns the value of an integer element (0 for other kinds).
  int64_t WalkElement(const XMember& m, int level) {
    if (m.primitive == XPrimitive::kNone) {
      if (!m.type) v_.Fail("member " + m.name + " has no type");
      Walk(*m.type, level + 1);
      return 0;
    }
    if (IsIntegerPrimitive(m.primitive)) return v_.Integer(m.primitive);
    if (IsFloatPrimitive(m.primitive))
      v_.Float(m.primitive);
    else
      v_.String(m.primitive);
    return 0;
  }

  Visitor& v_;
};

}  // namespace zv::platform
