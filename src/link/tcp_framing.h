// TCP frames between the program and the gateway: a length byte (counting itself, the kind
// and the payload), a kind byte and the payload. The assembler takes the gateway's frames from
// the received byte stream, however the reads cut it; the verdict collects the gateway's
// answer to the authentication block. Neither touches a socket: the transport reads into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qm {

// TCP frame kinds.
inline constexpr std::uint8_t kTcpAuthentication = 0;
inline constexpr std::uint8_t kTcpUnitMessage = 1;
inline constexpr std::uint8_t kTcpRawOutput = 2;
inline constexpr std::size_t kMaxTcpPayload = 82;  // a sent frame is at most 84 bytes
inline constexpr std::size_t kTcpReadSize = 80;    // one read takes at most this many bytes

// One frame taken by the assembler; the payload lies in the assembler's buffer and stays valid
// until it next takes bytes.
struct TcpFrame {
  std::uint8_t kind = 0;
  std::span<const std::uint8_t> payload;  // 1 to 253 bytes
};

class TcpFrameAssembler {
 public:
  // True when the buffer holds a whole frame, or bytes that cannot start one: take() then
  // needs no more input.
  bool frame_buffered() const;
  // Where the next read of up to kTcpReadSize bytes goes, right after a frame's first bytes
  // still waiting for their remainder. Only while no frame is buffered.
  std::span<std::uint8_t> room();
  // The next read wrote n bytes at the start of room().
  void received(std::size_t n);
  // The next whole frame, taken from the buffer. None while its bytes are still on their way,
  // and none when the buffer starts with a length below 3: that is not a frame, so it and
  // everything buffered after it are dropped.
  std::optional<TcpFrame> take();
  // Drops every buffered byte (a new connection starts afresh).
  void clear() { begin_ = end_ = 0; }

 private:
  // Whole frames are taken from begin_; a frame split across reads waits here for the rest.
  // The longest frame short of one byte and one read always fit.
  std::uint8_t buffer_[512] = {};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  static_assert(sizeof buffer_ >= 254 + kTcpReadSize);
};

// The gateway's verdict on the authentication block: 3 bytes, which may come in pieces; the
// third accepts (non-zero) or refuses. Only the verdict is read: what follows it on the
// connection is the gateway's first frames.
class TcpVerdict {
 public:
  static constexpr std::size_t kBytes = 3;

  // Where the next read goes: exactly the bytes still missing.
  std::span<std::uint8_t> room() { return std::span(bytes_).subspan(got_); }
  // The next read wrote n bytes at the start of room().
  void received(std::size_t n);
  bool complete() const { return got_ == kBytes; }
  bool accepted() const { return complete() && bytes_[2] != 0; }

 private:
  std::uint8_t bytes_[kBytes] = {};
  std::size_t got_ = 0;
};

}  // namespace qm
