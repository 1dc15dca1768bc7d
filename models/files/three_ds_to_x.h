#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zv::models {

// The X text file that a 3DS file becomes: its materials, one frame per
// object (nested as the keyframer's hierarchy says, each with its local
// transform and its mesh) and the keyframer's tracks as one animation set.
// Lines end in a bare line feed. A file without a 3DS main chunk gives the
// header alone.
std::string ConvertThreeDsToXText(std::span<const uint8_t> file);

// Converts the 3DS file at `source` into the X text file `target` (paths of
// this machine): 0 once the target holds the X text; kThreeDsNotOpened when
// the source cannot be read; kThreeDsDamaged, writing nothing, when the
// source does not start with a 3DS main chunk or ends before the main chunk
// does; kThreeDsBadFace, writing nothing, when a face refers to a vertex
// its mesh lacks; kThreeDsNotWritten when the target cannot be written.
// The target is replaced only once the new file is complete, so a failed
// write leaves an earlier file as it was. After a failure other than
// kThreeDsNotOpened, `why` (when given) says what is wrong and where
// ("byte 78: the file ends inside ...") or why the target was not written;
// after a conversion, what was converted all the same (texture coordinates
// that do not fit their mesh), or nothing.
inline constexpr int32_t kThreeDsNotOpened = -4;
inline constexpr int32_t kThreeDsDamaged = -3;
inline constexpr int32_t kThreeDsNotWritten = -5;
inline constexpr int32_t kThreeDsBadFace = -6;
int32_t Convert3dsToX(const std::string& source, const std::string& target, std::string* why = nullptr);

// Letters and digits stay, anything else becomes '_': how frame, mesh and
// material names are written.
std::string SanitizeXName(std::string_view name);

}  // namespace zv::models
