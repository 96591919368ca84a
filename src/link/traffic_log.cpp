#include "link/traffic_log.h"

#include <system_error>

#include "platform/clock.h"

namespace qm {

namespace {

// The four-character kinds that begin a stamp.
const char* kind_text(LogKind kind) {
  switch (kind) {
    case LogKind::Trace:
      return "    ";
    case LogKind::Transmit:
      return "Tx> ";
    case LogKind::Receive:
      return "<Rx ";
  }
  return "    ";
}

}  // namespace

TrafficLog::TrafficLog(std::optional<std::filesystem::path> user_folder)
    : user_folder_(std::move(user_folder)) {}

TrafficLog::~TrafficLog() {
  log_enable(false);
}

std::optional<std::filesystem::path> TrafficLog::log_path() const {
  if (!user_folder_) return std::nullopt;
  std::error_code ec;
  if (!std::filesystem::is_directory(*user_folder_, ec)) {
    std::filesystem::create_directories(*user_folder_, ec);
    if (ec) return std::nullopt;
  }
  return *user_folder_ / kLogFileName;
}

bool TrafficLog::log_enable(bool on) {
  const std::lock_guard lock(mutex_);
  const bool previous = enabled();
  if (on) {
    if (file_ == nullptr) {
      if (auto path = log_path()) file_ = std::fopen(path->string().c_str(), "a+");
    }
  } else if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  return previous;
}

void TrafficLog::log_clear() {
  const std::lock_guard lock(mutex_);
  auto path = log_path();
  if (!path) return;
  const bool previous = log_enable(false);
  std::error_code ec;
  std::filesystem::remove(*path, ec);
  log_enable(previous);
}

void TrafficLog::log_stamp(LogKind kind) {
  const std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  const platform::LocalTime now = platform::local_time_now();
  std::fprintf(file_, "%s%.19s.%-3hu ", kind_text(kind), now.text.c_str(), now.millis);
}

void TrafficLog::link_trace(std::string_view text) {
  const std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  log_stamp(LogKind::Trace);
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void TrafficLog::log_hex(std::uint8_t byte) {
  const std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fprintf(file_, "%02X", byte);
  std::fflush(file_);
}

void TrafficLog::log_char(std::uint8_t byte) {
  const std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fputc(byte, file_);
  std::fflush(file_);
}

void TrafficLog::log_newline() {
  const std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace qm
