#include "display/animations.h"

#include <cstdlib>

#include "display/display.h"
#include "display/display_service_adapter.h"
#include "platform/paths/path_resolver.h"
#include "platform/video/clip_sound.h"
#include "runtime/attached/attached_data.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

// Clips come in by this extension when they are attached to a game.
constexpr const char* kVirtualExtension = "avi";
// A blit that keeps reporting a busy blitter is given up after this many tries.
constexpr int kBlitTries = 64;

int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Cuts `dest` to 0..width x 0..height and `source` in proportion to how
// much of `dest` was cut, by source-to-destination ratios taken from the
// rectangles before the cut: single-precision, each cut truncated toward
// zero.
void ClipProportionally(platform::Rect& dest, platform::Rect& source, const platform::Rect& frame,
                        int32_t width, int32_t height) {
  const float dw = static_cast<float>(int64_t{dest.right} - dest.left);
  const float dh = static_cast<float>(int64_t{dest.bottom} - dest.top);
  const float x_ratio = static_cast<float>(frame.Width()) / dw;
  const float y_ratio = static_cast<float>(frame.Height()) / dh;
  auto cut = [](int64_t overhang, float ratio) {
    return TruncateToInt32(static_cast<float>(overhang) * ratio);
  };
  source = frame;
  if (dest.left < 0) {
    source.left = Wrap(int64_t{source.left} + cut(-int64_t{dest.left}, x_ratio));
    dest.left = 0;
  }
  if (dest.top < 0) {
    source.top = Wrap(int64_t{source.top} + cut(-int64_t{dest.top}, y_ratio));
    dest.top = 0;
  }
  if (dest.right > width) {
    source.right = Wrap(int64_t{source.right} - cut(int64_t{dest.right} - width, x_ratio));
    dest.right = width;
  }
  if (dest.bottom > height) {
    source.bottom = Wrap(int64_t{source.bottom} - cut(int64_t{dest.bottom} - height, y_ratio));
    dest.bottom = height;
  }
}

// A clip's sound track as the sound system pulls it.
class ClipSoundSource final : public SoundFeedSource {
 public:
  explicit ClipSoundSource(std::unique_ptr<platform::ClipSound> track) : track_(std::move(track)) {}
  int32_t Read(int16_t* out, int32_t frames) override { return track_->Read(out, frames); }
  bool Rewind() override { return track_->Rewind(); }

 private:
  std::unique_ptr<platform::ClipSound> track_;
};

}  // namespace

Animations::Animations(Display& display) : display_(display) {}

Animations::~Animations() = default;

uint32_t Animations::Now() const { return display_.Machine().Host().NowMs(); }

platform::SurfacePtr Animations::BackBuffer() const { return display_.Surfaces().back_buffer; }

// ---- Opening and playing -------------------------------------------------------------------

bool Animations::OpenAnimationStream(int32_t n, const std::string& name) {
  AnimationSlot& s = Slot(n);
  s.sound.reset();
  s.stream.reset();
  s.frame.reset();
  const std::string resolved = ReadPath(display_.Machine().attached_data, name, kVirtualExtension);
  s.stream = platform::OpenVideoStream(resolved);
  if (!s.stream) return false;
  if (!trial_play_) s.sound = OpenClipSound(resolved);
  return true;
}

std::unique_ptr<SoundFeed> Animations::OpenClipSound(const std::string& path) const {
  SoundServices* sound = display_.Machine().sound;
  const int32_t rate = sound ? sound->FeedRate() : 0;
  if (rate <= 0) return nullptr;
  std::unique_ptr<platform::ClipSound> track = platform::OpenClipSound(path, rate);
  if (!track) return nullptr;
  return sound->StartFeed(std::make_unique<ClipSoundSource>(std::move(track)));
}

bool Animations::LoadAnimationSlot(int32_t n, const std::string& name) {
  if (!OpenAnimationStream(n, name)) return false;
  AnimationSlot& s = Slot(n);
  s.file_name = name;
  s.placement = s.destination = platform::Rect{};
  // A trial play learns the frame size and sets the rectangles; nothing of
  // it is heard. A clip that cannot play (no video, nothing that decodes)
  // does not count as loaded.
  trial_play_ = true;
  const bool playable = PlayAnimation(n, nullptr, BackBuffer(), true);
  trial_play_ = false;
  ReleaseAnimationSlot(n);
  return playable;
}

bool Animations::PlayAnimation(int32_t n, const platform::Rect* rect, const platform::SurfacePtr& target,
                               bool once) {
  AnimationSlot& s = Slot(n);
  if (target) s.target = target;
  if (s.video) {
    if (!SeekAnimationToStart(n)) return false;
    s.stream->Run(Now());
  } else if (s.stream && once) {
    ReleaseAnimationSlot(n);
  }
  const platform::Rect place = rect ? *rect : s.placement;
  if (rect) s.placement = *rect;
  if (!s.stream && !OpenAnimationStream(n, s.file_name)) return false;
  GetAnimationStreams(n);
  if (place.right != 0 || place.bottom != 0) {
    s.destination = place;
  } else {
    s.destination = platform::Rect{place.left, place.top, Wrap(int64_t{place.left} + s.frame_rect.Width()),
                                   Wrap(int64_t{place.top} + s.frame_rect.Height())};
  }
  if (!PrepareAnimationSample(n, s.target.lock())) {
    ReleaseAnimationSlot(n);
    return false;
  }
  s.stream->Run(Now());
  if (s.sound) s.sound->SetPaused(false);
  return true;
}

bool Animations::GetAnimationStreams(int32_t n) {
  AnimationSlot& s = Slot(n);
  s.video = s.stream && s.stream->HasVideo();
  const platform::Rect frame =
      s.video ? platform::RectOfSize(s.stream->Width(), s.stream->Height()) : platform::Rect{};
  s.source = s.frame_rect = frame;
  return s.video;
}

bool Animations::PrepareAnimationSample(int32_t n, const platform::SurfacePtr& target) {
  AnimationSlot& s = Slot(n);
  if (!target) return false;
  s.frame.reset();
  // A clip without a video that decodes has no frame to prepare.
  if (!s.video || !display_.Device().device) return false;
  const int32_t width = s.stream->Width(), height = s.stream->Height();
  s.frame_rect = s.source;
  ClipAnimationRect(n);
  platform::SurfaceDesc desc;
  desc.width = width;
  desc.height = height;
  desc.format = target->Format();
  desc.pool = platform::MemoryPool::kSystem;
  s.frame = display_.Device().device->CreateSurface(desc);
  if (!s.frame) return false;
  if (display_.Surfaces().palette) s.frame->SetPalette(display_.Surfaces().palette);
  s.prepared = true;
  s.frame_target = target;
  s.sample = true;
  return true;
}

void Animations::ClipAnimationRect(int32_t n) {
  AnimationSlot& s = Slot(n);
  const SurfaceState& screen = display_.Surfaces();
  ClipProportionally(s.destination, s.source, s.frame_rect, screen.screen_width, screen.screen_height);
}

void Animations::PlaceAnimation(int32_t n, const platform::Rect& rect) {
  AnimationSlot& s = Slot(n);
  s.placement = s.destination = rect;
  ClipAnimationRect(n);
}

platform::Rect Animations::GetAnimationPlacement(int32_t n) const {
  const platform::Rect& d = slots_[static_cast<size_t>(n)].destination;
  return platform::Rect{d.left, d.top, Wrap(int64_t{d.right} - d.left), Wrap(int64_t{d.bottom} - d.top)};
}

bool Animations::SeekAnimationToStart(int32_t n) {
  AnimationSlot& s = Slot(n);
  if (s.sound) s.sound->Rewind();
  return s.stream && s.stream->SeekToStart(Now());
}

// ---- Stopping ---------------------------------------------------------------------------

void Animations::StopAnimationStreams(int32_t n) {
  AnimationSlot& s = Slot(n);
  if (s.stream) s.stream->Stop(Now());
  if (s.sound) s.sound->SetPaused(true);
  s.sample = false;
  s.video = false;
}

void Animations::ReleaseAnimationSlot(int32_t n) {
  StopAnimationStreams(n);
  AnimationSlot& s = Slot(n);
  s.frame.reset();
  s.sound.reset();
  s.stream.reset();
}

void Animations::ReleaseAllAnimations() {
  for (int32_t n = 0; n < kSlots; ++n) {
    ReleaseAnimationSlot(n);
    Slot(n) = AnimationSlot{};
    Control(n) = AnimationControl{};
  }
}

bool Animations::StopAnimation(int32_t n) {
  if (!Slot(n).stream) return false;
  ReleaseAnimationSlot(n);
  return true;
}

bool Animations::PauseAnimation(int32_t n) {
  if (!Slot(n).video) return false;
  StopAnimationStreams(n);
  return true;
}

bool Animations::ResumeAnimation(int32_t n) {
  AnimationSlot& s = Slot(n);
  if (s.video || !s.stream) return false;
  // A clip that cannot run on (its target went, its frame cannot be made)
  // has not resumed.
  return PlayAnimation(n, nullptr, s.target.lock(), false);
}

// ---- Each frame --------------------------------------------------------------------------

void Animations::DrawAnimationFrame(int32_t n) {
  AnimationSlot& s = Slot(n);
  if (!s.sample || !s.frame) return;
  platform::LockedRegion pixels;
  platform::VideoUpdate update = platform::VideoUpdate::kError;
  if (s.frame->Lock(nullptr, platform::kLockWait | platform::kLockWriteOnly, &pixels) == platform::result::kOk) {
    update = s.stream->Update(Now(), pixels);
    s.frame->Unlock();
  }
  if (update != platform::VideoUpdate::kFrame) {
    // The end of the clip (or a frame that cannot be had): nothing is
    // copied this frame.
    if (!s.looping) {
      StopAnimationStreams(n);
      Control(n).playing = false;
    } else {
      SeekAnimationToStart(n);
    }
    return;
  }
  if (s.prepared) CopyFrame(s);
}

void Animations::RedrawAnimationFrame(int32_t n) {
  AnimationSlot& s = Slot(n);
  if (s.prepared && s.frame) CopyFrame(s);
}

void Animations::CopyFrame(AnimationSlot& s) {
  platform::SurfacePtr target = s.frame_target.lock();
  if (!target) return;
  // The rectangles are clipped to the display; a bitmap smaller than the
  // display gets its frames clipped to itself rather than refused.
  platform::Rect dest = s.destination, source = s.source;
  ClipProportionally(dest, source, s.source, target->Width(), target->Height());
  for (int tries = 0; tries < kBlitTries; ++tries) {
    const platform::Result r = target->Blt(&dest, s.frame.get(), &source, platform::kBltWait);
    if (r == platform::result::kWasStillDrawing) continue;
    if (r != platform::result::kSurfaceLost) return;
    if (platform::Failed(target->Restore())) {
      display_.SuspendAfterFailedRestore();
      return;
    }
  }
}

void Animations::UpdateAnimations() {
  FollowDisplay();
  for (int32_t n = 0; n < kSlots; ++n) {
    if (!Control(n).loaded) continue;
    if (Slot(n).video) DrawAnimationFrame(n);
    if (!Slot(n).video) RedrawAnimationFrame(n);
  }
}

void Animations::FollowDisplay() {
  const platform::SurfacePtr& back = display_.Surfaces().back_buffer;
  if (seen_back_buffer_.lock() == back && (back || !watching_)) return;
  if (watching_) ReleaseAllAnimations();
  seen_back_buffer_ = back;
  watching_ = back != nullptr;
}

Animations* FindAnimations(Vm& vm) {
  DisplayServiceAdapter* adapter = vm.display ? vm.display->Adapter() : nullptr;
  Animations* animations = adapter ? adapter->OwnedAnimations() : nullptr;
  if (animations) animations->FollowDisplay();
  return animations;
}

}  // namespace zv
