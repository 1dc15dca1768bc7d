// Feeds arbitrary bytes through the X model reader into a scene-node tree,
// then walks the tree the way the engine does and destroys it.
#include <cstddef>
#include <cstdint>

#include "fuzz/model_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::FuzzXModel({data, size});
  return 0;
}
