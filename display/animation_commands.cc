#include "display/animation_commands.h"

#include <string>

#include "display/animations.h"
#include "display/bitmaps.h"
#include "display/graphics.h"

namespace zv {
namespace {

namespace op = animation_opcode;
namespace err = animation_error;

// The slot's clip, checked as every command checks it: a slot outside
// 1..32 is error 2001; with `needs_clip`, an empty slot is error 2004.
// Null (and the error raised) when the command cannot go on.
Animations* CheckSlot(Vm& vm, int32_t slot, bool needs_clip) {
  Animations* animations = FindAnimations(vm);
  if (!animations) return nullptr;
  if (!Animations::InRange(slot)) {
    vm.RunError(err::kSlot);
    return nullptr;
  }
  if (needs_clip && !animations->Control(slot).loaded) {
    vm.RunError(err::kNotLoaded);
    return nullptr;
  }
  return animations;
}

// What a play that started leaves in the flags.
void MarkPlaying(Animations& a, int32_t slot) {
  a.ClearAnimationLooping(slot);
  AnimationControl& c = a.Control(slot);
  c.playing = true;
  c.paused = false;
  c.looping = false;
}

void MarkLooping(Animations& a, int32_t slot) {
  a.SetAnimationLooping(slot);
  AnimationControl& c = a.Control(slot);
  c.looping = true;
  c.playing = true;
  c.paused = false;
}

// A play (once) or a loop into `target`; a clip that cannot be played
// raises 2007, whichever was asked for, and leaves the flags alone.
void StartClip(Vm& vm, Animations& a, int32_t slot, const platform::Rect* rect,
               const platform::SurfacePtr& target, bool loop) {
  if (!a.PlayAnimation(slot, rect, target, !loop)) return vm.RunError(err::kPlayFailed);
  if (loop)
    MarkLooping(a, slot);
  else
    MarkPlaying(a, slot);
}

// ---- Commands ----------------------------------------------------------------------------

void CmdLoadAnimation(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, false);
  if (!a) return;
  AnimationControl& c = a->Control(slot);
  if (c.loaded) {
    a->ReleaseAnimationSlot(slot);
    c.loaded = false;
  }
  if (!a->LoadAnimationSlot(slot, name)) return vm.RunError(err::kLoadFailed, name);
  c = AnimationControl{};
  c.loaded = true;
}

void CmdDeleteAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (!a) return;
  a->ReleaseAnimationSlot(slot);
  a->Control(slot).loaded = false;
}

void CmdPlayAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (a) StartClip(vm, *a, slot, nullptr, a->BackBuffer(), false);
}

void CmdLoopAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (a) StartClip(vm, *a, slot, nullptr, a->BackBuffer(), true);
}

void CmdPlayAnimationAt(Vm& vm) {
  const int32_t slot = vm.NextInt();
  platform::Rect rect;
  rect.left = vm.NextInt();
  rect.top = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (a) StartClip(vm, *a, slot, &rect, a->BackBuffer(), false);
}

void CmdPlayAnimationInRect(Vm& vm) {
  const int32_t slot = vm.NextInt();
  const platform::Rect rect = NextRect(vm);
  Animations* a = CheckSlot(vm, slot, true);
  if (a) StartClip(vm, *a, slot, &rect, a->BackBuffer(), false);
}

void CmdPlaceAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  const platform::Rect rect = NextRect(vm);
  Animations* a = CheckSlot(vm, slot, true);
  if (a) a->PlaceAnimation(slot, rect);
}

// Into a bitmap's surface, or for bitmap 0 the screen.
template <bool kLoop>
void CmdAnimationToBitmap(Vm& vm) {
  const int32_t slot = vm.NextInt();
  const int32_t bitmap = vm.NextInt();
  const platform::Rect rect = NextRect(vm);
  Animations* a = CheckSlot(vm, slot, true);
  if (!a) return;
  if (!BitmapTable::InRange(bitmap)) return vm.RunError(bitmap_error::kNumber);
  platform::SurfacePtr target = a->BackBuffer();
  if (bitmap > 0) {
    Graphics* g = FindGraphics(vm);
    target = g ? g->BitmapSurface(bitmap) : nullptr;
    if (!target) return vm.RunError(bitmap_error::kMissing);
  }
  StartClip(vm, *a, slot, &rect, target, kLoop);
}

void CmdStopAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (!a) return;
  if (!a->StopAnimation(slot)) return vm.RunError(err::kNothingRunning);
  AnimationControl& c = a->Control(slot);
  c.playing = false;
  c.looping = false;
}

void CmdPauseAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (!a) return;
  if (!a->PauseAnimation(slot)) return vm.RunError(err::kNothingRunning);
  AnimationControl& c = a->Control(slot);
  if (c.paused) return vm.RunError(err::kAlreadyPaused);
  c.paused = true;
}

void CmdResumeAnimation(Vm& vm) {
  const int32_t slot = vm.NextInt();
  Animations* a = CheckSlot(vm, slot, true);
  if (!a) return;
  if (!a->ResumeAnimation(slot)) return vm.RunError(err::kResumeFailed);
  a->Control(slot).paused = false;
}

// ---- Queries -------------------------------------------------------------------------------

void FnAnimationExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t slot = vm.NextInt();
  if (Animations* a = CheckSlot(vm, slot, false)) vm.SetInt(result, a->Control(slot).loaded ? 1 : 0);
}

using AnimationValue = int32_t (*)(Animations&, int32_t slot);

// A query of a loaded clip; an error leaves the result as it was.
template <AnimationValue kValue>
void AnimationQuery(Vm& vm) {
  const Slot result = vm.NextSlot();
  const int32_t slot = vm.NextInt();
  if (Animations* a = CheckSlot(vm, slot, true)) vm.SetInt(result, kValue(*a, slot));
}

int32_t Playing(Animations& a, int32_t slot) { return a.Control(slot).playing ? 1 : 0; }
int32_t Paused(Animations& a, int32_t slot) { return a.Control(slot).paused ? 1 : 0; }
int32_t Looping(Animations& a, int32_t slot) { return a.Control(slot).looping ? 1 : 0; }
int32_t PositionX(Animations& a, int32_t slot) { return a.GetAnimationPlacement(slot).left; }
int32_t PositionY(Animations& a, int32_t slot) { return a.GetAnimationPlacement(slot).top; }
int32_t Width(Animations& a, int32_t slot) { return a.GetAnimationPlacement(slot).right; }
int32_t Height(Animations& a, int32_t slot) { return a.GetAnimationPlacement(slot).bottom; }

}  // namespace

void RegisterAnimationHandlers(HandlerTable& table) {
  table.Set(op::kLoadAnimation, CmdLoadAnimation);
  table.Set(op::kDeleteAnimation, CmdDeleteAnimation);
  table.Set(op::kPlayAnimation, CmdPlayAnimation);
  table.Set(op::kStopAnimation, CmdStopAnimation);
  table.Set(op::kPauseAnimation, CmdPauseAnimation);
  table.Set(op::kResumeAnimation, CmdResumeAnimation);
  table.Set(op::kLoopAnimation, CmdLoopAnimation);
  table.Set(op::kPlayAnimationAt, CmdPlayAnimationAt);
  table.Set(op::kPlayAnimationInRect, CmdPlayAnimationInRect);
  table.Set(op::kPlaceAnimation, CmdPlaceAnimation);
  table.Set(op::kPlayAnimationToBitmap, CmdAnimationToBitmap<false>);
  table.Set(op::kLoopAnimationToBitmap, CmdAnimationToBitmap<true>);
  table.Set(op::kAnimationExists, FnAnimationExists);
  table.Set(op::kAnimationPlaying, AnimationQuery<Playing>);
  table.Set(op::kAnimationPaused, AnimationQuery<Paused>);
  table.Set(op::kAnimationLooping, AnimationQuery<Looping>);
  table.Set(op::kAnimationPositionX, AnimationQuery<PositionX>);
  table.Set(op::kAnimationPositionY, AnimationQuery<PositionY>);
  table.Set(op::kAnimationWidth, AnimationQuery<Width>);
  table.Set(op::kAnimationHeight, AnimationQuery<Height>);
}

}  // namespace zv
