#include "display/bitmap_commands.h"

#include <string>

#include "display/graphics.h"

namespace zv {
namespace {

namespace op = bitmap_opcode;
namespace err = bitmap_error;
using platform::Rect;

constexpr int32_t kGammaMax = 511;

void YieldByRefresh(Vm& vm) {
  if (vm.auto_refresh) vm.yield = true;
}

// A new picture in a bitmap is neither mirrored nor flipped.
void ClearOrientation(Graphics& g, int32_t bitmap) {
  if (!BitmapTable::InRange(bitmap)) return;
  g.Bitmaps().Info(bitmap).mirrored = 0;
  g.Bitmaps().Info(bitmap).flipped = 0;
}

void CmdLoadBitmapOntoScreen(Vm& vm) {
  const std::string file(vm.NextString());
  vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueLoadBitmap(file, 0);
}

void CmdLoadBitmap(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t bitmap = vm.NextInt();
  vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) {
    if (bitmap != 0) ClearOrientation(*g, bitmap);
    g->Queue().QueueLoadBitmap(file, bitmap);
  }
}

void CmdSaveScreen(Vm& vm) {
  const std::string file(vm.NextString());
  vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) g->RequestScreenSave(file);
}

void CmdSaveBitmap(Vm& vm) {
  const std::string file(vm.NextString());
  const int32_t bitmap = vm.NextInt();
  vm.yield = true;
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  if (bitmap == 0)
    g->RequestScreenSave(file);
  else
    g->Queue().QueueSaveBitmap(file, bitmap);
}

void CmdCreateBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  const int32_t width = vm.NextInt();
  const int32_t height = vm.NextInt();
  vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) {
    if (bitmap != 0) ClearOrientation(*g, bitmap);
    g->Queue().QueueCreateBitmap(bitmap, width, height);
  }
}

void CmdSetCurrentBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueSetCurrentBitmap(bitmap);
}

void CmdCopyBitmap(Vm& vm) {
  const int32_t source = vm.NextInt();
  const int32_t destination = vm.NextInt();
  if (destination == 0) YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueCopyBitmap(source, destination);
}

void CmdCopyBitmapRect(Vm& vm) {
  const int32_t source = vm.NextInt();
  const Rect from = NextRect(vm);
  const int32_t destination = vm.NextInt();
  const Rect to = NextRect(vm);
  if (destination == 0) YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueCopyBitmapRect(source, from, destination, to);
}

void CmdDeleteBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueDeleteBitmap(bitmap);
}

// The flags change now; the pixels when the queue runs.
template <int32_t BitmapInfo::*Flag, void (DrawQueue::*Queue)(int32_t)>
void CmdTurnBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  if (bitmap == 0) vm.yield = true;
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  if (BitmapTable::InRange(bitmap)) {
    int32_t& flag = g->Bitmaps().Info(bitmap).*Flag;
    flag = flag ? 0 : 1;
  }
  (g->Queue().*Queue)(bitmap);
}

template <void (DrawQueue::*Queue)(int32_t, int32_t)>
void CmdChangeBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  const int32_t value = vm.NextInt();
  if (bitmap == 0) vm.yield = true;
  if (Graphics* g = FindGraphics(vm)) (g->Queue().*Queue)(bitmap, value);
}

void CmdSetGammaRamp(Vm& vm) {
  const int32_t red = vm.NextInt();
  const int32_t green = vm.NextInt();
  const int32_t blue = vm.NextInt();
  vm.yield = true;
  auto fits = [](int32_t v) { return v >= 0 && v <= kGammaMax; };
  if (!fits(red) || !fits(green) || !fits(blue)) return vm.RunWarning(err::kGammaValue);
  if (Graphics* g = FindGraphics(vm)) g->Screen().SetGammaRamp(red, green, blue);
}

// ---- Queries -------------------------------------------------------------------------

void FnBitmapExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t bitmap = vm.NextInt();
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  if (!BitmapTable::InRange(bitmap)) return vm.RunError(err::kNumber);
  vm.SetInt(result, bitmap == 0 || g->Bitmaps().Surface(bitmap) ? 1 : 0);
}

void FnCurrentBitmap(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (Graphics* g = FindGraphics(vm)) vm.SetInt(result, g->CurrentBitmap());
}

template <int32_t BitmapInfo::*Field>
void FnCurrentBitmapValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  const int32_t bitmap = g->CurrentBitmap();
  if (bitmap != 0 && !g->BitmapSurface(bitmap)) return vm.RunError(err::kMissing);
  vm.SetInt(result, g->InfoOf(bitmap).*Field);
}

template <int32_t BitmapInfo::*Field>
void FnBitmapValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t bitmap = vm.NextInt();
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  if (!BitmapTable::InRange(bitmap)) return vm.RunError(err::kNumber);
  if (bitmap != 0 && !g->BitmapSurface(bitmap)) return vm.RunError(err::kMissing);
  vm.SetInt(result, g->InfoOf(bitmap).*Field);
}

}  // namespace

void RegisterBitmapHandlers(HandlerTable& t) {
  t.Set(op::kLoadBitmapOntoScreen, CmdLoadBitmapOntoScreen);
  t.Set(op::kLoadBitmap, CmdLoadBitmap);
  t.Set(op::kSaveScreen, CmdSaveScreen);
  t.Set(op::kSaveBitmap, CmdSaveBitmap);
  t.Set(op::kCreateBitmap, CmdCreateBitmap);
  t.Set(op::kSetCurrentBitmap, CmdSetCurrentBitmap);
  t.Set(op::kCopyBitmap, CmdCopyBitmap);
  t.Set(op::kCopyBitmapRect, CmdCopyBitmapRect);
  t.Set(op::kDeleteBitmap, CmdDeleteBitmap);
  t.Set(op::kMirrorBitmap, CmdTurnBitmap<&BitmapInfo::mirrored, &DrawQueue::QueueMirrorBitmap>);
  t.Set(op::kFlipBitmap, CmdTurnBitmap<&BitmapInfo::flipped, &DrawQueue::QueueFlipBitmap>);
  t.Set(op::kBlurBitmap, CmdChangeBitmap<&DrawQueue::QueueBlurBitmap>);
  t.Set(op::kFadeBitmap, CmdChangeBitmap<&DrawQueue::QueueFadeBitmap>);
  t.Set(op::kSetGammaRamp, CmdSetGammaRamp);

  t.Set(op::kBitmapExists, FnBitmapExists);
  t.Set(op::kCurrentBitmap, FnCurrentBitmap);
  t.Set(op::kCurrentBitmapWidth, FnCurrentBitmapValue<&BitmapInfo::width>);
  t.Set(op::kCurrentBitmapHeight, FnCurrentBitmapValue<&BitmapInfo::height>);
  t.Set(op::kCurrentBitmapDepth, FnCurrentBitmapValue<&BitmapInfo::depth>);
  t.Set(op::kCurrentBitmapMirrored, FnCurrentBitmapValue<&BitmapInfo::mirrored>);
  t.Set(op::kCurrentBitmapFlipped, FnCurrentBitmapValue<&BitmapInfo::flipped>);
  t.Set(op::kBitmapWidth, FnBitmapValue<&BitmapInfo::width>);
  t.Set(op::kBitmapHeight, FnBitmapValue<&BitmapInfo::height>);
  t.Set(op::kBitmapDepth, FnBitmapValue<&BitmapInfo::depth>);
  t.Set(op::kBitmapMirrored, FnBitmapValue<&BitmapInfo::mirrored>);
  t.Set(op::kBitmapFlipped, FnBitmapValue<&BitmapInfo::flipped>);
}

}  // namespace zv
