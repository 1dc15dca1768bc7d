#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/surface/surface.h"
#include "platform/video/video_stream.h"
#include "runtime/vm/services/sound_services.h"
#include "runtime/vm/vm.h"

namespace zv {

class Display;

// Runtime errors of the animation commands.
namespace animation_error {
constexpr int32_t kSlot = 2001;           // slot outside 1..32
constexpr int32_t kLoadFailed = 2002;     // the clip cannot be opened or decoded
constexpr int32_t kNotLoaded = 2004;      // no clip loaded in the slot
constexpr int32_t kPlayFailed = 2007;     // the clip cannot be played
constexpr int32_t kNothingRunning = 2008; // stop or pause with nothing running
constexpr int32_t kAlreadyPaused = 2009;
constexpr int32_t kResumeFailed = 2010;   // running already, or nothing open
}  // namespace animation_error

// One clip slot. A loaded clip is closed again after its load and keeps
// only its name and rectangles; playing opens it, pausing and its end keep
// it open with its last frame, stopping closes it. Its sound follows its
// pictures: it plays, holds, starts again and closes with them.
struct AnimationSlot {
  std::string file_name;
  // Where plays go: the back buffer or a bitmap. Held weakly, so a bitmap
  // deleted under a playing clip only ends its drawing.
  std::weak_ptr<platform::Surface> target;
  std::unique_ptr<platform::VideoStream> stream;  // the open clip, or none
  // The clip's sound track, open with it and playing while its pictures
  // run; none without a sound track or a sound system.
  std::unique_ptr<SoundFeed> sound;
  bool video = false;   // the clip's video is taken: it runs (not paused or ended)
  bool sample = false;  // frames are decoded into `frame`
  platform::SurfacePtr frame;  // the frame surface, in the target's format
  platform::Rect destination;  // on the target, clipped to the display
  platform::Rect source;       // within the frame, cut along with the destination
  platform::Rect frame_rect;   // 0, 0, frame width, frame height
  bool prepared = false;
  std::weak_ptr<platform::Surface> frame_target;  // the target of the prepared frame
  bool looping = false;
  platform::Rect placement;  // as last given to a play with a rectangle or a place
};

// The flags the commands report, beside each slot.
struct AnimationControl {
  bool loaded = false;
  bool playing = false;
  bool paused = false;
  bool looping = false;
};

// The 32 numbered video clips that programs play onto the screen or into a
// bitmap, once or looping, at their own size or stretched, and the frame
// step that draws them. Slot 0 exists but programs cannot reach it.
class Animations {
 public:
  static constexpr int32_t kSlots = 33;
  static constexpr int32_t kLast = 32;
  static bool InRange(int32_t slot) { return slot >= 1 && slot <= kLast; }

  explicit Animations(Display& display);
  ~Animations();
  Animations(const Animations&) = delete;
  Animations& operator=(const Animations&) = delete;

  AnimationSlot& Slot(int32_t slot) { return slots_[static_cast<size_t>(slot)]; }
  AnimationControl& Control(int32_t slot) { return control_[static_cast<size_t>(slot)]; }

  // ---- Opening and playing ---------------------------------------------------------
  // Opens the clip `name` names (an attached file first) into the slot,
  // with its sound track held paused.
  bool OpenAnimationStream(int32_t slot, const std::string& name);
  // Opens the clip to learn its size and place it, then closes it again.
  // False when it cannot be opened or its video cannot be played.
  bool LoadAnimationSlot(int32_t slot, const std::string& name);
  // `rect` null: the stored placement. `target` null: the slot's target.
  // `once`: a paused or ended clip starts anew, else it runs on.
  bool PlayAnimation(int32_t slot, const platform::Rect* rect, const platform::SurfacePtr& target, bool once);
  bool GetAnimationStreams(int32_t slot);
  bool PrepareAnimationSample(int32_t slot, const platform::SurfacePtr& target);
  // Clips the destination to the display and cuts the source in proportion.
  void ClipAnimationRect(int32_t slot);
  void PlaceAnimation(int32_t slot, const platform::Rect& rect);
  // x, y, width and height of the destination.
  platform::Rect GetAnimationPlacement(int32_t slot) const;
  bool SeekAnimationToStart(int32_t slot);
  void SetAnimationLooping(int32_t slot) { Slot(slot).looping = true; }
  void ClearAnimationLooping(int32_t slot) { Slot(slot).looping = false; }

  // ---- Stopping ----------------------------------------------------------------------
  // Lets go of the video and its frames; the clip stays open at its position.
  void StopAnimationStreams(int32_t slot);
  // Closes the clip and drops its frame surface.
  void ReleaseAnimationSlot(int32_t slot);
  // Closes every clip and empties every slot, loaded flags included.
  void ReleaseAllAnimations();
  bool StopAnimation(int32_t slot);
  bool PauseAnimation(int32_t slot);
  bool ResumeAnimation(int32_t slot);

  // ---- Each frame --------------------------------------------------------------------
  // Decodes the frame due now into the frame surface and copies it onto the
  // target; at the end a clip stops (its last frame stays) or starts again.
  void DrawAnimationFrame(int32_t slot);
  // Copies the last decoded frame again (paused or ended clips).
  void RedrawAnimationFrame(int32_t slot);
  void UpdateAnimations();

  // A display change rebuilds every surface, and the slots are emptied
  // with it. The display's own notice reaches ReleaseAllAnimations only
  // where its clients pass it on, so the slots also watch the back buffer
  // themselves: a new one means the display was rebuilt since their last
  // look. Every command and frame step looks first.
  void FollowDisplay();

  platform::SurfacePtr BackBuffer() const;

 private:
  uint32_t Now() const;
  void CopyFrame(AnimationSlot& slot);
  // The sound track of the clip at `path`, paused, through the Vm's sound
  // system; null when there is none to play.
  std::unique_ptr<SoundFeed> OpenClipSound(const std::string& path) const;

  Display& display_;
  std::array<AnimationSlot, kSlots> slots_;
  std::array<AnimationControl, kSlots> control_{};
  std::weak_ptr<platform::Surface> seen_back_buffer_;
  bool watching_ = false;
  bool trial_play_ = false;  // the play at load, which opens clips without their sound
};

// The animations behind the Vm's display seam (brought up to date with the
// display), or null when it has none.
Animations* FindAnimations(Vm& vm);

}  // namespace zv
