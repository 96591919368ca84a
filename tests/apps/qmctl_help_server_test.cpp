// qmctl help-server end to end: the real program serves a help folder on the loopback address
// and says where on its first line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/socket.h"
#include "support/process.h"
#include "support/qmctl_fixture.h"
#include "support/temp_folder.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// The whole answer to a request for `path` on the port.
std::string get(std::uint16_t port, const std::string& path) {
  auto socket = platform::TcpSocket::create();
  if (!socket || !socket->connect(*platform::parse_ipv4("127.0.0.1"), port, 2000)) return {};
  const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  socket->send(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
  std::string out;
  while (socket->wait_readable(5000) == 1) {
    std::uint8_t buffer[4096];
    const long got = socket->receive(buffer, sizeof buffer);
    if (got <= 0) break;
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
  }
  return out;
}

TEST(QmctlHelpServer, AnyFreePort_FirstLineIsTheAddressAndThePagesAreServed) {
  TempFolder folder("qmhelp");
  fs::create_directories(folder / "pages");
  write_file_text(folder / "pages" / "QuadrimonControl.htm", "<p>help</p>");
  Process server({QMCTL_PATH, "help-server", "--port", "0", "--root", (folder / "pages").string()});
  const std::string first = server.read_line(10000);
  const std::string head = "http://127.0.0.1:";
  const std::string tail = "/QuadrimonControl.htm";
  ASSERT_TRUE(first.starts_with(head) && first.ends_with(tail)) << first;
  const int port = std::stoi(first.substr(head.size()));
  ASSERT_GT(port, 0);
  const std::string page = get(static_cast<std::uint16_t>(port), "/QuadrimonControl.htm");
  EXPECT_TRUE(page.starts_with("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n")) << page;
  EXPECT_TRUE(page.ends_with("\r\n\r\n<p>help</p>"));
  EXPECT_TRUE(get(static_cast<std::uint16_t>(port), "/../x").starts_with("HTTP/1.0 403\r\n"));
  EXPECT_EQ(server.terminate_within(5000), 0);
}

using QmctlHelpServerUsage = Qmctl;

TEST_F(QmctlHelpServerUsage, BadPortOrArgument_IsAUsageError) {
  const Outcome port = qmctl("help-server --port 70000");
  EXPECT_EQ(port.exit_code, 2);
  EXPECT_EQ(port.err,
            "qmctl: help-server --port 70000 is not a number in 0..65535\n"
            "try 'qmctl --help'\n");
  EXPECT_EQ(qmctl("help-server extra").exit_code, 2);
}

}  // namespace
}  // namespace qm::test
