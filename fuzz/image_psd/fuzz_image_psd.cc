// Decodes arbitrary bytes as a PSD file and draws what comes out.
#include "fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::FuzzImage(zv::codecs::ImageFileType::kPsd, data, size);
  return 0;
}
