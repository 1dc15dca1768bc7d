#pragma once

// libcurl, loaded when a program first connects to an FTP server. Its
// option calls are plain functions here: the checking macros its header
// would put in their place call the library by its own name.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_CURL_FUNCTIONS(X)                                                                                \
  X(curl_easy_cleanup) X(curl_easy_duphandle) X(curl_easy_escape) X(curl_easy_getinfo) X(curl_easy_init)   \
  X(curl_easy_pause) X(curl_easy_reset) X(curl_easy_setopt) X(curl_easy_strerror) X(curl_free)             \
  X(curl_global_init) X(curl_multi_add_handle) X(curl_multi_cleanup) X(curl_multi_info_read)               \
  X(curl_multi_init) X(curl_multi_perform) X(curl_multi_poll) X(curl_multi_remove_handle) X(curl_slist_append) \
  X(curl_slist_free_all)
ZV_SYSTEM_LIBRARY(CurlLibrary, Curl, "libcurl.so.4", ZV_CURL_FUNCTIONS)

}  // namespace zv::platform
