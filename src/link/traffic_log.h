// The traffic log "quadrimon.log": every byte that crosses the serial link and every trace
// line of the request operations, each with a time stamp. Off at every start.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>

namespace qm {

enum class LogKind { Trace, Transmit, Receive };

inline constexpr const char* kLogFileName = "quadrimon.log";

class TrafficLog {
 public:
  // user_folder: the per-user folder the log lives in, none when it is not known.
  explicit TrafficLog(std::optional<std::filesystem::path> user_folder);
  ~TrafficLog();
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  // The log's path, creating the per-user folder when needed; none when that fails.
  std::optional<std::filesystem::path> log_path() const;
  // Switches logging on or off; returns the previous state.
  bool log_enable(bool on);
  // Empties the log: logging off, file deleted, logging restored (a new empty file if on).
  void log_clear();
  bool enabled() const {
    const std::lock_guard lock(mutex_);
    return file_ != nullptr;
  }

  // Writes the line prefix "%s%.19s.%-3hu " for the kind at the current position.
  void log_stamp(LogKind kind);
  // Writes a trace line (the text carries its own line feed) after a trace stamp.
  void link_trace(std::string_view text);

  // Byte-level logging of serial frames; each call is flushed at once so that the log is
  // complete at any moment. They do nothing while logging is off.
  void log_hex(std::uint8_t byte);
  void log_char(std::uint8_t byte);
  void log_newline();

 private:
  std::optional<std::filesystem::path> user_folder_;
  // The link thread writes while the GUI thread switches logging or clears the log.
  mutable std::recursive_mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace qm
