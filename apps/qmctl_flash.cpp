// qmctl flash: each subcommand as the remote directory does it, with its results as the
// progress dialog's texts on stderr. put and get run their transfer on the link's thread
// while this one draws the progress line and watches for Ctrl+C, which cancels at the
// transfer's next check point.
#include "qmctl_flash.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "base/text_format.h"
#include "base/ui_helpers.h"
#include "flash/flash_protocol.h"
#include "flash/key_map.h"
#include "flash/transfer.h"
#include "platform/clock.h"
#include "platform/sim_io.h"
#include "shell/app.h"

namespace qmctl {

namespace {

constexpr const char* kNotReplaced = "Not replaced: give --yes to overwrite it";
constexpr const char* kNoSuchFile = "No such flash file: %s";
constexpr const char* kNotRenamed = "Not renamed: %s is not there afterwards";
constexpr const char* kNotRun = "Not run: %s";
constexpr const char* kSpaceLine = "Free: %-5u\tUsed: %-5u\tRecoverable: %-5u";

// The put job's answer when the file exists and may not be replaced (no transfer result).
constexpr int kRefusedToReplace = -2;

// How often the progress line is redrawn.
constexpr int kProgressRefreshMs = 250;

int usage(const std::string& message) {
  std::fprintf(stderr, "qmctl: flash: %s\ntry 'qmctl help flash'\n", message.c_str());
  return kExitUsage;
}

void error_line(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

std::optional<std::uint8_t> parse_sector(const std::string& text) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '0' + qm::kFlashSectorCount)
    return std::nullopt;
  return static_cast<std::uint8_t>(text[0] - '0');
}

bool valid_flash_name(const std::string& name) {
  return !name.empty() && name.size() <= qm::kFlashNameMax && name.find('\0') == std::string::npos;
}

struct FlashPath {
  std::uint8_t sector = 0;
  std::string name;
};

// SECTOR:NAME, with a sector 1..5 and a name of 1..12 characters.
std::optional<FlashPath> parse_flash_path(const std::string& text, std::string& error) {
  const std::size_t colon = text.find(':');
  const auto sector =
      colon == std::string::npos ? std::nullopt : parse_sector(text.substr(0, colon));
  if (!sector) {
    error = text + " is not SECTOR:NAME with a sector 1..5";
    return std::nullopt;
  }
  FlashPath path{*sector, text.substr(colon + 1)};
  if (!valid_flash_name(path.name)) {
    error = "the flash name '" + path.name + "' is not 1 to 12 characters";
    return std::nullopt;
  }
  return path;
}

// --- Progress -------------------------------------------------------------------------------

// What the worker reports, read by the main thread to draw the progress line.
class ConsoleProgress final : public qm::TransferObserver {
 public:
  void transfer_status(const std::string& text) override {
    std::lock_guard lock(mutex_);
    status_ = text;
  }
  void transfer_progress(std::size_t done, std::size_t total) override {
    std::lock_guard lock(mutex_);
    if (started_ms_ == 0 || done == 0) started_ms_ = qm::platform::monotonic_ms();
    done_ = done;
    total_ = total;
  }

  // The line: the status, bytes, percent, rate and time left.
  std::string line() const {
    std::lock_guard lock(mutex_);
    std::string text = status_;
    if (total_ == 0) return text;
    const std::uint64_t elapsed = qm::platform::monotonic_ms() - started_ms_;
    const double rate =
        elapsed > 0 ? static_cast<double>(done_) * 1000.0 / static_cast<double>(elapsed) : 0.0;
    text +=
        qm::strprintf("  %u/%u bytes  %3u%%", static_cast<unsigned>(done_),
                      static_cast<unsigned>(total_), static_cast<unsigned>(done_ * 100 / total_));
    if (rate > 0) {
      const auto left = static_cast<unsigned>(static_cast<double>(total_ - done_) / rate + 0.5);
      text += qm::strprintf("  %.1f kB/s  %u:%02u left", rate / 1000.0, left / 60, left % 60);
    }
    return text;
  }

 private:
  mutable std::mutex mutex_;
  std::string status_;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
  std::uint64_t started_ms_ = 0;
};

// Redraws one line of stderr in place.
class ProgressLine {
 public:
  void draw(const std::string& text) {
    std::string shown = text;
    if (shown.size() < width_) shown.append(width_ - shown.size(), ' ');
    width_ = std::max(width_, text.size());
    std::fprintf(stderr, "\r%s", shown.c_str());
    std::fflush(stderr);
  }
  void erase() {
    if (width_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
    std::fflush(stderr);
  }

 private:
  std::size_t width_ = 0;
};

// Runs `work` as a job on the link's thread and waits for it, drawing the progress line on a
// terminal and turning Ctrl+C into a cancel request. The job's exit status.
int run_transfer(qm::App& app, ConsoleProgress& progress, std::function<int()> work) {
  auto done = qm::platform::Wakeup::create();
  auto interrupt = qm::platform::InterruptWatch::create();
  std::atomic<int> result{-1};
  app.worker.post([&](qm::Link&) {
    result = work();
    done->signal();
  });
  const bool terminal = qm::platform::standard_error_is_terminal();
  ProgressLine line;
  bool watching = interrupt != nullptr;
  for (;;) {
    std::vector<qm::platform::Handle> handles{done->handle()};
    if (watching) handles.push_back(interrupt->handle());
    const int ready = qm::platform::wait_any(handles, terminal ? kProgressRefreshMs : -1);
    if (ready == 0) break;
    if (ready == 1) {
      app.transfer.request_cancel();
      watching = false;  // asked once; the worker stops at its next check point
    }
    if (terminal) line.draw(progress.line());
  }
  app.worker.wait_until_idle();
  if (terminal) line.erase();
  return result;
}

std::uint8_t unit_address(const qm::App& app) {
  return static_cast<std::uint8_t>(app.settings.values.id);
}

// --- Subcommands ----------------------------------------------------------------------------

// put LOCAL SECTOR:NAME [--yes]
int flash_put(qm::App& app, const std::string& local, const FlashPath& to, bool yes) {
  qm::TransferJob& job = app.transfer;
  job.prepare(to.sector, to.name);
  if (const auto error = qm::load_download_file(job, local)) {
    error_line("Error: " + *error);
    return kExitLocalFile;
  }
  ConsoleProgress progress;
  const std::uint8_t address = unit_address(app);
  const int status = run_transfer(app, progress, [&]() -> int {
    qm::FlashFiles flash(app.link, address);
    if (flash.flash_file_exists(to.sector, to.name)) {
      if (!yes) return kRefusedToReplace;
    }
    return qm::download_worker(job, app.link, address, progress);
  });
  job.clear_data();
  if (status == kRefusedToReplace) {
    error_line(qm::overwrite_question(to.sector, to.name));
    error_line(kNotReplaced);
    return kExitNotReplaced;
  }
  return transfer_outcome(job, status);
}

// get SECTOR:NAME [LOCAL]
int flash_get(qm::App& app, const FlashPath& from, const std::string& local) {
  qm::TransferJob& job = app.transfer;
  job.prepare(from.sector, from.name);
  ConsoleProgress progress;
  const std::uint8_t address = unit_address(app);
  const int code = run_transfer(
      app, progress, [&] { return qm::upload_worker(job, app.link, address, progress); });
  int status = transfer_outcome(job, code);
  if (status == kExitOk && job.upload_complete) {
    if (const auto error = qm::save_uploaded_file(job, local)) {
      error_line("Error: " + *error);
      status = kExitLocalFile;
    }
  }
  job.clear_data();
  return status;
}

void print_space(const qm::FlashSectorStatus& s) {
  std::printf(kSpaceLine, static_cast<unsigned>(s.free), static_cast<unsigned>(s.used),
              static_cast<unsigned>(s.recoverable));
}

// ls SECTOR: the sector's name and space, then each file and its size, sorted by name.
int flash_ls(qm::App& app, std::uint8_t sector) {
  qm::FlashFiles flash(app.link, unit_address(app));
  const auto space = flash.flash_sector_status(sector);
  if (!space) {
    error_line(qm::kRemoteReadFailure);
    return kExitFailed;
  }
  auto files = flash.flash_list(sector);
  std::sort(files.begin(), files.end(),
            [](const qm::FlashDirEntry& a, const qm::FlashDirEntry& b) { return a.name < b.name; });
  std::printf("%s\n", std::string(qm::flash_sector_name(sector)).c_str());
  print_space(*space);
  std::printf("\n");
  for (const auto& f : files)
    std::printf("%s\t%-5d\n", f.name.c_str(), static_cast<int>(f.size));
  return kExitOk;
}

// df [SECTOR]: one line per sector.
int flash_df(qm::App& app, std::optional<std::uint8_t> only) {
  qm::FlashFiles flash(app.link, unit_address(app));
  for (std::uint8_t sector = 1; sector <= qm::kFlashSectorCount; ++sector) {
    if (only && *only != sector) continue;
    const auto space = flash.flash_sector_status(sector);
    if (!space) {
      error_line(qm::kRemoteReadFailure);
      return kExitFailed;
    }
    std::printf("%d %-13s ", sector, std::string(qm::flash_sector_name(sector)).c_str());
    print_space(*space);
    std::printf("\n");
    std::fflush(stdout);
  }
  return kExitOk;
}

// The key code of a KEY argument: a single character other than a digit stands for itself
// (its byte as a signed value), anything else is a key code -128..9999 other than 0.
std::optional<int> parse_key(const std::string& text) {
  if (text.size() == 1 && (text[0] < '0' || text[0] > '9'))
    return static_cast<signed char>(text[0]);
  int key = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, key);
  if (error != std::errc() || stop != end || key == 0 || key < -128 || key > 9999)
    return std::nullopt;
  return key;
}

int keymap_usage(const std::string& message) {
  std::fprintf(stderr, "qmctl: keymap: %s\ntry 'qmctl help keymap'\n", message.c_str());
  return kExitUsage;
}

}  // namespace

int transfer_outcome(const qm::TransferJob& job, int code) {
  if (const auto text = qm::transfer_result_text(code, job)) error_line(*text);
  if (code == qm::kTransferQuiet || code == qm::kTransferAnnounced) return kExitOk;
  if (code == qm::kTransferLinkFailure) return kExitFailed;
  return kExitTransferBase + code;
}

int run_download(qm::App& app, std::uint8_t address) {
  ConsoleProgress progress;
  return run_transfer(app, progress, [&] {
    return qm::download_worker(app.transfer, app.link, address, progress);
  });
}

int run_keymap(qm::App& app, const std::vector<std::string>& words,
               const std::function<bool()>& open_link, const std::function<bool()>& link_kept) {
  if (words.size() < 2) return keymap_usage("wants a subcommand: show, add");
  const std::string& sub = words[1];
  std::optional<int> key;
  std::string sequence;
  if (sub == "show") {
    if (words.size() != 2) return keymap_usage("show takes no arguments");
  } else if (sub == "add") {
    if (words.size() != 4) return keymap_usage("add wants KEY SEQUENCE.SFB");
    if (!(key = parse_key(words[2])))
      return keymap_usage("KEY " + words[2] +
                          " is neither one character nor a key code -128..9999 other than 0");
    sequence = words[3];
    if (!valid_flash_name(sequence))
      return keymap_usage("the sequence name '" + sequence + "' is not 1 to 12 characters");
  } else {
    return keymap_usage("unknown subcommand " + sub);
  }

  if (app.settings.values.id < 0) app.settings.values.id = 0;
  if (!open_link()) return kExitFailed;
  ConsoleProgress progress;
  const std::uint8_t address = unit_address(app);
  qm::KeyMapOutcome outcome;
  run_transfer(app, progress, [&] {
    outcome = key ? qm::add_key_mapping(app.transfer, app.link, address, *key, sequence, progress)
                  : qm::read_key_map(app.transfer, app.link, address, progress);
    return outcome.code;
  });
  if (outcome.error) {
    error_line("Error: " + *outcome.error);
    if (outcome.code == qm::kTransferFileSize) return kExitKeyMapFull;
    return link_kept() ? kExitNoSuchFile : kExitFailed;
  }
  const int status = transfer_outcome(app.transfer, outcome.code);
  if (status != kExitOk) return status;
  std::fwrite(outcome.text.data(), 1, outcome.text.size(), stdout);
  return kExitOk;
}

int run_flash(qm::App& app, const std::vector<std::string>& words, bool yes,
              const std::function<bool()>& open_link, const std::function<bool()>& link_kept) {
  if (words.size() < 2)
    return usage("wants a subcommand: ls, df, get, put, rm, mv, run, stop, compact");
  const std::string& sub = words[1];
  const std::vector<std::string> args(words.begin() + 2, words.end());
  std::string error;
  auto path_arg = [&](std::size_t i) -> std::optional<FlashPath> {
    auto p = parse_flash_path(args[i], error);
    if (!p) usage(sub + ": " + error);
    return p;
  };
  auto sector_arg = [&](std::size_t i) -> std::optional<std::uint8_t> {
    auto s = parse_sector(args[i]);
    if (!s) usage(sub + ": SECTOR " + args[i] + " is not 1..5");
    return s;
  };
  auto arity = [&](std::size_t min, std::size_t max) {
    return args.size() >= min && args.size() <= max;
  };

  // Check the arguments before the link is opened.
  std::optional<FlashPath> path;
  std::optional<std::uint8_t> sector;
  std::string other;
  if (sub == "ls" || sub == "compact") {
    if (!arity(1, 1)) return usage(sub + " wants SECTOR");
    if (!(sector = sector_arg(0))) return kExitUsage;
  } else if (sub == "df") {
    if (!arity(0, 1)) return usage("df wants at most a SECTOR");
    if (args.size() == 1 && !(sector = sector_arg(0))) return kExitUsage;
  } else if (sub == "get") {
    if (!arity(1, 2)) return usage("get wants SECTOR:NAME [LOCAL]");
    if (!(path = path_arg(0))) return kExitUsage;
    other = args.size() == 2 ? args[1] : path->name;
  } else if (sub == "put") {
    if (!arity(2, 2)) return usage("put wants LOCAL SECTOR:NAME");
    other = args[0];
    if (!(path = path_arg(1))) return kExitUsage;
  } else if (sub == "rm" || sub == "run") {
    if (!arity(1, 1)) return usage(sub + " wants SECTOR:NAME");
    if (!(path = path_arg(0))) return kExitUsage;
  } else if (sub == "mv") {
    if (!arity(2, 2)) return usage("mv wants SECTOR:OLD NEW");
    if (!(path = path_arg(0))) return kExitUsage;
    other = args[1];
    if (!valid_flash_name(other)) return usage("mv: the new name is not 1 to 12 characters");
  } else if (sub == "stop") {
    if (!arity(0, 0)) return usage("stop takes no arguments");
  } else {
    return usage("unknown subcommand " + sub);
  }
  if (yes && sub != "put") return usage("--yes is for put only");

  // The flash of all units at once is no one's: as in the remote directory, unit 0 then.
  if (app.settings.values.id < 0) app.settings.values.id = 0;
  if (!open_link()) return kExitFailed;
  qm::FlashFiles flash(app.link, unit_address(app));
  const std::string shown = path ? qm::flash_file_text(path->sector, path->name) : std::string();

  if (sub == "ls") return flash_ls(app, *sector);
  if (sub == "df") return flash_df(app, sector);
  if (sub == "get") return flash_get(app, *path, other);
  if (sub == "put") return flash_put(app, other, *path, yes);
  if (sub == "rm") {
    if (flash.flash_open(path->sector, path->name, qm::kFlashOpenRead) == 0) {
      error_line(qm::strprintf(kNoSuchFile, shown.c_str()));
      return link_kept() ? kExitNoSuchFile : kExitFailed;
    }
    flash.flash_delete(path->sector, path->name);
    return link_kept() ? kExitOk : kExitFailed;
  }
  if (sub == "mv") {
    // The unit does not answer a rename: whether it took it shows in the directory.
    flash.flash_rename(path->sector, path->name, path->sector, other);
    if (flash.flash_file_exists(path->sector, other)) return kExitOk;
    if (!link_kept()) return kExitFailed;
    error_line(qm::strprintf(kNotRenamed, qm::flash_file_text(path->sector, other).c_str()));
    return kExitNoSuchFile;
  }
  if (sub == "run") {
    if (flash.flash_run(path->sector, path->name) == 1) return kExitOk;
    error_line(qm::strprintf(kNotRun, shown.c_str()));
    return link_kept() ? kExitNoSuchFile : kExitFailed;
  }
  if (sub == "stop") {
    flash.flash_stop();
    return link_kept() ? kExitOk : kExitFailed;
  }
  // compact SECTOR: then the sector's space.
  flash.flash_compact(*sector);
  return flash_df(app, sector);
}

}  // namespace qmctl
