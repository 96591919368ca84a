#include "flash/key_map.h"

#include <algorithm>

#include "base/text_format.h"
#include "flash/flash_protocol.h"
#include "flash/transfer.h"

namespace qm {

namespace {

constexpr std::string_view kWordDelimiters = " \r\n\t=";
// More digits than any key code has: such a number matches no key.
constexpr std::size_t kMostDigits = 9;

// The value of the decimal number at the start of `word` (an optional sign, then digits),
// as the C library's atoi reads it; 0 when there is none or it is absurdly long.
int leading_number(std::string_view word) {
  bool negative = false;
  if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
    negative = word.front() == '-';
    word.remove_prefix(1);
  }
  int value = 0;
  std::size_t digits = 0;
  for (char c : word) {
    if (c < '0' || c > '9') break;
    if (++digits > kMostDigits) return 0;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// The first word of a piece of a line, delimiters skipped before it.
std::string_view first_word(std::string_view piece) {
  const std::size_t start = piece.find_first_not_of(kWordDelimiters);
  if (start == std::string_view::npos) return {};
  piece.remove_prefix(start);
  return piece.substr(0, piece.find_first_of(kWordDelimiters));
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
// A character's key code: its byte as a signed value.
int signed_code(char c) {
  return static_cast<signed char>(c);
}

std::string key_map_shown() {
  return flash_file_text(kConfigurationSector, kKeyMapName);
}

// Finds 2:$IRMAP.TXT and reads it into `outcome.text`; false when the outcome is final.
bool fetch_key_map(TransferJob& job, Link& link, std::uint8_t address, TransferObserver& observer,
                   KeyMapOutcome& outcome) {
  job.prepare(kConfigurationSector, kKeyMapName, kTransferQuiet);
  job.clear_data();
  FlashFiles flash(link, address);
  const auto entry = flash.flash_find_first(kConfigurationSector, kKeyMapName);
  if (!entry) {
    // Without an entry there is no telling what the unit holds: writing a new file here
    // could replace a key map that is only out of reach.
    outcome.code = kTransferOpenFailed;
    outcome.error = key_map_missing_text();
    return false;
  }
  if (entry->size == 0) return true;  // no key map yet: an empty text
  outcome.code = upload_worker(job, link, address, observer);
  if (outcome.code != kTransferQuiet || !job.upload_complete) {
    job.clear_data();
    return false;
  }
  outcome.text = std::string(key_map_text(job.data()));
  job.clear_data();
  return true;
}

}  // namespace

std::string key_map_missing_text() {
  return strprintf(kKeyMapMissing, key_map_shown().c_str());
}

std::optional<std::string> key_map_size_error(std::string_view text) {
  if (text.size() < kTransferLimitBytes) return std::nullopt;
  return strprintf(kKeyMapTooBig, key_map_shown().c_str(), static_cast<int>(text.size()),
                   static_cast<int>(kTransferLimitBytes));
}

std::string_view key_map_text(std::span<const std::uint8_t> bytes) {
  const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return all.substr(0, std::min(all.find(kEndOfText), all.find('\0')));
}

std::string remove_key_entries(std::string_view text, int key) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::size_t length = lf == std::string_view::npos ? text.size() : lf + 1;
    const std::string_view line = text.substr(0, length);
    text.remove_prefix(length);
    // Only the line's first piece decides: a later piece of a long line (a comment's
    // continuation) is no entry of its own.
    const int number = leading_number(first_word(line.substr(0, kKeyMapLinePiece)));
    if (number != 0 && number == key) continue;
    out.append(line);
  }
  return out;
}

std::string add_key_entry(std::string_view text, int key, std::string_view sequence) {
  std::string out = remove_key_entries(text, key);
  if (out.empty()) out = kKeyMapHeader;
  // A last line without its LF would otherwise run into the new entry.
  if (out.back() != '\n') out += '\n';
  out += strprintf(kKeyMapEntry, key, std::string(sequence).c_str());
  return out;
}

KeyMapOutcome add_key_mapping(TransferJob& job, Link& link, std::uint8_t address, int key,
                              std::string_view sequence, TransferObserver& observer) {
  KeyMapOutcome outcome;
  if (!fetch_key_map(job, link, address, observer, outcome)) return outcome;
  std::string text = add_key_entry(outcome.text, key, sequence);
  if (auto error = key_map_size_error(text)) {
    outcome.code = kTransferFileSize;
    outcome.error = std::move(error);
    return outcome;
  }
  job.prepare(kConfigurationSector, kKeyMapName, kTransferQuiet);
  job.set_data({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  outcome.code = download_worker(job, link, address, observer);
  job.clear_data();
  if (outcome.code == kTransferQuiet) outcome.text = std::move(text);
  return outcome;
}

KeyMapOutcome read_key_map(TransferJob& job, Link& link, std::uint8_t address,
                           TransferObserver& observer) {
  KeyMapOutcome outcome;
  if (fetch_key_map(job, link, address, observer, outcome)) outcome.code = kTransferQuiet;
  return outcome;
}

int key_code_from_entry(std::string_view field, KeyEntryMode mode) {
  if (mode == KeyEntryMode::kAscii) return field.size() == 1 ? signed_code(field[0]) : 0;
  const std::size_t start = field.find_first_not_of(" \t");
  if (start == std::string_view::npos) return 0;
  const char first = field[start];
  if (is_digit(first)) return leading_number(field.substr(start));
  if (is_letter(first)) return signed_code(first);
  return 0;
}

std::string key_field_after_switch(std::string_view field, KeyEntryMode from, KeyEntryMode to) {
  if (from == to) return std::string(field);
  if (to == KeyEntryMode::kKeyCode)
    return field.empty() ? std::string() : std::to_string(signed_code(field[0]));
  const int code =
      leading_number(field.substr(std::min(field.size(), field.find_first_not_of(' '))));
  if (code > ' ' && code < 0x7F) return std::string(1, static_cast<char>(code));
  return {};
}

}  // namespace qm
