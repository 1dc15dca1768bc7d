#pragma once

#include <cstdint>

namespace zv {

class Engine3D;

// Switches the backdrop on (making it on first use: a grid of 3 x 2 tiles
// fixed in front of the camera, coloured 128); it shows from the next turn.
void BackdropOn(Engine3D& e);
void BackdropOff(Engine3D& e);
// Gives the backdrop the shared solid-colour texture of the colour.
void ColourBackdrop(Engine3D& e, uint32_t colour);
// Whether the backdrop, once drawn, lies over every pixel of the screen:
// the 3D view is the whole screen and the screen's shape is one whose
// corners the backdrop reaches (a wide screen shows past its sides).
bool BackdropCoversScreen(Engine3D& e);

}  // namespace zv
