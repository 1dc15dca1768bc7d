#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/netsession/net_session.h"

namespace zv::test {

// A network whose answers a test sets beforehand and whose sessions record
// what was asked of them. Every session it opens shares this one state.
class FakeSessionNetwork : public platform::SessionNetwork {
 public:
  struct Sent {
    platform::PlayerId from = 0, to = 0;
    std::vector<uint8_t> data;
    bool guaranteed = false;
  };

  // ---- What it answers ----
  std::vector<std::string> connections = {"Fake connection"};
  std::function<bool(std::string_view address)> accepts = [](std::string_view) { return true; };
  std::optional<std::vector<platform::SessionDescription>> games =
      std::vector<platform::SessionDescription>{{{1}, "Arena", 0, 2, 8}};
  platform::SessionError host_result = platform::SessionError::kNone;
  std::string host_failure;
  platform::SessionError join_result = platform::SessionError::kNone;
  bool players_fail = false;
  platform::PlayerId next_player = 100;
  std::vector<platform::PlayerInfo> players;
  std::deque<platform::SessionEvent> incoming;
  bool send_fails = false;

  // ---- What it was asked ----
  std::vector<std::string> opened;  // addresses
  int searches = 0;
  platform::Guid joined{};
  std::vector<std::string> created;  // player names, "!" first for the server player
  std::vector<platform::PlayerId> destroyed;
  std::vector<Sent> sent;
  int closes = 0;
  int services = 0;

  void Message(platform::PlayerId from, platform::PlayerId to, std::vector<uint8_t> data) {
    incoming.push_back({platform::SessionEvent::Type::kMessage, from, to, 0, std::move(data)});
  }
  void Event(platform::SessionEvent::Type type, platform::PlayerId player = 0) {
    incoming.push_back({type, 0, 0, player, {}});
  }

  std::vector<std::string> Connections() override { return connections; }
  std::unique_ptr<platform::NetSession> Open(size_t index, std::string_view address) override;
};

class FakeNetSession : public platform::NetSession {
 public:
  explicit FakeNetSession(FakeSessionNetwork& net) : net_(net) {}

  std::optional<std::vector<platform::SessionDescription>> FindSessions(const platform::Guid&) override {
    ++net_.searches;
    return net_.games;
  }
  platform::SessionError Host(const platform::Guid&, const platform::SessionDescription&) override {
    return net_.host_result;
  }
  std::string FailureReason() const override { return net_.host_failure; }
  platform::JoinResult Join(const platform::Guid&, const platform::Guid& instance, const std::string& player) override {
    net_.joined = instance;
    if (net_.join_result != platform::SessionError::kNone) return {net_.join_result};
    return {platform::SessionError::kNone, CreatePlayer(player, false).value_or(0)};
  }
  void Close() override { ++net_.closes; }
  std::optional<platform::PlayerId> CreatePlayer(const std::string& name, bool server_player) override {
    if (net_.players_fail) return std::nullopt;
    net_.created.push_back((server_player ? "!" : "") + name);
    const platform::PlayerId id = server_player ? platform::kServerPlayer : net_.next_player++;
    net_.players.push_back({id, name, true});
    return id;
  }
  bool DestroyPlayer(platform::PlayerId id) override {
    net_.destroyed.push_back(id);
    return true;
  }
  std::optional<std::vector<platform::PlayerInfo>> Players() override { return net_.players; }
  bool Send(platform::PlayerId from, platform::PlayerId to, std::span<const uint8_t> data, bool guaranteed) override {
    if (net_.send_fails) return false;
    net_.sent.push_back({from, to, std::vector<uint8_t>(data.begin(), data.end()), guaranteed});
    return true;
  }
  std::optional<platform::SessionEvent> Receive() override {
    if (net_.incoming.empty()) return std::nullopt;
    platform::SessionEvent e = std::move(net_.incoming.front());
    net_.incoming.pop_front();
    return e;
  }
  void Service() override { ++net_.services; }

 private:
  FakeSessionNetwork& net_;
};

inline std::unique_ptr<platform::NetSession> FakeSessionNetwork::Open(size_t index, std::string_view address) {
  if (index >= connections.size() || !accepts(address)) return nullptr;
  opened.emplace_back(address);
  return std::make_unique<FakeNetSession>(*this);
}

}  // namespace zv::test
