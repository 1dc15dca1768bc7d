// Feeds arbitrary bytes through the 3DS reader and its conversion to X text,
// then loads that text as the engine would (X reader, scene-node tree) and
// walks the tree. Whatever the bytes, the text starts with the X header, and
// the search for where a file is cut short says where within the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/model_fuzz.h"
#include "models/files/three_ds_faults.h"
#include "models/files/three_ds_to_x.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = zv::models::ConvertThreeDsToXText({data, size});
  if (!text.starts_with("xof 0302txt 0064\n")) std::abort();
  zv::fuzz::FuzzXModel({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  if (const auto cut = zv::models::FindThreeDsCut({data, size})) {
    const size_t at = std::strtoull(cut->c_str() + 5, nullptr, 10);  // "byte N: ..."
    if (!cut->starts_with("byte ") || at > size) std::abort();
  }
  return 0;
}
