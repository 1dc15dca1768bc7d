#pragma once

#include <cstdint>
#include <string>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"
#include "platform/xfile/header.h"

namespace zv::platform {

struct XWriteOptions {
  XEncoding encoding = XEncoding::kText;
  int minor_version = 2;  // "xof 0302..."; 3 for "0303"
  int float_bits = 32;    // FLOAT members as 32- or 64-bit floats
  // Declares the document's own templates (those read from its file) before
  // its objects. Objects of standard templates need no declarations.
  bool write_templates = false;
};

// The bytes of an X file holding the document's top-level objects in order,
// after the header line ("xof 0302txt 0032" and a line feed in text form).
// Fails, writing nothing, when an object's values do not match its template or
// a name or string cannot be carried by the chosen form.
XResult<std::string> WriteXData(const XDocument& document, const XWriteOptions& options = {});

// Writes WriteXData's bytes to a temporary file beside `path` and renames it
// over `path`, so a failed save leaves the previous file as it was. Returns
// the number of bytes written.
XResult<uint64_t> SaveXFile(const std::string& path, const XDocument& document,
                            const XWriteOptions& options = {});

}  // namespace zv::platform
