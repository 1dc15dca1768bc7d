#pragma once

#include <cstdint>

#include "engine3d/scene/static_scene.h"
#include "runtime/vm/vm.h"

namespace zv {

class Engine3D;

// Copies every limb and material group of the object's model, where it is
// drawn now (a glued object where it hangs), into the static scene. 0, or -1 when the scene refused a
// piece (the other pieces are still added), or kNoMeshRoom when the mesh
// pool ran out of room (the pieces after it are not added).
int32_t CopyObjectToStaticScene(Engine3D& e, int32_t object, const StaticPieceMode& mode);
// The object's geometry into the scene with the object as its owner.
void MoveObjectGeometryToStaticScene(Engine3D& e, int32_t object);
// Empties a scene that holds any group, and shows again every object moved
// into it.
void DeleteStaticObjects(Engine3D& e);
// Every object whose geometry was moved into the scene is an object again:
// shown, and no more in the scene.
void ShowMovedObjects(Engine3D& e);

// The static scene commands: copy and move objects into it, take them back,
// clear, save and load it, add collision boxes, switch its occlusion pass.
void RegisterStaticSceneHandlers(HandlerTable& table);

}  // namespace zv
