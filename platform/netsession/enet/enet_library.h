#pragma once

// ENet, loaded when a program first lists, hosts or joins a game.
#include <enet/enet.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_ENET_FUNCTIONS(X)                                                                                   \
  X(enet_address_set_host) X(enet_address_set_host_ip) X(enet_deinitialize) X(enet_host_check_events)          \
  X(enet_host_connect) X(enet_host_create) X(enet_host_destroy) X(enet_host_flush) X(enet_host_service)        \
  X(enet_initialize) X(enet_packet_create) X(enet_packet_destroy) X(enet_peer_disconnect)                      \
  X(enet_peer_disconnect_later) X(enet_peer_disconnect_now) X(enet_peer_reset) X(enet_peer_send)               \
  X(enet_peer_throttle_configure) X(enet_peer_timeout) X(enet_protocol_command_size) X(enet_socket_create)     \
  X(enet_socket_destroy) X(enet_socket_receive) X(enet_socket_send) X(enet_socket_set_option) X(enet_socket_wait)
ZV_SYSTEM_LIBRARY(EnetLibrary, Enet, "libenet.so.7", ZV_ENET_FUNCTIONS)

}  // namespace zv::platform
