#pragma once

// libtiff, loaded when a program first loads a TIFF picture: it brings
// half a dozen compression libraries of its own that no other picture
// needs.
#include <tiffio.h>

#include "platform/dynlib/system_library.h"

namespace zv::codecs {

#define ZV_TIFF_FUNCTIONS(X)                                                                             \
  X(TIFFClientOpenExt) X(TIFFClose) X(TIFFGetField) X(TIFFOpenOptionsAlloc) X(TIFFOpenOptionsFree)         \
  X(TIFFOpenOptionsSetErrorHandlerExtR) X(TIFFOpenOptionsSetMaxSingleMemAlloc)                           \
  X(TIFFOpenOptionsSetWarningHandlerExtR) X(TIFFRGBAImageOK) X(TIFFReadRGBAImageOriented) X(TIFFSetField)
ZV_SYSTEM_LIBRARY(TiffLibrary, Tiff, "libtiff.so.6", ZV_TIFF_FUNCTIONS)

}  // namespace zv::codecs
