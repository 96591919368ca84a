// qmctl: the command-line front end. It reaches the units over the link the operator's
// settings name (or the one given with --port / --tcp) and runs one command.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/path_text.h"
#include "base/text_format.h"
#include "compiler/compiler.h"
#include "compiler/decoder.h"
#include "compiler/numbers.h"
#include "flash/firmware_package.h"
#include "helpserver/help_server.h"
#include "link/unit_frame.h"
#include "link/unit_report.h"
#include "panels/hardware_info.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sim_io.h"
#include "platform/socket.h"
#include "qmctl_firmware.h"
#include "qmctl_flash.h"
#include "qmctl_font.h"
#include "runner/runner.h"
#include "shell/app.h"
#include "shell/console_ui.h"
#include "shell/startup.h"

namespace {

using qm::App;
using qmctl::kExitFailed;
using qmctl::kExitOk;
using qmctl::kExitUsage;

constexpr const char* kProgramName = "qmctl";
constexpr int kMaxDevice = 15;  // a message's type byte holds the device in its low four bits

// The usage's head: what qmctl is and its options.
constexpr const char* kUsageHead =
    "Usage: qmctl [OPTIONS] COMMAND [ARGUMENTS]\n"
    "       qmctl help COMMAND    (or qmctl COMMAND --help): that command's help\n"
    "\n"
    "Talks to the units of the video wall over a serial port or a TCP gateway.\n"
    "\n"
    "Options:\n"
    "  --port COMn|PATH   use serial port n, or the serial device at PATH\n"
    "  --tcp HOST:PORT    use the gateway at HOST (dotted IPv4 address) and PORT\n"
    "  --key SECRET       shared secret for the gateway's authentication\n"
    "  --unit N|all       select unit N (0-3) or all units (all or -1)\n"
    "  --log              record the traffic in the log (quadrimon.log in the user folder)\n"
    "  --skip-std         compile, run: do not read std.inc first\n"
    "  --rate 50|60       decode: the field rate times are shown at\n"
    "  --verbose          run: name each sequence file on stderr as the run enters it\n"
    "  --yes              flash put: replace a flash file of the same name;\n"
    "                     firmware: answer every question Yes\n"
    "  --fpga MAJOR       firmware: the FPGA major version (2..9) of a unit that does\n"
    "                     not report it\n"
    "  --no-reset         firmware: do not reset the unit after the update\n"
    "  --root DIR         help-server: the folder of help pages (default: the help folder\n"
    "                     in share/quadrimon installed, else beside qmctl)\n"
    "  --help             show this text\n"
    "  --version          show the program's name and version\n"
    "Without --port or --tcp the link comes from the user's settings (Orvik.ini).\n"
    "\n"
    "Commands:\n";

// How the numbers of send and get are written.
constexpr const char* kNumberForms =
    "Numbers take the sequence language's forms: 31, 1Fh, 0x1F, 11111b. DEV is 0..15, FN\n"
    "0..255; ADDR is 0..255, where 255, -1 and all are every unit. BYTEs are 0..255, or\n"
    "&WORD (two bytes, low first) or \"TEXT\" (one byte per character).\n";

// The usage's tail: the exit status of every command.
constexpr const char* kUsageTail =
    "\n"
    "Exit status:\n"
    "  0  success: the message went out, the reply or answer came, the file was compiled\n"
    "     or listed, the run ended (or was stopped with Ctrl+C)\n"
    "  1  failure: no link, the link dropped (send, reset, run: messages may not have gone\n"
    "     out), no reply or no answer, a file that cannot be read or is damaged, a compile\n"
    "     error, a run stopped by an error\n"
    "  2  usage error; for poll, an answer with the poll bit set\n"
    "  flash and keymap commands also:\n"
    "  1  no link, no reply, \" Error: Serial communications failure\", \" Error reading\n"
    "     remote states\"\n"
    "  3  the local file cannot be opened, read or saved, is empty or too big\n"
    "  4  put: the flash file exists and --yes was not given (nothing sent)\n"
    "  5  rm, run: no such flash file; mv: the new name is not there afterwards;\n"
    "     keymap: the unit gives no directory entry for 2:$IRMAP.TXT (nothing written)\n"
    "  6  keymap add: the key map would grow to 65024 bytes or more (nothing written)\n"
    "  12 \" Error: out of space on sector N\"      13 \" Error: opening FLASH file: ...\"\n"
    "  14 \" Error: closing FLASH file: ...\"       15 \" Error: block transfer\"\n"
    "  16 \" Error: checksum\"                      17 \" Error: File size\"\n"
    "  19 \" Error: User cancelled transaction\" (Ctrl+C during get or put)\n"
    "  firmware and pak also:\n"
    "  1  pak list: the package is damaged; firmware: no answer, a failed transfer\n"
    "  3  the firmware file or an image cannot be read or written, is empty or too big\n"
    "  7  firmware: a check refused the file (nothing sent)\n"
    "  8  firmware: a question was answered No, or could not be asked (no terminal and\n"
    "     no --yes or --fpga)\n"
    "  font also:\n"
    "  1  the face is not installed, the file would pass 64512 bytes, a damaged font\n"
    "     file, or a build without a font renderer\n"
    "  3  the font file cannot be written or read\n";

struct CommandHelp {
  const char* name;
  const char* synopsis;  // the command and its arguments
  const char* text;      // what it does: lines of at most 58 characters, each ending in "\n"
  bool numbers;          // whether its help adds kNumberForms
};

constexpr CommandHelp kCommandHelp[] = {
    {"send", "send DEV ADDR FN [BYTE...]", "send a message; nothing is awaited\n", true},
    {"get", "get DEV ADDR FN [BYTE...]", "send a request, poll for the reply and print it\n", true},
    {"poll", "poll [TRIES]",
     "check that the selected unit answers (TRIES 1..255, default\n"
     "3); exit 0 answered, 1 no answer, 2 answered with the poll\n"
     "bit; only a frame from that unit is its answer. With --unit\n"
     "all: units 0..3 in turn, a line each; an installed unit\n"
     "(Setup) gets TRIES tries, any other one try; exit 0 when\n"
     "every installed unit answered\n",
     false},
    {"info", "info",
     "read the software, hardware and FPGA versions of units 0..3\n"
     "(nothing is listed when the link dropped meanwhile)\n",
     false},
    {"reset", "reset [UNIT|all]", "reset one unit or all (default: the unit of --unit)\n", false},
    {"run", "run FILE.seq",
     "run a sequence file on the PC: its output on stdout, an\n"
     "error on stderr (exit 1); Enter skips the current wait,\n"
     "Ctrl+C stops the run; a file with nothing to run ends at\n"
     "once (exit 0); a link lost during the run: exit 1;\n"
     "--verbose names each file as it is entered\n",
     false},
    {"compile", "compile SRC.seq [-o OUT.sfb]",
     "compile a sequence file (default output: SRC.sfb); std.inc\n"
     "(share/quadrimon installed, else beside qmctl) is read\n"
     "first unless --skip-std; _UNIT is the unit of --unit;\n"
     "INCLUDE <name> looks in $QUADRIMON\n",
     false},
    {"decode", "decode FILE.sfb",
     "list a binary sequence file (times at the settings' rate\n"
     "unless --rate); a damaged file, or one that is none, is\n"
     "listed with its ERROR lines (exit 1); a file of 24576\n"
     "bytes or more is not listed (exit 1)\n",
     false},
    {"flash", "flash SUBCOMMAND [ARGUMENTS]",
     "the selected unit's flash files (unit 0 with --unit all):\n"
     "  ls SECTOR             the sector's space and files\n"
     "  df [SECTOR]           free, used, recoverable bytes\n"
     "  get SECTOR:NAME [LOCAL]  upload a file (to NAME)\n"
     "  put LOCAL SECTOR:NAME [--yes]  download a file\n"
     "  rm SECTOR:NAME        delete a file\n"
     "  mv SECTOR:OLD NEW     rename a file\n"
     "  run SECTOR:NAME       run a binary sequence file\n"
     "  stop                  stop the running sequence\n"
     "  compact SECTOR        free the recoverable space\n"
     "SECTOR is 1..5, NAME 1 to 12 characters. Errors go to\n"
     "stderr with exit 1, 3-5 or 10 + the transfer's result;\n"
     "on a terminal get and put show their progress; Ctrl+C\n"
     "cancels them at the next block\n",
     false},
    {"keymap", "keymap show | keymap add KEY SEQUENCE.SFB",
     "the selected unit's key map 2:$IRMAP.TXT (unit 0 with\n"
     "--unit all), which says which sequence file of sector 3 a\n"
     "key starts:\n"
     "  show                  print the key map\n"
     "  add KEY SEQUENCE.SFB  map KEY to the sequence (replacing\n"
     "                        the key's earlier lines) and print\n"
     "                        the key map as written\n"
     "KEY is one character other than a digit (A is 65) or a key\n"
     "code -128..9999 other than 0. Errors go to stderr with\n"
     "exit 1, 5, 6 or 10 + the transfer's result\n",
     false},
    {"firmware", "firmware FILE.bin|FILE.pak",
     "replace the selected unit's firmware 1:SYSTEM.COM with a\n"
     "system file or the package image for its FPGA version, as\n"
     "Update does: the checks and questions on stderr, answered\n"
     "on the terminal or Yes with --yes (refused without either);\n"
     "--fpga MAJOR when the unit does not report its FPGA\n"
     "version; then the unit is reset unless --no-reset or the\n"
     "question is answered No. Exit 1, 3, 7, 8 or 10 + the\n"
     "transfer's result\n",
     false},
    {"help-server", "help-server [--port N] [--root DIR]",
     "serve the help pages on 127.0.0.1 until Ctrl+C; the first\n"
     "line printed is the main page's address. --port is the\n"
     "HTTP port (default 8080, 0: any free port; a taken port\n"
     "gives way to a free one)\n",
     false},
    {"remote-access", "remote-access [on|off]",
     "show whether the program may use the remote gateway and\n"
     "which file says so, or record it on or off for the next\n"
     "starts: in orvik.ini beside the program in a writable\n"
     "build or portable folder, else (an installed program) in\n"
     "the user's own orvik.ini ($XDG_CONFIG_HOME/quadrimon,\n"
     "read after /etc/quadrimon/orvik.ini). Exit 1: it cannot\n"
     "be recorded\n",
     false},
    {"pak", "pak build OUT.pak IMAGE:MASK[:MAJOR.MINOR]... | pak list FILE.pak",
     "build a firmware package of system file images, in the\n"
     "order given (MASK: bit n-1 for FPGA major n, e.g. 0x0004\n"
     "for 3; MAJOR.MINOR: the version shown, by default the\n"
     "image's bytes 14 and 15), or list each entry's type, FPGA\n"
     "majors, version and size\n",
     false},
    {"font", "font FACE -o FILE.fnt [FONT OPTIONS] | font --dump FILE.fnt CHAR",
     "build a unit font file from an installed font (FACE as\n"
     "fc-list names it, e.g. \"Liberation Mono\"):\n"
     "  --width W    average character width 5..30 (default 7)\n"
     "  --height H   character height 1..60 (default 10)\n"
     "  --bold --italic --underline --strikeout\n"
     "or print a character of a font file (CHAR itself, or its\n"
     "code 32..127) as rows of # (ink) and . after a line with\n"
     "its width and height. A face that is not installed or a\n"
     "file over 64512 bytes: exit 1; a file that cannot be\n"
     "written or read: exit 3. Needs no display; a build\n"
     "without Qt cannot build fonts\n",
     false},
};

const CommandHelp* find_command_help(std::string_view name) {
  for (const CommandHelp& c : kCommandHelp)
    if (name == c.name) return &c;
  return nullptr;
}

// The whole usage: the options, every command in two columns, the number forms, the exit
// status.
std::string full_usage() {
  constexpr std::size_t kSynopsisColumn = 28;  // where the description column starts, less 2
  std::string text = kUsageHead;
  for (const CommandHelp& c : kCommandHelp) {
    std::string synopsis = std::string("  ") + c.synopsis;
    if (synopsis.size() + 2 > kSynopsisColumn + 2) {
      text += synopsis + "\n";
      synopsis.clear();
    }
    synopsis.resize(kSynopsisColumn + 2, ' ');
    std::string_view lines = c.text;
    bool first = true;
    while (!lines.empty()) {
      const std::size_t end = lines.find('\n') + 1;
      text += first ? synopsis : std::string(kSynopsisColumn + 2, ' ');
      text += lines.substr(0, end);
      lines.remove_prefix(end);
      first = false;
    }
  }
  text += "\n";
  text += kNumberForms;
  text += kUsageTail;
  return text;
}

// One command's help: its usage line and what it does.
std::string command_usage(const CommandHelp& c) {
  std::string text = std::string("Usage: qmctl [OPTIONS] ") + c.synopsis + "\n\n";
  std::string description = c.text;
  description[0] = static_cast<char>(description[0] - 'a' + 'A');
  text += description;
  if (c.numbers) text += std::string("\n") + kNumberForms;
  text += "\nThe options and the exit status: qmctl --help\n";
  return text;
}

// A usage error: one line that says what is wrong, and where to read more.
int usage_error(const std::string& message) {
  std::fprintf(stderr, "qmctl: %s\ntry 'qmctl --help'\n", message.c_str());
  return kExitUsage;
}

// Reads the argument `name` in the sequence language's number forms within min..max. With
// `every`, "all" and -1 (every unit, as SEND writes it) are taken too and give `every`. None,
// with the usage error's text in `error`, when the argument is none of these.
std::optional<int> read_number(std::string_view text, std::string_view name, int min, int max,
                               std::string& error, std::optional<int> every = std::nullopt) {
  if (every && text == "all") return every;
  const qm::ParsedNumber n = qm::parse_number(text, 10);
  if (every && n && n.value == qm::kEveryUnitNumber) return every;
  if (n && n.value >= min && n.value <= max) return n.value;
  error = qm::strprintf(n ? "%s %s is outside %d..%d" : "%s %s is not a number in %d..%d",
                        std::string(name).c_str(), std::string(text).c_str(), min, max);
  if (every) error += " (all or -1: every unit)";
  return std::nullopt;
}

struct Options {
  std::optional<std::string> port;
  std::optional<std::string> tcp;
  std::optional<std::string> key;
  std::optional<std::string> unit;
  std::optional<std::string> rate;
  bool log = false;
  bool skip_std = false;
  bool verbose = false;
  bool yes = false;
  bool no_reset = false;
  std::optional<std::string> fpga;
  std::optional<std::string> root;
  std::vector<std::string> words;  // the command and its arguments
};

// Prints the help `help` asks for (`help` alone, `help COMMAND`), or the usage error.
int show_help(std::span<const std::string> topics) {
  if (topics.empty()) {
    std::fputs(full_usage().c_str(), stdout);
    return kExitOk;
  }
  if (topics.size() > 1) return usage_error("help takes at most one command");
  const CommandHelp* c = find_command_help(topics[0]);
  if (c == nullptr) return usage_error("unknown command " + topics[0]);
  std::fputs(command_usage(*c).c_str(), stdout);
  return kExitOk;
}

// Splits the command line into options and the command; none after printing help, the
// version or a usage error.
std::optional<Options> parse_options(int argc, char** argv, int& exit_code) {
  Options o;
  bool help = false;
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
      help = true;
    } else if (arg == "--version") {
      std::printf("%s %s\n", kProgramName, QM_VERSION);
      exit_code = kExitOk;
      return std::nullopt;
    } else if (arg == "--port") {
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
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--yes") {
      o.yes = true;
    } else if (arg == "--no-reset") {
      o.no_reset = true;
    } else if (arg == "--fpga") {
      if (!value(o.fpga)) return std::nullopt;
    } else if (!o.words.empty() && o.words[0] == "font" && qmctl::is_font_option(arg)) {
      o.words.emplace_back(arg);  // font's own, read by run_font
    } else if (arg == "--root") {
      if (!value(o.root)) return std::nullopt;
    } else if (arg.starts_with("--")) {
      exit_code = usage_error("unknown option " + std::string(arg));
      return std::nullopt;
    } else {
      o.words.emplace_back(arg);
    }
  }
  if (!o.words.empty() && o.words[0] == "help") {
    exit_code = show_help(std::span(o.words).subspan(1));
    return std::nullopt;
  }
  if (help) {
    // --help alone is the whole usage; after a command, that command's help.
    exit_code = show_help(std::span(o.words).first(std::min<std::size_t>(o.words.size(), 1)));
    return std::nullopt;
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
    if (!address) return "--tcp: not an IPv4 address: " + o.tcp->substr(0, colon);
    std::string error;
    const auto port = read_number(o.tcp->substr(colon + 1), "--tcp PORT", 1, 65535, error);
    if (!port) return error;
    v.address = *address;
    v.tcp_port = static_cast<std::uint16_t>(*port);
    v.ip = true;
  }
  if (o.key) v.key = *o.key;
  if (o.unit) {
    std::string error;
    const auto unit = *o.unit == "*" ? -1 : read_number(*o.unit, "--unit", 0, 3, error, -1);
    if (!unit) return error;
    v.id = *unit;
  }
  return std::nullopt;
}

// Opens the link the settings name; false (after saying why) when none could be had.
bool open_link(App& app, const Options& o) {
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
    // A port given as a device path is that path to the operator, not a COM number.
    if (o.port && !com_number(*o.port)) {
      std::fprintf(stderr, "Unable to open the serial port %s\n", device.c_str());
    } else {
      std::fprintf(stderr, "Unable to open COM%d (%s)\n", port + 1, device.c_str());
    }
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

// Why a BYTE token of send or get was refused.
std::string byte_error(const std::string& token) {
  if (qm::parse_number(token, 10)) return "BYTE " + token + " is outside 0..255";
  return "BYTE " + token + " is not a byte: a number 0..255, &WORD or \"TEXT\"";
}

// Reads DEV ADDR FN [BYTE...]; an error text when they do not convert. ADDR takes "all" and
// -1 for every unit, as SEND does: the address 255, which the link sends with the broadcast
// bit.
std::optional<std::string> parse_message(std::span<const std::string> args, Message& m) {
  if (args.size() < 3) return "wants DEV ADDR FN [BYTE...]";
  std::string error;
  const auto device = read_number(args[0], "DEV", 0, kMaxDevice, error);
  if (!device) return error;
  const auto address = read_number(args[1], "ADDR", 0, 255, error, qm::kAddressAll);
  if (!address) return error;
  const auto function = read_number(args[2], "FN", 0, 255, error);
  if (!function) return error;
  m.device = static_cast<std::uint8_t>(*device);
  m.address = static_cast<std::uint8_t>(*address);
  m.function = static_cast<std::uint8_t>(*function);
  std::string rest;
  for (std::size_t i = 3; i < args.size(); ++i) {
    // Keep a quoted argument quoted, so that its blanks stay part of the text.
    const bool quote = args[i].find_first_of(" ,\t") != std::string::npos && args[i][0] != '"';
    rest += (quote ? "\"" + args[i] + "\"" : args[i]) + " ";
  }
  const qm::ParsedBytes bytes = qm::parse_byte_values(rest, 10);
  if (!bytes) return byte_error(*bytes.bad_token);
  if (bytes.bytes.size() > qm::kMaxSendData)
    return std::to_string(bytes.bytes.size()) + " BYTEs, but a message holds at most " +
           std::to_string(qm::kMaxSendData);
  m.data = bytes.bytes;
  return std::nullopt;
}

int run_send_or_get(App& app, const Options& o, bool get) {
  Message m;
  if (auto error = parse_message(std::span(o.words).subspan(1), m))
    return usage_error(o.words[0] + ": " + *error);
  if (!open_link(app, o)) return kExitFailed;
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

// What poll says of a unit, by the link's poll result (0, 1 or 2).
std::string poll_says(int result, int unit) {
  if (result == 0) return qm::strprintf("unit %d answered", unit);
  if (result == 2) return qm::strprintf("unit %d answered with the poll bit set", unit);
  return qm::strprintf("no answer from unit %d", unit);
}
constexpr const char* kNotInstalled = " (not installed)";

// poll [TRIES]: the selected unit, or with --unit all each unit 0..3 in turn. An installed
// unit gets every try; one that is not installed (Setup leaves it out) gets one and cannot
// fail the command. The exit status is the worst result over the installed units: no answer
// before the poll bit before an answer; with none installed, an answer from any unit will do.
int run_poll(App& app, const Options& o) {
  int tries = 3;
  if (o.words.size() > 2) return usage_error("poll takes at most one argument");
  if (o.words.size() == 2) {
    std::string error;
    const auto n = read_number(o.words[1], "TRIES", 1, 255, error);
    if (!n) return usage_error("poll: " + error);
    tries = *n;
  }
  if (!open_link(app, o)) return kExitFailed;
  const qm::SettingsValues& v = app.settings.values;
  if (v.id >= 0) {
    // Only a frame from the polled unit is its answer.
    const int result = app.link.unit_poll(tries, true);
    std::printf("%s\n", poll_says(result, v.id).c_str());
    return result;
  }
  constexpr int kRank[] = {0, 2, 1};  // how bad each result is
  int worst = kExitOk;
  bool any_installed = false;
  bool any_answer = false;
  for (int unit = 0; unit < 4; ++unit) {
    const bool installed = v.units[unit] != 0;
    const int result =
        app.link.unit_poll_unit(static_cast<std::uint8_t>(unit), installed ? tries : 1);
    std::printf("%s%s\n", poll_says(result, unit).c_str(), installed ? "" : kNotInstalled);
    std::fflush(stdout);
    any_answer = any_answer || result != 1;
    if (!installed) continue;
    any_installed = true;
    if (kRank[result] > kRank[worst]) worst = result;
  }
  if (!any_installed) return any_answer ? kExitOk : kExitFailed;
  return worst;
}

// info: the version scan of units 0..3, as Hardware Info shows it.
int run_info(App& app, const Options& o) {
  if (o.words.size() > 1) return usage_error("info takes no arguments");
  if (!open_link(app, o)) return kExitFailed;
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
    std::string error;
    const auto unit = read_number(o.words[1], "UNIT", 0, 3, error, -1);
    if (!unit) return usage_error("reset: " + error);
    target = *unit;
  }
  if (!open_link(app, o)) return kExitFailed;
  const bool over_tcp = app.settings.values.ip;
  const bool sent = qm::send_reset(app.link, target);
  return sent && link_kept(app, over_tcp) ? kExitOk : kExitFailed;
}

// Shows or records the remote-access switch the program's start-up reads.
int run_remote_access(App& app, const Options& o,
                      const std::optional<std::filesystem::path>& from) {
  qm::Settings& settings = app.settings;
  if (o.words.size() > 2) return usage_error("remote-access takes at most one argument");
  if (o.words.size() == 1) {
    std::printf("Remote access: %s (%s)\n", settings.values.enable_ip ? "on" : "off",
                from ? qm::utf8_from_path(*from).c_str() : "no switch file: the default");
    return kExitOk;
  }
  const std::string& state = o.words[1];
  if (state != "on" && state != "off") return usage_error("remote-access: give on or off");
  settings.values.enable_ip = state == "on";
  const auto& record = settings.remote_access_files().record;
  if (!settings.remote_access_save()) {
    std::fprintf(stderr, "Remote access could not be recorded%s%s\n", record ? " in " : "",
                 record ? qm::utf8_from_path(*record).c_str() : ": no folder to write it to");
    return kExitFailed;
  }
  std::printf("Remote access: %s (recorded in %s)\n", state.c_str(),
              qm::utf8_from_path(*record).c_str());
  return kExitOk;
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
  } else if (!open_link(app, o)) {
    return kExitFailed;
  }
  const bool over_tcp = v.ip;
  // The runner names in the status line each file it starts and returns to; here that is
  // shown only with --verbose. Its error reports are shown always.
  qm::ConsoleUi run_ui(stderr, o.verbose);
  qm::Runner runner({app.link, app.settings.values, app.options, run_ui, app.idle, app.clock});
  auto errors_shown = [&] { return ui.errors_shown() + run_ui.errors_shown(); };
  ConsoleRunnerHost host;
  auto interrupt = qm::platform::InterruptWatch::create();
  const auto input = qm::platform::standard_input_handle();
  // A start that failed has said why; a file with nothing to run (only comments and blank
  // lines) does not start, and that run is over at once.
  if (runner.runner_start(host, o.words[1]) == 0) {
    app.link.com_release();
    return errors_shown() > 0 ? kExitFailed : kExitOk;
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
  return errors_shown() > 0 || !kept ? kExitFailed : kExitOk;
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
    if (*o.rate != "50" && *o.rate != "60")
      return usage_error("decode: --rate " + *o.rate + " is not 50 or 60");
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

// help-server: serves the help folder in the foreground until the process is asked to end.
int run_help_server(const Options& o) {
  if (o.words.size() > 1) return usage_error("help-server takes no arguments");
  int port = qm::kHelpPort;
  if (o.port) {
    std::string error;
    const auto n = read_number(*o.port, "help-server --port", 0, 65535, error);
    if (!n) return usage_error(error);
    port = *n;
  }
  const std::filesystem::path root =
      o.root ? qm::path_from_utf8(*o.root) : qm::platform::data_dir() / "help";
  qm::platform::block_termination_signals();  // before the server's thread starts
  qm::HelpServer server(root);
  if (!server.start(static_cast<std::uint16_t>(port))) {
    std::fprintf(stderr, "help-server: cannot listen on 127.0.0.1\n");
    return kExitFailed;
  }
  const std::string address = qm::help_page_address(server.port(), qm::kHelpPageName, {});
  std::printf("%s\nServing %s; Ctrl+C ends.\n", address.c_str(),
              qm::utf8_from_path(server.root()).c_str());
  std::fflush(stdout);
  qm::platform::wait_for_termination();
  server.stop();
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  int exit_code = kExitOk;
  const auto options = parse_options(argc, argv, exit_code);
  if (!options) return exit_code;

  // The help server needs neither the settings nor a link; its --port is the HTTP port.
  if (options->words[0] == "help-server") return run_help_server(*options);

  qm::platform::binary_standard_output();  // the same bytes on every platform
  // Fonts are built without the units, the link or the settings.
  if (options->words[0] == "font") return qmctl::run_font(options->words);
  qm::ConsoleUi ui;
  qm::Settings settings = qm::Settings::for_this_user();
  const auto switch_file = qm::load_settings(settings);
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
  if (command == "flash") {
    bool over_tcp = false;  // known once the link is open
    auto open = [&] {
      const bool opened = open_link(app, *options);
      over_tcp = app.settings.values.ip;
      return opened;
    };
    return qmctl::run_flash(app, options->words, options->yes, open,
                            [&] { return link_kept(app, over_tcp); });
  }
  if (command == "keymap") {
    bool over_tcp = false;
    auto open = [&] {
      const bool opened = open_link(app, *options);
      over_tcp = app.settings.values.ip;
      return opened;
    };
    return qmctl::run_keymap(app, options->words, open, [&] { return link_kept(app, over_tcp); });
  }
  if (command == "firmware") {
    qmctl::FirmwareOptions firmware{options->yes, options->no_reset, std::nullopt};
    if (options->fpga) {
      std::string error;
      const auto major =
          read_number(*options->fpga, "--fpga", qm::kSelectFpgaFirst, qm::kSelectFpgaLast, error);
      if (!major) return usage_error(error);
      firmware.fpga = *major;
    }
    bool over_tcp = false;
    auto open = [&] {
      const bool opened = open_link(app, *options);
      over_tcp = app.settings.values.ip;
      return opened;
    };
    return qmctl::run_firmware(app, options->words, firmware, open,
                               [&] { return link_kept(app, over_tcp); });
  }
  if (command == "pak") return qmctl::run_pak(options->words);
  if (command == "remote-access") return run_remote_access(app, *options, switch_file);
  return usage_error("unknown command " + command);
}
