#pragma once

// FreeType and fontconfig, loaded when text is first measured or drawn.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_FREETYPE_FUNCTIONS(X)                                                                       \
  X(FT_Done_Face) X(FT_Done_FreeType) X(FT_Get_Char_Index) X(FT_Get_Sfnt_Table) X(FT_GlyphSlot_Embolden) \
  X(FT_GlyphSlot_Oblique) X(FT_Init_FreeType) X(FT_Load_Glyph) X(FT_New_Face) X(FT_Render_Glyph)         \
  X(FT_Set_Char_Size) X(FT_Set_Charmap)
ZV_SYSTEM_LIBRARY(FreeTypeLibrary, FreeType, "libfreetype.so.6", ZV_FREETYPE_FUNCTIONS)

#define ZV_FONTCONFIG_FUNCTIONS(X)                                                                     \
  X(FcConfigSubstitute) X(FcDefaultSubstitute) X(FcFontList) X(FcFontMatch) X(FcFontSetDestroy) X(FcInit) \
  X(FcLangSetHasLang) X(FcObjectSetBuild) X(FcObjectSetDestroy) X(FcPatternAddBool) X(FcPatternAddInteger) \
  X(FcPatternAddString) X(FcPatternCreate) X(FcPatternDestroy) X(FcPatternGetInteger) X(FcPatternGetLangSet) \
  X(FcPatternGetString)
ZV_SYSTEM_LIBRARY(FontconfigLibrary, Fontconfig, "libfontconfig.so.1", ZV_FONTCONFIG_FUNCTIONS)

}  // namespace zv::platform
