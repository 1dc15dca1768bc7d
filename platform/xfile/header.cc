#include "platform/xfile/header.h"

#include <string_view>

namespace zv::platform {

XResult<XHeader> XHeader::Parse(std::span<const uint8_t> bytes) {
  if (bytes.size() < kXHeaderSize) return XError{0, "file too short for an X header"};
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), kXHeaderSize);
  if (text.substr(0, 4) != "xof ") return XError{0, "not an X file (no \"xof \" signature)"};
  XHeader header;
  std::string_view version = text.substr(4, 4);
  if (version == "0302")
    header.minor_version = 2;
  else if (version == "0303")
    header.minor_version = 3;
  else
    return XError{4, "unsupported X file version \"" + std::string(version) + "\""};
  std::string_view form = text.substr(8, 4);
  if (form == "txt ") {
    header.encoding = XEncoding::kText;
  } else if (form == "bin ") {
    header.encoding = XEncoding::kBinary;
  } else if (form == "tzip") {
    header.encoding = XEncoding::kText;
    header.compressed = true;
  } else if (form == "bzip") {
    header.encoding = XEncoding::kBinary;
    header.compressed = true;
  } else {
    return XError{8, "unknown X file form \"" + std::string(form) + "\""};
  }
  std::string_view float_size = text.substr(12, 4);
  if (float_size == "0032")
    header.float_bits = 32;
  else if (float_size == "0064")
    header.float_bits = 64;
  else
    return XError{12, "unsupported float size \"" + std::string(float_size) + "\""};
  return header;
}

std::string XHeader::ToString() const {
  std::string text = minor_version == 3 ? "xof 0303" : "xof 0302";
  if (compressed)
    text += encoding == XEncoding::kText ? "tzip" : "bzip";
  else
    text += encoding == XEncoding::kText ? "txt " : "bin ";
  text += float_bits == 64 ? "0064" : "0032";
  return text;
}

}  // namespace zv::platform
