// qmctl firmware and qmctl pak. The update asks its questions on the terminal (or answers
// them with --yes), shows its boxes on stderr and downloads with the progress line of
// flash put; pak builds packages the update takes and lists what a package holds.
#include "qmctl_firmware.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/operator_ui.h"
#include "base/text_format.h"
#include "compiler/numbers.h"
#include "flash/firmware_package.h"
#include "flash/transfer.h"
#include "platform/paths.h"
#include "platform/sim_io.h"
#include "qmctl_flash.h"
#include "shell/app.h"

namespace qmctl {

namespace {

constexpr const char* kAnsweredYes = "Yes (--yes)";
constexpr const char* kNoTerminal =
    "Not confirmed: standard input is not a terminal; give --yes to answer Yes";
constexpr const char* kNoFpgaChoice =
    "Not chosen: standard input is not a terminal; give --fpga MAJOR (2..9)";
constexpr const char* kFpgaPrompt = "FPGA major version 2..9 (Enter: 2, anything else cancels): ";
constexpr const char* kPakEntryLine =
    "%s\ttype %u\tFPGA %s (mask 0x%04X)\tversion %u.%u\t%s bytes\n";

void error_line(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

// One line from standard input without its line end; none at its end.
std::optional<std::string> read_answer() {
  char line[256];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return std::nullopt;
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

// Boxes on stderr; a Yes/No question answered by --yes, by the operator on a terminal, or
// (with neither) refused.
class FirmwareConsoleUi final : public qm::OperatorUi {
 public:
  FirmwareConsoleUi(bool yes, bool terminal) : yes_(yes), terminal_(terminal) {}

  void show_status(const std::string&) override {}
  void clear_status() override {}
  void show_link_status(const std::string&) override {}
  void flash_activity(qm::Activity) override {}
  void edit_sequence_file(const std::string&, int) override {}
  bool can_edit_sequence_files() const override { return false; }

  qm::BoxAnswer message_box(const std::string&, const std::string& text, qm::BoxButtons buttons,
                            qm::BoxIcon) override {
    error_line(text);
    if (buttons == qm::BoxButtons::Ok) return qm::BoxAnswer::Ok;
    if (yes_) {
      error_line(kAnsweredYes);
      return qm::BoxAnswer::Yes;
    }
    if (!terminal_) {
      error_line(kNoTerminal);
      return qm::BoxAnswer::No;
    }
    const bool default_no = buttons == qm::BoxButtons::YesNoDefaultNo;
    std::fprintf(stderr, "%s", default_no ? "[y/N] " : "[Y/n] ");
    std::fflush(stderr);
    const auto answer = read_answer();
    if (!answer) return qm::BoxAnswer::No;
    if (answer->empty()) return default_no ? qm::BoxAnswer::No : qm::BoxAnswer::Yes;
    const char c = (*answer)[0];
    return c == 'y' || c == 'Y' ? qm::BoxAnswer::Yes : qm::BoxAnswer::No;
  }

 private:
  bool yes_;
  bool terminal_;
};

// The FPGA choice on the console: --fpga, else the list on a terminal; 0 for none.
int choose_fpga(std::optional<int> given, bool terminal) {
  error_line(qm::kSelectFpgaText);
  if (given) {
    error_line(qm::strprintf(qm::kSelectFpgaEntry, *given) + " (--fpga)");
    return *given;
  }
  if (!terminal) {
    error_line(kNoFpgaChoice);
    return 0;
  }
  for (int major = qm::kSelectFpgaFirst; major <= qm::kSelectFpgaLast; ++major)
    error_line("  " + qm::strprintf(qm::kSelectFpgaEntry, major));
  std::fprintf(stderr, "%s", kFpgaPrompt);
  std::fflush(stderr);
  const auto answer = read_answer();
  if (!answer) return 0;
  if (answer->empty()) return qm::kSelectFpgaFirst;
  const qm::ParsedNumber n = qm::parse_number(*answer, 10);
  if (!n || n.value < qm::kSelectFpgaFirst || n.value > qm::kSelectFpgaLast) return 0;
  return n.value;
}

int firmware_usage(const std::string& message) {
  std::fprintf(stderr, "qmctl: firmware: %s\ntry 'qmctl help firmware'\n", message.c_str());
  return kExitUsage;
}

int pak_usage(const std::string& message) {
  std::fprintf(stderr, "qmctl: pak: %s\ntry 'qmctl help pak'\n", message.c_str());
  return kExitUsage;
}

// One IMAGE:MASK[:MAJOR.MINOR] of pak build.
struct ImageSpec {
  std::string path;
  std::uint16_t mask = 0;
  std::optional<std::pair<std::uint8_t, std::uint8_t>> version;
};

std::optional<std::uint8_t> byte_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const qm::ParsedNumber n = qm::parse_number(text, 10);
  if (!n || n.value < 0 || n.value > 255) return std::nullopt;
  return static_cast<std::uint8_t>(n.value);
}

// Reads the fields from the right, so that the path may hold colons (C:\fw\a.bin:4).
std::optional<ImageSpec> parse_image_spec(const std::string& text, std::string& error) {
  ImageSpec spec;
  std::string rest = text;
  std::size_t colon = rest.rfind(':');
  if (colon == std::string::npos) {
    error = text + " is not IMAGE:MASK[:MAJOR.MINOR]";
    return std::nullopt;
  }
  std::string last = rest.substr(colon + 1);
  if (last.find('.') != std::string::npos) {
    const std::size_t dot = last.find('.');
    const auto major = byte_number(std::string_view(last).substr(0, dot));
    const auto minor = byte_number(std::string_view(last).substr(dot + 1));
    if (!major || !minor) {
      error = "the version " + last + " in " + text + " is not MAJOR.MINOR with each 0..255";
      return std::nullopt;
    }
    spec.version = std::pair{*major, *minor};
    rest.resize(colon);
    colon = rest.rfind(':');
    if (colon == std::string::npos) {
      error = text + " has no MASK: IMAGE:MASK[:MAJOR.MINOR]";
      return std::nullopt;
    }
    last = rest.substr(colon + 1);
  }
  const qm::ParsedNumber mask = qm::parse_number(last, 10);
  if (last.empty() || !mask || mask.value < 0 || mask.value > 0xFFFF) {
    error = "the mask " + last + " in " + text + " is not a number 0..65535 (e.g. 0x0004)";
    return std::nullopt;
  }
  spec.mask = static_cast<std::uint16_t>(mask.value);
  spec.path = rest.substr(0, colon);
  if (spec.path.empty()) {
    error = text + " names no image file";
    return std::nullopt;
  }
  return spec;
}

// pak build OUT.pak IMAGE:MASK[:MAJOR.MINOR]...
int pak_build(const std::string& out, const std::vector<std::string>& specs) {
  std::vector<ImageSpec> images;
  for (const std::string& text : specs) {
    std::string error;
    auto spec = parse_image_spec(text, error);
    if (!spec) return pak_usage("build: " + error);
    images.push_back(std::move(*spec));
  }
  std::vector<qm::PackageEntryInfo> entries;
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const ImageSpec& spec : images) {
    const qm::platform::FileRead read = qm::platform::read_file(spec.path, qm::kSystemFileMax);
    if (read.status == qm::platform::FileReadStatus::TooLarge) {
      error_line("Error: " + spec.path + " holds more than " + std::to_string(qm::kSystemFileMax) +
                 " bytes: too big to be a system file");
      return kExitLocalFile;
    }
    if (!read.ok()) {
      error_line("Error: " +
                 qm::strprintf(qm::kCantReadFile, spec.path.c_str(), read.error.message().c_str()));
      return kExitLocalFile;
    }
    if (read.contents.empty()) {
      // A body of length 0 would read as the package's end.
      error_line("Error: " + qm::strprintf(qm::kCantReadFile, spec.path.c_str(), qm::kFileIsEmpty));
      return kExitLocalFile;
    }
    std::vector<std::uint8_t> body(read.contents.begin(), read.contents.end());
    qm::PackageEntryInfo entry;
    entry.mask = spec.mask;
    if (spec.version) {
      entry.major = spec.version->first;
      entry.minor = spec.version->second;
    } else if (body.size() > qm::kSystemMinorAt) {
      // The version the image itself carries.
      entry.major = body[qm::kSystemMajorAt];
      entry.minor = body[qm::kSystemMinorAt];
    }
    entries.push_back(entry);
    bodies.push_back(std::move(body));
  }
  const std::vector<std::uint8_t> package = qm::build_package(entries, bodies);
  const std::string_view contents(reinterpret_cast<const char*>(package.data()), package.size());
  const qm::platform::AtomicWriteResult written =
      qm::platform::write_file_atomically(out, contents);
  if (!written.ok()) {
    error_line("Error: " +
               qm::strprintf(qm::kCantSaveFile, out.c_str(), written.error.message().c_str()));
    return kExitLocalFile;
  }
  return kExitOk;
}

// pak list FILE.pak: one line per entry, up to the closing zero length.
int pak_list(const std::string& path) {
  const qm::platform::FileRead read = qm::platform::read_file(path, qm::kFirmwareFileReadLimit);
  if (!read.ok()) {
    error_line("Error: " + (read.status == qm::platform::FileReadStatus::TooLarge
                                ? std::string(qm::kSystemFileTooBig)
                                : qm::strprintf(qm::kCantReadFile, path.c_str(),
                                                read.error.message().c_str())));
    return kExitLocalFile;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(read.contents.data());
  const qm::PackageListing listing = qm::list_package({bytes, read.contents.size()}, path);
  std::size_t index = 0;
  for (const qm::PackageEntryInfo& e : listing.entries) {
    std::printf(kPakEntryLine, std::to_string(index++).c_str(), static_cast<unsigned>(e.type),
                qm::fpga_majors_text(e.mask).c_str(), static_cast<unsigned>(e.mask),
                static_cast<unsigned>(e.major), static_cast<unsigned>(e.minor),
                std::to_string(e.length).c_str());
  }
  std::fflush(stdout);
  if (listing.error) {
    error_line("Error: " + *listing.error);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int run_firmware(qm::App& app, const std::vector<std::string>& words,
                 const FirmwareOptions& options, const std::function<bool()>& open_link,
                 const std::function<bool()>& link_kept) {
  if (words.size() != 2) return firmware_usage("wants one file: FILE.bin or FILE.pak");
  if (options.fpga && (*options.fpga < qm::kSelectFpgaFirst || *options.fpga > qm::kSelectFpgaLast))
    return firmware_usage("--fpga wants a major version 2..9");
  const int unit = app.settings.values.id;
  if (unit < 0 || unit > 3) return firmware_usage("firmware goes to one unit: give --unit 0..3");
  if (!open_link()) return kExitFailed;

  const bool terminal = qm::platform::standard_input_is_terminal();
  FirmwareConsoleUi ui(options.yes, terminal);
  int transfer_status = kExitOk;
  qm::FirmwareUpdateHooks hooks;
  hooks.select_fpga_version = [&] { return choose_fpga(options.fpga, terminal); };
  hooks.run_download = [&](qm::TransferJob&) {
    return run_download(app, static_cast<std::uint8_t>(unit));
  };
  hooks.transfer_finished = [&](int code) {
    transfer_status = transfer_outcome(app.transfer, code);
  };
  hooks.offer_reset = !options.no_reset;

  const qm::FirmwareOutcome outcome =
      qm::update_firmware(app.link, app.transfer, ui, unit, words[1], hooks);
  using Outcome = qm::FirmwareOutcome;
  switch (outcome) {
    case Outcome::LinkFailure:
      return kExitFailed;
    case Outcome::FileUnreadable:
      return kExitLocalFile;
    case Outcome::Refused:
      return kExitFirmwareRefused;
    case Outcome::Declined:
      return kExitNotConfirmed;
    case Outcome::TransferFailed:
      return transfer_status == kExitOk ? kExitFailed : transfer_status;
    case Outcome::Updated:
    case Outcome::UpdatedAndReset:
      break;
  }
  // A reset sent over a link that has gone may not have arrived.
  return link_kept() ? kExitOk : kExitFailed;
}

int run_pak(const std::vector<std::string>& words) {
  if (words.size() < 2) return pak_usage("wants a subcommand: build, list");
  const std::string& sub = words[1];
  if (sub == "build") {
    if (words.size() < 4) return pak_usage("build wants OUT.pak IMAGE:MASK[:MAJOR.MINOR]...");
    return pak_build(words[2], std::vector<std::string>(words.begin() + 3, words.end()));
  }
  if (sub == "list") {
    if (words.size() != 3) return pak_usage("list wants one FILE.pak");
    return pak_list(words[2]);
  }
  return pak_usage("unknown subcommand " + sub);
}

}  // namespace qmctl
