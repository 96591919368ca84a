// qmctl: the command-line front end. It reaches the units over the link the operator's
// settings name (or the one given with --port / --tcp) and runs one command.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_format.h"
#include "compiler/compiler.h"
#include "compiler/decoder.h"
#include "compiler/numbers.h"
#include "link/unit_frame.h"
#include "link/unit_report.h"
#include "panels/hardware_info.h"
#include "platform/clock.h"
#include "platform/sim_io.h"
#include "platform/socket.h"
#include "runner/runner.h"
#include "shell/app.h"
#include "shell/console_ui.h"
#include "shell/startup.h"

namespace {

using qm::App;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: qmctl [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Talks to the units of the video wall over a serial port or a TCP gateway.\n"
    "\n"
    "Options:\n"
    "  --port COMn|PATH   use serial port n, or the serial device at PATH\n"
    "  --tcp HOST:PORT    use the gateway at HOST (dotted IPv4 address) and PORT\n"
    "  --key SECRET       shared secret for the gateway's authentication\n"
    "  --unit N|all       select unit N (0-3) or all units (used by poll)\n"
    "  --log              record the traffic in the log (quadrimon.log in the user folder)\n"
    "  --skip-std         compile: do not read std.inc first\n"
    "  --rate 50|60       decode: the field rate times are shown at\n"
    "  --help             show this text\n"
    "Without --port or --tcp the link comes from the user's settings (Orvik.ini).\n"
    "\n"
    "Commands:\n"
    "  send DEV ADDR FN [BYTE...]  send a message; nothing is awaited\n"
    "  get DEV ADDR FN [BYTE...]   send a request, poll for the reply and print it\n"
    "  poll [TRIES]                check that the selected unit answers (default 3 tries);\n"
    "                              prints and exits with 0 answered, 1 no answer, 2 poll bit;\n"
    "                              only a frame from that unit (any unit's with --unit all)\n"
    "                              is an answer\n"
    "  info                        read the software, hardware and FPGA versions of units 0..3\n"
    "                              (nothing is listed when the link dropped meanwhile)\n"
    "  reset [UNIT|all]            reset one unit or all (default: the unit of --unit)\n"
    "  run FILE.seq                run a sequence file on the PC: its output on stdout, an\n"
    "                              error on stderr (exit 1); Enter skips the current wait,\n"
    "                              Ctrl+C stops the run; a file with nothing to run ends at\n"
    "                              once (exit 0)\n"
    "  compile SRC.seq [-o OUT.sfb]\n"
    "                              compile a sequence file (default output: SRC.sfb); std.inc\n"
    "                              beside qmctl is read first unless --skip-std; _UNIT is the\n"
    "                              unit of --unit; INCLUDE <name> looks in $QUADRIMON\n"
    "  decode FILE.sfb\n"
    "                              list a binary sequence file (times at the settings' rate\n"
    "                              unless --rate); a damaged file is listed up to its first\n"
    "                              ERROR line (exit 1); a file of 24576 bytes or more is not\n"
    "                              listed (exit 1)\n"
    "\n"
    "Numbers take the sequence language's forms: 31, 1Fh, 0x1F, 11111b. BYTEs may also be\n"
    "&WORD (two bytes, low first) or \"TEXT\" (one byte per character). ADDR 255 is every unit.\n"
    "\n"
    "Exit status:\n"
    "  0  success: the message went out, the reply or answer came, the file was compiled\n"
    "     or listed, the run ended (or was stopped with Ctrl+C)\n"
    "  1  failure: no link, the link dropped (send, reset, run: messages may not have gone\n"
    "     out), no reply or no answer, a file that cannot be read or is damaged, a compile\n"
    "     error, a run stopped by an error\n"
    "  2  usage error; for poll, an answer with the poll bit set\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "qmctl: %s\n\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

struct Options {
  std::optional<std::string> port;
  std::optional<std::string> tcp;
  std::optional<std::string> key;
  std::optional<std::string> unit;
  std::optional<std::string> rate;
  bool log = false;
  bool skip_std = false;
  std::vector<std::string> words;  // the command and its arguments
};

// Splits the command line into options and the command; none after printing a usage error.
std::optional<Options> parse_options(int argc, char** argv, int& exit_code) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= argc) {
        exit_code = usage_error(std::string(arg) + " needs a value");
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exit_code = kExitOk;
      return std::nullopt;
    }
    if (arg == "--port") {
      if (!value(o.port)) return std::nullopt;
    } else if (arg == "--tcp") {
      if (!value(o.tcp)) return std::nullopt;
    } else if (arg == "--key") {
      if (!value(o.key)) return std::nullopt;
    } else if (arg == "--unit") {
      if (!value(o.unit)) return std::nullopt;
    } else if (arg == "--rate") {
      if (!value(o.rate)) return std::nullopt;
    } else if (arg == "--log") {
      o.log = true;
    } else if (arg == "--skip-std") {
      o.skip_std = true;
    } else if (arg.starts_with("--")) {
      exit_code = usage_error("unknown option " + std::string(arg));
      return std::nullopt;
    } else {
      o.words.emplace_back(arg);
    }
  }
  if (o.words.empty()) {
    exit_code = usage_error("no command given");
    return std::nullopt;
  }
  return o;
}

// The serial port number of "COMn" (any case), or none when the text is a device path.
std::optional<int> com_number(const std::string& text) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (text.size() < 4 || upper(text[0]) != 'C' || upper(text[1]) != 'O' || upper(text[2]) != 'M')
    return std::nullopt;
  const qm::ParsedNumber n = qm::parse_number(std::string_view(text).substr(3), 10);
  if (!n || n.value < 1 || n.value > 254) return std::nullopt;
  return n.value;
}

// Applies the link options to the settings; an error text when one is malformed.
std::optional<std::string> apply_link_options(const Options& o, App& app) {
  qm::SettingsValues& v = app.settings.values;
  qm::apply_remote_access_rule(v);
  if (o.port) {
    if (auto n = com_number(*o.port)) {
      v.com_port = *n - 1;
    } else {
      app.link.set_port_device(1, *o.port);
      v.com_port = 0;
    }
    v.ip = false;
  }
  if (o.tcp) {
    const std::size_t colon = o.tcp->rfind(':');
    if (colon == std::string::npos) return "--tcp wants HOST:PORT";
    const auto address = qm::platform::parse_ipv4(o.tcp->substr(0, colon));
    const qm::ParsedNumber port = qm::parse_number(std::string_view(*o.tcp).substr(colon + 1), 10);
    if (!address) return "--tcp: not an IPv4 address: " + o.tcp->substr(0, colon);
    if (!port || port.value <= 0 || port.value > 65535) return "--tcp: not a port: " + *o.tcp;
    v.address = *address;
    v.tcp_port = static_cast<std::uint16_t>(port.value);
    v.ip = true;
  }
  if (o.key) v.key = *o.key;
  if (o.unit) {
    if (*o.unit == "all" || *o.unit == "*") {
      v.id = -1;
    } else {
      const qm::ParsedNumber n = qm::parse_number(*o.unit, 10);
      if (!n || n.value < 0 || n.value > 3) return "--unit wants 0, 1, 2, 3 or all";
      v.id = n.value;
    }
  }
  return std::nullopt;
}

// Opens the link the settings name; false (after saying why) when none could be had.
bool open_link(App& app) {
  qm::SettingsValues& v = app.settings.values;
  const int port = v.com_port;
  const std::string device = port >= 0 ? app.link.port_device(port + 1) : std::string();
  app.link.com_open_configured();
  if (v.ip) {
    v.ip = false;
    return app.link.tcp_connect() == 1;  // the link has said why it failed
  }
  if (port < 0) {
    std::fprintf(stderr, "No link: give --port or --tcp, or choose a port in Setup\n");
    return false;
  }
  if (!app.link.serial_open()) {
    std::fprintf(stderr, "Unable to open COM%d (%s)\n", port + 1, device.c_str());
    return false;
  }
  return true;
}

// How long the input that has already arrived is taken in before the link is looked at.
constexpr std::uint32_t kDrainMs = 100;

// Whether the link open_link opened (TCP when the remote-link flag was set right after it) is
// still there after messages went out. The input that has arrived is taken in first, so that
// a reset the gateway has already sent is seen: a gateway that reset the connection, or a port
// that stopped taking bytes, drops the link and says so.
bool link_kept(App& app, bool over_tcp) {
  app.link.drain(kDrainMs);
  return over_tcp ? app.link.tcp_open() : app.link.serial_open();
}

struct Message {
  std::uint8_t device = 0;
  std::uint8_t address = 0;
  std::uint8_t function = 0;
  std::vector<std::uint8_t> data;
};

// Reads DEV ADDR FN [BYTE...]; an error text when they do not convert.
std::optional<std::string> parse_message(std::span<const std::string> args, Message& m) {
  if (args.size() < 3) return "wants DEV ADDR FN [BYTE...]";
  std::uint8_t* fields[] = {&m.device, &m.address, &m.function};
  for (std::size_t i = 0; i < 3; ++i) {
    const qm::ParsedNumber n = qm::parse_number(args[i], 10);
    if (!n || n.value < 0 || n.value > 255)
      return qm::strprintf("Converting '%s' to an integer.", args[i].c_str());
    *fields[i] = static_cast<std::uint8_t>(n.value);
  }
  std::string rest;
  for (std::size_t i = 3; i < args.size(); ++i) {
    // Keep a quoted argument quoted, so that its blanks stay part of the text.
    const bool quote = args[i].find_first_of(" ,\t") != std::string::npos && args[i][0] != '"';
    rest += (quote ? "\"" + args[i] + "\"" : args[i]) + " ";
  }
  const qm::ParsedBytes bytes = qm::parse_byte_values(rest, 10);
  if (!bytes) return qm::strprintf("Converting '%s' to an integer.", bytes.bad_token->c_str());
  if (bytes.bytes.size() > qm::kMaxSendData) return "Too many parameters";
  m.data = bytes.bytes;
  return std::nullopt;
}

int run_send_or_get(App& app, const Options& o, bool get) {
  Message m;
  if (auto error = parse_message(std::span(o.words).subspan(1), m))
    return usage_error(o.words[0] + ": " + *error);
  if (!open_link(app)) return kExitFailed;
  if (!get) {
    const bool over_tcp = app.settings.values.ip;
    const bool sent = app.link.unit_send(m.device, m.address, m.function, m.data);
    return sent && link_kept(app, over_tcp) ? kExitOk : kExitFailed;
  }
  const auto reply = app.link.unit_get(m.device, m.address, m.function, m.data);
  if (!reply) {
    std::fprintf(stderr, "Error: Reading data for function %d\n", m.function);
    return kExitFailed;
  }
  qm::unit_report(*reply, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
  return kExitOk;
}

int run_poll(App& app, const Options& o) {
  int tries = 3;
  if (o.words.size() > 2) return usage_error("poll takes at most one argument");
  if (o.words.size() == 2) {
    const qm::ParsedNumber n = qm::parse_number(o.words[1], 10);
    if (!n || n.value < 1) return usage_error("poll: TRIES must be a number from 1");
    tries = n.value;
  }
  if (!open_link(app)) return kExitFailed;
  // Only a frame from the polled unit (any unit's with all selected) is its answer.
  const int result = app.link.unit_poll(tries, true);
  std::printf("%d\n", result);
  return result;
}

// info: the version scan of units 0..3, as Hardware Info shows it.
int run_info(App& app, const Options& o) {
  if (o.words.size() > 1) return usage_error("info takes no arguments");
  if (!open_link(app)) return kExitFailed;
  const bool over_tcp = app.settings.values.ip;
  const std::string text = qm::scan_versions(app.link);
  // A link that dropped during the scan (it has said so) leaves the units after that point
  // unasked: listing them as absent would be false, so nothing is listed.
  if (!link_kept(app, over_tcp)) return kExitFailed;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  return kExitOk;
}

// reset [UNIT|all]
int run_reset(App& app, const Options& o) {
  int target = app.settings.values.id;
  if (o.words.size() > 2) return usage_error("reset takes at most one argument");
  if (o.words.size() == 2) {
    if (o.words[1] == "all") {
      target = -1;
    } else {
      const qm::ParsedNumber n = qm::parse_number(o.words[1], 10);
      if (!n || n.value < 0 || n.value > 3) return usage_error("reset wants a unit 0..3 or all");
      target = n.value;
    }
  }
  if (!open_link(app)) return kExitFailed;
  const bool over_tcp = app.settings.values.ip;
  const bool sent = qm::send_reset(app.link, target);
  return sent && link_kept(app, over_tcp) ? kExitOk : kExitFailed;
}

// The runner's host on the console: output lines on stdout, nothing else to show.
class ConsoleRunnerHost final : public qm::RunnerHost {
 public:
  void show_line_number(std::optional<int>) override {}
  void show_output_line(const std::string& text) override {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  void run_stopped() override {}
  void buttons_changed(bool, bool, bool) override {}
  void run_ended() override {}
};

// run FILE.seq: runs until the file ends, an error stops it, or Ctrl+C; Enter skips a wait.
int run_sequence(App& app, qm::ConsoleUi& ui, const Options& o) {
  if (o.words.size() != 2) return usage_error("run wants one sequence file");
  app.options.skip_std = o.skip_std;
  const qm::SettingsValues& v = app.settings.values;
  const bool linked = v.com_port >= 0 || v.ip;
  if (!linked) {
    // A sequence may only wait and write; without a link its messages go nowhere.
    std::fprintf(stderr, "No link: the sequence's unit messages go nowhere\n");
  } else if (!open_link(app)) {
    return kExitFailed;
  }
  const bool over_tcp = v.ip;
  qm::Runner runner(app.runner_services());
  ConsoleRunnerHost host;
  auto interrupt = qm::platform::InterruptWatch::create();
  const auto input = qm::platform::standard_input_handle();
  // A start that failed has said why; a file with nothing to run (only comments and blank
  // lines) does not start, and that run is over at once.
  if (runner.runner_start(host, o.words[1]) == 0) {
    app.link.com_release();
    return ui.errors_shown() > 0 ? kExitFailed : kExitOk;
  }
  bool input_open = input.has_value();
  while (runner.state() != qm::RunnerState::Stopped) {
    const std::optional<std::uint32_t> next = runner.runner_step();
    if (runner.state() == qm::RunnerState::Stopped) break;
    // Wait for the deadline, a line on standard input (Skip) or an interrupt; never spin.
    int timeout = -1;
    if (next) {
      const std::uint32_t now = app.clock.tick_ms();
      timeout = *next > now ? static_cast<int>(*next - now) : 0;
    }
    if (timeout == 0) {
      // Lines remain: go on at once, but a loop without a WAIT still stops on Ctrl+C.
      if (interrupt && interrupt->interrupted()) {
        runner.runner_stop();
        break;
      }
      continue;
    }
    std::vector<qm::platform::Handle> handles;
    if (interrupt) handles.push_back(interrupt->handle());
    if (input_open) handles.push_back(*input);
    if (handles.empty()) {
      qm::platform::sleep_ms(static_cast<std::uint32_t>(timeout < 0 ? 1000 : timeout));
      continue;
    }
    const int ready = qm::platform::wait_any(handles, timeout);
    if (ready < 0) continue;
    if (interrupt && ready == 0) {
      runner.runner_stop();  // the selected unit is restored; the port is released below
      break;
    }
    if (qm::platform::consume_standard_input()) {
      runner.skip();  // Enter: end the current wait
    } else {
      input_open = false;  // end of input: only the deadline and Ctrl+C remain
    }
  }
  // A link lost on the way (its message is out already) means some of the run's messages
  // went nowhere: that run did not do what it said.
  const bool kept = !linked || link_kept(app, over_tcp);
  app.link.com_release();
  return ui.errors_shown() > 0 || !kept ? kExitFailed : kExitOk;
}

// compile SRC.seq [-o OUT.sfb] [--skip-std]
int run_compile(App& app, const Options& o) {
  std::optional<std::string> source;
  std::optional<std::string> output;
  for (std::size_t i = 1; i < o.words.size(); ++i) {
    const std::string& w = o.words[i];
    if (w == "-o" && i + 1 < o.words.size()) {
      output = o.words[++i];
    } else if (!w.starts_with("-") && !source) {
      source = w;
    } else {
      return usage_error("compile: unexpected " + w);
    }
  }
  if (!source) return usage_error("compile wants a source file");
  app.options.skip_std = o.skip_std;
  const qm::CompileOptions compile =
      qm::program_compile_options(app.options, app.settings.values.id);
  return app.compiler.compile_sequence(*source, output, compile) == 0 ? kExitOk : kExitFailed;
}

// decode FILE.sfb [--rate 50|60]
int run_decode(App& app, const Options& o) {
  std::optional<std::string> path;
  int rate = app.settings.values.field_rate == 60 ? 60 : 50;
  if (o.rate) {
    if (*o.rate != "50" && *o.rate != "60") return usage_error("decode: --rate wants 50 or 60");
    rate = *o.rate == "60" ? 60 : 50;
  }
  for (std::size_t i = 1; i < o.words.size(); ++i) {
    const std::string& w = o.words[i];
    if (!w.starts_with("-") && !path) {
      path = w;
    } else {
      return usage_error("decode: unexpected " + w);
    }
  }
  if (!path) return usage_error("decode wants a binary sequence file");
  const qm::SequenceFileRead read = qm::read_sequence_file(*path);
  using Status = qm::SequenceFileRead::Status;
  if (read.status == Status::NotOpened) {
    std::fprintf(stderr, "Unable to open file: %s\n", path->c_str());
    return kExitFailed;
  }
  if (read.status == Status::ReadError) {
    // The console interface shows the same box text on stderr.
    qm::report_sequence_read_error(app.ui, *path);
    return kExitFailed;
  }
  // A file too large to list gives an empty listing, as in the Decode dialog; here it is a
  // failure that says why.
  if (read.status == Status::TooLarge) {
    std::fprintf(stderr, "File too large to list (%zu bytes or more): %s\n", qm::kDecodeSizeLimit,
                 path->c_str());
    return kExitFailed;
  }
  const qm::SequenceListing listing = qm::list_sequence(read.image, rate);
  std::fwrite(listing.text.data(), 1, listing.text.size(), stdout);
  return listing.damaged ? kExitFailed : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  int exit_code = kExitOk;
  const auto options = parse_options(argc, argv, exit_code);
  if (!options) return exit_code;

  qm::platform::binary_standard_output();  // the same bytes on every platform
  qm::ConsoleUi ui;
  qm::Settings settings = qm::Settings::for_this_user();
  settings.settings_load();
  App app(ui, std::move(settings));
  if (auto error = apply_link_options(*options, app)) return usage_error(*error);
  if (options->log) app.log.log_enable(true);

  const std::string& command = options->words[0];
  if (command == "send") return run_send_or_get(app, *options, false);
  if (command == "get") return run_send_or_get(app, *options, true);
  if (command == "poll") return run_poll(app, *options);
  if (command == "info") return run_info(app, *options);
  if (command == "run") return run_sequence(app, ui, *options);
  if (command == "reset") return run_reset(app, *options);
  if (command == "compile") return run_compile(app, *options);
  if (command == "decode") return run_decode(app, *options);
  return usage_error("unknown command " + command);
}
