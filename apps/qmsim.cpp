// qmsim: a simulated video wall for training and testing without hardware. It serves units
// on a pseudo-terminal (the program opens its device as a serial port) or as a TCP gateway,
// until interrupted.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compiler/numbers.h"
#include "link/video_signal.h"
#include "platform/paths.h"
#include "platform/sim_io.h"
#include "platform/socket.h"
#include "sim/buses.h"
#include "sim/wall.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kProgramName = "qmsim";

constexpr const char* kUsage =
    "Usage: qmsim serial [--link PATH] [--pace] [COMMON OPTIONS]\n"
    "       qmsim tcp [--listen ADDRESS:PORT] [--key SECRET] [COMMON OPTIONS]\n"
    "\n"
    "Simulates up to four video wall units until interrupted (Ctrl+C), in one of two\n"
    "modes:\n"
    "\n"
    "serial   serves the units on a pseudo-terminal and prints its device path; the program\n"
    "         opens that device as its serial port (qmctl --port PATH, or QUADRIMON_COMn).\n"
    "  --link PATH           also make PATH a symbolic link to the device\n"
    "  --pace                bytes take as long as on the real line (19200 baud, 10 bits each)\n"
    "tcp      serves the units as a network gateway and prints the port it listens on.\n"
    "  --listen ADDRESS:PORT where to listen (default 127.0.0.1:0, any free port)\n"
    "  --key SECRET          the shared secret the program must prove (default: none asked)\n"
    "\n"
    "Common options:\n"
    "  --units A,B,C,D       channels of units 0..3: 9, 16 or 25, 0 = absent (default "
    "16,16,16,16)\n"
    "  --state DIR           keep each unit's flash in DIR between runs (unitN.flash)\n"
    "  --transcript FILE     write every message both ways to FILE as it passes, with its\n"
    "                        time in ms\n"
    "  --compact-ms MS       how long a flash compaction keeps a unit busy (default 300)\n"
    "  --fpga N:MAJOR.MINOR  the FPGA version unit N reports (default 3.1; repeatable); its\n"
    "                        factory firmware is marked for that major version\n"
    "  --signal U:C:STATE    the signal on input C (1 or 2) of unit U: sync, error,\n"
    "                        nocolour or nosignal (default sync; repeatable)\n"
    "Faults:\n"
    "  --silent N            unit N never answers (repeatable)\n"
    "  --no-hw-version N     unit N never answers the hardware version request (repeatable)\n"
    "  --slow MS             replies are ready only MS after their request\n"
    "  --drop-every N        every Nth reply is never sent\n"
    "  --wrong-first         each reply is preceded by one to another function code\n"
    "  --bad-checksum-every N  serial: every Nth frame has a bad checksum\n"
    "  --reject-auth         tcp: every authentication is refused\n"
    "  --close-after N       tcp: the connection is closed after N frames\n"
    "  --split-frames        tcp: every frame goes out in two writes\n"
    "  --flash-full          every flash write that needs space fails\n"
    "  --refuse-write N      the Nth write block after each open is refused\n"
    "  --no-close-reply      a flash close is carried out but never answered\n"
    "  --close-wrong-blocks  a flash close reports one block more than arrived\n"
    "  --close-wrong-checksum  a flash close reports a wrong checksum\n"
    "  --short-read          a read block is answered without its data\n"
    "  --close-after-blocks N  tcp: the connection is closed after N flash blocks\n"
    "  --fragment SECTOR     that sector starts with 100 bytes free, the rest recoverable\n"
    "\n"
    "  --help                show this text\n"
    "  --version             show the program's name and version\n";

// A usage error: one line that says what is wrong, and where to read more.
int usage_error(const std::string& message) {
  std::fprintf(stderr, "qmsim: %s\ntry 'qmsim --help'\n", message.c_str());
  return kExitUsage;
}

struct Options {
  std::string mode;  // serial or tcp
  std::optional<std::string> link;
  bool pace = false;
  std::string listen = "127.0.0.1:0";
  std::string key;
  std::optional<std::string> state;
  std::optional<std::string> transcript;
  qm::sim::WallConfig wall;
  struct Signal {
    int unit = 0;
    int channel = 0;  // 0 or 1
    qm::SignalState state = qm::SignalState::kInSync;
  };
  std::vector<Signal> signals;
};

// "U:C:STATE" of --signal.
std::optional<Options::Signal> parse_signal(const std::string& text) {
  static constexpr std::pair<std::string_view, qm::SignalState> kStates[] = {
      {"sync", qm::SignalState::kInSync},
      {"error", qm::SignalState::kSyncError},
      {"nocolour", qm::SignalState::kNoColour},
      {"nosignal", qm::SignalState::kNoSignal}};
  if (text.size() < 5 || text[1] != ':' || text[3] != ':') return std::nullopt;
  if (text[0] < '0' || text[0] > '3' || (text[2] != '1' && text[2] != '2')) return std::nullopt;
  for (const auto& [name, state] : kStates)
    if (text.substr(4) == name) return Options::Signal{text[0] - '0', text[2] - '1', state};
  return std::nullopt;
}

// A whole decimal number in min..max.
std::optional<std::uint32_t> number(std::string_view text, std::uint32_t min, std::uint32_t max) {
  const qm::ParsedNumber n = qm::parse_number(text, 10);
  if (!n || n.value < 0 || static_cast<std::uint32_t>(n.value) < min ||
      static_cast<std::uint32_t>(n.value) > max)
    return std::nullopt;
  return static_cast<std::uint32_t>(n.value);
}

// N:MAJOR.MINOR of --fpga: the unit and its version byte (major in the high four bits).
std::optional<std::pair<std::size_t, std::uint8_t>> fpga_option(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || dot == std::string::npos) return std::nullopt;
  const auto unit = number(text.substr(0, colon), 0, 3);
  const auto major = number(text.substr(colon + 1, dot - colon - 1), 0, 15);
  const auto minor = number(text.substr(dot + 1), 0, 15);
  if (!unit || !major || !minor) return std::nullopt;
  return std::pair{static_cast<std::size_t>(*unit),
                   static_cast<std::uint8_t>(*major << 4 | *minor)};
}

std::optional<std::string> parse(int argc, char** argv, Options& o) {
  if (argc < 2) return "no mode given: serial or tcp";
  o.mode = argv[1];
  if (o.mode != "serial" && o.mode != "tcp") return "unknown mode " + o.mode + ": serial or tcp";
  qm::sim::Faults& f = o.wall.faults;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    auto value = [&]() -> std::string { return argv[++i]; };
    auto count = [&](std::uint32_t& into, std::uint32_t min, std::uint32_t max) -> bool {
      if (!has_value) return false;
      const auto n = number(value(), min, max);
      if (n) into = *n;
      return n.has_value();
    };
    if (arg == "--pace") {
      o.pace = true;
    } else if (arg == "--wrong-first") {
      f.wrong_function_first = true;
    } else if (arg == "--reject-auth") {
      f.reject_authentication = true;
    } else if (arg == "--split-frames") {
      f.split_frames = true;
    } else if (arg == "--flash-full") {
      f.flash_full = true;
    } else if (arg == "--no-close-reply") {
      f.no_close_reply = true;
    } else if (arg == "--close-wrong-blocks") {
      f.close_wrong_blocks = true;
    } else if (arg == "--close-wrong-checksum") {
      f.close_wrong_checksum = true;
    } else if (arg == "--short-read") {
      f.short_read_block = true;
    } else if (!has_value) {
      return std::string(arg) + " needs a value, or is unknown";
    } else if (arg == "--link") {
      o.link = value();
    } else if (arg == "--listen") {
      o.listen = value();
    } else if (arg == "--key") {
      o.key = value();
    } else if (arg == "--state") {
      o.state = value();
    } else if (arg == "--transcript") {
      o.transcript = value();
    } else if (arg == "--units") {
      const std::string list = value();
      std::size_t start = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t comma = list.find(',', start);
        const std::string item =
            list.substr(start, comma == std::string::npos ? comma : comma - start);
        const auto n = number(item, 0, 25);
        if (!n || (*n != 0 && *n != 9 && *n != 16 && *n != 25))
          return "--units wants four of 0, 9, 16, 25: " + list;
        o.wall.channels[k] = static_cast<std::uint8_t>(*n);
        if (comma == std::string::npos) {
          if (k != 3) return "--units wants four of 0, 9, 16, 25: " + list;
          break;
        }
        start = comma + 1;
      }
    } else if (arg == "--silent") {
      std::uint32_t unit = 0;
      if (!count(unit, 0, 3)) return "--silent wants a unit 0..3";
      f.silent[unit] = true;
    } else if (arg == "--no-hw-version") {
      std::uint32_t unit = 0;
      if (!count(unit, 0, 3)) return "--no-hw-version wants a unit 0..3";
      f.no_hardware_version[unit] = true;
    } else if (arg == "--fpga") {
      const std::string text = value();
      const auto version = fpga_option(text);
      if (!version) return "--fpga wants N:MAJOR.MINOR with N 0..3, MAJOR and MINOR 0..15: " + text;
      o.wall.fpga_versions[version->first] = version->second;
    } else if (arg == "--slow") {
      if (!count(f.slow_reply_ms, 0, 60000)) return "--slow wants milliseconds";
    } else if (arg == "--drop-every") {
      if (!count(f.drop_reply_every, 1, 65535)) return "--drop-every wants a count from 1";
    } else if (arg == "--bad-checksum-every") {
      if (!count(f.bad_checksum_every, 1, 65535)) return "--bad-checksum-every wants a count";
    } else if (arg == "--close-after") {
      if (!count(f.close_after_frames, 1, 65535)) return "--close-after wants a count from 1";
    } else if (arg == "--refuse-write") {
      if (!count(f.refuse_write_block, 1, 65535)) return "--refuse-write wants a block from 1";
    } else if (arg == "--close-after-blocks") {
      if (!count(f.close_after_blocks, 1, 65535)) return "--close-after-blocks wants a count";
    } else if (arg == "--fragment") {
      std::uint32_t sector = 0;
      if (!count(sector, 1, 5)) return "--fragment wants a sector 1..5";
      f.fragmented_sector = static_cast<std::uint8_t>(sector);
    } else if (arg == "--signal") {
      const std::string text = value();
      const auto signal = parse_signal(text);
      if (!signal) return "--signal wants UNIT:INPUT:STATE, e.g. 0:2:nosignal, not " + text;
      o.signals.push_back(*signal);
    } else if (arg == "--compact-ms") {
      if (!count(o.wall.unit.compaction_ms, 0, 60000)) return "--compact-ms wants milliseconds";
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  return std::nullopt;
}

std::filesystem::path state_file(const std::string& dir, int unit) {
  return std::filesystem::path(dir) / ("unit" + std::to_string(unit) + ".flash");
}

// Loads each unit's flash from the state folder and restarts the unit on it.
void load_state(qm::sim::SimWall& wall, const std::string& dir) {
  for (int i = 0; i < 4; ++i) {
    const qm::platform::FileRead read = qm::platform::read_file(state_file(dir, i));
    if (read.status == qm::platform::FileReadStatus::NotFound) continue;
    if (!read.ok()) {
      std::fprintf(stderr, "qmsim: cannot read %s (%s); unit %d starts empty-handed\n",
                   state_file(dir, i).string().c_str(), read.error.message().c_str(), i);
      continue;
    }
    const std::vector<std::uint8_t> bytes(read.contents.begin(), read.contents.end());
    wall.with_unit(i, [&](qm::sim::SimUnit& unit) {
      if (!unit.flash().load(bytes)) {
        std::fprintf(stderr, "qmsim: %s is not a unit's flash; unit %d starts empty-handed\n",
                     state_file(dir, i).string().c_str(), i);
        return;
      }
      unit.handle(0, {}, true, wall.now());  // power on with the kept flash
    });
  }
}

// Writes each unit's flash to the state folder: to a temporary file, then renamed over.
bool save_state(qm::sim::SimWall& wall, const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  bool ok = !ec;
  for (int i = 0; i < 4; ++i) {
    wall.with_unit(i, [&](qm::sim::SimUnit& unit) {
      const std::vector<std::uint8_t> bytes = unit.flash().save();
      const auto path = state_file(dir, i);
      const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      ok = qm::platform::write_file_atomically(path, contents).ok() && ok;
    });
  }
  return ok;
}

// The transcript written as the messages pass, a line each, flushed so that it can be
// watched while the wall runs.
class TranscriptFile {
 public:
  // Opens the file; false when it cannot be written.
  bool open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  ~TranscriptFile() {
    if (file_) std::fclose(file_);
  }
  void write(const qm::sim::TranscriptEntry& entry) {
    const std::string line = qm::sim::transcript_line(entry) + "\n";
    if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0) failed_ = true;
  }
  // Closes the file; false when any line was lost.
  bool close() {
    if (file_ && std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
  }

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::printf("%s %s\n", kProgramName, QM_VERSION);
      return kExitOk;
    }
  }
  Options options;
  if (auto error = parse(argc, argv, options)) return usage_error(*error);

  qm::platform::block_termination_signals();  // before any thread starts
  TranscriptFile transcript;                  // before the wall, which writes to it until it goes
  qm::sim::SimWall wall(options.wall);
  if (options.state) load_state(wall, *options.state);
  for (const Options::Signal& signal : options.signals)
    wall.with_unit(signal.unit,
                   [&](qm::sim::SimUnit& u) { u.set_signal_state(signal.channel, signal.state); });
  if (options.transcript) {
    if (!transcript.open(*options.transcript)) {
      std::fprintf(stderr, "qmsim: cannot write the transcript to %s\n",
                   options.transcript->c_str());
      return kExitFailed;
    }
    wall.set_transcript_sink([&](const qm::sim::TranscriptEntry& e) { transcript.write(e); });
  }

  std::unique_ptr<qm::sim::SerialBus> serial;
  std::unique_ptr<qm::sim::Gateway> gateway;
  if (options.mode == "serial") {
    serial = std::make_unique<qm::sim::SerialBus>(wall, options.pace);
    if (!serial->start()) {
      std::fprintf(stderr, "qmsim: no pseudo-terminal can be made here\n");
      return kExitFailed;
    }
    if (options.link && !qm::platform::make_symlink(serial->device(), *options.link)) {
      std::fprintf(stderr, "qmsim: cannot make the link %s\n", options.link->c_str());
      return kExitFailed;
    }
    std::printf("%s\n", serial->device().c_str());
  } else {
    const std::size_t colon = options.listen.rfind(':');
    const auto address = colon == std::string::npos
                             ? std::nullopt
                             : qm::platform::parse_ipv4(options.listen.substr(0, colon));
    const auto port = colon == std::string::npos
                          ? std::nullopt
                          : number(std::string_view(options.listen).substr(colon + 1), 0, 65535);
    if (!address || !port) return usage_error("--listen wants ADDRESS:PORT, e.g. 127.0.0.1:5000");
    gateway = std::make_unique<qm::sim::Gateway>(
        wall, qm::sim::GatewayOptions{*address, static_cast<std::uint16_t>(*port), options.key});
    if (!gateway->start()) {
      std::fprintf(stderr, "qmsim: cannot listen on %s\n", options.listen.c_str());
      return kExitFailed;
    }
    std::printf("%u\n", static_cast<unsigned>(gateway->port()));
  }
  std::fflush(stdout);

  qm::platform::wait_for_termination();
  serial.reset();
  gateway.reset();
  wall.set_transcript_sink({});
  bool ok = true;
  if (options.transcript && !transcript.close()) {
    std::fprintf(stderr, "qmsim: the transcript in %s is incomplete (a write failed)\n",
                 options.transcript->c_str());
    ok = false;
  }
  if (options.link) std::filesystem::remove(*options.link);
  if (options.state && !save_state(wall, *options.state)) {
    std::fprintf(stderr, "qmsim: could not keep the flash in %s\n", options.state->c_str());
    return kExitFailed;
  }
  return ok ? kExitOk : kExitFailed;
}
