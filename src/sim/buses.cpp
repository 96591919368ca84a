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

struct Gateway::Client {
  std::unique_ptr<platform::Connection> connection;
  Bytes buffer;                        // received, not yet served
  Bytes outgoing;                      // for the program, not yet taken by the connection
  SteadyClock::time_point last_taken;  // when the connection last took bytes (or was opened)
  bool authenticated = false;
  std::uint32_t frames = 0;
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

bool Gateway::queue(Client& client, const std::uint8_t* bytes, std::size_t n) {
  if (client.outgoing.empty()) client.last_taken = SteadyClock::now();
  client.outgoing.insert(client.outgoing.end(), bytes, bytes + n);
  return flush(client);
}

bool Gateway::send_frame(Client& client, std::uint8_t kind, const Bytes& payload) {
  Bytes frame = {static_cast<std::uint8_t>(payload.size() + 2), kind};
  frame.insert(frame.end(), payload.begin(), payload.end());
  if (!wall_.faults().split_frames) return queue(client, frame.data(), frame.size());
  // Two writes with a pause between, so that the program's reads see two pieces.
  const std::size_t half = frame.size() / 2;
  if (!queue(client, frame.data(), half)) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return queue(client, frame.data() + half, frame.size() - half);
}

bool Gateway::serve(Client& client) {
  while (client.buffer.size() >= 2) {
    const std::size_t length = client.buffer[0];
    if (length < 2) return false;  // not a frame: the stream cannot be trusted any more
    if (client.buffer.size() < length) return true;
    const std::uint8_t kind = client.buffer[1];
    const Bytes payload(client.buffer.begin() + 2,
                        client.buffer.begin() + static_cast<long>(length));
    client.buffer.erase(client.buffer.begin(), client.buffer.begin() + static_cast<long>(length));
    ++client.frames;
    const Faults faults = wall_.faults();

    if (kind == kTcpAuthentication) {
      const auto expected = authentication_block(options_.key);
      const bool ok = !faults.reject_authentication &&
                      (options_.key.empty() || std::equal(payload.begin(), payload.end(),
                                                          expected.begin(), expected.end()));
      const Bytes verdict = {3, 0, static_cast<std::uint8_t>(ok ? 1 : 0)};
      if (!queue(client, verdict.data(), verdict.size()) || !ok) return false;
      client.authenticated = true;
    } else if (!client.authenticated) {
      return false;  // a program without the secret is not let in
    } else if (kind == kTcpUnitMessage) {
      for (const Bytes& reply : wall_.receive(payload))
        if (!send_frame(client, kTcpUnitMessage, reply)) return false;
    } else if (kind == kTcpRawOutput) {
      wall_.record_output(payload);
    }
    if (faults.close_after_frames != 0 && client.frames >= faults.close_after_frames) return false;
  }
  return true;
}

bool Gateway::take(Client& client) {
  std::uint8_t buffer[256];
  const long got = client.connection->receive(buffer, sizeof buffer);
  if (got <= 0) return false;
  client.buffer.insert(client.buffer.end(), buffer, buffer + got);
  return serve(client);
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
        auto fresh = std::make_unique<Client>();
        fresh->connection = std::move(connection);
        fresh->authenticated = options_.key.empty();
        (fresh->authenticated ? client : pending) = std::move(fresh);
      }
    }
    for (Slot& slot : slots) {
      if (ready < 0 || (ready != slot.read_at && ready != slot.write_at)) continue;
      const bool ok = ready == slot.read_at ? take(**slot.who) : flush(**slot.who);
      if (!ok) slot.who->reset();
    }
    if (pending && pending->authenticated) client = std::move(pending);
  }
}

}  // namespace qm::sim
