// A TCP client socket and IPv4 address text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qm::platform {

// Parses an IPv4 address the way the platform's dotted-quad parser does (inet_addr: parts
// in decimal, octal or hexadecimal, one to four parts). Result in network byte order; none
// for text it refuses, and for 255.255.255.255, which that parser cannot tell from failure.
std::optional<std::uint32_t> parse_ipv4(const std::string& text);

// The dotted-quad form of an address in network byte order.
std::string format_ipv4(std::uint32_t address_net);

enum class SocketOption { KeepAlive, NoDelay, ReceiveTimeout };

// A send gives up when its bytes cannot all be handed over within this time (the peer
// stopped reading).
inline constexpr int kSendStallMs = 1000;

class TcpSocket {
 public:
  // A new IPv4 stream socket, or none.
  static std::unique_ptr<TcpSocket> create();

  virtual ~TcpSocket() = default;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Sets keep-alive on, no-delay on, or the receive time-out to `value` ms.
  virtual bool set_option(SocketOption option, int value) = 0;
  // Connects to address:port (network byte order address, host order port), giving up
  // after timeout_ms.
  virtual bool connect(std::uint32_t address_net, std::uint16_t port, int timeout_ms) = 0;
  // Sends all bytes in one call; false on failure, and when they could not all be handed
  // over within kSendStallMs.
  virtual bool send(const std::uint8_t* bytes, std::size_t n) = 0;
  // Reads once, at most n bytes: the count, 0 when the peer closed, -1 on error.
  virtual long receive(std::uint8_t* buffer, std::size_t n) = 0;
  // Blocks until readable or timeout_ms passes: 1 readable, 0 timed out, -1 error.
  virtual int wait_readable(int timeout_ms) = 0;

 protected:
  TcpSocket() = default;
};

}  // namespace qm::platform
