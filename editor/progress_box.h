#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "editor/editor_display.h"
#include "editor/editor_images.h"
#include "editor/glyph_font.h"
#include "runtime/vm/services/editor_services.h"

namespace zv::editor {

// The box that a build shows over the editor while the compiler works
// (a bar filled to a percentage) and while the builder adds media files (a
// line of text). Each update is presented at once: nothing else is drawn
// while a build runs.
class ProgressBox final : public EditorServices {
 public:
  static constexpr int32_t kBoxX = 117;
  static constexpr int32_t kBoxY = 220;

  // `screen` is the editor's composed screen, shown behind the box.
  ProgressBox(EditorDisplay& display, Surface& screen, const EditorImages& images, const GlyphFont& font)
      : display_(display), screen_(screen), images_(images), font_(font) {}

  // The editor's screen and the box on the back buffer; false (and nothing
  // drawn) when the box image does not exist.
  bool DrawProgressFrame();
  void DrawProgressBox(int percent) override;
  void ShowProgressText(std::string_view text) override;

 private:
  EditorDisplay& display_;
  Surface& screen_;
  const EditorImages& images_;
  const GlyphFont& font_;
};

}  // namespace zv::editor
