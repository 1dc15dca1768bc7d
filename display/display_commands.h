#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The display, window and pixel-lock commands: display modes and cards, the
// renderer, memory queries, the window's layout and the back-buffer lock;
// with them the bitmap and text commands of the 2D drawing.
void RegisterDisplayHandlers(HandlerTable& table);

// Their opcodes.
namespace display_opcode {
constexpr int kChecklistDisplayModes = 1500;
constexpr int kSetDisplayMode = 1501;
constexpr int kScreenWidth = 1551;
constexpr int kScreenHeight = 1552;
constexpr int kScreenDepth = 1553;
constexpr int kScreenInVideoMemory = 1554;
constexpr int kScreenFps = 1555;
constexpr int kScreenInvalid = 1556;
constexpr int kDisplayModeAvailable = 1571;
constexpr int kLockPixels = 5201;
constexpr int kUnlockPixels = 5202;
constexpr int kPixelsPointer = 5203;
constexpr int kPixelsWidth = 5204;
constexpr int kPixelsHeight = 5205;
constexpr int kPixelsDepth = 5206;
constexpr int kPixelsPitch = 5207;
constexpr int kUseSoftwareRenderer = 9001;
constexpr int kUseHardwareRenderer = 9002;
constexpr int kChecklistGraphicsCards = 9003;
constexpr int kSetGraphicsCard = 9004;
constexpr int kAlwaysActiveOn = 9005;
constexpr int kAlwaysActiveOff = 9006;
constexpr int kDisableTnL = 9011;
constexpr int kEnableTnL = 9012;
constexpr int kEvictManagedTextures = 9013;
constexpr int kFreeTextureMemory = 9051;
constexpr int kFreeVideoMemory = 9052;
constexpr int kFreeSystemMemory = 9053;
constexpr int kSoftwareRenderer = 9054;
constexpr int kCurrentGraphicsCard = 9055;
constexpr int kTnLInUse = 9056;
constexpr int kWindowOn = 9101;
constexpr int kWindowOff = 9102;
constexpr int kSetWindowLayout = 9103;
constexpr int kSetWindowPosition = 9104;
constexpr int kSetWindowSize = 9105;
constexpr int kHideWindow = 9106;
constexpr int kShowWindow = 9107;
constexpr int kSetWindowTitle = 9108;
constexpr int kMinimiseWindow = 9109;
constexpr int kMaximiseWindow = 9110;
constexpr int kRestoreWindow = 9111;
}  // namespace display_opcode

}  // namespace zv
