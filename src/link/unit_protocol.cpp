// Unit messages over the active transport: sending, receiving, and the request operations
// with their polls and waits. Every wait blocks on the transport until input may be there or
// the deadline passes; nothing spins.
#include <algorithm>
#include <cstring>

#include "base/text_format.h"
#include "link/link.h"
#include "platform/clock.h"

namespace qm {

inline constexpr const char* kTraceGetData = "Get data, fn = %d...\n";
inline constexpr const char* kTraceTimeout = "Timeout\n";
inline constexpr const char* kTraceGetFailed = "Get failed\n";

std::uint8_t Link::selected_address() const {
  return static_cast<std::uint8_t>(settings_.id);
}

void Link::wait_for_input(std::uint32_t ms) {
  if (ms == 0) return;
  const int timeout = static_cast<int>(std::min<std::uint32_t>(ms, 1u << 30));
  if (LinkTransport* t = transport()) {
    t->wait_for_input(timeout);
  } else {
    platform::sleep_ms(ms);
  }
}

// --- Sending ------------------------------------------------------------------------------

bool Link::unit_send(std::uint8_t device, std::uint8_t address, std::uint8_t function,
                     std::span<const std::uint8_t> data) {
  if (data.size() > kMaxSendData) return false;
  std::uint8_t message[3 + kMaxSendData];
  const bool broadcast = address == kAddressAll;
  message[0] = static_cast<std::uint8_t>((device & 0x0F) | (broadcast ? kTypeBroadcast : 0));
  message[1] = address;
  message[2] = function;
  if (!data.empty()) std::memcpy(message + 3, data.data(), data.size());
  if (LinkTransport* t = transport()) t->send_message({message, 3 + data.size()});
  return true;
}

void Link::unit_send_poll(std::uint8_t device, std::uint8_t address) {
  if (LinkTransport* t = transport())
    t->send_poll(static_cast<std::uint8_t>((device & 0x0F) | kTypePoll), address);
}

// --- Receiving ----------------------------------------------------------------------------

std::optional<UnitFrame> Link::link_receive() {
  LinkTransport* t = transport();
  return t ? t->receive() : std::nullopt;
}

std::optional<UnitFrame> Link::receive_within(std::uint32_t ms) {
  const bool had_link = transport() != nullptr;
  const std::uint32_t start = tick_ms();
  for (;;) {
    if (auto frame = link_receive()) return frame;
    const std::uint32_t elapsed = tick_ms() - start;
    if (elapsed >= ms) return std::nullopt;
    // The link went away meanwhile (the gateway closed): no frame can come any more.
    if (had_link && transport() == nullptr) return std::nullopt;
    wait_for_input(ms - elapsed);
  }
}

// --- Requests -------------------------------------------------------------------------------

void Link::drain(std::uint32_t most_ms) {
  const std::uint32_t start = tick_ms();
  while (link_receive() && tick_ms() - start < most_ms) {
  }
}

std::optional<UnitFrame> Link::unit_get(std::uint8_t device, std::uint8_t address,
                                        std::uint8_t function, std::span<const std::uint8_t> data) {
  const LinkTransport* t = transport();
  if (t == nullptr) return std::nullopt;
  const std::uint32_t wait = t->reply_wait_ms();

  const std::uint32_t drain_start = tick_ms();
  while (link_receive()) {
    if (tick_ms() - drain_start > wait) return std::nullopt;
  }

  for (int send = 0; send < 2; ++send) {
    log_.link_trace(strprintf(kTraceGetData, function));
    unit_send(device, address, function, data);
    for (int poll = 0; poll < 2; ++poll) {
      unit_send_poll(kDeviceUnit, address);
      // Frames that are not the reply are discarded; the wait ends at its deadline however
      // many of them keep coming.
      const std::uint32_t start = tick_ms();
      std::uint32_t elapsed = 0;
      while (elapsed < wait && transport() != nullptr) {
        const auto frame = receive_within(wait - elapsed);
        if (!frame) break;
        if (frame->count >= 3 && frame->type() == (kDeviceUnit | kTypeReply) &&
            frame->address() == address && frame->function() == function)
          return frame;
        elapsed = tick_ms() - start;
      }
      // The link went away meanwhile (the gateway closed): no reply can come any more.
      if (transport() == nullptr) {
        log_.link_trace(kTraceGetFailed);
        return std::nullopt;
      }
      log_.link_trace(kTraceTimeout);
    }
  }
  log_.link_trace(kTraceGetFailed);
  return std::nullopt;
}

int Link::unit_poll(int tries, bool selected_only) {
  const bool all = settings_.id < 0;
  return poll_address(selected_address(), tries, selected_only && !all);
}

int Link::unit_poll_unit(std::uint8_t address, int tries) {
  return poll_address(address, tries, true);
}

int Link::poll_address(std::uint8_t address, int tries, bool only_that_unit) {
  if (!settings_.ip && transport() == nullptr) return 1;
  const bool had_link = transport() != nullptr;
  for (int t = 0; t < tries; ++t) {
    // The link went away during an earlier try: no answer can come any more.
    if (had_link && transport() == nullptr) return 1;
    drain(kPollWaitMs);
    unit_send_poll(kDeviceUnit, address);
    const std::uint32_t start = tick_ms();
    for (std::uint32_t elapsed = 0; elapsed < kPollWaitMs; elapsed = tick_ms() - start) {
      const auto frame = receive_within(kPollWaitMs - elapsed);
      if (!frame) break;
      if (only_that_unit && (frame->count < 2 || frame->address() != address)) continue;
      if (frame->type() & kTypePoll) return 2;
      drain(kPollWaitMs);
      return 0;
    }
  }
  return 1;
}

int Link::unit_wait_any(std::uint32_t ms) {
  drain(kPollWaitMs);
  unit_send_poll(kDeviceUnit, selected_address());
  return receive_within(ms) ? 1 : 0;
}

}  // namespace qm
