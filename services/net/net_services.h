#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock/clock.h"
#include "platform/netsession/net_session.h"
#include "services/net/ftp_connection.h"
#include "services/net/multiplayer.h"

namespace zv {

class Vm;

// The program's FTP connection and multiplayer game. The app makes one,
// hangs it on the Vm (`vm.net`) and calls the three runtime hooks below.
class NetServices {
 public:
  // `network` may be null: multiplayer commands then find no connection.
  NetServices(std::unique_ptr<platform::SessionNetwork> network, FtpConnection::ClientFactory ftp_clients,
              platform::Clock& clock, uint16_t ftp_port = 21);
  ~NetServices();

  FtpConnection& Ftp() { return ftp_; }
  Multiplayer& Games() { return multiplayer_; }

  // When the display is taken down: the FTP connection closes.
  void CloseFtpConnection() { ftp_.Disconnect(true); }
  // At shutdown: the game is left and the session layer released.
  void FreeMultiplayerResources() { multiplayer_.FreeGame(); }
  // Once per turn of the message pump: the session's traffic moves on.
  void ServiceNetwork(Vm& vm) { multiplayer_.ServiceNetwork(vm); }

 private:
  std::unique_ptr<platform::SessionNetwork> network_;  // outlives the game
  FtpConnection ftp_;
  Multiplayer multiplayer_;
};

// The real backends: FTP through libcurl, sessions through ENet, on the
// loopback address alone when `loopback_only` (headless runs).
std::unique_ptr<NetServices> CreateNetServices(platform::Clock& clock, bool loopback_only);

// The Vm's network services; a missing one is a wiring fault, which ends
// the run as a fault inside the command.
NetServices& FindNet(Vm& vm);

}  // namespace zv
