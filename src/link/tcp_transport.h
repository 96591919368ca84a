// The TCP connection to the gateway as a transport: every unit message travels as one TCP
// frame (length, kind, payload) of kind 1, raw output as one of kind 2.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "base/operator_ui.h"
#include "link/link_transport.h"
#include "platform/socket.h"

namespace qm {

// TCP frame kinds.
inline constexpr std::uint8_t kTcpAuthentication = 0;
inline constexpr std::uint8_t kTcpUnitMessage = 1;
inline constexpr std::uint8_t kTcpRawOutput = 2;
inline constexpr std::size_t kMaxTcpPayload = 82;  // a sent frame is at most 84 bytes

inline constexpr std::uint32_t kTcpReplyWaitMs = 1000;

// Why the connection can no longer be used.
enum class TcpFailure {
  Send,     // a frame could not be sent
  Receive,  // the socket failed or the gateway closed the connection
};

class TcpTransport final : public LinkTransport {
 public:
  // failed: called when the connection fails; the link is then to be dropped (the call may
  // close the socket through close()).
  TcpTransport(OperatorUi& ui, std::function<void(TcpFailure)> failed);

  // Takes over a connected socket with an empty receive buffer.
  void attach(std::unique_ptr<platform::TcpSocket> socket);
  // Closes the socket, if any, and empties the receive buffer.
  void close();
  // The connected socket (for the authentication exchange), or none.
  platform::TcpSocket* socket() { return socket_.get(); }

  // Sends one TCP frame in one call; a payload above 82 bytes is refused (false) and nothing
  // is sent. Without a socket nothing is sent either (false).
  bool send_frame(std::uint8_t kind, const std::uint8_t* payload, std::size_t n);

  void send_message(std::span<const std::uint8_t> message) override;
  void send_poll(std::uint8_t type, std::uint8_t address) override;
  void send_raw(std::span<const std::uint8_t> bytes) override;
  std::optional<UnitFrame> receive() override;
  void wait_for_input(int timeout_ms) override;
  std::uint32_t reply_wait_ms() const override { return kTcpReplyWaitMs; }
  bool usable() const override { return socket_ != nullptr; }

 private:
  // True when the buffer holds a whole frame, or bytes that cannot start one.
  bool frame_buffered() const;

  OperatorUi& ui_;
  std::function<void(TcpFailure)> failed_;
  std::unique_ptr<platform::TcpSocket> socket_;
  // Received bytes: whole frames are taken from begin_; a frame split across reads waits
  // here for its remaining bytes.
  std::uint8_t buffer_[512] = {};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace qm
