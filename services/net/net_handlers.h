#pragma once

#include "runtime/vm/vm.h"

namespace zv {

// The FTP commands and the multiplayer commands. They find their state
// through `vm.net` (services/net/net_services.h).
void RegisterNetHandlers(HandlerTable& table);

// The two halves (ftp_commands.cc, multiplayer_commands.cc).
void RegisterFtpCommands(HandlerTable& table);
void RegisterMultiplayerCommands(HandlerTable& table);

namespace ftp_opcode {
constexpr int kConnect = 8201;
constexpr int kSetDir = 8202;
constexpr int kFindFirst = 8203;
constexpr int kFindNext = 8204;
constexpr int kPutFile = 8205;
constexpr int kDeleteFile = 8206;
constexpr int kGetFile = 8207;
constexpr int kDisconnect = 8208;
constexpr int kGetFileStepwise = 8209;
constexpr int kProceed = 8210;
constexpr int kTerminate = 8211;
constexpr int kDisconnectEx = 8212;
constexpr int kDirectory = 8301;
constexpr int kFileName = 8302;
constexpr int kFileType = 8303;
constexpr int kProgress = 8304;
constexpr int kFileSize = 8306;
constexpr int kStatus = 8307;
constexpr int kError = 8308;
constexpr int kFailure = 8309;
}  // namespace ftp_opcode

namespace net_opcode {
constexpr int kCreateNetGame = 8501;
constexpr int kCreateNetGameEx = 8502;
constexpr int kJoinNetGame = 8503;
constexpr int kFreeNetGame = 8504;
constexpr int kChecklistNetConnections = 8505;
constexpr int kSetNetConnection = 8506;
constexpr int kSetNetConnectionAddress = 8507;
constexpr int kChecklistNetSessions = 8508;
constexpr int kChecklistNetPlayers = 8509;
constexpr int kCreateNetPlayer = 8510;
constexpr int kCreateNetPlayerFn = 8511;
constexpr int kFreeNetPlayer = 8512;
constexpr int kSendNetMessageInteger = 8513;
constexpr int kSendNetMessageFloat = 8514;
constexpr int kSendNetMessageString = 8515;
constexpr int kSendNetMessageMemblock = 8516;
constexpr int kGetNetMessage = 8517;
constexpr int kNetMessageExists = 8521;
constexpr int kNetMessageType = 8522;
constexpr int kNetMessagePlayerFrom = 8523;
constexpr int kNetMessagePlayerTo = 8524;
constexpr int kNetMessageInteger = 8525;
constexpr int kNetMessageFloat = 8526;
constexpr int kNetMessageString = 8527;
constexpr int kNetMessageMemblock = 8528;
constexpr int kSendNetMessageMemblockEx = 8531;
constexpr int kSendNetMessageImage = 8532;
constexpr int kSendNetMessageBitmap = 8533;
constexpr int kSendNetMessageSound = 8534;
constexpr int kSendNetMessageMesh = 8535;
constexpr int kNetMessageImage = 8536;
constexpr int kNetMessageBitmap = 8537;
constexpr int kNetMessageSound = 8538;
constexpr int kNetMessageMesh = 8539;
constexpr int kNetGameExists = 8541;
constexpr int kNetGameLost = 8542;
constexpr int kNetPlayerCreated = 8543;
constexpr int kNetPlayerDestroyed = 8544;
constexpr int kNetGameNowHosting = 8545;
}  // namespace net_opcode

}  // namespace zv
