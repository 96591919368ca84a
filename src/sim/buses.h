// The two faces of a simulated wall toward the program: a serial line on a pseudo-terminal
// (the program opens its slave device) and a TCP gateway on a local address. Each runs one
// thread that blocks until bytes arrive, a sequence wants to run, or it is stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_io.h"
#include "sim/wall.h"

namespace qm::sim {

// Seconds per byte on the real line: 10 bits (start, 8 data, stop) at 19200 baud.
inline constexpr double kByteSeconds = 10.0 / 19200.0;

class SerialBus {
 public:
  // pace: bytes take as long as on the real line, in both directions.
  SerialBus(SimWall& wall, bool pace);
  ~SerialBus();
  SerialBus(const SerialBus&) = delete;
  SerialBus& operator=(const SerialBus&) = delete;

  // Opens the pseudo-terminal and starts serving; false when the platform has none.
  bool start();
  // The device the program opens.
  std::string device() const;

 private:
  void run();
  void send(const Bytes& message);

  SimWall& wall_;
  bool pace_;
  std::unique_ptr<platform::PseudoTerminal> pty_;
  std::unique_ptr<platform::Wakeup> wakeup_;
  std::atomic<bool> stop_{false};
  std::uint32_t frames_sent_ = 0;
  std::thread thread_;
};

// What the gateway does with one program's bytes, apart from the connection: it takes the
// frames apart, checks the secret, hands unit messages to the wall and frames the replies.
class GatewaySession {
 public:
  // key: the secret the program must show first; empty: none is asked.
  GatewaySession(SimWall& wall, std::string key);

  // Takes bytes the program sent and appends to `writes` what goes back, one entry per write
  // (a frame, or half of one while the wall splits frames). False when the connection is to
  // be closed once those writes are out: a refused secret, a frame before the secret, bytes
  // that are not a frame, or the wall's close-after fault.
  bool feed(std::span<const std::uint8_t> bytes, std::vector<Bytes>& writes);
  bool authenticated() const { return authenticated_; }

 private:
  SimWall& wall_;
  std::string key_;
  Bytes buffer_;  // received, not yet a whole frame
  bool authenticated_;
  std::uint32_t frames_ = 0;
};

struct GatewayOptions {
  std::uint32_t address = 0x0100007F;  // 127.0.0.1 in network byte order
  std::uint16_t port = 0;              // 0: any free port
  std::string key;                     // empty: no authentication asked
  // A program that has stopped reading: its replies wait in a queue of their own, so that
  // the gateway never blocks on it; once the queue holds more than this many bytes, or has
  // not moved for stall_ms, the connection is dropped.
  std::size_t max_queued = 64 * 1024;
  int stall_ms = 5000;
};

class Gateway {
 public:
  Gateway(SimWall& wall, GatewayOptions options);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Starts listening; false when the address cannot be used.
  bool start();
  std::uint16_t port() const;

 private:
  struct Client;
  void run();
  // Reads what the client sent and answers it; false when the connection is to be closed.
  bool take(Client& client);
  // Queues bytes for the client and hands over what the connection takes; false when the
  // connection failed or the client has stopped reading.
  bool queue(Client& client, const Bytes& bytes);
  bool flush(Client& client);

  SimWall& wall_;
  GatewayOptions options_;
  std::unique_ptr<platform::ListeningSocket> listener_;
  std::unique_ptr<platform::Wakeup> wakeup_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace qm::sim
