#pragma once

#include <array>
#include <cstdint>

#include "editor/surface_drawing.h"

namespace zv::editor {

// The editor's numbered images. All are drawn here, in code.
namespace image {
constexpr int32_t kRequesterLarge = 1;   // 419 x 321: load, save, build, project
constexpr int32_t kMessageBox = 2;       // drawn at (118, 205)
constexpr int32_t kRequesterFind = 3;    // 222 x 140
constexpr int32_t kRequesterQuestion = 4;  // 405 x 99
constexpr int32_t kRequesterTools = 6;   // 419 x 194
constexpr int32_t kFieldCaret = 11;
constexpr int32_t kFirstListIcon = 12;   // 12 + entry type: folder, file, source, executable, drive
constexpr int32_t kPreviewSheet = 20;    // 66 x 66 frames in rows of 9
constexpr int32_t kButtonUp = 23;
constexpr int32_t kButtonDown = 24;
constexpr int32_t kProgressMarker = 29;
constexpr int32_t kProgressBox = 30;
constexpr int32_t kProjectFrame = 33;
constexpr int32_t kNamePanel = 39;
constexpr int32_t kScrollTrack = 40;     // 15 x 402
constexpr int32_t kScrollThumb = 41;     // 15 x 402
constexpr int32_t kArrowUp = 42;
constexpr int32_t kArrowUpPressed = 43;
constexpr int32_t kArrowDown = 44;
constexpr int32_t kArrowDownPressed = 45;
constexpr int32_t kTabButton = 46;
constexpr int32_t kTabButtonSelected = 47;
constexpr int32_t kToolButton = 48;
constexpr int32_t kToolButtonHover = 49;
constexpr int32_t kPage = 101;           // the editor page's background
constexpr int32_t kCount = 102;
}  // namespace image

constexpr int32_t kPreviewFrames = 33;
constexpr int32_t kPreviewFrameSize = 66;

class EditorImages {
 public:
  // Draws every image; images whose memory cannot be had stay missing.
  EditorImages();

  // The image, or null when it does not exist.
  Surface* Get(int32_t number) const;
  // Removes an image (as if it had never been made).
  void Drop(int32_t number);

 private:
  std::array<SurfacePtr, image::kCount> images_;
};

}  // namespace zv::editor
