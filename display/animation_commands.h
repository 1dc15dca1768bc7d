#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The animation commands: load, play, loop, place, pause, resume, stop and
// delete numbered video clips, and query them.
void RegisterAnimationHandlers(HandlerTable& table);

// Their opcodes.
namespace animation_opcode {
constexpr int kLoadAnimation = 2001;
constexpr int kDeleteAnimation = 2002;
constexpr int kPlayAnimation = 2003;
constexpr int kStopAnimation = 2004;
constexpr int kPauseAnimation = 2005;
constexpr int kResumeAnimation = 2006;
constexpr int kLoopAnimation = 2007;
constexpr int kPlayAnimationAt = 2012;
constexpr int kPlayAnimationInRect = 2013;
constexpr int kPlaceAnimation = 2014;
constexpr int kPlayAnimationToBitmap = 2015;
constexpr int kLoopAnimationToBitmap = 2016;
constexpr int kAnimationExists = 2051;
constexpr int kAnimationPlaying = 2052;
constexpr int kAnimationPaused = 2053;
constexpr int kAnimationLooping = 2054;
constexpr int kAnimationPositionX = 2057;
constexpr int kAnimationPositionY = 2058;
constexpr int kAnimationWidth = 2059;
constexpr int kAnimationHeight = 2060;
}  // namespace animation_opcode

}  // namespace zv
