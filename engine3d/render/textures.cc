#include "engine3d/render/textures.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "display/graphics.h"
#include "display/sprites.h"
#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/render/texture_loader.h"
#include "platform/paths/path_resolver.h"
#include "platform/text/system_text.h"
#include "runtime/attached/attached_data.h"

namespace zv {
namespace {

namespace p = platform;

// ---- Records and entries ---------------------------------------------------------------

// A fresh texture record; 0 after runtime error 101.
int32_t AllocTextureRecord(Engine3D& e) {
  const int32_t index = e.pools.AllocTexture(e.Machine());
  if (index == kNoRecord) return 0;
  std::vector<p::TexturePtr>& retired = e.texture_keeping.retired;
  if (static_cast<size_t>(index) < retired.size()) retired[static_cast<size_t>(index)].reset();
  return index;
}

void CreateTextureCacheEntry(Engine3D& e, int32_t texture, const std::string& key) {
  TextureRecord& t = e.pools.textures[texture];
  t.cached = true;
  t.cache_key = key;
  t.references = 1;
  e.texture_cache.Add(texture, key);
}

// ---- Images ----------------------------------------------------------------------------

RecordPool<ImageRecord>* ImagesOf(Engine3D& e) {
  Graphics* g = e.Bound() ? FindGraphics(e.Machine()) : nullptr;
  return g ? &g->Pools().images : nullptr;
}

ImageRecord* ImageOf(Engine3D& e, int32_t image) {
  RecordPool<ImageRecord>* images = ImagesOf(e);
  return images && images->InUse(image) ? &(*images)[image] : nullptr;
}

uint8_t& LinkOwned(Engine3D& e, int32_t image) {
  std::vector<uint8_t>& owned = e.texture_keeping.image_link_owned;
  if (static_cast<size_t>(image) >= owned.size()) owned.resize(static_cast<size_t>(image) + 16, 0);
  return owned[static_cast<size_t>(image)];
}

// Links the image to the texture; `owned` when the link holds one of the
// texture's references (taken by the caller). The reference an earlier
// link held goes.
void LinkImageTexture(Engine3D& e, int32_t image, int32_t texture, bool owned) {
  ImageRecord* img = ImageOf(e, image);
  if (!img || image < 0) return;
  const int32_t old = img->texture;
  const bool old_owned = LinkOwned(e, image) != 0;
  img->texture = texture;
  e.texture_keeping.image_links.Link(image, texture);
  LinkOwned(e, image) = owned || (old == texture && old_owned) ? 1 : 0;
  // One reference per link: a second one taken for the same link goes back.
  if (old_owned && old > 0 && (old != texture || owned)) ReleaseTexture(e, old, false);
}

// The link of image record `index` goes, with the reference it held.
void UnlinkImage(Engine3D& e, RecordPool<ImageRecord>& images, int32_t index) {
  ImageRecord& img = images[index];
  const int32_t texture = img.texture;
  const bool owned = LinkOwned(e, index) != 0;
  img.texture = 0;
  e.texture_keeping.image_links.Unlink(index);
  LinkOwned(e, index) = 0;
  if (TextureRecord* t = e.pools.Texture(texture); t && t->source_image == index) t->source_image = 0;
  if (texture > 0 && owned) ReleaseTexture(e, texture, false);
}

// Images still linked to a texture that goes forget it. A link the display
// dropped on its own (an image record emptied or made anew) is left alone.
void UnlinkImagesFrom(Engine3D& e, int32_t texture) {
  ChildLists& links = e.texture_keeping.image_links;
  RecordPool<ImageRecord>* images = ImagesOf(e);
  for (const int32_t i : links.ChildrenOf(texture)) {
    links.Unlink(i);
    if (!images || i >= images->Capacity() || (*images)[i].texture != texture) continue;
    (*images)[i].texture = 0;
    LinkOwned(e, i) = 0;
  }
}

void FreeTextureRecord(Engine3D& e, int32_t texture) {
  if (TextureRecord* t = e.pools.Texture(texture)) ReleaseHolderSurfaces(*t);
  std::vector<p::TexturePtr>& retired = e.texture_keeping.retired;
  if (static_cast<size_t>(texture) < retired.size()) retired[static_cast<size_t>(texture)].reset();
  UnlinkImagesFrom(e, texture);
  e.pools.FreeTexture(texture);
}

// The image texture of `image`, taken by a user (the link's own reference
// when `owned`).
int32_t TakeImageTexture(Engine3D& e, int32_t image, bool colour_key, bool make_new, bool owned) {
  ImageRecord* img = ImageOf(e, image);
  if (!img) return 0;
  const int32_t current = img->texture;
  if (current > 0 && !make_new && TextureHasCacheEntry(e, current)) {
    ++e.pools.textures[current].references;
    if (owned) LinkImageTexture(e, image, current, true);
    return current;
  }
  const int32_t texture = AllocTextureRecord(e);
  if (texture == 0) return 0;
  img = ImageOf(e, image);
  // A texture that cannot be made is still handed out: it draws nothing.
  // An image whose grab waits for the next sync has no picture yet; the
  // grab fills the texture linked to it, so its users see the picture.
  if (img->surface)
    MakeTextureFromSurface(e, e.pools.textures[texture], image, *img->surface, colour_key, make_new, false);
  CreateTextureCacheEntry(e, texture, std::string());
  LinkImageTexture(e, image, texture, owned);
  return texture;
}

// ---- Files -------------------------------------------------------------------------------

std::string WorkingFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string() : folder.string();
}

std::string LastThree(const std::string& name) { return name.size() >= 3 ? name.substr(name.size() - 3) : name; }

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

bool LoadTextureFileAt(Engine3D& e, TextureRecord& t, const std::string& path, const std::string& extension) {
  if (p::EqualNoCase(extension, "bmp")) return LoadBitmapTexture(e, t, path, true);
  return LoadDdsTexture(e, t, path) == 0;
}

// The shared texture of a key: a file's or a colour's. A file's key holds
// the folder of the model being loaded, so that models in two folders that
// name pictures alike each show their own.
int32_t GetCachedTexture(Engine3D& e, const std::string* name, uint32_t colour, int32_t lookup_mode) {
  const std::string key =
      name ? WorkingFolder() + e.texture_folder + *name : std::to_string(static_cast<int32_t>(colour));
  const int32_t cached = e.texture_cache.Find(key);
  if (TextureRecord* t = cached > 0 ? e.pools.Texture(cached) : nullptr) {
    ++t->references;
    return cached;
  }
  if (!e.Bound()) return 0;
  const int32_t index = AllocTextureRecord(e);
  if (index == 0) return 0;
  // A colour whose surface cannot be made still counts as made: the entry
  // stands, and the meshes draw untextured.
  const bool made = name ? LoadTextureFromFile(e, index, *name, lookup_mode)
                         : (MakeSolidColourTexture(e, index, colour), true);
  if (!made) {
    FreeTextureRecord(e, index);
    return 0;
  }
  CreateTextureCacheEntry(e, index, key);
  return index;
}

bool ColourOfKey(const std::string& key, uint32_t* colour) {
  if (key.empty()) return false;
  char* end = nullptr;
  const long value = std::strtol(key.c_str(), &end, 10);
  if (!end || *end != '\0') return false;
  *colour = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

// ---- Shared textures ---------------------------------------------------------------------

int32_t LoadTextureFile(Engine3D& e, const std::string& name, int32_t lookup_mode) {
  return GetCachedTexture(e, &name, 0, lookup_mode);
}

int32_t GetColourTexture(Engine3D& e, uint32_t colour) { return GetCachedTexture(e, nullptr, colour, 0); }

namespace {

bool LoadNamedTexture(Engine3D& e, int32_t texture, const std::string& asked, int32_t lookup_mode) {
  TextureRecord* t = e.pools.Texture(texture);
  if (!t) return false;
  AttachedData* attached = e.Bound() ? e.Machine().attached_data : nullptr;
  std::string name = asked;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) {
      if (name.size() < 3) break;
      name = name.substr(0, name.size() - 3) + "dds";
    }
    const std::string extension = LastThree(name);
    if (attached) {
      std::string path = name;
      const bool found = lookup_mode == 1
                             ? attached->ResolveVirtualFile(path, extension)
                             : attached->ResolveVirtualFileByName(path, extension, e.texture_folder + name);
      if (found) return LoadTextureFileAt(e, *t, path, extension);
    }
    const std::string path = p::Paths().Resolve(e.texture_folder + name);
    if (IsFile(path)) return LoadTextureFileAt(e, *t, path, extension);
  }
  return false;
}

}  // namespace

bool LoadTextureFromFile(Engine3D& e, int32_t texture, const std::string& asked, int32_t lookup_mode) {
  try {
    return LoadNamedTexture(e, texture, asked, lookup_mode);
  } catch (const p::RefusedName&) {
    // A model file is no program: a picture it names with a mark no name
    // may hold is one it does not have.
    if (lookup_mode == 1) throw;
    return false;
  }
}

void AddTextureReference(Engine3D& e, int32_t texture) {
  if (TextureHasCacheEntry(e, texture)) ++e.pools.textures[texture].references;
}

void ReleaseTexture(Engine3D& e, int32_t texture, bool force) {
  TextureRecord* t = e.pools.Texture(texture);
  if (!e.texture_cache.Contains(texture) || !t) return;
  if (--t->references > 0 && !force) return;
  e.texture_cache.Remove(texture);
  FreeTextureRecord(e, texture);
}

bool TextureHasCacheEntry(Engine3D& e, int32_t texture) {
  const TextureRecord* t = e.pools.Texture(texture);
  return t && t->cached;
}

bool MakeSolidColourTexture(Engine3D& e, int32_t texture, uint32_t colour) {
  TextureRecord* t = e.pools.Texture(texture);
  return t && MakeSolidColourTexture(e, *t, colour);
}

// ---- Textures made from images ---------------------------------------------------------------

int32_t GetImageTexture(Engine3D& e, int32_t image, bool colour_key, bool make_new) {
  return TakeImageTexture(e, image, colour_key, make_new, false);
}

int32_t MakeImageTexture(Engine3D& e, int32_t image, bool make_new) {
  return TakeImageTexture(e, image, true, make_new, true);
}

int32_t LoadImageTextureFile(Engine3D& e, int32_t image, const std::string& name) {
  if (!ImageOf(e, image)) return 0;
  const int32_t texture = LoadTextureFile(e, name, 1);
  if (texture > 0) LinkImageTexture(e, image, texture, true);
  return texture;
}

bool UpdateImageTexture(Engine3D& e, int32_t image, bool colour_key, bool compress) {
  ImageRecord* img = ImageOf(e, image);
  TextureRecord* t = img ? e.pools.Texture(img->texture) : nullptr;
  if (!t || !img->surface) return false;
  p::Surface& picture = *img->surface;
  if (t->surface && picture.Width() == t->source_width && picture.Height() == t->source_height &&
      compress == (t->compressed != 0))
    return RefreshTextureFromSurface(e, *t, picture, picture.Width(), picture.Height());
  ReleaseHolderSurfaces(*t);
  return MakeTextureFromSurface(e, *t, image, picture, colour_key, compress, false);
}

void ReleaseImageTexture(Engine3D& e, int32_t image) {
  RecordPool<ImageRecord>* images = ImagesOf(e);
  if (images && image > 0 && image < images->Capacity()) UnlinkImage(e, *images, image);
}

void ReleaseAllImageTextures(Engine3D& e) {
  if (RecordPool<ImageRecord>* images = ImagesOf(e))
    for (int32_t i = 0; i < images->Capacity(); ++i)
      if ((*images)[i].texture > 0) UnlinkImage(e, *images, i);
  e.texture_keeping.remake_image_textures = true;
}

void GiveLimbTexture(Engine3D& e, int32_t object, int32_t limb, int32_t texture) {
  ObjectRecord* o = e.pools.Object(object);
  if (o && o->model) o->model->SetLimbTexture(limb, texture);
  if (texture > 0) ReleaseTexture(e, texture, false);
}

void RemakeObjectImageTextures(Engine3D& e) {
  if (!e.Bound()) return;
  Sprites* sprites = FindSprites(e.Machine());
  const bool asked = e.texture_keeping.remake_image_textures || (sprites && sprites->remake_image_textures);
  if (!asked) return;
  e.texture_keeping.remake_image_textures = false;
  if (sprites) sprites->remake_image_textures = false;
  Graphics* g = FindGraphics(e.Machine());
  if (!g) return;
  for (int32_t o = e.pools.objects.Head(); o != kNoRecord; o = e.pools.objects.Next(o)) {
    for (int32_t limb = 0; limb < e.pools.objects[o].LimbCapacity(); ++limb) {
      ObjectRecord& object = e.pools.objects[o];
      const LimbRecord& l = *object.Limb(limb);
      if (object.in_use != 1 || !object.model || l.in_use != 1 || l.image_number <= 0) continue;
      const int32_t image = g->Pools().image_ids.Get(l.image_number);
      const ImageRecord* img = ImageOf(e, image);
      if (!img || !img->surface) continue;
      GiveLimbTexture(e, o, limb, GetImageTexture(e, image, true));
      e.pools.objects[o].Limb(limb)->image_index = image;
    }
  }
}

// ---- Changing a texture ------------------------------------------------------------------------

int32_t BuildTextureMipmaps(Engine3D& e, int32_t texture, uint8_t format_digit) {
  TextureRecord* t = e.pools.Texture(texture);
  if (!t) return 0;
  BuildTextureMipmapsOf(e, *t, format_digit);
  return 1;
}

bool RemakeTextureColourKeyed(Engine3D& e, int32_t texture) {
  TextureRecord* t = e.pools.Texture(texture);
  return t && RemakeHolderColourKeyed(e, *t);
}

namespace {

// The texture record of every limb in use (each limb's own, as often as
// limbs share one).
template <class Act>
void ForEachLimbTexture(Engine3D& e, int32_t object, Act act) {
  ObjectRecord* o = e.pools.Object(object);
  if (!o || !o->model) return;
  const std::shared_ptr<ObjectModel> model = o->model;
  for (int32_t limb = 0; limb < e.pools.objects[object].LimbCapacity(); ++limb) {
    if (e.pools.objects[object].Limb(limb)->in_use != 1) continue;
    int32_t texture = 0;
    model->GetLimbTextureRecord(limb, &texture);
    if (texture > 0) act(texture);
  }
}

// The digit of DXT1, as the texture-mode commands name it.
constexpr uint8_t kMipmapFormatDigit = 49;

}  // namespace

void KeyLimbTexturesOnBlack(Engine3D& e, int32_t object) {
  ForEachLimbTexture(e, object, [&](int32_t texture) { RemakeTextureColourKeyed(e, texture); });
}

void BuildLimbTextureMipmaps(Engine3D& e, int32_t object) {
  ForEachLimbTexture(e, object, [&](int32_t texture) { BuildTextureMipmaps(e, texture, kMipmapFormatDigit); });
}

// ---- Around display changes and resets ---------------------------------------------------------

void RetireTextureSurfaces(Engine3D& e) {
  std::vector<p::TexturePtr>& retired = e.texture_keeping.retired;
  retired.resize(std::max(retired.size(), static_cast<size_t>(e.pools.textures.Capacity())));
  for (int32_t i = 0; i < e.pools.textures.Capacity(); ++i)
    if (e.pools.textures.InUse(i) && e.pools.textures[i].surface)
      retired[static_cast<size_t>(i)] = std::move(e.pools.textures[i].surface);
}

void RecreateTextures(Engine3D& e) {
  std::vector<p::TexturePtr>& retired = e.texture_keeping.retired;
  for (int32_t i = 0; i < e.pools.textures.Capacity(); ++i) {
    if (!e.pools.textures.InUse(i)) continue;
    TextureRecord& t = e.pools.textures[i];
    p::TexturePtr old = static_cast<size_t>(i) < retired.size() ? std::move(retired[static_cast<size_t>(i)]) : nullptr;
    uint32_t colour = 0;
    if (ColourOfKey(t.cache_key, &colour))
      MakeSolidColourTexture(e, t, colour);
    else if (old)
      RemakeTextureForDevice(e, t, *old);
  }
  retired.clear();
}

void ClearTextureCache(Engine3D& e) {
  e.texture_cache.Clear();
  e.texture_keeping = TextureKeeping{};
}

}  // namespace zv
