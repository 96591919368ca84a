#include "sim/buses.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "link/link.h"
#include "link/serial_framing.h"

namespace qm::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a wait may last before the next sequence step is due; -1 without one.
int timeout_until(const SimWall& wall, std::optional<std::uint64_t> next) {
  if (!next) return -1;
  const std::uint64_t now = wall.now();
  return *next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(*next - now, 1u << 30));
}

SteadyClock::duration line_time(std::size_t bytes) {
  return std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double>(static_cast<double>(bytes) * kByteSeconds));
}

}  // namespace

// --- Serial bus -------------------------------------------------------------------------------

SerialBus::SerialBus(SimWall& wall, bool pace) : wall_(wall), pace_(pace) {}

SerialBus::~SerialBus() {
  stop_ = true;
  if (wakeup_) wakeup_->signal();
  if (thread_.joinable()) thread_.join();
}

bool SerialBus::start() {
  pty_ = platform::PseudoTerminal::open();
  wakeup_ = platform::Wakeup::create();
  if (!pty_ || !wakeup_) return false;
  thread_ = std::thread([this] { run(); });
  return true;
}

std::string SerialBus::device() const {
  return pty_ ? pty_->slave_path() : std::string();
}

void SerialBus::send(const Bytes& message) {
  const Faults faults = wall_.faults();
  ++frames_sent_;
  const bool spoil =
      faults.bad_checksum_every != 0 && frames_sent_ % faults.bad_checksum_every == 0;
  const Bytes wire =
      spoil ? encode_serial_frame(message, static_cast<std::uint8_t>(frame_checksum(message) + 1))
            : encode_serial_frame(message);
  if (!pace_) {
    pty_->write(wire.data(), wire.size());
    return;
  }
  // Byte by byte at the line rate, as a unit's transmitter would.
  auto due = SteadyClock::now();
  for (std::uint8_t b : wire) {
    std::this_thread::sleep_until(due);
    pty_->write(&b, 1);
    due += line_time(1);
  }
  std::this_thread::sleep_until(due);
}

void SerialBus::run() {
  SerialReceiver receiver;
  const platform::Handle handles[] = {wakeup_->handle(), pty_->handle()};
  auto line_free = SteadyClock::now();  // when the bytes received so far have all "arrived"
  while (!stop_) {
    const int ready = platform::wait_any(handles, timeout_until(wall_, wall_.tick()));
    if (ready == 0) {
      wakeup_->clear();
      continue;
    }
    if (ready != 1) continue;  // a sequence step is due: tick() runs it
    std::uint8_t buffer[256];
    const std::size_t got = pty_->read(buffer, sizeof buffer);
    if (got == 0) continue;
    if (pace_) {
      line_free = std::max(line_free, SteadyClock::now()) + line_time(got);
      std::this_thread::sleep_until(line_free);
    }
    for (std::size_t i = 0; i < got; ++i) {
      if (receiver.feed(buffer[i]) != SerialReceiver::Event::Frame) continue;
      const UnitFrame& f = receiver.frame();
      for (const Bytes& reply : wall_.receive({f.message.data(), f.count}))
        send(reply);
    }
  }
}

// --- Gateway ----------------------------------------------------------------------------------

GatewaySession::GatewaySession(SimWall& wall, std::string key)
    : wall_(wall), key_(std::move(key)), authenticated_(key_.empty()) {}

bool GatewaySession::feed(std::span<const std::uint8_t> bytes, std::vector<Bytes>& writes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  std::size_t at = 0;  // the start of the next frame in buffer_
  const auto consumed = [&](bool go_on) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(at));
    return go_on;
  };
  while (buffer_.size() - at >= 2) {
    const std::size_t length = buffer_[at];
    if (length < 2) return consumed(false);  // not a frame: the stream cannot be trusted
    if (buffer_.size() - at < length) break;
    const std::uint8_t kind = buffer_[at + 1];
    const std::span<const std::uint8_t> payload(buffer_.data() + at + 2, length - 2);
    at += length;
    ++frames_;
    const Faults faults = wall_.faults();

    if (kind == kTcpAuthentication) {
      const auto expected = authentication_block(key_);
      const bool ok = !faults.reject_authentication &&
                      (key_.empty() || std::equal(payload.begin(), payload.end(), expected.begin(),
                                                  expected.end()));
      writes.push_back({3, kTcpAuthentication, static_cast<std::uint8_t>(ok ? 1 : 0)});
      if (!ok) return consumed(false);
      authenticated_ = true;
    } else if (!authenticated_) {
      return consumed(false);  // a program without the secret is not let in
    } else if (kind == kTcpUnitMessage) {
      for (const Bytes& reply : wall_.receive(payload)) {
        Bytes frame = {static_cast<std::uint8_t>(reply.size() + 2), kTcpUnitMessage};
        frame.insert(frame.end(), reply.begin(), reply.end());
        if (!faults.split_frames) {
          writes.push_back(std::move(frame));
          continue;
        }
        const auto half = static_cast<long>(frame.size() / 2);
        writes.emplace_back(frame.begin(), frame.begin() + half);
        writes.emplace_back(frame.begin() + half, frame.end());
      }
    } else if (kind == kTcpRawOutput) {
      wall_.record_output(payload);
    }
    if (faults.close_after_frames != 0 && frames_ >= faults.close_after_frames)
      return consumed(false);
    if (faults.close_after_blocks != 0 && wall_.flash_blocks() >= faults.close_after_blocks)
      return consumed(false);
  }
  return consumed(true);
}

struct Gateway::Client {
  Client(std::unique_ptr<platform::Connection> c, SimWall& wall, const std::string& key)
      : connection(std::move(c)), session(wall, key) {}
  std::unique_ptr<platform::Connection> connection;
  GatewaySession session;
  Bytes outgoing;                      // for the program, not yet taken by the connection
  SteadyClock::time_point last_taken;  // when the connection last took bytes (or was opened)
};

Gateway::Gateway(SimWall& wall, GatewayOptions options)
    : wall_(wall), options_(std::move(options)) {}

Gateway::~Gateway() {
  stop_ = true;
  if (wakeup_) wakeup_->signal();
  if (thread_.joinable()) thread_.join();
}

bool Gateway::start() {
  listener_ = platform::ListeningSocket::open(options_.address, options_.port);
  wakeup_ = platform::Wakeup::create();
  if (!listener_ || !wakeup_) return false;
  thread_ = std::thread([this] { run(); });
  return true;
}

std::uint16_t Gateway::port() const {
  return listener_ ? listener_->port() : 0;
}

bool Gateway::flush(Client& client) {
  if (client.outgoing.empty()) return true;
  const long put = client.connection->send_some(client.outgoing.data(), client.outgoing.size());
  if (put < 0) return false;
  if (put > 0) {
    client.outgoing.erase(client.outgoing.begin(), client.outgoing.begin() + put);
    client.last_taken = SteadyClock::now();
  }
  return client.outgoing.size() <= options_.max_queued;
}

bool Gateway::queue(Client& client, const Bytes& bytes) {
  if (client.outgoing.empty()) client.last_taken = SteadyClock::now();
  client.outgoing.insert(client.outgoing.end(), bytes.begin(), bytes.end());
  return flush(client);
}

bool Gateway::take(Client& client) {
  std::uint8_t buffer[256];
  const long got = client.connection->receive(buffer, sizeof buffer);
  if (got <= 0) return false;
  std::vector<Bytes> writes;
  const bool go_on = client.session.feed({buffer, static_cast<std::size_t>(got)}, writes);
  const bool split = wall_.faults().split_frames;
  for (const Bytes& w : writes) {
    if (!queue(client, w)) return false;
    // Split frames go out with a pause after each piece, so that the program's reads see
    // them apart.
    if (split) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return go_on;
}

void Gateway::run() {
  // One program at a time: a new connection replaces the session only once it has shown the
  // secret, so that a connection without it never drops the operator's session. Each waits
  // for reading, and for writing while it has replies queued; nothing here ever blocks on a
  // connection, so that one program that stops reading stalls neither the others nor a stop.
  std::unique_ptr<Client> client;   // the session
  std::unique_ptr<Client> pending;  // a new connection that has yet to authenticate
  const auto stall = std::chrono::milliseconds(options_.stall_ms);
  while (!stop_) {
    std::vector<platform::Waitable> items = {{wakeup_->handle(), false},
                                             {listener_->handle(), false}};
    int timeout = timeout_until(wall_, wall_.tick());
    struct Slot {
      std::unique_ptr<Client>* who;
      int read_at = -1;
      int write_at = -1;
    };
    // The newcomer first: a session that floods the gateway must not keep it from being
    // heard (the first ready handle is the one served).
    Slot slots[] = {{&pending}, {&client}};
    const auto now = SteadyClock::now();
    for (Slot& slot : slots) {
      Client* c = slot.who->get();
      if (!c) continue;
      if (!c->outgoing.empty() && now - c->last_taken >= stall) {
        slot.who->reset();  // it has stopped reading
        continue;
      }
      slot.read_at = static_cast<int>(items.size());
      items.push_back({c->connection->handle(), false});
      if (c->outgoing.empty()) continue;
      slot.write_at = static_cast<int>(items.size());
      items.push_back({c->connection->handle(), true});
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(c->last_taken + stall - now);
      const int left_ms = static_cast<int>(std::max<long long>(left.count(), 0)) + 1;
      timeout = timeout < 0 ? left_ms : std::min(timeout, left_ms);
    }
    const int ready = platform::wait_any(items, timeout);
    if (ready == 0) {
      wakeup_->clear();
    } else if (ready == 1) {
      if (auto connection = listener_->accept()) {
        auto fresh = std::make_unique<Client>(std::move(connection), wall_, options_.key);
        (fresh->session.authenticated() ? client : pending) = std::move(fresh);
      }
    }
    for (Slot& slot : slots) {
      if (ready < 0 || (ready != slot.read_at && ready != slot.write_at)) continue;
      const bool ok = ready == slot.read_at ? take(**slot.who) : flush(**slot.who);
      if (!ok) slot.who->reset();
    }
    if (pending && pending->session.authenticated()) client = std::move(pending);
  }
}

}  // namespace qm::sim
