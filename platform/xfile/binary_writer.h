#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xfile/document.h"

namespace zv::platform {

// Writes the binary form: member values as integer and float lists (floats of
// `float_bits`), strings as string tokens closed by ';'. Throws
// XFileException for objects whose values do not match their template.
class XBinaryWriter {
 public:
  explicit XBinaryWriter(int float_bits) : float_bits_(float_bits) {}

  void WriteTemplate(const XTemplate& t);
  void WriteObject(const XDataObject& object);
  std::string& bytes() { return out_; }

 private:
  class ValueWriter;

  void Token(uint16_t id);
  void U32(uint32_t value);
  void Name(std::string_view name);
  void Guid(const XGuid& guid);
  void WriteReference(const XReference& reference);

  int float_bits_;
  std::string out_;
};

}  // namespace zv::platform
