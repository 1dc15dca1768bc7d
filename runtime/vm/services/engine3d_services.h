#pragma once

#include <cstdint>

namespace zv {

// What the runtime core and the display ask of the 3D engine. The engine
// implements it; NullEngine3D stands in where no engine is linked.
class Engine3DServices {
 public:
  virtual ~Engine3DServices() = default;

  // Per-turn work, in the order the message pump calls it.
  virtual void RunPerTurn3DStep() {}
  virtual void RenderSceneIfEnabled() {}
  virtual void AnimateObjects() {}
  // Clears the 3D render target (not the depth buffer) to `colour`.
  virtual void ClearViewportColour(uint32_t colour) { (void)colour; }
  // Releases at shutdown.
  virtual void ReleaseAll() {}
};

class NullEngine3D final : public Engine3DServices {};

// Flags that the resets set, the 3D commands change and the pump reads.
struct RenderTiming {
  int scene_render = 0;  // 0: render before the program's slice, 1: in the frame refresh
  int draw_queue = 0;    // 0: run the draw queue before the slice, 1: after the sprites
  bool backdrop_on = true;
  bool collision_on = true;
};

}  // namespace zv
