// A simulated wall: units 0..3 on one bus, as the program sees them from its side of the
// cable. The wall decides who answers what: a unit's reply waits until the program polls
// that unit; a poll with nothing waiting is answered with the two bytes 0x17, ID; broadcasts
// act on every unit and are never answered; absent and silenced units say nothing.
// Thread-safe: the buses call it from their own threads.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_unit.h"

namespace qm::sim {

using Bytes = std::vector<std::uint8_t>;

// Faults a test or an operator can switch on.
struct Faults {
  std::array<bool, 4> silent{};               // the unit never answers
  std::array<bool, 4> no_hardware_version{};  // the unit never answers function 3
  std::uint32_t slow_reply_ms = 0;            // a reply is ready only this long after its request
  std::uint32_t drop_reply_every = 0;         // every Nth reply is never sent (0: none)
  bool wrong_function_first = false;     // a reply to another function code precedes each reply
  std::uint32_t bad_checksum_every = 0;  // serial: every Nth frame sent has a bad checksum
  bool reject_authentication = false;    // gateway: every authentication is refused
  std::uint32_t close_after_frames = 0;  // gateway: the connection is closed after N frames
  bool split_frames = false;             // gateway: each frame goes out in two writes
  bool flash_full = false;               // every flash write that needs space fails
  // Flash transfers:
  std::uint32_t refuse_write_block = 0;  // the Nth write block after an open is refused (0: none)
  bool no_close_reply = false;           // a close is carried out but never answered
  bool close_wrong_blocks = false;       // a close reports one block more than arrived
  bool close_wrong_checksum = false;     // a close reports a checksum one above the true one
  bool short_read_block = false;         // a read block is answered without its data
  std::uint32_t close_after_blocks = 0;  // gateway: the connection is closed after N blocks
  // At the start this sector (1..5; 0: none) of every unit has 100 bytes free and the rest of
  // its space recoverable: a download of more needs a compaction first.
  std::uint8_t fragmented_sector = 0;
};

// The free bytes a fragmented sector is left with.
inline constexpr std::uint32_t kFragmentedFree = 100;

enum class Direction {
  ToUnits,    // from the program to the units
  FromUnits,  // from the units to the program
  Sequence,   // sent by a unit's own sequence to the wall (never on the bus)
};

// One frame on a bus: the message bytes (type, address, function, data) without framing.
struct TranscriptEntry {
  std::uint64_t at_ms = 0;  // since the wall was made
  Direction direction = Direction::ToUnits;
  Bytes message;
};

// The transcript keeps the most recent messages and the raw output its most recent bytes: a
// wall that runs for days would otherwise grow without bound. A sink sees every message.
inline constexpr std::size_t kTranscriptKept = 10000;
inline constexpr std::size_t kOutputKept = 64 * 1024;
using TranscriptSink = std::function<void(const TranscriptEntry&)>;

// One line of text for a message: its time, its direction and its bytes in hexadecimal,
// e.g. "     1234 ms  to units    47 00" (no line end).
std::string transcript_line(const TranscriptEntry& entry);

struct WallConfig {
  std::array<std::uint8_t, 4> channels{16, 16, 16, 16};  // 0 = the unit is absent
  UnitConfig unit;                                       // versions, title, timings
  // Per unit, an FPGA version in place of unit.fpga_version (its factory firmware follows it).
  std::array<std::optional<std::uint8_t>, 4> fpga_versions{};
  Faults faults;
  std::function<std::uint64_t()> clock;  // milliseconds; the monotonic clock when empty
};

class SimWall {
 public:
  explicit SimWall(WallConfig config = {});
  SimWall(const SimWall&) = delete;
  SimWall& operator=(const SimWall&) = delete;

  // A message from the program. Returns the messages the units send back (for a poll).
  std::vector<Bytes> receive(std::span<const std::uint8_t> message);
  // Lets the units' sequences run; the time (ms on the wall's clock) to call again, if any.
  std::optional<std::uint64_t> tick();
  std::uint64_t now() const;

  // The transcript of the messages both ways (the buses add what they send and receive):
  // the last kTranscriptKept of them, oldest first.
  void record(Direction direction, std::span<const std::uint8_t> message);
  std::vector<TranscriptEntry> transcript() const;
  // Blocks (politely) until n messages have been recorded since the wall was made, or
  // timeout_ms passes.
  bool wait_transcript(std::size_t n, int timeout_ms) const;
  // Hands every message from now on to `sink` as well, under the wall's lock (so in order);
  // an empty sink stops it.
  void set_transcript_sink(TranscriptSink sink);

  Faults faults() const;
  void set_faults(const Faults& faults);

  // Runs f on unit i (0..3) under the wall's lock; false when the unit is absent.
  bool with_unit(int i, const std::function<void(SimUnit&)>& f);
  // Block requests (read or write) the units have received since the wall was made.
  std::uint64_t flash_blocks() const;
  // Raw output that arrived on the gateway's kind-2 frames (the last kOutputKept bytes).
  void record_output(std::span<const std::uint8_t> bytes);
  Bytes output() const;

 private:
  struct Pending {
    Bytes reply;
    std::uint64_t ready_at = 0;
  };
  // Applies a message to the addressed units (all on a broadcast); queues replies.
  void apply(std::span<const std::uint8_t> message, bool from_sequence);
  // Applies what the units' own sequences sent meanwhile.
  void apply_internal();
  // A unit's answer to a request, with the transfer faults applied; none for no reply.
  std::optional<UnitReply> answer(SimUnit& unit, std::uint8_t function,
                                  std::span<const std::uint8_t> data);
  SimUnit* unit_with_id(std::uint8_t id);
  // Adds a message to the transcript; the caller holds the lock.
  void note(Direction direction, Bytes message);

  WallConfig config_;
  std::uint64_t start_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::array<std::unique_ptr<SimUnit>, 4> units_;
  std::array<std::optional<Pending>, 4> pending_;
  std::uint32_t replies_made_ = 0;
  std::uint32_t writes_since_open_ = 0;  // write blocks since the last open, for the faults
  std::uint64_t flash_blocks_ = 0;
  std::deque<TranscriptEntry> transcript_;
  std::uint64_t recorded_ = 0;  // messages recorded since the wall was made
  TranscriptSink sink_;
  Bytes output_;
  // Messages the units' own sequences sent while the wall was busy: applied after.
  std::vector<Bytes> internal_;
};

}  // namespace qm::sim
