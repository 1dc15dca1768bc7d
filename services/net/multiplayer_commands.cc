// The multiplayer commands. Each reads its operands, checks what is the
// program's to get right (numbers, names) and calls the game; images,
// bitmaps, sounds and meshes travel as memory-block layouts, converted
// through the scratch block 257 with the memory-block conversions.
#include <bit>
#include <cstring>
#include <string>

#include "display/bitmaps.h"
#include "display/graphics.h"
#include "display/id_map.h"
#include "services/memory/memblock_errors.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/mesh_conversions.h"
#include "services/memory/pixel_conversions.h"
#include "services/memory/sound_conversions.h"
#include "services/net/net_errors.h"
#include "services/net/net_handlers.h"
#include "services/net/net_message_packet.h"
#include "services/net/net_services.h"

namespace zv {
namespace {

namespace op = net_opcode;
namespace other = memblock_neighbour_error;

constexpr uint32_t kSessionMigrateHost = 0x4;
constexpr uint32_t kSessionClientServer = 0x1000;
constexpr int32_t kScratch = MemblockTable::kScratch;
constexpr int32_t kLastSound = 1025;
constexpr int32_t kLastMesh = 65534;
// Allocation failures of sounds and meshes made from a message.
constexpr int32_t kSoundFailed = 3000;
constexpr int32_t kMeshFailed = 7000;

Multiplayer& Games(Vm& vm) { return FindNet(vm).Games(); }

// Raises `code` and gives false when `ok` is false.
bool Check(Vm& vm, bool ok, int32_t code) {
  if (!ok) vm.RunError(code);
  return ok;
}

// The block's bytes, or nothing when it does not exist.
const BlockMemory* Block(Vm& vm, int32_t number) {
  return vm.memory_blocks ? vm.memory_blocks->Table().Peek(number) : nullptr;
}

// Block `number` becomes a zeroed copy of `payload`; false when no block
// of that size can be had.
bool CopyIntoBlock(Vm& vm, int32_t number, std::span<const uint8_t> payload) {
  if (!vm.memory_blocks) return false;
  MemblockTable& table = vm.memory_blocks->Table();
  if (!table.Make(number, static_cast<uint32_t>(payload.size()))) return false;
  std::memcpy(table.Peek(number)->data(), payload.data(), payload.size());
  return true;
}

void ReleaseScratch(Vm& vm) {
  if (vm.memory_blocks) vm.memory_blocks->Table().Release(kScratch);
}

// Sends what a conversion left in the scratch block, if it left anything.
void SendScratch(Vm& vm, uint32_t kind, int32_t to, bool guaranteed) {
  if (const BlockMemory* block = Block(vm, kScratch)) Games(vm).SendMessage(vm, kind, to, block->bytes(), guaranteed);
}

// ---- Games and connections ------------------------------------------------------

void CmdCreateNetGame(Vm& vm) {
  const std::string game(vm.NextString());
  const std::string player(vm.NextString());
  const int32_t max_players = vm.NextInt();
  Games(vm).CreateGame(vm, game, player, max_players, kSessionMigrateHost);
}

void CmdCreateNetGameEx(Vm& vm) {
  const std::string game(vm.NextString());
  const std::string player(vm.NextString());
  const int32_t max_players = vm.NextInt();
  const int32_t mode = vm.NextInt();
  const uint32_t flags = mode == 1 ? kSessionMigrateHost : mode == 2 ? kSessionClientServer : 0;
  Games(vm).CreateGame(vm, game, player, max_players, flags);
}

void CmdJoinNetGame(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string player(vm.NextString());
  Games(vm).JoinGame(vm, number, player);
}

void CmdFreeNetGame(Vm& vm) { Games(vm).FreeGame(); }
void CmdChecklistNetConnections(Vm& vm) { Games(vm).ChecklistConnections(vm); }

void CmdSetNetConnection(Vm& vm) {
  const int32_t number = vm.NextInt();
  Games(vm).SetConnection(vm, number, "");
}

void CmdSetNetConnectionAddress(Vm& vm) {
  const int32_t number = vm.NextInt();
  const std::string address(vm.NextString());
  Games(vm).SetConnection(vm, number, address);
}

void CmdChecklistNetSessions(Vm& vm) { Games(vm).ChecklistGames(vm); }
void CmdChecklistNetPlayers(Vm& vm) { Games(vm).ChecklistPlayers(vm); }

// ---- Players --------------------------------------------------------------------

void CmdCreateNetPlayer(Vm& vm) {
  const std::string name(vm.NextString());
  Games(vm).CreatePlayer(vm, name);
}

void FnCreateNetPlayer(Vm& vm) {
  const Slot result = vm.NextSlot();
  const std::string name(vm.NextString());
  vm.SetInt(result, Games(vm).CreatePlayer(vm, name));
}

void CmdFreeNetPlayer(Vm& vm) {
  const int32_t number = vm.NextInt();
  Games(vm).FreePlayer(vm, number);
}

// ---- Sending --------------------------------------------------------------------

void SendWord(Vm& vm, uint32_t kind, int32_t to, uint32_t word) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                            static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
  Games(vm).SendMessage(vm, kind, to, bytes, false);
}

void CmdSendNetMessageInteger(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t value = vm.NextInt();
  SendWord(vm, net_kind::kInteger, to, static_cast<uint32_t>(value));
}

void CmdSendNetMessageFloat(Vm& vm) {
  const int32_t to = vm.NextInt();
  const float value = vm.NextFloat();
  SendWord(vm, net_kind::kFloat, to, std::bit_cast<uint32_t>(value));
}

void CmdSendNetMessageString(Vm& vm) {
  const int32_t to = vm.NextInt();
  std::string text(vm.NextString());
  // The terminator travels with the text.
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
  Games(vm).SendMessage(vm, net_kind::kString, to, std::span<const uint8_t>(bytes, text.size() + 1), false);
}

void SendMemblock(Vm& vm, int32_t to, int32_t block, bool guaranteed) {
  if (!Check(vm, MemblockTable::InProgramRange(block), memblock_error::kNumber)) return;
  const BlockMemory* memory = Block(vm, block);
  if (!Check(vm, memory != nullptr, memblock_error::kMissing)) return;
  Games(vm).SendMessage(vm, net_kind::kMemblock, to, memory->bytes(), guaranteed);
}

void CmdSendNetMessageMemblock(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t block = vm.NextInt();
  SendMemblock(vm, to, block, false);
}

void CmdSendNetMessageMemblockEx(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t block = vm.NextInt();
  const int32_t guaranteed = vm.NextInt();
  SendMemblock(vm, to, block, guaranteed == 1);
}

void CmdSendNetMessageImage(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t image = vm.NextInt();
  const int32_t guaranteed = vm.NextInt();
  if (!Check(vm, IdMap::InRange(image), other::kImageNumber)) return;
  Graphics* g = FindGraphics(vm);
  const int32_t record = g ? g->Pools().image_ids.Get(image) : 0;
  if (record <= 0) return;  // no image: nothing to send
  // What an earlier conversion left must not go out as this image.
  ReleaseScratch(vm);
  if (MakeMemblockFromImage(vm, kScratch, record)) SendScratch(vm, net_kind::kImage, to, guaranteed == 1);
}

void CmdSendNetMessageBitmap(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t bitmap = vm.NextInt();
  const int32_t guaranteed = vm.NextInt();
  if (!Check(vm, BitmapTable::InRange(bitmap), other::kBitmapNumber)) return;
  ReleaseScratch(vm);
  if (MakeMemblockFromBitmap(vm, kScratch, bitmap)) SendScratch(vm, net_kind::kBitmap, to, guaranteed == 1);
}

void CmdSendNetMessageSound(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t sound = vm.NextInt();
  const int32_t guaranteed = vm.NextInt();
  if (!Check(vm, sound >= 1 && sound <= kLastSound, other::kSoundNumber)) return;
  ReleaseScratch(vm);
  if (MakeMemblockFromSound(vm, kScratch, sound)) SendScratch(vm, net_kind::kSound, to, guaranteed == 1);
}

void CmdSendNetMessageMesh(Vm& vm) {
  const int32_t to = vm.NextInt();
  const int32_t mesh = vm.NextInt();
  const int32_t guaranteed = vm.NextInt();
  if (!Check(vm, mesh >= 1 && mesh <= kLastMesh, other::kMeshNumber)) return;
  ReleaseScratch(vm);
  if (MakeMemblockFromMesh(vm, kScratch, mesh)) SendScratch(vm, net_kind::kMesh, to, guaranteed == 1);
}

// ---- Receiving ------------------------------------------------------------------

void CmdGetNetMessage(Vm& vm) { Games(vm).GetMessage(vm); }

void FnNetMessageExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).MessageExists());
}

void FnNetMessageType(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, static_cast<int32_t>(Games(vm).MessageKind()));
}

void FnNetMessagePlayerFrom(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).MessagePlayerFrom());
}

void FnNetMessagePlayerTo(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).MessagePlayerTo());
}

void FnNetMessageInteger(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).MessageInteger());
}

void FnNetMessageFloat(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetFloat(result, Games(vm).MessageFloat());
}

void FnNetMessageString(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetString(result, Games(vm).MessageString());
}

void CmdNetMessageMemblock(Vm& vm) {
  const int32_t block = vm.NextInt();
  Multiplayer& games = Games(vm);
  if (games.MessageKind() != net_kind::kMemblock) return;
  if (!Check(vm, MemblockTable::InProgramRange(block), memblock_error::kNumber)) return;
  const std::span<const uint8_t> payload = games.MessagePayload();
  Check(vm, !payload.empty() && CopyIntoBlock(vm, block, payload), memblock_error::kAllocation);
}

// The media a message carries, copied into the scratch block for its
// conversion; false (after the error when copying failed) when there is
// nothing to convert.
bool PayloadIntoScratch(Vm& vm, int32_t allocation_error) {
  const std::span<const uint8_t> payload = Games(vm).MessagePayload();
  if (payload.empty()) return false;
  return Check(vm, CopyIntoBlock(vm, kScratch, payload), allocation_error);
}

void CmdNetMessageImage(Vm& vm) {
  const int32_t image = vm.NextInt();
  if (Games(vm).MessageKind() != net_kind::kImage) return;
  if (!Check(vm, IdMap::InRange(image), other::kImageNumber)) return;
  if (!PayloadIntoScratch(vm, other::kImageFailed)) return;
  Graphics* g = FindGraphics(vm);
  if (!Check(vm, g != nullptr, other::kImageFailed)) return;
  int32_t record = g->Pools().image_ids.Get(image);
  MakeImageFromMemblock(vm, kScratch, record);
  g->Pools().image_ids.Set(image, record);
}

void CmdNetMessageBitmap(Vm& vm) {
  const int32_t bitmap = vm.NextInt();
  if (Games(vm).MessageKind() != net_kind::kBitmap) return;
  if (!Check(vm, BitmapTable::InRange(bitmap), other::kBitmapNumber)) return;
  if (PayloadIntoScratch(vm, other::kBitmapFailed)) MakeBitmapFromMemblock(vm, kScratch, bitmap);
}

void CmdNetMessageSound(Vm& vm) {
  const int32_t sound = vm.NextInt();
  if (Games(vm).MessageKind() != net_kind::kSound) return;
  if (!Check(vm, sound >= 1 && sound <= kLastSound, other::kSoundNumber)) return;
  if (PayloadIntoScratch(vm, kSoundFailed)) MakeSoundFromMemblock(vm, kScratch, sound);
}

void CmdNetMessageMesh(Vm& vm) {
  const int32_t mesh = vm.NextInt();
  if (Games(vm).MessageKind() != net_kind::kMesh) return;
  if (!Check(vm, mesh >= 1 && mesh <= kLastMesh, other::kMeshNumber)) return;
  if (PayloadIntoScratch(vm, kMeshFailed)) MakeMeshFromMemblock(vm, kScratch, mesh);
}

// ---- Game state and events ------------------------------------------------------

void FnNetGameExists(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).GameExists());
}

void FnNetGameLost(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).TakeGameLost());
}

void FnNetPlayerCreated(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).TakePlayerCreated());
}

void FnNetPlayerDestroyed(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).TakePlayerDestroyed());
}

void FnNetGameNowHosting(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Games(vm).TakeNowHosting());
}

}  // namespace

void RegisterMultiplayerCommands(HandlerTable& t) {
  t.Set(op::kCreateNetGame, CmdCreateNetGame);
  t.Set(op::kCreateNetGameEx, CmdCreateNetGameEx);
  t.Set(op::kJoinNetGame, CmdJoinNetGame);
  t.Set(op::kFreeNetGame, CmdFreeNetGame);
  t.Set(op::kChecklistNetConnections, CmdChecklistNetConnections);
  t.Set(op::kSetNetConnection, CmdSetNetConnection);
  t.Set(op::kSetNetConnectionAddress, CmdSetNetConnectionAddress);
  t.Set(op::kChecklistNetSessions, CmdChecklistNetSessions);
  t.Set(op::kChecklistNetPlayers, CmdChecklistNetPlayers);
  t.Set(op::kCreateNetPlayer, CmdCreateNetPlayer);
  t.Set(op::kCreateNetPlayerFn, FnCreateNetPlayer);
  t.Set(op::kFreeNetPlayer, CmdFreeNetPlayer);
  t.Set(op::kSendNetMessageInteger, CmdSendNetMessageInteger);
  t.Set(op::kSendNetMessageFloat, CmdSendNetMessageFloat);
  t.Set(op::kSendNetMessageString, CmdSendNetMessageString);
  t.Set(op::kSendNetMessageMemblock, CmdSendNetMessageMemblock);
  t.Set(op::kSendNetMessageMemblockEx, CmdSendNetMessageMemblockEx);
  t.Set(op::kSendNetMessageImage, CmdSendNetMessageImage);
  t.Set(op::kSendNetMessageBitmap, CmdSendNetMessageBitmap);
  t.Set(op::kSendNetMessageSound, CmdSendNetMessageSound);
  t.Set(op::kSendNetMessageMesh, CmdSendNetMessageMesh);
  t.Set(op::kGetNetMessage, CmdGetNetMessage);
  t.Set(op::kNetMessageExists, FnNetMessageExists);
  t.Set(op::kNetMessageType, FnNetMessageType);
  t.Set(op::kNetMessagePlayerFrom, FnNetMessagePlayerFrom);
  t.Set(op::kNetMessagePlayerTo, FnNetMessagePlayerTo);
  t.Set(op::kNetMessageInteger, FnNetMessageInteger);
  t.Set(op::kNetMessageFloat, FnNetMessageFloat);
  t.Set(op::kNetMessageString, FnNetMessageString);
  t.Set(op::kNetMessageMemblock, CmdNetMessageMemblock);
  t.Set(op::kNetMessageImage, CmdNetMessageImage);
  t.Set(op::kNetMessageBitmap, CmdNetMessageBitmap);
  t.Set(op::kNetMessageSound, CmdNetMessageSound);
  t.Set(op::kNetMessageMesh, CmdNetMessageMesh);
  t.Set(op::kNetGameExists, FnNetGameExists);
  t.Set(op::kNetGameLost, FnNetGameLost);
  t.Set(op::kNetPlayerCreated, FnNetPlayerCreated);
  t.Set(op::kNetPlayerDestroyed, FnNetPlayerDestroyed);
  t.Set(op::kNetGameNowHosting, FnNetGameNowHosting);
}

}  // namespace zv
