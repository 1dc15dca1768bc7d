#pragma once

#include <cstdint>
#include <string>

namespace zv {

class Engine3D;

// The work file that 3DS models are converted into before they load:
// "workfile.x" in the process's temporary folder; empty without one.
std::string WorkFilePath(Engine3D& e);

// Loads the 3DS file at `path` (a path of this machine) into the object
// through the work file, which is deleted afterwards: the model's frame
// count, 0 when no model could be built (a face past its mesh's vertices,
// or what the X reader refused), or the conversion's negative result (-4:
// the file cannot be read; -3: it is no whole 3DS file, or there is no work
// file to use; -5: the work file cannot be written). `why` says what is
// wrong and where in the 3DS file.
int32_t Load3dsIntoObject(Engine3D& e, int32_t object, const std::string& path, std::string* why = nullptr);

}  // namespace zv
