// The help server on real loopback sockets: what a client receives, the address it listens
// on, the port it falls back to, and the limits that keep misbehaving clients from holding it.
#include "helpserver/help_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/sim_io.h"
#include "platform/socket.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

const std::uint32_t kLoopback = *platform::parse_ipv4("127.0.0.1");

std::unique_ptr<platform::TcpSocket> connect_to(std::uint16_t port,
                                                std::uint32_t address = kLoopback) {
  auto socket = platform::TcpSocket::create();
  if (!socket || !socket->connect(address, port, 2000)) return nullptr;
  return socket;
}

// Everything the server sends until it closes the connection (at most timeout_ms).
std::string read_to_end(platform::TcpSocket& socket, int timeout_ms = 5000) {
  std::string out;
  const std::uint64_t end = platform::monotonic_ms() + static_cast<std::uint64_t>(timeout_ms);
  for (;;) {
    const std::uint64_t now = platform::monotonic_ms();
    if (now >= end || socket.wait_readable(static_cast<int>(end - now)) != 1) return out + "<open>";
    std::uint8_t buffer[4096];
    const long got = socket.receive(buffer, sizeof buffer);
    if (got <= 0) return out;
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
  }
}

std::string fetch(std::uint16_t port, const std::string& request) {
  auto socket = connect_to(port);
  if (!socket) return "<refused>";
  socket->send(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
  return read_to_end(*socket);
}

const std::string kPage = "<html><body>help</body></html>";
const std::string kPageAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                std::to_string(kPage.size()) + "\r\n\r\n" + kPage;
const std::string kGetPage = "GET /QuadrimonControl.htm HTTP/1.0\r\n\r\n";

class HelpServerTest : public ::testing::Test {
 protected:
  HelpServerTest() : folder_("helpsrv") {
    fs::create_directories(folder_ / "help");
    write_file_text(folder_ / "help" / "QuadrimonControl.htm", kPage);
  }
  void start(HelpServerLimits limits = {}) {
    server_ = std::make_unique<HelpServer>(folder_ / "help", limits);
    ASSERT_TRUE(server_->start(0));
  }

  TempFolder folder_;
  std::unique_ptr<HelpServer> server_;
};
using HelpServerTiming = HelpServerTest;

TEST_F(HelpServerTest, Serve_PagesRedirectsAndErrorsReachTheClient) {
  start();
  ASSERT_NE(server_->port(), 0);
  EXPECT_EQ(fetch(server_->port(), kGetPage), kPageAnswer);
  const std::string redirect = fetch(server_->port(), "GET / HTTP/1.0\r\n\r\n");
  EXPECT_NE(redirect.find("Location: http://127.0.0.1:" + std::to_string(server_->port()) +
                          "/index.html\r\n"),
            std::string::npos);
  EXPECT_EQ(fetch(server_->port(), "GET /../x HTTP/1.0\r\n\r\n").substr(0, 13), "HTTP/1.0 403\r");
  // A head sent in pieces is answered once it is whole.
  auto socket = connect_to(server_->port());
  ASSERT_TRUE(socket);
  for (const std::string piece : {"GET /Quadrimon", "Control.htm HTTP/1.0\r\n", "\r\n"})
    socket->send(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
  EXPECT_EQ(read_to_end(*socket), kPageAnswer);
}

TEST_F(HelpServerTest, Head_WithoutItsEndWithinTheLimitClosesWithoutAnswer) {
  start();
  EXPECT_EQ(fetch(server_->port(), std::string(kHelpHeadLimit, 'G')), "");
  // A client that hangs up before its head is complete costs nothing.
  {
    auto gone = connect_to(server_->port());
    ASSERT_TRUE(gone);
    gone->send(reinterpret_cast<const std::uint8_t*>("GET / HT"), 8);
  }
  EXPECT_EQ(fetch(server_->port(), kGetPage), kPageAnswer);
}

TEST_F(HelpServerTest, Listen_OnTheLoopbackAddressOnly) {
  start();
  EXPECT_EQ(server_->root(), fs::canonical(folder_ / "help"));
  // Another address of the loopback network reaches a socket listening on every address,
  // but not one bound to 127.0.0.1.
  EXPECT_EQ(connect_to(server_->port(), *platform::parse_ipv4("127.0.0.2")), nullptr);
  EXPECT_NE(connect_to(server_->port()), nullptr);
}

TEST_F(HelpServerTest, Start_PortTakenTakesAFreeOne) {
  auto other = platform::ListeningSocket::open(kLoopback, 0);
  ASSERT_TRUE(other);
  HelpServer server(folder_ / "help");
  ASSERT_TRUE(server.start(other->port()));
  EXPECT_NE(server.port(), other->port());
  EXPECT_NE(server.port(), 0);
  EXPECT_EQ(fetch(server.port(), kGetPage), kPageAnswer);
  EXPECT_FALSE(server.start(0));  // already running
}

TEST_F(HelpServerTiming, Stop_AtOnceClosingListenerAndConnections) {
  start();
  const std::uint16_t port = server_->port();
  auto silent = connect_to(port);
  ASSERT_TRUE(silent);
  EXPECT_EQ(fetch(port, kGetPage), kPageAnswer);  // the silent one is open meanwhile
  const std::uint64_t before = platform::monotonic_ms();
  server_->stop();
  EXPECT_LT(platform::monotonic_ms() - before, 100u);
  EXPECT_FALSE(server_->running());
  EXPECT_EQ(server_->port(), 0);
  EXPECT_EQ(read_to_end(*silent, 1000), "");
  EXPECT_EQ(connect_to(port), nullptr);
  server_->stop();  // twice is harmless
}

TEST_F(HelpServerTiming, Head_SilentClientClosedAfterTheLimitWhileOthersAreServed) {
  HelpServerLimits limits;
  limits.head_limit_ms = 300;
  start(limits);
  auto silent = connect_to(server_->port());
  ASSERT_TRUE(silent);
  const std::uint64_t before = platform::monotonic_ms();
  EXPECT_EQ(fetch(server_->port(), kGetPage), kPageAnswer);
  EXPECT_EQ(read_to_end(*silent, 5000), "");
  const std::uint64_t took = platform::monotonic_ms() - before;
  EXPECT_GE(took, 250u);
  EXPECT_LT(took, 3000u);
}

TEST_F(HelpServerTest, Cap_NewClientTakesThePlaceOfTheOldestSilentOne) {
  HelpServerLimits limits;
  limits.max_connections = 4;
  start(limits);
  std::vector<std::unique_ptr<platform::TcpSocket>> silent;
  for (int i = 0; i < 4; ++i) {
    silent.push_back(connect_to(server_->port()));
    ASSERT_TRUE(silent.back());
    silent.back()->send(reinterpret_cast<const std::uint8_t*>("G"), 1);  // a head begun
  }
  EXPECT_EQ(fetch(server_->port(), kGetPage), kPageAnswer);
  // Accepted in the order they connected: the good client took the place of the oldest
  // silent one; the others are still open.
  EXPECT_EQ(read_to_end(*silent[0], 2000), "");
  for (std::size_t i = 1; i < silent.size(); ++i)
    EXPECT_EQ(silent[i]->wait_readable(50), 0) << i;
}

}  // namespace
}  // namespace qm::test
