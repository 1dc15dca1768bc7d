#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine3d/objects/child_lists.h"
#include "platform/render3d/texture.h"

namespace zv {

class Engine3D;

// The texture cache: every texture is a record of the texture pool with an
// entry in the cache; textures from files and colours are shared by their
// key (a file's: the working folder, the folder of the model being loaded
// and the name as asked; a colour's: its decimal value), textures made from images by the image's
// link. Each counts its users; the last release frees the record.

// What the cache keeps beside the records: the pictures of textures whose
// surfaces a display change took (made again on the new device), which
// image links hold a reference of their texture, and the request to remake
// the textures objects took from images.
struct TextureKeeping {
  std::vector<platform::TexturePtr> retired;   // by texture record
  std::vector<uint8_t> image_link_owned;       // by image record
  ChildLists image_links;                      // images by the texture they link to
  bool remake_image_textures = false;
};

// ---- Shared textures ---------------------------------------------------------------

// The texture of an image file, shared by name: lookup mode 1 searches a
// built game's records by the whole name, 0 by the file name only (names
// inside model files); the file is looked for in the folder of the model
// being loaded. A name whose file is missing is tried once more ending in
// "dds". 0 when neither loads.
int32_t LoadTextureFile(Engine3D& e, const std::string& name, int32_t lookup_mode);
// The shared solid-colour texture of a packed 0xRRGGBB colour; 0 when no
// texture record can be had.
int32_t GetColourTexture(Engine3D& e, uint32_t colour);
// Fills the record from the file (the loader's part of LoadTextureFile).
bool LoadTextureFromFile(Engine3D& e, int32_t texture, const std::string& name, int32_t lookup_mode);
// One more user of a texture the cache holds (nothing for another).
void AddTextureReference(Engine3D& e, int32_t texture);
// Drops one user of a texture (every user when `force`); the last one
// releases its surface and frees the record, unlinking images from it. A
// texture that is not in the cache is left alone.
void ReleaseTexture(Engine3D& e, int32_t texture, bool force);
bool TextureHasCacheEntry(Engine3D& e, int32_t texture);
// Fills the texture record's surface with the colour (32 x 32, the back
// buffer's format); false when the device makes no texture.
bool MakeSolidColourTexture(Engine3D& e, int32_t texture, uint32_t colour);

// ---- Textures made from images ----------------------------------------------------

// The texture of image record `image` (taken by a user: its count goes up),
// made from the image's picture when it has none yet or `make_new` (then
// compressed), keyed on black when asked. 0 without an image picture.
int32_t GetImageTexture(Engine3D& e, int32_t image, bool colour_key, bool make_new = false);
// The same for the image itself: its link holds the reference.
int32_t MakeImageTexture(Engine3D& e, int32_t image, bool make_new);
// Shares the file's texture as the image's (the link holds the
// reference); 0 when the file makes none.
int32_t LoadImageTextureFile(Engine3D& e, int32_t image, const std::string& name);
// After the image's pixels changed: copied into its texture, or the texture
// made again when the size or compression differs.
bool UpdateImageTexture(Engine3D& e, int32_t image, bool colour_key, bool compress);
// Unlinks the image from its texture, dropping the link's reference.
void ReleaseImageTexture(Engine3D& e, int32_t image);
// Every image's (before the images go with a display change); objects
// using them are asked to take their textures again.
void ReleaseAllImageTextures(Engine3D& e);
// Shows a texture the caller took on the object's limb: its meshes take
// references of their own, and the caller's goes.
void GiveLimbTexture(Engine3D& e, int32_t object, int32_t limb, int32_t texture);
// Limbs textured from images take their image's present texture (when an
// image textures were released asked for it).
void RemakeObjectImageTextures(Engine3D& e);

// ---- Changing a texture ------------------------------------------------------------

// Mip levels for a texture without them (compressed by the digit's block
// format where the device takes it); 1 for a texture record in use.
int32_t BuildTextureMipmaps(Engine3D& e, int32_t texture, uint8_t format_digit);
// The texture again, keyed on black (its users see it transparent).
bool RemakeTextureColourKeyed(Engine3D& e, int32_t texture);

// What the render-flag and texture-mode commands of objects (and matrices)
// do to the textures of every limb in use: key them on black once the
// object is drawn colour-keyed, or give them mip levels.
void KeyLimbTexturesOnBlack(Engine3D& e, int32_t object);
void BuildLimbTextureMipmaps(Engine3D& e, int32_t object);

// ---- Around display changes and resets ------------------------------------------------

// Takes every texture's surface away from the device that goes; the
// pictures are kept for RecreateTextures.
void RetireTextureSurfaces(Engine3D& e);
// Every texture in use made again for the new device: colours from their
// key, the others from their kept pictures.
void RecreateTextures(Engine3D& e);
// Forgets every cache entry and what was kept (at a reset, after the
// textures went).
void ClearTextureCache(Engine3D& e);

}  // namespace zv
