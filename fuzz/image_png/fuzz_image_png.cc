// Decodes arbitrary bytes as a PNG file and draws what comes out.
#include "fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::FuzzImage(zv::codecs::ImageFileType::kPng, data, size);
  return 0;
}
