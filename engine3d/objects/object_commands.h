#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// Objects made from files, meshes and primitives, instances, deletion,
// collision boxes and how the render draws each object.
void RegisterObjectHandlers(HandlerTable& table);
// Meshes: load, delete, make from an object; the limb checklist.
void RegisterMeshHandlers(HandlerTable& table);

}  // namespace zv
