#include "audio/library/song_hooks.h"

namespace zv {
namespace {

SongHooks g_hooks;

}  // namespace

void SetSongHooks(const SongHooks& hooks) { g_hooks = hooks; }
const SongHooks& GetSongHooks() { return g_hooks; }

}  // namespace zv
