#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/xfile/error.h"

namespace zv::platform {

// Decompresses a compressed X file ("tzip" or "bzip"). After the 16-byte
// header stand the size of the whole decompressed file (header included) and
// then blocks: decompressed size (16 bits), compressed size (16 bits), and
// that many bytes: "CK" and a deflate stream whose preset dictionary is the
// previous block's output. Returns the decompressed file with a copy of the
// header in front, so that offsets match those of the uncompressed form.
// Refuses files that claim more than `max_size` decompressed bytes; errors in
// the blocks carry offsets into the compressed file.
XResult<std::vector<uint8_t>> InflateXFile(std::span<const uint8_t> file, uint64_t max_size);

}  // namespace zv::platform
