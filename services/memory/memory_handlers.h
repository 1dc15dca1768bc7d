#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The memory-block commands: make, delete, copy, read and write blocks,
// and turn bitmaps, images, meshes and sounds into blocks and back.
void RegisterMemoryHandlers(HandlerTable& table);

namespace memblock_opcode {
constexpr int kMakeMemblock = 5101;
constexpr int kDeleteMemblock = 5102;
constexpr int kMemblockExists = 5103;
constexpr int kMemblockPointer = 5104;
constexpr int kMemblockSize = 5105;
constexpr int kCopyMemblock = 5106;
constexpr int kWriteMemblockByte = 5111;
constexpr int kMemblockByte = 5112;
constexpr int kWriteMemblockWord = 5113;
constexpr int kMemblockWord = 5114;
constexpr int kWriteMemblockDword = 5115;
constexpr int kMemblockDword = 5116;
constexpr int kWriteMemblockFloat = 5117;
constexpr int kMemblockFloat = 5118;
constexpr int kMakeMemblockFromBitmap = 5151;
constexpr int kMakeBitmapFromMemblock = 5152;
constexpr int kMakeMemblockFromMesh = 5153;
constexpr int kMakeMeshFromMemblock = 5154;
constexpr int kChangeMeshFromMemblock = 5155;
constexpr int kMakeMemblockFromSound = 5156;
constexpr int kMakeSoundFromMemblock = 5157;
constexpr int kMakeMemblockFromImage = 5158;
constexpr int kMakeImageFromMemblock = 5159;
}  // namespace memblock_opcode

// Registration of the two halves (memblock_commands.cc and
// conversion_commands.cc).
void RegisterMemblockCommands(HandlerTable& table);
void RegisterConversionCommands(HandlerTable& table);

}  // namespace zv
