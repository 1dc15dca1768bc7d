#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/xfile/error.h"

namespace zv::platform {

inline constexpr size_t kXHeaderSize = 16;

enum class XEncoding { kText, kBinary };

// The 16-byte line that starts every X file: "xof ", the version ("0302" or
// "0303"), the form ("txt ", "bin ", "tzip", "bzip") and the float size
// ("0032" or "0064").
struct XHeader {
  int minor_version = 2;  // the major version is always 3
  XEncoding encoding = XEncoding::kText;
  bool compressed = false;
  int float_bits = 32;

  static XResult<XHeader> Parse(std::span<const uint8_t> bytes);
  std::string ToString() const;
};

}  // namespace zv::platform
