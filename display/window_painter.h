#pragma once

#include <cstdint>
#include <vector>

#include "platform/surface/surface.h"
#include "platform/text/text_service.h"
#include "runtime/display_seam.h"

namespace zv {

// The picture of what is painted straight onto the window, outside the
// display's frames (the card-choice screens, shown before there is a
// display): the boxes over black, then the texts with no background, in
// `font` (none: the texts are left out). Null when the size is not positive.
platform::SurfacePtr PaintWindowPicture(int32_t width, int32_t height, const std::vector<WindowBox>& boxes,
                                        const std::vector<WindowText>& texts, platform::Font* font);

}  // namespace zv
