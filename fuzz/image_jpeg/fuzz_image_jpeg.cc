// Decodes arbitrary bytes as a JPEG file and draws what comes out.
#include "fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::FuzzImage(zv::codecs::ImageFileType::kJpeg, data, size);
  return 0;
}
