// The sequence engine of a unit: runs a binary sequence file from flash by itself, timed in
// fields at 50 per second.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm::sim {

// The result numbers a unit reports for its last sequence (function 76).
enum class SequenceResult : std::uint8_t {
  Normal = 0,
  UserStopped = 1,   // "User stopped sequence"
  ReadingBytes = 2,  // "Reading bytes": an instruction ran past the end of the image
  FlashOpen = 3,     // "Flash open"
  FlashSeek = 4,     // "Flash seek": a jump outside the image
  NotDefined = 5,    // "Function code not defined": an illegal opcode or value type
  Unsupported = 6,   // "Function code unsupported": an opcode the unit does not run
  IncludeName = 7,   // "Include name": an empty or over-long name
  IncludeOpen = 8,   // "Include open": the named file is not in flash
  IncludeDepth = 9,  // "Include depth": includes nested too deep
};

inline constexpr std::uint32_t kFieldMs = 20;  // one field at 50 fields per second

// What a running sequence does to the world around it.
class SequenceHost {
 public:
  virtual ~SequenceHost() = default;
  // A SEND: the unit message bytes (type/device, address, function code, data).
  virtual void sequence_send(std::span<const std::uint8_t> message) = 0;
  // An OUTPUT: raw bytes.
  virtual void sequence_output(std::span<const std::uint8_t> bytes) = 0;
  // The image of the binary sequence file a CALL/INCLUDE names, or null when it is absent.
  virtual const std::vector<std::uint8_t>* sequence_file(const std::string& name) = 0;
};

class SequenceEngine {
 public:
  explicit SequenceEngine(SequenceHost& host);

  // Starts `image` (the whole file) under `name`; a running sequence is replaced.
  void start(const std::string& name, std::vector<std::uint8_t> image, std::uint64_t now_ms);
  // Stops a running sequence; the last result becomes UserStopped.
  void stop();
  // Executes until the sequence waits or ends. Returns the time it wants to run again, or
  // none when it ended or waits for a key only.
  std::optional<std::uint64_t> run(std::uint64_t now_ms);
  // A keypad key: releases a WAIT EVENT.
  void key(std::uint8_t key, std::uint64_t now_ms);

  bool running() const;
  const std::string& file_name() const;  // of the running sequence
  SequenceResult last_result() const;
  std::uint16_t last_offset() const;  // where the last sequence stopped with an error

 private:
  // An open REPEAT: where a new pass begins, how many passes, which pass runs.
  struct Loop {
    std::size_t start = 0;  // offset after the REPEAT
    std::uint32_t count = 0;
    bool forever = false;
    std::uint32_t iteration = 1;
    std::uint64_t started_ms = 0;  // when the REPEAT ran, for UNTIL
  };
  // One running file: the started one, or one an INCLUDE opened. Offsets are its own.
  struct Level {
    std::vector<std::uint8_t> image;
    std::size_t pc = 0;
    std::vector<std::size_t> calls;  // return offsets of the open PROC calls
    std::vector<Loop> loops;
  };
  enum class Step { Next, Wait, WaitKey, Ended };

  Step execute(std::uint64_t now_ms);
  Step leave_file();
  Step fail(SequenceResult result, std::size_t offset);
  void finish(SequenceResult result, std::size_t offset);
  std::size_t call_depth() const;

  SequenceHost& host_;
  std::vector<Level> levels_;  // the started file first, then each open INCLUDE
  std::string name_;
  std::uint64_t ready_ms_ = 0;  // run() executes nothing before this
  bool waiting_key_ = false;
  SequenceResult last_result_ = SequenceResult::Normal;
  std::uint16_t last_offset_ = 0;
};

}  // namespace qm::sim
