#pragma once

#include <cstddef>
#include <cstdint>

namespace zv::codecs {

// Rows of file pixels into 32-bit surfaces whose colour bytes stand in the
// files' own order (blue, green, red, then a fourth byte: 0x00RRGGBB): the
// bulk of the work of every picture loaded into a 32-bit display, so these
// use the processor's byte shuffles where it has them. The fourth byte of
// each output pixel is 0, as the general conversion leaves it.

// `count` blue, green, red triples.
void ExpandBgrRow(const uint8_t* in, uint8_t* out, int32_t count);

// `count` blue, green, red, x quads.
void CopyBgrxRow(const uint8_t* in, uint8_t* out, int32_t count);

// Separate planes of `count` bytes each into blue, green, red, fourth
// quads: the planar files (PCX, PSD) into 32-bit picture rows.
void InterleavePlanes(const uint8_t* blue, const uint8_t* green, const uint8_t* red, const uint8_t* fourth,
                      size_t count, uint8_t* out);

}  // namespace zv::codecs
