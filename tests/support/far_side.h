// The far side of the link in tests: a scripted unit on a real pseudo-terminal and a
// scripted gateway on a real loopback socket. Each runs one thread that blocks in poll() and
// answers what it receives through a handler; everything it received is kept for asserts.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_framing.h"
#include "link/unit_frame.h"

namespace qm::test {

using Bytes = std::vector<std::uint8_t>;

// Parses "7E 07 00 23 D6 7D" into bytes.
Bytes hex(const std::string& text);
std::string to_hex(const Bytes& bytes);

// The wire bytes of a reply from unit `address` to `function` (type 0x17).
Bytes reply(std::uint8_t address, std::uint8_t function, const Bytes& data = {});
// The wire bytes of any message (type, address, function, data...).
Bytes frame_of(const Bytes& message);
// A TCP frame of the given kind: length, kind, payload.
Bytes tcp_frame(std::uint8_t kind, const Bytes& payload);

// A pseudo-terminal: the program opens slave_path(), the test works on the master.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  const std::string& slave_path() const { return slave_path_; }
  // The master, or -1 once it has hung up.
  int master() const { return master_; }
  // Reads from the master until `n` bytes have come or timeout_ms passes.
  Bytes read_master(std::size_t n, int timeout_ms);
  void write_master(const Bytes& bytes);
  // Closes the master: the line hangs up, and the program's side of it sees the hang-up.
  void hang_up();

 private:
  std::atomic<int> master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

// A unit on the far side of a pseudo-terminal. For every frame the program sends, the
// handler returns the bytes to put on the wire in answer (often none).
class ScriptedUnit {
 public:
  using Handler = std::function<Bytes(const UnitFrame& request)>;
  ScriptedUnit(PtyPair& pty, Handler handler);
  ~ScriptedUnit();
  ScriptedUnit(const ScriptedUnit&) = delete;
  ScriptedUnit& operator=(const ScriptedUnit&) = delete;

  Bytes wire() const;                     // every byte received, in order
  std::vector<UnitFrame> frames() const;  // every frame received, in order
  // Blocks until at least n frames have been received or timeout_ms passes.
  bool wait_frames(std::size_t n, int timeout_ms) const;
  // Writes `bytes` to the line over and over, as fast as the program's side takes them, for
  // `for_ms` (a line that floods). Called from the handler: the stream starts once the frame
  // is handled; the handler answers nothing while it lasts.
  void stream(const Bytes& bytes, int for_ms);

 private:
  void run();
  // Hands the line as much of the stream as it takes without waiting.
  void feed_stream(int master);
  PtyPair& pty_;
  Handler handler_;
  int stop_[2] = {-1, -1};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // a frame was recorded
  Bytes wire_;
  std::vector<UnitFrame> frames_;
  Bytes stream_;  // repeated; written from stream_at_ on
  std::size_t stream_at_ = 0;
  std::chrono::steady_clock::time_point stream_until_;
  std::thread thread_;
};

// A unit that answers the way real units do: a request that has a reply queues it, and the
// next poll of that unit sends it; a poll with nothing queued gets the 2-byte 0x17, ID.
// `replies` maps a function code to the data of its reply.
ScriptedUnit::Handler polite_unit(std::uint8_t id,
                                  std::function<Bytes(const UnitFrame& request)> reply_data);

// A gateway on 127.0.0.1 that accepts connections one after another. For every TCP frame
// (length, kind, payload) the handler returns the bytes to send back.
class ScriptedGateway {
 public:
  struct Frame {
    std::uint8_t kind;
    Bytes payload;
  };
  using Handler = std::function<Bytes(const Frame& frame)>;
  explicit ScriptedGateway(Handler handler);
  ~ScriptedGateway();
  ScriptedGateway(const ScriptedGateway&) = delete;
  ScriptedGateway& operator=(const ScriptedGateway&) = delete;

  std::uint16_t port() const { return port_; }
  std::vector<Frame> frames() const;
  bool wait_frames(std::size_t n, int timeout_ms) const;
  // Sends bytes to the connected client at once (unsolicited), as one write.
  void push(const Bytes& bytes);
  // Closes the current connection.
  void drop();
  // Reads nothing more from the client (a gateway that hangs): what the client sends piles
  // up in the socket buffers until they are full. Also shrinks the receive buffer, so that
  // they fill soon.
  void stop_reading();
  // Resets the current connection: the client's pending and later calls fail at once.
  void reset();
  // Sends `frames` to the client over and over, as fast as it takes them, for `for_ms`
  // (a peer that floods). Called from the handler: the stream starts once the frame is
  // handled. The handler's own answers would cut into it, so a handler that starts a stream
  // answers nothing while it lasts.
  void stream(const Bytes& frames, int for_ms);

 private:
  void run();
  // Hands the client as much of the stream as it takes without waiting.
  void feed_stream(int client);
  Handler handler_;
  int listener_ = -1;
  int client_ = -1;
  std::uint16_t port_ = 0;
  int stop_[2] = {-1, -1};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // a frame was recorded or the client changed
  std::vector<Frame> frames_;
  Bytes stream_;  // whole frames, repeated; sent from stream_at_ on
  std::size_t stream_at_ = 0;
  std::chrono::steady_clock::time_point stream_until_;
  bool reading_ = true;
  std::thread thread_;
};

// A gateway handler that checks the authentication block against `secret` and answers
// with the 3-byte verdict; unit messages go to `units`.
ScriptedGateway::Handler checking_gateway(std::string secret,
                                          std::function<Bytes(const Bytes& message)> units);

}  // namespace qm::test
