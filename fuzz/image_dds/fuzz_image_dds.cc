// Decodes arbitrary bytes as a DDS file and draws what comes out.
#include "fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::FuzzImage(zv::codecs::ImageFileType::kDds, data, size);
  return 0;
}
