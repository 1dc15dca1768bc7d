#include "services/net/net_services.h"

#include <stdexcept>

#include "runtime/vm/vm.h"

namespace zv {

NetServices::NetServices(std::unique_ptr<platform::SessionNetwork> network,
                         FtpConnection::ClientFactory ftp_clients, platform::Clock& clock, uint16_t ftp_port)
    : network_(std::move(network)), ftp_(std::move(ftp_clients), clock, ftp_port), multiplayer_(network_.get()) {}

NetServices::~NetServices() {
  multiplayer_.FreeGame();
  ftp_.Disconnect(false);
}

std::unique_ptr<NetServices> CreateNetServices(platform::Clock& clock, bool loopback_only) {
  platform::SessionNetworkOptions options;
  options.loopback_only = loopback_only;
  return std::make_unique<NetServices>(platform::CreateEnetSessionNetwork(options),
                                       [] { return platform::CreateCurlFtpClient(); }, clock);
}

NetServices& FindNet(Vm& vm) {
  if (!vm.net) throw std::logic_error("the network services are not linked");
  return *vm.net;
}

}  // namespace zv
