#include "fuzz/mod/song_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return zv::fuzz::FuzzSong(data, size); }
