#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "platform/render3d/caps.h"
#include "platform/render3d/pipeline.h"
#include "platform/render3d/rasterizer.h"
#include "platform/render3d/texture.h"
#include "platform/render3d/types.h"
#include "platform/render3d/vertex_buffer.h"
#include "platform/render3d/vertex_processing.h"
#include "platform/surface/surface.h"

namespace zv::platform {

// The 3D device on a render target (a 16- or 32-bit surface, with the
// depth buffer attached to it, if any): the fixed-function state the engine
// sets, scenes, clears and indexed triangle lists drawn from vertex buffers.
// Every setter refuses a state or value the device does not carry with a
// failure result and keeps what it had; every getter returns exactly what
// was set. Drawing happens at once, into the target's memory, so 2D drawing
// afterwards lands on top. README.md beside this file lists the capability
// profile and the choices the rasterizer makes.
class Device3D {
 public:
  struct Stats {
    uint64_t triangles_drawn = 0;  // after culling and clipping
    uint64_t pixels_written = 0;
  };

  // Made through Render3D::CreateDevice.
  Device3D(DeviceKind kind, SurfacePtr target);
  Device3D(const Device3D&) = delete;
  Device3D& operator=(const Device3D&) = delete;

  DeviceKind Kind() const { return kind_; }
  const DeviceCaps& Caps() const { return caps_; }
  std::vector<PixelFormat> EnumTextureFormats() const { return TextureFormats(); }
  Surface& RenderTarget() { return *target_; }

  // ---- Scenes and clears --------------------------------------------------------
  // Fails while a scene is open, or with kSurfaceLost / kSurfaceBusy while
  // the target is lost or locked.
  Result BeginScene();
  Result EndScene();
  bool InScene() const { return in_scene_; }
  // Clears the rectangles (all of the viewport when none are given), each
  // cut to the viewport: the target to `colour` (0xAARRGGBB) and/or the
  // depth buffer to `z` (0..1). Works inside and outside scenes. The depth
  // buffer is written once a draw is about to test against it, so frames
  // that draw nothing in 3D cost no depth clear.
  Result Clear(std::span<const Rect> rects, uint32_t flags, PackedColour colour, float z,
               uint32_t stencil = 0);

  // ---- State ---------------------------------------------------------------------
  Result SetTransform(TransformState state, const Matrix4& matrix);
  Result GetTransform(TransformState state, Matrix4* out) const;
  // The viewport must lie inside the target, with both depths in 0..1.
  Result SetViewport(const Viewport& viewport);
  Result GetViewport(Viewport* out) const;
  // Float states (fog start and end) take the float's bits.
  Result SetRenderState(RenderState state, uint32_t value);
  Result GetRenderState(RenderState state, uint32_t* out) const;
  static uint32_t FloatBits(float value);
  // Only stage 0 exists.
  Result SetTextureStageState(uint32_t stage, TextureStageState state, uint32_t value);
  Result GetTextureStageState(uint32_t stage, TextureStageState state, uint32_t* out) const;
  Result SetTexture(uint32_t stage, TexturePtr texture);
  Result GetTexture(uint32_t stage, TexturePtr* out) const;
  // Makes the texture's sampled copy now, so that the first frame using it
  // does not.
  Result PreLoad(Texture& texture);
  Result SetMaterial(const Material& material);
  Result GetMaterial(Material* out) const;
  // Any index may hold a light; enabling an index never set gives it the
  // default light (white, directional, shining along +z).
  Result SetLight(uint32_t index, const Light& light);
  Result GetLight(uint32_t index, Light* out) const;
  Result LightEnable(uint32_t index, bool enable);
  Result GetLightEnable(uint32_t index, bool* out) const;

  // ---- Drawing --------------------------------------------------------------------
  // Draws indices.size() / 3 triangles of vertices start_vertex +
  // index. Only triangle lists are drawn, inside a scene, from an unlocked
  // buffer; a triangle naming a vertex outside start_vertex ..
  // start_vertex + vertex_count - 1 is skipped.
  Result DrawIndexedPrimitiveVB(PrimitiveType type, const VertexBuffer& buffer, uint32_t start_vertex,
                                uint32_t vertex_count, std::span<const uint16_t> indices,
                                uint32_t flags = 0);

  const Stats& GetStats() const { return stats_; }
  void ResetStats() { stats_ = Stats{}; }

 private:
  struct States {
    uint32_t z_enable = zbuffer::kTrue;
    uint32_t fill_mode = fill_mode::kSolid;
    uint32_t z_write = 1;
    uint32_t src_blend = blend::kOne, dest_blend = blend::kZero;
    uint32_t cull_mode = cull_mode::kCcw;
    uint32_t alpha_blend = 0;
    uint32_t fog_enable = 0;
    uint32_t fog_color = 0;
    uint32_t fog_table_mode = fog_mode::kNone;
    uint32_t fog_start = 0;           // float bits: 0.0
    uint32_t fog_end = 0x3F800000u;   // float bits: 1.0
    uint32_t color_key_enable = 0;
    uint32_t ambient = 0;
    uint32_t fog_vertex_mode = fog_mode::kNone;
    uint32_t normalize_normals = 0;
    uint32_t texture_perspective = 1;
    uint32_t shade_mode = shade_mode::kGouraud;
    uint32_t dither_enable = 0;
    uint32_t specular_enable = 0;
    uint32_t color_vertex = 1;
    uint32_t local_viewer = 1;
  };
  struct StageStates {
    uint32_t color_op = texture_op::kModulate;
    uint32_t color_arg1 = texture_arg::kTexture;
    uint32_t address = texture_address::kWrap;
    uint32_t mag_filter = mag_filter::kPoint;
    uint32_t min_filter = min_filter::kPoint;
    uint32_t mip_filter = mip_filter::kNone;
  };
  struct LightSlot {
    Light light;
    bool enabled = false;
  };

  uint32_t* StateField(RenderState state);
  const uint32_t* StateField(RenderState state) const;
  bool TargetUsable(Result* why) const;
  void AddDepthFill(const Rect& rect, uint32_t value);
  void MakePendingDepthFills();
  pipeline::PixelState MakePixelState();
  void DrawTriangle(uint32_t i0, uint32_t i1, uint32_t i2, const pipeline::RasterTarget& target);
  void DrawPolygon(const pipeline::ScreenVertex* const* v, const bool* edges, int count,
                   const pipeline::RasterTarget& target);
  pipeline::ScreenVertex ToScreen(const pipeline::ClipVertex& v) const;

  DeviceKind kind_;
  DeviceCaps caps_;
  SurfacePtr target_;
  Surface* depth_;  // attached to the target; null when none
  // Depth clears not yet made, in order.
  struct DepthFill {
    Rect rect;
    uint32_t value;
  };
  std::vector<DepthFill> depth_fills_;
  bool in_scene_ = false;
  Matrix4 world_ = Matrix4::Identity(), view_ = Matrix4::Identity(),
          projection_ = Matrix4::Identity();
  Viewport viewport_;
  States states_;
  StageStates stage_;
  TexturePtr texture_;
  Material material_;
  std::map<uint32_t, LightSlot> lights_;
  // Made from the material, the lights and their states when one of them
  // changed since the last draw.
  pipeline::LightingSetup lighting_;
  bool lighting_stale_ = true;
  std::vector<pipeline::ClipVertex> processed_;
  // The screen positions of the processed vertices that need no clipping,
  // made once per draw rather than once per triangle using them.
  std::vector<pipeline::ScreenVertex> screen_;
  Stats stats_;
};

}  // namespace zv::platform
