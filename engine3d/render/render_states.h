#pragma once

#include <cstdint>

#include "engine3d/objects/matrix_math.h"

namespace zv {

class Engine3D;

// Binds a texture record's texture to stage 0 (0 binds none).
void SetStageTexture(Engine3D& e, int32_t texture);
void SetTextureFilterPoint(Engine3D& e);
// The best filter the device offers: linear, anisotropic, or point.
void SetTextureFilterBest(Engine3D& e);
// Sets the material of the cache's selection on the device.
void ApplyMaterialSelection(Engine3D& e);
// The cache back to what the device set-up leaves (after every device
// creation).
void ResetRenderStateCache(Engine3D& e);

// The frame's default states (before the static scene), each sent only when
// the cache says the device holds another value.
void ResetRenderStates(Engine3D& e);
// The states a render record asks for, each sent only when it changes.
void ApplyRenderRecordStates(Engine3D& e, int32_t record);

// Draws the object's model, inside the transform of the limb it is glued to:
// only its meshes of that texture, or (with -1) every mesh with its own.
void DrawObjectModel(Engine3D& e, int32_t object, int32_t texture);
// WORLD = base x the world matrix of the limb of `glued_to` that the object
// is glued to, each object up the glue chain (at most 10) placed from the
// limb that the one below it hangs from.
void ApplyGlueTransform(Engine3D& e, int32_t object, int32_t glued_to, const Matrix4& base);
// The world positions and angles of the object's limbs, as they stand now.
void UpdateLimbWorldData(Engine3D& e, int32_t object, bool use_glue);
Matrix4 GetLimbFrameWorldMatrix(Engine3D& e, int32_t object, int32_t limb);
// The world matrix of the limb the object is glued to (up its glue chain),
// inside which it is drawn; the identity when it is not glued.
Matrix4 GlueWorldMatrix(Engine3D& e, int32_t object);
// The world matrix the object's model stands in, as it is seen: where its
// glue holds it, and for an object locked to the camera (or hanging from
// one) where it stands before the camera; the identity for any other.
Matrix4 ObjectBaseMatrix(Engine3D& e, int32_t object);
// Where an object drawn with the camera-locked ones stands in the camera's
// space: its position, or, glued, its offset from the limb that holds it.
Vector3f CameraSpaceOrigin(Engine3D& e, int32_t object);

}  // namespace zv
