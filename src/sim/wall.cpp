#include "sim/wall.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "link/function_codes.h"
#include "link/unit_frame.h"
#include "platform/clock.h"

namespace qm::sim {

namespace {

// Messages one SEND of a sequence may set off in turn before the wall stops following them
// (a sequence that makes units send to each other without end).
constexpr int kMaxInternalMessages = 64;

// Leaves `sector` with kFragmentedFree bytes free and the rest recoverable: a file that fills
// it, deleted.
void fragment(FlashFileSystem& flash, int sector) {
  constexpr std::uint32_t kRecordBytes = 16;  // the directory record of the filling file
  const FlashSpace space = flash.space(sector);
  if (space.free <= kFragmentedFree + kRecordBytes) return;
  const std::vector<std::uint8_t> fill(space.free - kFragmentedFree - kRecordBytes, 0xFF);
  if (flash.put_file(sector, "$FILL", fill)) flash.remove(sector, "$FILL");
}

}  // namespace

std::string transcript_line(const TranscriptEntry& entry) {
  static constexpr const char* kDirections[] = {"to units  ", "from units", "sequence  "};
  char head[48];
  std::snprintf(head, sizeof head, "%9llu ms  %s", static_cast<unsigned long long>(entry.at_ms),
                kDirections[static_cast<int>(entry.direction)]);
  std::string line = head;
  for (std::uint8_t b : entry.message) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  return line;
}

SimWall::SimWall(WallConfig config) : config_(std::move(config)) {
  if (!config_.clock) config_.clock = platform::monotonic_ms;
  start_ = config_.clock();
  for (int i = 0; i < 4; ++i) {
    if (config_.channels[static_cast<std::size_t>(i)] == 0) continue;
    UnitConfig unit = config_.unit;
    unit.channels = config_.channels[static_cast<std::size_t>(i)];
    if (const auto fpga = config_.fpga_versions[static_cast<std::size_t>(i)])
      unit.fpga_version = *fpga;
    units_[static_cast<std::size_t>(i)] = std::make_unique<SimUnit>(
        i, unit,
        [this](std::span<const std::uint8_t> m) { internal_.emplace_back(m.begin(), m.end()); });
    FlashFileSystem& flash = units_[static_cast<std::size_t>(i)]->flash();
    if (config_.faults.fragmented_sector != 0) fragment(flash, config_.faults.fragmented_sector);
    flash.set_full(config_.faults.flash_full);
  }
}

std::uint64_t SimWall::now() const {
  return config_.clock() - start_;
}

SimUnit* SimWall::unit_with_id(std::uint8_t id) {
  for (auto& u : units_)
    if (u && u->id() == id) return u.get();
  return nullptr;
}

void SimWall::apply(std::span<const std::uint8_t> message, bool from_sequence) {
  const std::uint8_t type = message[0];
  const std::uint8_t function = message[2];
  const auto data = message.subspan(3);
  if (type & kTypeBroadcast) {
    for (auto& u : units_)
      if (u) u->handle(function, data, true, now());
    return;
  }
  SimUnit* unit = unit_with_id(message[1]);
  if (unit == nullptr) return;
  auto reply =
      from_sequence ? unit->handle(function, data, false, now()) : answer(*unit, function, data);
  if (!reply || from_sequence) return;
  ++replies_made_;
  if (config_.faults.drop_reply_every != 0 && replies_made_ % config_.faults.drop_reply_every == 0)
    return;
  Bytes bytes = {static_cast<std::uint8_t>(kDeviceUnit | kTypeReply), unit->id(), reply->function};
  bytes.insert(bytes.end(), reply->data.begin(), reply->data.end());
  pending_[static_cast<std::size_t>(unit->index())] =
      Pending{std::move(bytes), now() + config_.faults.slow_reply_ms};
}

std::optional<UnitReply> SimWall::answer(SimUnit& unit, std::uint8_t function,
                                         std::span<const std::uint8_t> data) {
  const Faults& f = config_.faults;
  if (function == kFnOpen) writes_since_open_ = 0;
  if (function == kFnReadBlock || function == kFnWriteBlock) ++flash_blocks_;
  if (function == kFnWriteBlock && f.refuse_write_block != 0 &&
      ++writes_since_open_ == f.refuse_write_block)
    return UnitReply{function, {0}};  // not written
  if (function == kFnHardwareVersion &&
      f.no_hardware_version[static_cast<std::size_t>(unit.index())])
    return std::nullopt;
  auto reply = unit.handle(function, data, false, now());
  if (!reply) return reply;
  if (function == kFnClose && reply->data.size() >= 5) {
    if (f.no_close_reply) return std::nullopt;
    auto bump = [&](std::size_t at) {
      const auto v = static_cast<std::uint16_t>((reply->data[at] | reply->data[at + 1] << 8) + 1);
      reply->data[at] = static_cast<std::uint8_t>(v & 0xFF);
      reply->data[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    if (f.close_wrong_checksum) bump(1);
    if (f.close_wrong_blocks) bump(3);
  }
  if (function == kFnReadBlock && f.short_read_block && !reply->data.empty())
    reply->data.resize(std::min<std::size_t>(reply->data.size(), 3));  // no file bytes
  return reply;
}

std::uint64_t SimWall::flash_blocks() const {
  std::lock_guard lock(mutex_);
  return flash_blocks_;
}

void SimWall::apply_internal() {
  for (int n = 0; !internal_.empty() && n < kMaxInternalMessages; ++n) {
    Bytes m = std::move(internal_.front());
    internal_.erase(internal_.begin());
    note(Direction::Sequence, m);
    if (m.size() >= 3 && (m[0] & 0x0F) == kDeviceUnit) apply(m, true);
  }
  internal_.clear();
}

std::vector<Bytes> SimWall::receive(std::span<const std::uint8_t> message) {
  std::vector<Bytes> out;
  std::unique_lock lock(mutex_);
  note(Direction::ToUnits, Bytes(message.begin(), message.end()));
  const bool for_units = message.size() >= 2 && (message[0] & 0x0F) == kDeviceUnit;
  if (for_units && (message[0] & kTypePoll)) {
    SimUnit* unit = unit_with_id(message[1]);
    const auto i = unit ? static_cast<std::size_t>(unit->index()) : 0;
    if (unit && !config_.faults.silent[i] && now() >= unit->busy_until()) {
      auto& pending = pending_[i];
      if (pending && now() >= pending->ready_at) {
        if (config_.faults.wrong_function_first) {
          Bytes wrong = pending->reply;
          wrong[2] = static_cast<std::uint8_t>(wrong[2] + 1);
          out.push_back(std::move(wrong));
        }
        out.push_back(std::move(pending->reply));
        pending.reset();
      } else {
        out.push_back({static_cast<std::uint8_t>(kDeviceUnit | kTypeReply), unit->id()});
      }
    }
  } else if (for_units && message.size() >= 3) {
    apply(message, false);
  }
  apply_internal();
  for (const Bytes& m : out)
    note(Direction::FromUnits, m);
  changed_.notify_all();
  return out;
}

std::optional<std::uint64_t> SimWall::tick() {
  std::unique_lock lock(mutex_);
  std::optional<std::uint64_t> next;
  for (auto& u : units_) {
    if (!u) continue;
    const auto wake = u->tick(now());
    if (wake && (!next || *wake < *next)) next = wake;
  }
  apply_internal();
  changed_.notify_all();
  return next;
}

void SimWall::record(Direction direction, std::span<const std::uint8_t> message) {
  std::lock_guard lock(mutex_);
  note(direction, Bytes(message.begin(), message.end()));
  changed_.notify_all();
}

void SimWall::note(Direction direction, Bytes message) {
  if (transcript_.size() == kTranscriptKept) transcript_.pop_front();
  transcript_.push_back({now(), direction, std::move(message)});
  ++recorded_;
  if (sink_) sink_(transcript_.back());
}

std::vector<TranscriptEntry> SimWall::transcript() const {
  std::lock_guard lock(mutex_);
  return {transcript_.begin(), transcript_.end()};
}

bool SimWall::wait_transcript(std::size_t n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return recorded_ >= n; });
}

void SimWall::set_transcript_sink(TranscriptSink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

Faults SimWall::faults() const {
  std::lock_guard lock(mutex_);
  return config_.faults;
}

void SimWall::set_faults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  config_.faults = faults;
  for (auto& u : units_)
    if (u) u->flash().set_full(faults.flash_full);
}

bool SimWall::with_unit(int i, const std::function<void(SimUnit&)>& f) {
  std::lock_guard lock(mutex_);
  if (i < 0 || i > 3 || !units_[static_cast<std::size_t>(i)]) return false;
  f(*units_[static_cast<std::size_t>(i)]);
  return true;
}

void SimWall::record_output(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  output_.insert(output_.end(), bytes.begin(), bytes.end());
  if (output_.size() > kOutputKept)
    output_.erase(output_.begin(), output_.end() - static_cast<long>(kOutputKept));
}

Bytes SimWall::output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

}  // namespace qm::sim
