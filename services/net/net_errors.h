#pragma once

#include <cstdint>

namespace zv {

// Warnings of the FTP commands.
namespace ftp_warning {
constexpr int32_t kConnect = 8301;      // connection failed, or one is open already
constexpr int32_t kSetDirectory = 8302;
constexpr int32_t kPutFile = 8303;
constexpr int32_t kDeleteFile = 8304;
constexpr int32_t kGetFile = 8305;      // a download failed to begin
}  // namespace ftp_warning

// Runtime errors and warnings of the multiplayer commands.
namespace net_error {
// Program errors.
constexpr int32_t kMaxPlayers = 8507;        // maximum outside 2..255
constexpr int32_t kEmptyPlayerName = 8508;
constexpr int32_t kEmptyGameName = 8509;
constexpr int32_t kConnectionNumber = 8510;  // outside 1..64
constexpr int32_t kGameNumber = 8511;        // outside 1..256
constexpr int32_t kPlayerNumber = 8512;      // outside 1..255
constexpr int32_t kNameTooLong = 8520;       // a game or player name over 255 characters
// Warnings.
constexpr int32_t kSelectConnection = 8501;
constexpr int32_t kInitialiseConnection = 8502;
constexpr int32_t kHost = 8504;
constexpr int32_t kJoin = 8505;
constexpr int32_t kSend = 8506;
constexpr int32_t kNoGame = 8513;
constexpr int32_t kPlayerNotInUse = 8514;
constexpr int32_t kAlreadyInGame = 8515;
constexpr int32_t kCreatePlayer = 8516;
constexpr int32_t kDestroyPlayer = 8517;
constexpr int32_t kRefused = 8518;
// Said, and gone on from, where players who came or went were dropped.
constexpr int32_t kPlayerEventsDropped = 8519;
}  // namespace net_error

// Detail codes the session layer leaves in the internal error code, so the
// error report tells which step of a failed multiplayer command failed.
namespace net_detail {
constexpr int32_t kCreateNetwork = 18501;
constexpr int32_t kListConnections = 18502;
constexpr int32_t kHostPlayer = 18504;
constexpr int32_t kFindBeforeJoin = 18512;
constexpr int32_t kJoinPlayer = 18514;
constexpr int32_t kNetworkForAddress = 18515;
constexpr int32_t kInitialiseWithAddress = 18521;
constexpr int32_t kFindSessions = 18522;
constexpr int32_t kPlayers = 18523;  // listing players, or making a further one
constexpr int32_t kDestroyPlayer = 18524;
}  // namespace net_detail

}  // namespace zv
