#include "display/draw_executor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "display/graphics.h"
#include "display/image_surfaces.h"
#include "display/pixel_ops.h"
#include "display/shapes.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

using platform::Rect;
using platform::Surface;
using platform::SurfacePtr;
namespace result = platform::result;
namespace err = bitmap_error;

constexpr int32_t kGrabFailed = 500;
constexpr int32_t kGrabOutside = 503;
constexpr int32_t kGrabEmpty = 504;

// Whether a file of that name opens for reading, after the lookup among the
// records attached to a built game.
bool FileOpens(Vm& vm, const std::string& name) {
  std::FILE* file = std::fopen(ReadPath(vm.attached_data, name).c_str(), "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

// The path a load reads: a built game's attached record first.
std::string LoadPath(Vm& vm, const std::string& name) { return ReadPath(vm.attached_data, name, NameExtension(name)); }

class Pass {
 public:
  explicit Pass(Graphics& g) : g_(g), display_(g.Screen()), vm_(g.Machine()) {}

  // Up to and including record `last` (kNoRecord: to the end).
  void Run(int32_t last) {
    RecordPool<DrawRecord>& draws = g_.Pools().draws;
    // A record is performed once a frame: a pass that carries the queue out
    // ahead of its turn (for a command that reads or replaces a picture at
    // once) and the turn's own pass draw a screen record into one buffer of
    // the flip chain, and the next frame's pass into the other, so that both
    // show it.
    const uint32_t frame = display_.Presentation().frame;
    for (int32_t index = draws.Head(); index != kNoRecord;) {
      DrawRecord& r = draws[index];
      if (r.performed_in == frame) {
        if (index == last) return;
        index = draws.Next(index);
        continue;
      }
      r.performed_in = frame;
      --r.repeat;
      // While the window is away nothing is drawn on the screen; the rest
      // (bitmaps, loads, colours, text settings) is done as ever, or it
      // would be lost.
      if (r.covered || (!display_.DrawingEnabled() && WorksOnBitmap(r, 0)))
        PerformUnseen(r);
      else
        Perform(r);
      draws[index].performed = true;
      const int32_t next = draws.Next(index);
      if (draws[index].repeat <= 0) g_.Pools().FreeDrawRecord(index);
      if (index == last) return;
      index = next;
    }
  }

 private:
  // A surface that can be drawn on now: a lost one is restored first (a
  // failed restore pauses the program), a locked one is left alone.
  bool Ready(Surface& s) {
    if (s.IsLost() && platform::Failed(s.Restore())) {
      display_.SuspendAfterFailedRestore();
      return false;
    }
    return !s.IsLocked();
  }

  Surface* Target(const DrawRecord& r) { return r.target && Ready(*r.target) ? r.target.get() : nullptr; }

  // The surface of a bitmap named by a record, after its checks; null once
  // an error was raised.
  SurfacePtr CheckedBitmap(int32_t bitmap) {
    if (!BitmapTable::InRange(bitmap)) return Fail(err::kNumber);
    SurfacePtr surface = g_.BitmapSurface(bitmap);
    if (!surface) return Fail(err::kMissing);
    return surface;
  }

  SurfacePtr Fail(int32_t code) {
    vm_.RunError(code);
    return nullptr;
  }

  void Perform(DrawRecord& r) {
    switch (r.type) {
      case draw_type::kSetCurrentBitmap: return SetCurrentBitmap();
      case draw_type::kLoadBitmap: return LoadBitmap(r);
      case draw_type::kSaveBitmap: return SaveBitmap(r);
      case draw_type::kCreateBitmap: return CreateBitmap(r);
      case draw_type::kDeleteBitmap: return DeleteBitmap(r);
      case draw_type::kCopyBitmap: return CopyBitmap(r);
      case draw_type::kMirrorBitmap:
      case draw_type::kFlipBitmap:
      case draw_type::kBlurBitmap:
      case draw_type::kFadeBitmap: return ChangeBitmap(r);
      case draw_type::kGrabImage: return GrabImageRecord(r);
      case draw_type::kPasteImage: return PasteImage(r);
      case draw_type::kFreeImage: return FreeImage(r);
      case draw_type::kPasteSprite:
        if (Surface* t = Target(r)) g_.Neighbours().DrawSpriteRecord(*t, r.bitmap, r.subject, r.x, r.y);
        return;
      case draw_type::kRotateImage: return RotateImage(r);
      case draw_type::kPutPicture: return PutPicture(r);
      case draw_type::kClearScreen: return ClearScreen(r);
      case draw_type::kSystemText: return SystemText(r, r.opaque != 0, false);
      case draw_type::kInputLineText: return SystemText(r, true, true);
      case draw_type::kDot:
        if (Surface* t = Target(r)) DrawDot(*t, r.x, r.y, g_.Colours().ink);
        return;
      case draw_type::kBox:
        if (Surface* t = Target(r)) DrawBox(*t, Rect{r.x, r.y, r.x2, r.y2}, g_.Colours().ink);
        return;
      case draw_type::kLine:
        if (Surface* t = Target(r)) DrawLine(*t, r.x, r.y, r.x2, r.y2, g_.Colours().ink);
        return;
      case draw_type::kEllipse:
        if (Surface* t = Target(r)) DrawEllipse(*t, r.x, r.y, r.radius_x, r.radius_y, g_.Colours().ink);
        return;
      case draw_type::kInkColours:
      case draw_type::kClearColour: return SetColours(r);
      case draw_type::kReadPixel: return ReadPixel(r);
      case draw_type::kTextFont:
      case draw_type::kTextSize:
      case draw_type::kTextOpaque:
      case draw_type::kTextTransparent:
      case draw_type::kTextNormal:
      case draw_type::kTextItalic:
      case draw_type::kTextBold:
      case draw_type::kTextBoldItalic:
        if (ApplyTextRecord(r, g_.Fonts().State())) MakeTextFont();
        return;
      case draw_type::kTextAt:
      case draw_type::kCenterTextAt: return TextAt(r);
      default: return;
    }
  }

  // A screen record whose earlier drawing the screen has covered since: its
  // drawing would stand over the new picture, so only what it does beside
  // drawing happens. Only screen records are ever covered.
  void PerformUnseen(DrawRecord& r) {
    switch (r.type) {
      case draw_type::kLoadBitmap: return LoadBitmap(r, false);
      case draw_type::kInkColours:
      case draw_type::kClearColour: return Perform(r);
      default: return;
    }
  }

  // ---- Bitmaps ----------------------------------------------------------------------

  void SetCurrentBitmap() {
    const int32_t bitmap = g_.CurrentBitmap();
    if (SurfacePtr surface = CheckedBitmap(bitmap)) {
      g_.Targets().drawing_bitmap = bitmap;
      g_.Targets().drawing = std::move(surface);
    }
  }

  void BecomeCurrent(int32_t bitmap) {
    g_.MakeCurrent(bitmap);
    g_.Targets().drawing_bitmap = bitmap;
    g_.Targets().drawing = g_.Targets().current;
  }

  // The whole source blitted into the top-left of the destination, squeezed
  // when the source is the larger.
  void StretchSurfaceToSurface(Surface& dest, Surface& source) {
    const Rect to{0, 0, std::min(source.Width(), dest.Width()), std::min(source.Height(), dest.Height())};
    const platform::Result r = RetrySurfaceCall(display_, dest, nullptr, [&] {
      return dest.Blt(&to, &source, nullptr, platform::kBltWait);
    });
    if (platform::Failed(r) && r != result::kSurfaceLost) vm_.RunError(err::kBlitFailed);
  }

  // Without `draw` the load does all but put the picture on an existing
  // surface: it still reads the file, warns and makes the bitmap current.
  void LoadBitmap(const DrawRecord& r, bool draw = true) {
    const int32_t bitmap = r.subject;
    if (!BitmapTable::InRange(bitmap)) return vm_.RunError(err::kNumber);
    if (!FileOpens(vm_, r.text)) return vm_.RunError(err::kNoFile, r.text);
    const std::string path = LoadPath(vm_, r.text);
    std::string why;
    SurfacePtr loaded = g_.Files().Load(path, g_.Maker(), &why);
    if (!loaded) {
      // Only the last pass of a screen load tells.
      if (r.repeat <= 0) vm_.RunWarning(err::kLoadFailed, r.text, why);
      return;
    }
    if (bitmap == 0) {
      // The screen keeps its size: the picture is drawn onto it.
      SurfacePtr screen = g_.BitmapSurface(0);
      if (draw && screen && Ready(*screen)) StretchSurfaceToSurface(*screen, *loaded);
    } else {
      // A bitmap takes the picture whole, at its own size, whether it
      // existed before or not.
      if (NameExtension(r.text) != "dds")
        loaded->SetColorKey(platform::ColorKey{g_.BlackPixelValue(), g_.BlackPixelValue()});
      g_.Bitmaps().Surface(bitmap) = loaded;
      g_.Bitmaps().RecordSize(bitmap, *loaded);
    }
    BecomeCurrent(bitmap);
  }

  void SaveBitmap(const DrawRecord& r) {
    SurfacePtr surface = CheckedBitmap(r.subject);
    if (!surface) return;
    if (std::string why; !g_.Files().Save(*surface, platform::Paths().Resolve(r.text), &why))
      vm_.RunError(err::kSaveFailed, r.text, why.empty() ? platform::CauseOf(errno) : why);
  }

  void CreateBitmap(const DrawRecord& r) {
    const int32_t bitmap = r.subject;
    if (bitmap == 0) return vm_.RunError(err::kCreateScreen);
    if (!BitmapTable::InRange(bitmap)) return vm_.RunError(err::kNumber);
    if (!g_.Bitmaps().CreateSystemSurface(bitmap, r.x2, r.y2, g_.Maker())) {
      const std::string size = std::to_string(r.x2) + " by " + std::to_string(r.y2);
      return vm_.RunError(err::kCreateFailed, {},
                          r.x2 < 1 || r.y2 < 1 ? "its size, " + size + ", is not at least 1 by 1"
                                               : "not enough memory for " + size + " pixels");
    }
    BecomeCurrent(bitmap);
  }

  void DeleteBitmap(const DrawRecord& r) {
    const int32_t bitmap = r.subject;
    if (!BitmapTable::InRange(bitmap)) return vm_.RunError(err::kNumber);
    if (bitmap == 0) return vm_.RunError(err::kDeleteScreen);
    if (!g_.Bitmaps().Surface(bitmap)) return vm_.RunError(err::kMissing);
    g_.Bitmaps().ReleaseSurface(bitmap);
    if (g_.Targets().drawing_bitmap == bitmap) {
      g_.Targets().drawing_bitmap = 0;
      g_.Targets().drawing = g_.Targets().screen;
    }
  }

  void CopyBitmap(const DrawRecord& r) {
    const int32_t from = r.subject, to = r.destination_bitmap;
    if (!BitmapTable::InRange(from) || !BitmapTable::InRange(to)) return vm_.RunError(err::kNumber);
    const bool whole = r.x == 0;
    if (whole && from == to) return vm_.RunError(err::kCopyToItself);
    SurfacePtr source = CheckedBitmap(from);
    if (!source) return;
    SurfacePtr dest = CheckedBitmap(to);
    if (!dest || !Ready(*dest) || !Ready(*source)) return;
    Surface& d = *dest;
    Surface& s = *source;
    platform::Result result;
    if (whole) {
      if (s.Width() > d.Width() || s.Height() > d.Height()) return vm_.RunError(err::kCopyTooLarge);
      result = RetrySurfaceCall(display_, d, &s, [&] { return d.BltFast(0, 0, &s, nullptr, 0); });
      if (platform::Failed(result) && result != result::kSurfaceLost)
        result = RetrySurfaceCall(display_, d, &s, [&] { return d.Blt(nullptr, &s, nullptr, platform::kBltWait); });
    } else {
      if (!InsideOf(r.source, s) || !InsideOf(r.destination, d)) return vm_.RunError(err::kRectOutside);
      if (r.source.Empty() || r.destination.Empty()) return vm_.RunError(err::kRectEmpty);
      result = RetrySurfaceCall(display_, d, &s,
                                [&] { return d.Blt(&r.destination, &s, &r.source, platform::kBltWait); });
    }
    if (platform::Failed(result) && result != result::kSurfaceLost) vm_.RunError(err::kBlitFailed);
  }

  static bool InsideOf(const Rect& rect, const Surface& s) {
    return rect.left >= 0 && rect.top >= 0 && rect.right <= s.Width() && rect.bottom <= s.Height();
  }

  // Mirror, flip, blur and fade.
  void ChangeBitmap(const DrawRecord& r) {
    SurfacePtr surface = CheckedBitmap(r.subject);
    if (!surface) return;
    if (r.type == draw_type::kBlurBitmap && (r.value < 1 || r.value > 8)) return vm_.RunError(err::kBlurValue);
    if (r.type == draw_type::kFadeBitmap && (r.value < 0 || r.value > 100)) return vm_.RunError(err::kFadeValue);
    if (!Ready(*surface)) return;
    switch (r.type) {
      case draw_type::kMirrorBitmap: MirrorSurface(*surface); break;
      case draw_type::kFlipBitmap: FlipSurface(*surface); break;
      case draw_type::kBlurBitmap: BlurSurface(display_, *surface, r.value); break;
      default: FadeSurface(display_, *surface, r.value); break;
    }
  }

  // ---- Images -----------------------------------------------------------------------

  ImageRecord* ImageOf(int32_t index) {
    return g_.Pools().images.InUse(index) ? &g_.Pools().images[index] : nullptr;
  }

  void GrabImageRecord(const DrawRecord& r) {
    if (!Target(r)) return;
    const Rect rect{r.x, r.y, r.x2, r.y2};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return vm_.RunError(kGrabEmpty);
    const BitmapInfo info = g_.InfoOf(r.bitmap);
    if (rect.left < 0 || rect.top < 0 || rect.right > info.width || rect.bottom > info.height)
      return vm_.RunError(kGrabOutside);
    ImageRecord* image = ImageOf(r.subject);
    SurfacePtr source = r.bitmap == 0 ? r.target : g_.BitmapSurface(r.bitmap);
    if (!image || !source || !InsideOf(rect, *source)) return vm_.RunError(kGrabFailed);
    const bool flag = r.value == 2;
    const bool grabbed = GrabImage(display_, *image, *source, rect, g_.BlackPixelValue(), g_.Maker());
    if (image->texture > 0) g_.Neighbours().RebuildImageTexture(r.subject, flag);
    g_.images_changed = true;
    // The area was checked above: only memory can have failed.
    if (!grabbed)
      return vm_.RunError(kGrabFailed, {},
                          "not enough memory for " + std::to_string(rect.Width()) + " by " +
                              std::to_string(rect.Height()) + " pixels");
    if (r.value > 0) {
      if (image->texture == 0)
        g_.Neighbours().MakeImageTexture(r.subject, flag);
      else
        g_.Neighbours().PreloadImageTexture(image->texture, flag);
    }
  }

  void PasteImage(const DrawRecord& r) {
    Surface* target = Target(r);
    const ImageRecord* image = ImageOf(r.subject);
    if (!target || !image || image->in_use == 0) return;
    const int times = g_.Machine().runtime && g_.Machine().runtime->settings.overdraw_mode == 2 ? 2 : 1;
    for (int i = 0; i < times; ++i)
      if (!BltImageRecord(display_, *target, *image, r.x, r.y, r.x2 != 0)) vm_.RunError(kGrabFailed);
  }

  void PutPicture(const DrawRecord& r) {
    Surface* target = Target(r);
    if (!target || !r.picture || !Ready(*r.picture)) return;
    Surface& picture = *r.picture;
    const Rect to{0, 0, std::min(picture.Width(), target->Width()), std::min(picture.Height(), target->Height())};
    const platform::Result result = RetrySurfaceCall(display_, *target, &picture, [&] {
      return target->BltFast(0, 0, &picture, &to, 0);
    });
    if (platform::Failed(result) && result != result::kSurfaceLost) vm_.RunError(err::kBlitFailed);
  }

  void FreeImage(const DrawRecord& r) {
    if (ImageRecord* image = ImageOf(r.subject)) {
      image->width = image->height = 0;
      image->in_use = 0;
      g_.Pools().FreeImageRecord(r.subject);
    }
  }

  void RotateImage(const DrawRecord& r) {
    ImageRecord* image = ImageOf(r.subject);
    if (!Target(r) || !image || image->in_use == 0 || !image->surface) return;
    SurfacePtr turned = RotateSurfaceQuarterTurns(image->surface, r.x, g_.Maker());
    // A turn that fails leaves the image as it was.
    if (!turned || turned == image->surface) return;
    image->surface = std::move(turned);
    image->created_width = image->surface->Width();
    image->created_height = image->surface->Height();
    if ((r.x / 90) % 2 == 1) std::swap(image->width, image->height);
    image->source = platform::RectOfSize(image->width, image->height);
    if (!image->source.FitsIn(image->created_width, image->created_height))
      image->source = platform::RectOfSize(image->created_width, image->created_height);
  }

  // ---- Drawing ----------------------------------------------------------------------

  // A clear to a colour fills the render target, the back buffer; the
  // program's clear fills the record's bitmap with the paper.
  void ClearScreen(const DrawRecord& r) {
    if (!Target(r)) return;
    if (r.value == 1) {
      SurfacePtr screen = g_.Targets().screen;
      if (!screen || !Ready(*screen)) return;
      const uint32_t pixel =
          screen->Format().indexed ? 0u
                                   : platform::PackRgb(screen->Format(), static_cast<uint8_t>(r.colour >> 16),
                                                       static_cast<uint8_t>(r.colour >> 8), static_cast<uint8_t>(r.colour));
      DrawBox(*screen, screen->Bounds(), pixel);
      return;
    }
    const BitmapInfo info = g_.InfoOf(r.bitmap);
    DrawBox(*r.target, Rect{0, 0, info.width, info.height}, display_.Presentation().background_colour);
  }

  // The look of a text record: the one of its first pass, taken now when
  // this is its first pass.
  const TextLook& LookOf(DrawRecord& r, const platform::FontPtr& font, bool opaque) {
    if (!r.look) r.look = TextLook{font, g_.Colours().ink, display_.Presentation().background_colour, opaque};
    return *r.look;
  }

  void SystemText(DrawRecord& r, bool opaque, bool paper_only) {
    Surface* target = Target(r);
    if (!target) return;
    const TextLook& look = LookOf(r, g_.Fonts().SystemFontPtr(), opaque);
    look.font->Draw(*target, r.x, r.y, r.text,
                    platform::TextColours{paper_only ? look.paper : look.ink, look.paper, look.opaque});
  }

  void TextAt(DrawRecord& r) {
    Surface* target = Target(r);
    if (!target) return;
    const TextLook& look = LookOf(r, g_.Fonts().TextFontPtr(), g_.Fonts().State().opaque != 0);
    int32_t x = r.x;
    if (r.type == draw_type::kCenterTextAt)
      x = static_cast<int32_t>(int64_t{x} - look.font->Measure(r.text).width / 2);
    look.font->Draw(*target, x, r.y, r.text, platform::TextColours{look.ink, look.paper, look.opaque});
  }

  void MakeTextFont() { g_.Fonts().CreateTextFont(display_.Surfaces().back_buffer != nullptr); }

  // The colours need only the target's pixel format: they are set also
  // while the program holds the screen locked.
  void SetColours(const DrawRecord& r) {
    if (!r.target) return;
    ComputeChannelMasks(display_, *r.target);
    const bool with_ink = r.type == draw_type::kInkColours;
    g_.SetDrawColours(static_cast<uint32_t>(r.x2), with_ink, static_cast<uint32_t>(r.y2));
  }

  // The program takes the colour after the first pass; a later pass (the
  // other buffer of a flip chain) would write into a slot it uses for
  // something else by then.
  void ReadPixel(const DrawRecord& r) {
    if (r.performed) return;
    Surface* target = Target(r);
    if (!target) return;
    const BitmapInfo info = g_.InfoOf(r.bitmap);
    if (r.x < 0 || r.y < 0 || r.x >= info.width || r.y >= info.height) return;
    if (r.x >= target->Width() || r.y >= target->Height()) return;
    const uint32_t slot = static_cast<uint32_t>(r.value);
    if (slot >= slots::kAddressable) return;
    const uint32_t rgb = ReadSurfacePixel(display_, *target, r.x, r.y);
    vm_.SetInt(Slot{slot}, static_cast<int32_t>(rgb));
  }

  Graphics& g_;
  Display& display_;
  Vm& vm_;
};

}  // namespace

void ExecuteDrawingQueue(Graphics& graphics, int32_t last) {
  if (!graphics.Screen().Surfaces().back_buffer) return;
  Pass(graphics).Run(last);
}

}  // namespace zv
