// The local help server: serves the help root over HTTP/1.0 on the loopback address only, on
// one thread that waits on the listening socket and every open connection at once.
//
// Limits, so that no client can hold the server: at most max_connections are open at once
// (a new one then takes the place of the oldest that has not finished sending its request,
// or is closed at once when all are answering); a request head must arrive within
// head_limit_ms and the whole exchange end within exchange_limit_ms, or the connection is
// closed without an answer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>

#include "helpserver/help_request.h"

namespace qm {

struct HelpServerLimits {
  std::size_t max_connections = 16;
  int head_limit_ms = 5000;
  int exchange_limit_ms = 30000;
};

class HelpServer {
 public:
  // root: the help folder, made absolute with its symbolic links resolved.
  explicit HelpServer(const std::filesystem::path& root, HelpServerLimits limits = {});
  ~HelpServer();
  HelpServer(const HelpServer&) = delete;
  HelpServer& operator=(const HelpServer&) = delete;

  // Serves the help root on 127.0.0.1:port. When that port is taken the server takes one the system
  // chooses (port 0 asks for that from the start): port() says which. False when it cannot
  // listen at all or is already running.
  bool start(std::uint16_t port = kHelpPort);
  // Stops listening and closes every connection; returns once the server thread has ended.
  void stop();

  bool running() const { return running_.load(); }
  // The port served on; 0 when not running.
  std::uint16_t port() const { return running() ? port_ : 0; }
  // The help root as served (absolute, symbolic links resolved), also when not running.
  const std::filesystem::path& root() const { return site_.root; }

 private:
  struct Loop;
  void serve();

  HelpServerLimits limits_;
  HelpSite site_;
  std::uint16_t port_ = 0;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::unique_ptr<Loop> loop_;
  std::thread thread_;
};

}  // namespace qm
