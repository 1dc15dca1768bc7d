#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zv::codecs {

// The whole file, or nothing when it cannot be opened or read, or is larger
// than `limit` bytes.
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path, size_t limit);

// Writes the bytes under a temporary name beside `path` and renames it into
// place, so an earlier file of that name survives a failed write. False
// when anything failed (the temporary is removed then).
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace zv::codecs
