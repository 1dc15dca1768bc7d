#pragma once

#include <string>

#include "display/image_files.h"
#include "runtime/vm/vm.h"

namespace zv {

// Runtime errors of the image commands.
namespace image_error {
constexpr int32_t kNumber = 501;     // outside 1..65535
constexpr int32_t kMissing = 502;    // no such image
constexpr int32_t kNoFile = 105;     // the file to load does not exist
constexpr int32_t kFileExists = 106; // the file to save to exists
constexpr int32_t kLoadFailed = 1003;  // a warning: the file would not load
constexpr int32_t kSaveFailed = 8212;  // a warning: the file could not be written
}  // namespace image_error

// Every image file the display reads or writes, in the format that the
// name's last three letters ask for (BMP, RLE, DIB, JPG, PNG, TGA, DDS, PCX,
// PSD, TIF). A DDS or JPEG load leaves how far it got in the Vm's internal
// code for the error report.
class ImageFileIo final : public ImageFiles {
 public:
  explicit ImageFileIo(Vm& vm) : vm_(vm) {}
  platform::SurfacePtr Load(const std::string& path, const SurfaceMaker& make, std::string* why = nullptr) override;
  // True when written, and for the formats that are only read (nothing is
  // written for them); false when the write failed, leaving an earlier
  // file of that name as it was, and errno then says why.
  bool Save(const platform::Surface& surface, const std::string& path, std::string* why = nullptr) override;

 private:
  Vm& vm_;
};

// The image commands: grab, load (with or without a texture), save, delete
// and the exists function.
void RegisterImageHandlers(HandlerTable& table);

namespace image_opcode {
constexpr int kGetImage = 219;
constexpr int kLoadImage = 220;
constexpr int kSaveImage = 221;
constexpr int kLoadImageTextured = 229;
constexpr int kGetImageTextured = 230;
constexpr int kDeleteImage = 406;
constexpr int kImageExists = 425;
}  // namespace image_opcode

}  // namespace zv
