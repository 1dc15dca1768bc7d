#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Playing, looping, stopping and setting the frames of an object's keyframe
// animation, its speed and smoothness, merging animation from X files, and
// the animation queries.
void RegisterObjectAnimationHandlers(HandlerTable& table);

}  // namespace zv
