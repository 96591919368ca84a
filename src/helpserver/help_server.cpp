#include "helpserver/help_server.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "platform/sim_io.h"
#include "platform/socket.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLoopbackAddress = "127.0.0.1";

// One client: its head as it arrives, then the answer as it leaves.
struct HelpConnection {
  std::unique_ptr<platform::Connection> connection;
  std::uint64_t head_deadline = 0;
  std::uint64_t exchange_deadline = 0;
  std::string received;
  std::string answer;
  std::size_t sent = 0;
  bool answering = false;
};

}  // namespace

struct HelpServer::Loop {
  std::unique_ptr<platform::ListeningSocket> listener;
  std::unique_ptr<platform::Wakeup> wakeup;
  std::vector<HelpConnection> connections;
};

HelpServer::HelpServer(const fs::path& root, HelpServerLimits limits) : limits_(limits) {
  std::error_code error;
  fs::path served = fs::weakly_canonical(fs::absolute(root, error), error);
  site_.root = error ? root : served;
}

HelpServer::~HelpServer() {
  stop();
}

bool HelpServer::start(std::uint16_t port) {
  if (thread_.joinable()) return false;
  const std::uint32_t loopback = *platform::parse_ipv4(kLoopbackAddress);
  auto loop = std::make_unique<Loop>();
  loop->listener = platform::ListeningSocket::open(loopback, port);
  // Another program has the port: the help still works on one the system picks.
  if (!loop->listener && port != 0) loop->listener = platform::ListeningSocket::open(loopback, 0);
  loop->wakeup = platform::Wakeup::create();
  if (!loop->listener || !loop->wakeup) return false;
  site_.address = kLoopbackAddress;
  site_.port = loop->listener->port();
  port_ = site_.port;
  loop_ = std::move(loop);
  stopping_ = false;
  running_ = true;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void HelpServer::stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  loop_->wakeup->signal();
  thread_.join();
  loop_.reset();
  running_ = false;
}

void HelpServer::serve() {
  Loop& loop = *loop_;
  auto& connections = loop.connections;
  std::vector<platform::Waitable> waits;
  while (!stopping_) {
    // Wait for the stop request, every connection (reading its head or sending its answer)
    // and a new client, until the nearest deadline.
    const std::uint64_t now = platform::monotonic_ms();
    std::uint64_t nearest = UINT64_MAX;
    waits.clear();
    waits.push_back({loop.wakeup->handle(), false});
    for (const HelpConnection& c : connections) {
      waits.push_back({c.connection->handle(), c.answering});
      nearest = std::min(nearest, c.answering ? c.exchange_deadline : c.head_deadline);
    }
    waits.push_back({loop.listener->handle(), false});
    const int timeout =
        nearest == UINT64_MAX ? -1 : static_cast<int>(nearest > now ? nearest - now : 0);
    const int ready = platform::wait_any(waits, timeout);
    if (stopping_) break;

    const auto index = static_cast<std::size_t>(ready);
    if (ready == 0) {
      loop.wakeup->clear();
    } else if (ready > 0 && index == waits.size() - 1) {
      auto accepted = loop.listener->accept();
      if (!accepted) break;  // the listening socket failed: the server stops
      if (connections.size() >= limits_.max_connections) {
        // Full: the oldest client still to send its request gives way; when every one is
        // being answered, the new one is turned away.
        auto idle = std::find_if(connections.begin(), connections.end(),
                                 [](const HelpConnection& c) { return !c.answering; });
        if (idle == connections.end()) continue;  // `accepted` closes here
        connections.erase(idle);
      }
      const std::uint64_t at = platform::monotonic_ms();
      HelpConnection c;
      c.connection = std::move(accepted);
      c.head_deadline = at + static_cast<std::uint64_t>(limits_.head_limit_ms);
      c.exchange_deadline = at + static_cast<std::uint64_t>(limits_.exchange_limit_ms);
      connections.push_back(std::move(c));
    } else if (ready > 0) {
      HelpConnection& c = connections[index - 1];
      bool done = false;
      if (!c.answering) {
        char buffer[kHelpHeadLimit];
        const long got = c.connection->receive(reinterpret_cast<std::uint8_t*>(buffer),
                                               kHelpHeadLimit - c.received.size());
        if (got <= 0) {
          done = true;  // closed or failed before a whole head: no answer
        } else {
          c.received.append(buffer, static_cast<std::size_t>(got));
          switch (help_head_state(c.received)) {
            case HeadState::Incomplete:
              break;
            case HeadState::Overflow:
              done = true;
              break;
            case HeadState::Complete:
              c.answer = answer_help_request(c.received, site_);
              c.answering = true;
              done = c.answer.empty();
              break;
          }
        }
      } else {
        const long put =
            c.connection->send_some(reinterpret_cast<const std::uint8_t*>(c.answer.data()) + c.sent,
                                    c.answer.size() - c.sent);
        if (put < 0) done = true;
        if (put > 0) c.sent += static_cast<std::size_t>(put);
        if (c.sent == c.answer.size()) done = true;
      }
      if (done) connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(index - 1));
    }

    // Clients that took too long are closed without an answer.
    const std::uint64_t after = platform::monotonic_ms();
    std::erase_if(connections, [after](const HelpConnection& c) {
      return after >= (c.answering ? c.exchange_deadline : c.head_deadline);
    });
  }
  connections.clear();
  loop.listener.reset();
  running_ = false;
}

}  // namespace qm
