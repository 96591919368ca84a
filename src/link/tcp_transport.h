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
#include "link/tcp_framing.h"
#include "platform/socket.h"

namespace qm {

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
  OperatorUi& ui_;
  std::function<void(TcpFailure)> failed_;
  std::unique_ptr<platform::TcpSocket> socket_;
  TcpFrameAssembler received_;  // the received bytes not yet taken as frames
};

}  // namespace qm
