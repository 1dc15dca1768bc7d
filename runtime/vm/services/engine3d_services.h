#pragma once

#include <cstdint>

namespace zv {

class Vm;

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

  // The record-pool reset at the start of every run: the engine's pools and
  // number maps, its per-run settings; the engine works for `vm` from here.
  virtual void ResetRecordPools(Vm& vm) { (void)vm; }
  // The 3D reset of every run: backdrop, camera, projection, default light.
  virtual void Reset3DState() {}

  // Around a display change.
  virtual void ReleaseTextureSurfaces() {}
  virtual void ClearLimbTextures() {}
  virtual void RecreateTextures() {}
  // Device resources of every object's model, and the lights, again.
  virtual void RebuildObjectModels() {}
  virtual void UpdateCameraView() {}
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
