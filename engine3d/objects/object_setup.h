#pragma once

#include <cstdint>

namespace zv {

class Engine3D;

// A cleared object record with a limb array of 32; kNoRecord after runtime
// error 101.
int32_t AllocObjectRecord(Engine3D& e);
// Releases the record's contents (static geometry, glue of objects glued
// to it, model, animation, grid meshes, limbs) and frees it.
bool ReleaseObjectRecord(Engine3D& e, int32_t index);

// Gives a freshly allocated record with a model its defaults and a render
// record, and (with `place_camera` and the automatic camera on) puts the
// camera where it sees the object. Returns the render record, or kNoRecord
// after runtime error 101 when a record it needs could not be had: the
// object is half made then, and the caller deletes it.
int32_t SetUpObject(Engine3D& e, int32_t index, bool place_camera);
// The integer part of a radius, plus one: the culling and bounding radii.
float WholeUnitsPlusOne(float radius);

// The culling radius from the model, in the object's own space. Every
// change of the object's limbs comes through here, so its bounding sphere
// and size are marked to be measured again (MeasureBoundsIfStale), as
// posing it does.
void ComputeObjectBounds(Engine3D& e, int32_t index);
// The bounding sphere and the size, from the model's geometry as it shows
// in the object's own space at the frame it was set to or played, measured
// again when its limbs changed or it was posed since; their readers call
// this first.
void MeasureBoundsIfStale(Engine3D& e, int32_t index);
// The object's meshes file collision shapes of `kind` (one of
// models::collision_kind) fitted by the model, and the object keeps the kind.
void FitCollisionShapes(Engine3D& e, int32_t index, int32_t kind);
// A limb was added: every mesh files shapes of the kind the program chose
// for the object (fitted spheres, boxes or polygons), else fitted boxes, as a
// loaded model's do; while its collision is off or a box the program gave
// stands for it, none until that changes.
void FitShapesAfterNewLimb(Engine3D& e, int32_t index);
// The object's meshes file the shapes of its kind and sizes anew.
void RebuildCollisionShapes(Engine3D& e, int32_t index);
// Deletes object `number` whose record is `index`: its render record goes,
// the record is released and the number freed.
bool DeleteObject(Engine3D& e, int32_t index, int32_t number);

// The object's root frame matrix from its placement: from its angles, or
// from its free matrix while that is in force.
void RebuildObjectTransform(Engine3D& e, int32_t index);
void RebuildObjectTransformFromAngles(Engine3D& e, int32_t index);

// Glues the object to the limb of object `target` (record indices; 0
// ungluing it): every change of the glue goes through here.
void SetGlue(Engine3D& e, int32_t index, int32_t target, int32_t limb);
// Whether the object is seen before the camera: locked to it, or glued
// (up its glue chain) to an object that is, as a flash on a gun held
// before the camera. Such an object is drawn with the objects locked to the
// camera, in the camera's space, and stands out of collisions as they do.
bool LockedToCamera(Engine3D& e, int32_t index);
// Frees a glued object where it is drawn: its position becomes its place in
// the world, its own offset from the limb included, and it turns by its
// angles again.
void UnglueInPlace(Engine3D& e, int32_t index);

// Takes the object off the animated-object list.
void DetachAnimatedObject(Engine3D& e, int32_t index);

}  // namespace zv
