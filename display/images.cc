#include "display/images.h"

#include <sys/stat.h>

#include <cerrno>

#include "display/codecs/image_codecs.h"
#include "display/graphics.h"
#include "display/image_surfaces.h"
#include "display/queued_work.h"
#include "platform/paths/failure_cause.h"
#include "platform/paths/path_resolver.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace op = image_opcode;
namespace err = image_error;

// Names longer than a path may be are refused as files that do not exist.
constexpr size_t kLongestName = 255;

// The path a file command opens: a built game's attached record first.
std::string OpenPath(Vm& vm, std::string_view name) {
  return ReadPath(vm.attached_data, name, NameExtension(std::string(name)));
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void YieldForRefresh(Vm& vm) {
  if (vm.auto_refresh) vm.yield = true;
}

// The image's record, made and mapped on first use; kNoRecord after an
// error.
int32_t RecordForGrab(Vm& vm, Graphics& g, int32_t number) {
  int32_t index = g.Pools().image_ids.Get(number);
  if (index > 0) return index;
  index = g.Pools().AllocImageRecord();
  if (index == kNoRecord) {
    vm.RunError(kPoolOutOfMemory);
    return kNoRecord;
  }
  g.Pools().image_ids.Set(number, index);
  return index;
}

void GetImage(Vm& vm, int32_t number, const platform::Rect& rect, int32_t texture_mode) {
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  const int32_t index = RecordForGrab(vm, *g, number);
  if (index == kNoRecord) return;
  g->Queue().QueueGrabImage(index, rect, texture_mode);
  YieldForRefresh(vm);
}

void CmdGetImage(Vm& vm) {
  const int32_t number = vm.NextInt();
  const platform::Rect rect = NextRect(vm);
  GetImage(vm, number, rect, 0);
}

void CmdGetImageTextured(Vm& vm) {
  const int32_t number = vm.NextInt();
  const platform::Rect rect = NextRect(vm);
  const int32_t mode = vm.NextInt();
  GetImage(vm, number, rect, mode);
}

// Loads the file into a new image record that replaces what `number` had;
// the new record, or kNoRecord after an error or warning.
int32_t LoadImage(Vm& vm, std::string_view name, int32_t number) {
  if (!IdMap::InRange(number)) {
    vm.RunError(err::kNumber);
    return kNoRecord;
  }
  Graphics* g = FindGraphics(vm);
  const std::string path = name.size() <= kLongestName ? OpenPath(vm, name) : std::string();
  if (path.empty() || !IsFile(path)) {
    vm.RunError(err::kNoFile, name);
    return kNoRecord;
  }
  if (!g) return kNoRecord;
  BitmapTable& bitmaps = g->Bitmaps();
  std::string why;
  platform::SurfacePtr picture = g->Files().Load(path, g->Maker(), &why);
  bitmaps.Surface(BitmapTable::kScratch) = picture;
  if (!picture) {
    vm.RunWarning(err::kLoadFailed, name, why);
    return kNoRecord;
  }
  bitmaps.RecordSize(BitmapTable::kScratch, *picture);
  const int32_t index = g->Pools().AllocImageRecord();
  if (index == kNoRecord) {
    bitmaps.ReleaseSurface(BitmapTable::kScratch);
    vm.RunError(kPoolOutOfMemory);
    return kNoRecord;
  }
  ImageRecord& image = g->Pools().images[index];
  const bool grabbed = GrabImage(g->Screen(), image, *picture, picture->Bounds(), g->BlackPixelValue(), g->Maker());
  bitmaps.ReleaseSurface(BitmapTable::kScratch);
  if (!grabbed) {
    g->Pools().FreeImageRecord(index);
    vm.RunWarning(err::kLoadFailed, name);
    return kNoRecord;
  }
  const int32_t old = g->Pools().image_ids.Get(number);
  if (old > 0) {
    // The image that goes lets go of its texture; objects showing it keep it.
    if (g->Pools().images.InUse(old) && g->Pools().images[old].texture > 0) g->Neighbours().ReleaseImageTexture(old);
    g->Pools().FreeImageRecord(old);
  }
  g->Pools().image_ids.Set(number, index);
  return index;
}

void CmdLoadImage(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t number = vm.NextInt();
  LoadImage(vm, name, number);
  YieldForRefresh(vm);
}

void CmdLoadImageTextured(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t number = vm.NextInt();
  const int32_t mode = vm.NextInt();
  const int32_t index = LoadImage(vm, name, number);
  YieldForRefresh(vm);
  Graphics* g = FindGraphics(vm);
  if (index == kNoRecord || !g) return;
  // The file's texture is shared with every other user of that file; only
  // when the file makes none is the texture made from the image.
  const bool flag = mode == 2;
  DrawNeighbours& textures = g->Neighbours();
  int32_t texture = textures.LoadImageTextureFile(index, name);
  if (texture < 1) {
    textures.MakeImageTexture(index, flag);
    texture = g->Pools().images.InUse(index) ? g->Pools().images[index].texture : 0;
  } else {
    textures.BuildTextureMipmaps(texture, 1);
  }
  if (texture >= 1) textures.PreloadImageTexture(texture, flag);
}

// The image's picture, pasted whole into the scratch bitmap, written to
// `path`; false (errno set, or `why` where errno cannot say) when it could
// not be.
bool SaveImageRecord(Graphics& g, const ImageRecord& image, const std::string& path, std::string* why) {
  BitmapTable& bitmaps = g.Bitmaps();
  bool saved = false;
  int error = ENOMEM;
  if (bitmaps.CreateSystemSurface(BitmapTable::kScratch, image.width, image.height, g.Maker())) {
    platform::Surface& scratch = *bitmaps.Surface(BitmapTable::kScratch);
    BltImageRecord(g.Screen(), scratch, image, 0, 0, false);
    saved = g.Files().Save(scratch, path, why);
    error = errno;
  }
  bitmaps.ReleaseSurface(BitmapTable::kScratch);
  errno = error;
  return saved;
}

// The save is made at once, once the grabs queued into the image are done,
// so that a save that fails is reported at its own line, with its cause,
// before the program goes on.
void CmdSaveImage(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  const int32_t index = g->Pools().image_ids.Get(number);
  if (index <= 0 || !g->Pools().images.InUse(index)) return vm.RunError(err::kMissing);
  const std::string path = platform::Paths().Resolve(name);
  if (IsFile(path)) return vm.RunError(err::kFileExists, name);
  CarryOutQueuedImageWork(*g, index);
  // A grab that failed has ended the program with its own error.
  if (vm.errors.code != 0 || !g->Pools().images.InUse(index)) return;
  if (std::string why; !SaveImageRecord(*g, g->Pools().images[index], path, &why))
    vm.RunWarning(err::kSaveFailed, name, why.empty() ? platform::CauseOf(errno) : why);
}

void CmdDeleteImage(Vm& vm) {
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  const int32_t index = g->Pools().image_ids.Get(number);
  if (index <= 0) return vm.RunError(err::kMissing);
  if (g->Pools().images.InUse(index)) {
    g->Pools().images[index].deletion_countdown = 2;
    // Its texture goes with its last user; objects showing it keep it.
    if (g->Pools().images[index].texture > 0) g->Neighbours().ReleaseImageTexture(index);
  }
  g->Pools().image_ids.Set(number, 0);
}

void FnImageExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t number = vm.NextInt();
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  Graphics* g = FindGraphics(vm);
  vm.SetInt(result, g && g->Pools().image_ids.Get(number) > 0 ? 1 : 0);
}

}  // namespace

platform::SurfacePtr ImageFileIo::Load(const std::string& path, const SurfaceMaker& make, std::string* why) {
  codecs::DecodeNotes notes;
  notes.step = vm_.errors.internal_code;
  platform::SurfacePtr surface = codecs::LoadImageFile(path, make, &notes);
  vm_.errors.internal_code = notes.step;
  if (!surface && notes.too_large && why)
    *why = "the picture is larger than an image may be (" + std::to_string(codecs::kMaxSide) +
           " pixels a side, " + std::to_string(codecs::kMaxPixels) + " pixels in all)";
  return surface;
}

bool ImageFileIo::Save(const platform::Surface& surface, const std::string& path, std::string* why) {
  const codecs::SaveOutcome outcome = codecs::SaveImageFile(surface, path);
  if (outcome == codecs::SaveOutcome::kNoWriter && why) *why = codecs::kWritableFormats;
  return outcome == codecs::SaveOutcome::kWritten;
}

void RegisterImageHandlers(HandlerTable& table) {
  table.Set(op::kGetImage, CmdGetImage);
  table.Set(op::kGetImageTextured, CmdGetImageTextured);
  table.Set(op::kLoadImage, CmdLoadImage);
  table.Set(op::kLoadImageTextured, CmdLoadImageTextured);
  table.Set(op::kSaveImage, CmdSaveImage);
  table.Set(op::kDeleteImage, CmdDeleteImage);
  table.Set(op::kImageExists, FnImageExists);
}

}  // namespace zv
