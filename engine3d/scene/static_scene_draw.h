#pragma once

namespace zv {

class Engine3D;

// Which polygons the camera sees this frame: ownerless ones by their
// bounding spheres against the view and, with occlusion on, against the
// screen rectangles of the nearer occluders; owned ones as their container.
void UpdateStaticVisibility(Engine3D& e);

// The frame's draw of the static scene, inside the open scene: the
// visibility pass, then group by group (each with its texture) the visible
// polygons in batches of under 300 vertices through the shared vertex
// buffer. Nothing without a group.
void DrawStaticScene(Engine3D& e);

}  // namespace zv
