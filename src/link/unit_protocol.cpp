// Unit messages over the active link: sending, receiving, and the request operations with
// their polls and waits. Every wait blocks on the link's descriptor until input or the
// deadline; nothing spins.
#include <algorithm>
#include <cstring>

#include "base/text_format.h"
#include "link/link.h"
#include "platform/clock.h"

namespace qm {

inline constexpr const char* kTraceGetData = "Get data, fn = %d...\n";
inline constexpr const char* kTraceTimeout = "Timeout\n";
inline constexpr const char* kTraceGetFailed = "Get failed\n";

// A serial receive call takes at most this many bytes; the rest stays queued.
inline constexpr int kSerialReceiveBudget = 81;
// One TCP read takes at most this many bytes.
inline constexpr std::size_t kTcpReadSize = 80;

std::uint8_t Link::selected_address() const {
  return static_cast<std::uint8_t>(settings_.id);
}

void Link::wait_for_input(std::uint32_t ms) {
  if (ms == 0) return;
  const int timeout = static_cast<int>(std::min<std::uint32_t>(ms, 1u << 30));
  switch (route()) {
    case Route::Tcp:
      if (!tcp_frame_buffered()) socket_->wait_readable(timeout);
      return;
    case Route::Serial:
      if (port_->ahead_begin == port_->ahead_end) port_->device->wait_readable(timeout);
      return;
    case Route::None:
      platform::sleep_ms(ms);
      return;
  }
}

// --- Sending ------------------------------------------------------------------------------

void Link::serial_send_message(std::span<const std::uint8_t> message) {
  ui_.flash_activity(Activity::Transmit);
  for (std::uint8_t b : encode_serial_frame(message)) {
    if (b == kFrameStart) log_.log_stamp(LogKind::Transmit);
    if (!write_byte_patiently(b)) return;  // the port was released
    log_.log_hex(b);
    if (b == kFrameEnd) log_.log_newline();
  }
}

bool Link::unit_send(std::uint8_t device, std::uint8_t address, std::uint8_t function,
                     std::span<const std::uint8_t> data) {
  if (data.size() > kMaxSendData) return false;
  std::uint8_t message[3 + kMaxSendData];
  const bool broadcast = address == kAddressAll;
  message[0] = static_cast<std::uint8_t>((device & 0x0F) | (broadcast ? kTypeBroadcast : 0));
  message[1] = address;
  message[2] = function;
  if (!data.empty()) std::memcpy(message + 3, data.data(), data.size());
  const std::size_t n = 3 + data.size();
  switch (route()) {
    case Route::Serial:
      serial_send_message({message, n});
      break;
    case Route::Tcp:
      // The gateway takes a broadcast as address 0 with the broadcast bit.
      if (broadcast) message[1] = 0;
      tcp_send_frame(kTcpUnitMessage, message, n);
      break;
    case Route::None:
      break;
  }
  return true;
}

void Link::unit_send_poll(std::uint8_t device, std::uint8_t address) {
  const std::uint8_t message[2] = {static_cast<std::uint8_t>((device & 0x0F) | kTypePoll), address};
  switch (route()) {
    case Route::Serial:
      serial_send_message(message);
      break;
    case Route::Tcp:
      tcp_send_frame(kTcpUnitMessage, message, sizeof message);
      break;
    case Route::None:
      break;
  }
}

// --- Receiving ----------------------------------------------------------------------------

std::optional<UnitFrame> Link::link_receive() {
  switch (route()) {
    case Route::Tcp:
      return receive_tcp();
    case Route::Serial:
      return receive_serial();
    case Route::None:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<UnitFrame> Link::receive_serial() {
  for (int budget = kSerialReceiveBudget; budget > 0; --budget) {
    const int got = com_read_byte();
    if (got < 0) break;
    const auto b = static_cast<std::uint8_t>(got);
    if (b == kFrameStart) log_.log_stamp(LogKind::Receive);
    log_.log_hex(b);
    const SerialReceiver::Event event = serial_rx_.feed(b);
    if (event == SerialReceiver::Event::Stray) log_.log_char(b);
    if (b == kFrameEnd) log_.log_newline();
    if (event == SerialReceiver::Event::Frame) {
      ui_.flash_activity(Activity::Receive);
      return serial_rx_.frame();
    }
  }
  return std::nullopt;
}

// True when the buffer holds at least one whole TCP frame, or bytes that cannot start one.
bool Link::tcp_frame_buffered() const {
  if (tcp_begin_ == tcp_end_) return false;
  const std::uint8_t length = tcp_buffer_[tcp_begin_];
  return length < 3 || tcp_begin_ + length <= tcp_end_;
}

std::optional<UnitFrame> Link::receive_tcp() {
  if (!tcp_frame_buffered()) {
    const int ready = socket_->wait_readable(0);
    if (ready < 0) {
      tcp_disconnect();
      ui_.show_status(kStatusServerDisconnected);
      return std::nullopt;
    }
    if (ready == 0) return std::nullopt;
    // Keep a frame's first bytes at the front so that its remainder can be appended.
    if (tcp_begin_ > 0) {
      std::memmove(tcp_buffer_, tcp_buffer_ + tcp_begin_, tcp_end_ - tcp_begin_);
      tcp_end_ -= tcp_begin_;
      tcp_begin_ = 0;
    }
    const long got = socket_->receive(tcp_buffer_ + tcp_end_, kTcpReadSize);
    if (got <= 0) {
      tcp_disconnect();
      ui_.show_status(kStatusServerDisconnected);
      return std::nullopt;
    }
    tcp_end_ += static_cast<std::size_t>(got);
  }
  if (tcp_begin_ == tcp_end_) return std::nullopt;
  const std::uint8_t length = tcp_buffer_[tcp_begin_];
  if (length < 3) {
    tcp_begin_ = tcp_end_ = 0;  // not a frame: nothing after it can be trusted
    return std::nullopt;
  }
  if (tcp_begin_ + length > tcp_end_) return std::nullopt;  // the rest is still on its way
  const std::uint8_t* frame = tcp_buffer_ + tcp_begin_;
  tcp_begin_ += length;
  if (tcp_begin_ == tcp_end_) tcp_begin_ = tcp_end_ = 0;
  if (frame[1] != kTcpUnitMessage) return std::nullopt;
  tcp_frame_.count = static_cast<std::uint8_t>(length - 2);
  std::memcpy(tcp_frame_.message.data(), frame + 2, tcp_frame_.count);
  ui_.flash_activity(Activity::Receive);
  return tcp_frame_;
}

// --- Requests -------------------------------------------------------------------------------

void Link::drain() {
  while (link_receive()) {
  }
}

std::optional<UnitFrame> Link::unit_get(std::uint8_t device, std::uint8_t address,
                                        std::uint8_t function, std::span<const std::uint8_t> data) {
  std::uint32_t wait = 0;
  switch (route()) {
    case Route::Tcp:
      wait = kTcpReplyWaitMs;
      break;
    case Route::Serial:
      wait = kSerialReplyWaitMs;
      break;
    case Route::None:
      return std::nullopt;
  }

  const std::uint32_t drain_start = tick_ms();
  while (link_receive()) {
    if (tick_ms() - drain_start > wait) return std::nullopt;
  }

  for (int send = 0; send < 2; ++send) {
    log_.link_trace(strprintf(kTraceGetData, function));
    unit_send(device, address, function, data);
    for (int poll = 0; poll < 2; ++poll) {
      unit_send_poll(kDeviceUnit, address);
      const std::uint32_t start = tick_ms();
      for (;;) {
        if (auto frame = link_receive()) {
          if (frame->count >= 3 && frame->type() == (kDeviceUnit | kTypeReply) &&
              frame->address() == address && frame->function() == function)
            return frame;
          continue;  // not the reply: discard it and keep waiting
        }
        // The link went away meanwhile (the gateway closed): no reply can come any more.
        if (route() == Route::None) {
          log_.link_trace(kTraceGetFailed);
          return std::nullopt;
        }
        const std::uint32_t elapsed = tick_ms() - start;
        if (elapsed >= wait) break;
        wait_for_input(wait - elapsed);
      }
      log_.link_trace(kTraceTimeout);
    }
  }
  log_.link_trace(kTraceGetFailed);
  return std::nullopt;
}

int Link::unit_poll(int tries) {
  if (!settings_.ip && !port_) return 1;
  for (int t = 0; t < tries; ++t) {
    drain();
    unit_send_poll(kDeviceUnit, selected_address());
    const std::uint32_t start = tick_ms();
    for (;;) {
      if (auto frame = link_receive()) {
        if (frame->type() & kTypePoll) return 2;
        drain();
        return 0;
      }
      const std::uint32_t elapsed = tick_ms() - start;
      if (elapsed >= kPollWaitMs) break;
      wait_for_input(kPollWaitMs - elapsed);
    }
  }
  return 1;
}

int Link::unit_wait_any(std::uint32_t ms) {
  drain();
  unit_send_poll(kDeviceUnit, selected_address());
  const std::uint32_t start = tick_ms();
  for (;;) {
    if (link_receive()) return 1;
    const std::uint32_t elapsed = tick_ms() - start;
    if (elapsed >= ms) return 0;
    wait_for_input(ms - elapsed);
  }
}

}  // namespace qm
