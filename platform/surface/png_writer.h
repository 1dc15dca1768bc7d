#pragma once

#include <string>

#include "platform/surface/gamma_ramp.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// Writes the surface as an 8-bit RGB PNG (through its palette and the gamma
// ramp when given). The file is written under a temporary name and renamed,
// so a failed write leaves an earlier file of that name untouched.
bool WriteSurfacePng(const Surface& surface, const std::string& path,
                     const GammaRamp* gamma = nullptr);

}  // namespace zv::platform
