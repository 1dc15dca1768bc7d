#pragma once

#include <cstdint>

#include "engine3d/objects/matrix_math.h"

namespace zv {

namespace platform {
class Device3D;
}

class Engine3D;
struct RenderSettings;
struct CameraState;

// The run reset's values of the scene settings and the camera's projection.
void ResetRunSettings(RenderSettings& settings, CameraState& camera);

// Fog, linear, by table fog where the device has only that.
void FogOn(Engine3D& e);
// The fog's mode (while fog is on), end and colour, for a device that has
// just been made; whether objects are fogged follows their marks.
void SendFogSettings(Engine3D& e, platform::Device3D& device, bool table_fog);
void FogOff(Engine3D& e);
void SetFogEnd(Engine3D& e, int32_t distance);
void SetFogColour(Engine3D& e, uint32_t colour);
// The scene material from a percentage of ambient light; false when the
// device refused the material.
bool SetAmbientLevel(Engine3D& e, int32_t percent);
void SetAmbientColour(Engine3D& e, uint32_t colour);
void SetNormalizeSwitch(Engine3D& e, uint32_t value);
// Builds the projection from the field of view, the display's aspect and
// the ranges and sets it on the device (when there is one).
bool SetCameraProjection(Engine3D& e, float near_range, float far_range, float fov);
// The projection SetCameraProjection would set (a matrix whose values fail
// the build stays the current projection).
Matrix4 CameraProjectionMatrix(Engine3D& e, float near_range, float far_range, float fov);
bool SetCameraViewport(Engine3D& e, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Clears the render target (not the depth buffer) to `colour` (0xRRGGBB).
void ClearRenderTarget(Engine3D& e, uint32_t colour);
// Mip filtering of stage 0: 0 none, 1 point, 2 linear.
void SetMipmapMode(Engine3D& e, int32_t mode);

}  // namespace zv
