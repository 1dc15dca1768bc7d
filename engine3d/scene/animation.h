#pragma once

#include <cstdint>
#include <span>

#include "engine3d/objects/matrix_math.h"
#include "engine3d/scene/quaternion.h"
#include "models/files/keyframes.h"

namespace zv {

class Engine3D;

// Whether the object is on the animated-object list (objects join it
// through AttachAnimatedObject of the keyframe editing).
bool IsAnimatedObject(const Engine3D& e, int32_t index);

// ---- Posing ------------------------------------------------------------------------------

// The frame refresh's animation step: every object on the list that is not
// in the static scene advances its clock (play once, loop, stop at the end)
// and is posed at its current frame.
void AnimateObjects(Engine3D& e);

// Poses the object from its keyframes at its current frame, blending
// towards the target frame while a transition runs, and loads the frame
// matrices into its model.
void ComputeObjectFrameMatrices(Engine3D& e, int32_t index);

// Objects that share one model (instances) share its frames: before the
// model is drawn or its limbs are measured for one of them, it takes that
// object's own pose (from its last animation step, or at its own frame when
// it is not animated). Nothing for a model that is not shared or has no
// keyframes.
void PutOwnPoseOnModel(Engine3D& e, int32_t index);

// The object's frame was set (or its play started at a frame): its model
// takes the pose of that frame when it is next measured, before the next
// animation step.
void FrameChanged(Engine3D& e, int32_t index);

// Readies the object's model before it is drawn, collision-tested, measured
// or copied out: the pose of a frame set since its last animation step, and,
// for a model shared by instances, that object's own placement on the root
// frame and its own pose on the others.
void ReadyModelFor(Engine3D& e, int32_t index);

// The rotation at `frame`: the first key before the first key's time, the
// last at or after the last key's, else the blend of the two keys around it.
// Times compare as whole frames.
KeyQuaternion InterpolateRotationKeys(const models::KeyArray<5>& keys, float frame);
// The same for scale or translation keys.
Vector3f InterpolateVectorKeys(const models::KeyArray<4>& keys, float frame);
// a + (b - a) t.
Vector3f LerpVector(const Vector3f& a, const Vector3f& b, float t);

}  // namespace zv
