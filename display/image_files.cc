#include "display/image_files.h"

#include <cerrno>

#include "platform/paths/path_resolver.h"
#include "platform/surface/png_writer.h"

namespace zv {

std::string NameExtension(const std::string& name) {
  if (name.size() < 3) return {};
  return platform::AsciiLower(std::string_view(name).substr(name.size() - 3));
}

platform::SurfacePtr DefaultImageFiles::Load(const std::string& path, const SurfaceMaker& make, std::string* why) {
  (void)path, (void)make, (void)why;
  return nullptr;
}

bool DefaultImageFiles::Save(const platform::Surface& surface, const std::string& path, std::string* why) {
  if (NameExtension(path) != "png") {
    if (why) *why = "only a .png file can be written";
    errno = ENOTSUP;
    return false;
  }
  return platform::WriteSurfacePng(surface, path);
}

}  // namespace zv
