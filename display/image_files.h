#pragma once

#include <string>

#include "display/bitmaps.h"
#include "platform/surface/surface.h"

namespace zv {

// The image file loader and writer that bitmaps and images go through; the
// format follows the last three letters of the name. The image codecs fill
// it; until then DefaultImageFiles writes PNG files only and loads nothing.
class ImageFiles {
 public:
  virtual ~ImageFiles() = default;

  // A new surface (made by `make`) holding the picture of the file at
  // `path`, or null when it cannot be loaded; then `why`, when given,
  // receives the reason where it is known beside the file's being unreadable.
  virtual platform::SurfacePtr Load(const std::string& path, const SurfaceMaker& make, std::string* why = nullptr) = 0;
  // Writes the surface to `path`; an earlier file of that name is replaced
  // only once the new one is complete. False when nothing was written, and
  // then `why`, when given, receives the reason where the name asks for a
  // format that cannot be written; otherwise errno says why.
  virtual bool Save(const platform::Surface& surface, const std::string& path, std::string* why = nullptr) = 0;
};

class DefaultImageFiles final : public ImageFiles {
 public:
  platform::SurfacePtr Load(const std::string& path, const SurfaceMaker& make, std::string* why = nullptr) override;
  bool Save(const platform::Surface& surface, const std::string& path, std::string* why = nullptr) override;
};

// The last three letters of a name, lower-cased ("" for a shorter name).
std::string NameExtension(const std::string& name);

}  // namespace zv
