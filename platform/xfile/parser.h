#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/xfile/document.h"
#include "platform/xfile/error.h"
#include "platform/xfile/header.h"
#include "platform/xfile/template.h"

namespace zv::platform {

// The deepest nesting of data objects the reader accepts.
inline constexpr int kMaxObjectDepth = 256;

// Parses an uncompressed X file (`file` starts with its header, which
// `header` describes): templates it declares join a copy of `templates`, and
// its data objects are checked against their templates as they are read.
// Objects of unknown templates are read past and left out. References are
// resolved at the end.
XResult<XDocument> ParseXBody(std::span<const uint8_t> file, const XHeader& header,
                              const XTemplateRegistry& templates);

// Where number `number` (counted from 0) of the data object that begins at
// `object_offset` is written in `file`, parsed as ParseXBody parses it; none
// when the file holds no such number. Parsing again is what an error costs,
// so that a file read whole keeps no place for each of its numbers.
std::optional<uint64_t> FindXNumber(std::span<const uint8_t> file, const XHeader& header,
                                    const XTemplateRegistry& templates, uint64_t object_offset, uint64_t number);

// Parses a text X file that declares templates, adding them to `registry`.
XResult<bool> ParseXTemplates(std::span<const uint8_t> file, XTemplateRegistry& registry);

}  // namespace zv::platform
