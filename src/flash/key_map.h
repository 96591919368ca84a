// The key map of a unit: the text file 2:$IRMAP.TXT that tells which binary sequence file
// a key starts. One line per key, "65 = SHOW.SFB"; ';' begins a comment; Ctrl-Z ends the text.
// Adding a mapping reads the file from the unit, removes the key's earlier lines, appends
// the new one and writes the file back, through the transfer job's upload and download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qm {

class Link;
class TransferObserver;
struct TransferJob;

inline constexpr const char* kKeyMapName = "$IRMAP.TXT";
// The start of a new key map.
inline constexpr const char* kKeyMapHeader =
    "; Character to sequence map file\n;\n; File format: Keycode = sequence.sfb\n\n";
inline constexpr const char* kKeyMapEntry = "%d = %s\n";
inline constexpr char kEndOfText = '\x1A';  // Ctrl-Z
// A line is looked at this many characters at most: its first word is read from them.
inline constexpr std::size_t kKeyMapLinePiece = 80;

inline constexpr const char* kKeyMapMissing = "No directory entry for %s on the unit";
inline constexpr const char* kKeyMapTooBig =
    "Key map %s would grow to %d bytes: it must stay below %d; nothing was changed";

// The text of a key map file as read: up to its Ctrl-Z, and up to a NUL (an edited text is
// stored with one; what follows it is not text).
std::string_view key_map_text(std::span<const std::uint8_t> bytes);
// The text without the lines whose first word (up to blank, CR, LF, tab or "=") reads as a
// nonzero decimal number equal to `key`; each removed with its LF.
std::string remove_key_entries(std::string_view text, int key);
// The new key map: the old text without the key's lines (the header when nothing is left),
// then the key's line (on a line of its own even when the old text did not end with an LF).
std::string add_key_entry(std::string_view text, int key, std::string_view sequence);

// The refusals of an addition, each naming 2:$IRMAP.TXT: the unit gave no directory entry
// for it, or the new text would reach the transfer limit (none when it stays below).
std::string key_map_missing_text();
std::optional<std::string> key_map_size_error(std::string_view text);

// How an addition ended.
// With `error` set nothing was written, and the code says why: kTransferOpenFailed when the
// unit gave no directory entry, kTransferFileSize when the key map would be too big.
struct KeyMapOutcome {
  int code = 0;                      // the last transfer's result code (kTransferQuiet: done)
  std::optional<std::string> error;  // a refusal before any transfer, or the missing entry
  std::string text;                  // the key map as written or read (when done)
};

// Adds key -> sequence to 2:$IRMAP.TXT of the unit at `address`, with the App's transfer
// job: finds the file, uploads it when it is not empty, rewrites it and downloads it. Runs
// on the thread that owns the link. A key map the unit has no entry for, or one that would
// reach the transfer limit, is reported in `error` and nothing is written.
KeyMapOutcome add_key_mapping(TransferJob& job, Link& link, std::uint8_t address, int key,
                              std::string_view sequence, TransferObserver& observer);

// Reads 2:$IRMAP.TXT; its text in `text` when done. The missing entry is reported in `error`.
KeyMapOutcome read_key_map(TransferJob& job, Link& link, std::uint8_t address,
                           TransferObserver& observer);

// The key character prompt: a key entered as a character (its byte as a signed value) or as
// a key code (a decimal number of at most 4 characters).
enum class KeyEntryMode { kAscii, kKeyCode };
inline constexpr std::size_t kAsciiFieldLimit = 1;
inline constexpr std::size_t kKeyCodeFieldLimit = 4;
constexpr std::size_t key_field_limit(KeyEntryMode mode) {
  return mode == KeyEntryMode::kAscii ? kAsciiFieldLimit : kKeyCodeFieldLimit;
}
// The key code an entry makes in the mode; 0 when it makes none.
int key_code_from_entry(std::string_view field, KeyEntryMode mode);
// The field's text after a switch of mode: a character becomes its code; a code of a
// printable character other than blank becomes the character, anything else nothing.
std::string key_field_after_switch(std::string_view field, KeyEntryMode from, KeyEntryMode to);

}  // namespace qm
