// Turns a unit's reply into readable lines for the operator: twelve function codes have a
// known reply layout and are decoded field by field; any other reply is shown as a hex dump.
#include "link/unit_report.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "base/text_format.h"
#include "link/function_codes.h"

namespace qm {
namespace {

// Text tables, by the value the unit reports.
constexpr std::array<const char*, 2> kOnOffUpper = {"OFF", "ON"};
constexpr std::array<const char*, 2> kOnOffMixed = {"Off", "On"};
constexpr std::array<const char*, 8> kInputSystems = {"PAL",   "NTSC", "SECAM", "NTSC50",
                                                      "PAL60", "?",    "?",     "?"};
constexpr std::array<const char*, 8> kOutputSystems = {"PAL",   "NTSC", "SECAM", "NTSC50",
                                                       "PAL60", "?",    "?",     "LINKED"};
constexpr std::array<const char*, 4> kSources = {"Composite 1", "Composite 2", "S-Video", "?"};
constexpr std::array<const char*, 4> kOutputModes = {"Composite", "S-Video", "Dual Composite", "?"};
constexpr std::array<const char*, 4> kFilters = {"Off", "Horizontal", "Vertical", "On"};
constexpr std::array<const char*, 5> kChannelStates = {"Video bus A", "Video bus B", "Colour Wash",
                                                       "Colour Bars", "Disabled"};
constexpr std::array<const char*, 10> kSequenceErrors = {"",
                                                         "User stopped sequence",
                                                         "Reading bytes",
                                                         "Flash open",
                                                         "Flash seek",
                                                         "Function code not defined",
                                                         "Function code unsupported",
                                                         "Include name",
                                                         "Include open",
                                                         "Include depth"};

// Line texts of the layouts.
constexpr char kShortReply[] = "Short reply: %d of %d data bytes";

constexpr char kHardwareVersion[] = "Hardware version: %d.%d";
constexpr char kSplitSwitch[] = "    Split switch: %d";
constexpr char kEffectSwitch[] = "   Effect switch: %d";
constexpr char kSelectButton[] = "   Select Button: %d";

constexpr char kMajor[] = "Major: %d";
constexpr char kMinor[] = "Minor: %d";
constexpr char kTitle[] = "Title: %s";

constexpr char kQueueDepth[] = "Message queue depth: %u";
constexpr char kBackgroundTask[] = "    Background task: 0x%04X";

constexpr char kRegisterAddress[] = "    Address: [%02X] %d";
constexpr char kRegisterSubAddress[] = "Sub-address: [%02X] %d";
constexpr char kRegisterData[] = "       Data: [%02X] %d";

constexpr char kFrameRate[] = "Digitiser 1 frame rate: %d";

constexpr char kDigitiserSettings[] = "Digitiser settings\n";
constexpr char kDigitiser[] = "Digitiser %d:";
constexpr char kBrightness[] = "  Brightness: %d";
constexpr char kContrast[] = "    Contrast: %d";
constexpr char kSaturation[] = "  Saturation: %d";
constexpr char kHue[] = "         Hue: %d";
constexpr char kInputSystem[] = "      System: %s";
constexpr char kSource[] = "      Source: %s";
constexpr char kInputVcrMode[] = "    VCR Mode: %s\n";
constexpr char kGlobal[] = "Global:";
constexpr char kAutoMode[] = "   Auto mode: %s\n";

constexpr char kChannelState[] = " Channel state: %s";
constexpr char kPosition[] = "Position (x,y): %d,%d";
constexpr char kWashRgb[] = "    Wash (RGB): %d,%d,%d";
constexpr char kWashYuv[] = "         (YUV): %d,%d,%d";

constexpr char kEncoderConfiguration[] = "Encoder configuration\n";
constexpr char kMonitorCount[] = " Number of monitors: %d";
constexpr char kOutputMode[] = "        Output mode: %s";
constexpr char kInterlace[] = "          Interlace: %s";
constexpr char kCurrentSplit[] = "Current split (x,y): %d,%d";
constexpr char kColourSystem[] = "      Colour System: %s";
constexpr char kFilterState[] = "       Filter state: %s";
constexpr char kOutputVcrMode[] = "           VCR mode: %s\n";

constexpr char kAlignmentTitle[] = "Row/Column alignment:-\n";
constexpr char kRowsLead[] = "Rows: ";
constexpr char kColumnsLead[] = "\nColumns: ";
constexpr char kAlignmentValue[] = "%4d ";
constexpr char kAlignmentEnd[] = "\n";

constexpr char kFineAdjust[] = "Monitor fine adj Ch = %d Dx = %d Dy = %d\n";

constexpr char kSequenceNormal[] = "Last sequence terminated normally";
constexpr char kSequenceError[] = "Sequence file error [%u] \"%s\" at file offset %u";

constexpr char kNoSequenceRunning[] = "No sequence file running";
constexpr char kSequenceRunning[] = "Sequence file \"%s\" running";

constexpr char kDumpHeader[] = "FN=%d, %d data bytes";
constexpr char kDumpOffset[] = "%04X ";
constexpr char kDumpByte[] = "%02X ";
constexpr std::size_t kDumpBytesPerLine = 16;
// Width of the byte area before the characters: 16 bytes of "%02X " and two spaces.
constexpr std::size_t kDumpByteAreaWidth = 50;

// Data bytes of a full reply to `function`.
constexpr std::size_t reply_data(std::uint8_t function) {
  return find_function_code(function)->reply_data;
}

// The channel state and the last sequence result begin with one byte that says whether more
// follow.
constexpr std::size_t kLeadByte = 1;

constexpr std::uint8_t kFirstDisabledState = 4;  // channel states from here on are "Disabled"
constexpr std::uint8_t kLastSequenceError = 9;   // higher error numbers are shown as 0

int signed_byte(std::uint8_t byte) {
  return static_cast<std::int8_t>(byte);
}

int word_at(std::span<const std::uint8_t> data, std::size_t index) {
  return data[index] + 256 * data[index + 1];
}

// The text of `bytes` up to the first zero byte or the end.
std::string text_until_zero(std::span<const std::uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return std::string(bytes.begin(), end);
}

// Prints one reply's layout line by line. Before a line that reads data bytes the decoder asks
// has(); when the reply is too short the layout stops there and the operator sees how many
// bytes came against how many the layout needs, instead of stale buffer contents.
class Layout {
 public:
  Layout(std::span<const std::uint8_t> data, const LineSink& sink, std::size_t needed)
      : data_(data), sink_(sink), needed_(needed) {}

  std::span<const std::uint8_t> data() const { return data_; }
  std::uint8_t operator[](std::size_t index) const { return data_[index]; }

  // Raises the number of bytes the layout needs once an earlier byte has chosen the variant.
  void need(std::size_t needed) { needed_ = needed; }

  // True when the reply holds data bytes 0..bytes-1; otherwise prints the short-reply notice.
  bool has(std::size_t bytes) {
    if (bytes <= data_.size()) return true;
    sink_(strprintf(kShortReply, static_cast<int>(data_.size()), static_cast<int>(needed_)));
    return false;
  }

  void text(const std::string& line) { sink_(line); }

  void print(const char* format, ...) QM_PRINTF_LIKE(2, 3) {
    va_list args;
    va_start(args, format);
    sink_(vstrprintf(format, args));
    va_end(args);
  }

 private:
  std::span<const std::uint8_t> data_;
  const LineSink& sink_;
  std::size_t needed_;
};

// Code 3: version nibbles and the front-panel switches; a fifth byte (FPGA version) is not
// shown here.
void report_hardware_version(Layout& r) {
  if (!r.has(1)) return;
  r.print(kHardwareVersion, r[0] >> 4, r[0] & 0x0F);
  if (!r.has(2)) return;
  r.print(kSplitSwitch, r[1]);
  if (!r.has(3)) return;
  r.print(kEffectSwitch, r[2]);
  if (!r.has(4)) return;
  r.print(kSelectButton, r[3]);
}

// Code 4: major, minor, then the title as a zero-terminated text.
void report_software_version(Layout& r) {
  if (!r.has(1)) return;
  r.print(kMajor, r[0]);
  if (!r.has(2)) return;
  r.print(kMinor, r[1]);
  r.print(kTitle, text_until_zero(r.data().subspan(2)).c_str());
}

// Code 11: queue depth and the background task word.
void report_unit_activity(Layout& r) {
  if (!r.has(1)) return;
  r.print(kQueueDepth, unsigned{r[0]});
  if (!r.has(3)) return;
  r.print(kBackgroundTask, static_cast<unsigned>(word_at(r.data(), 1)));
}

// Code 13: address, sub-address and data, each in hex and decimal.
void report_register_read(Layout& r) {
  if (!r.has(1)) return;
  r.print(kRegisterAddress, r[0], r[0]);
  if (!r.has(2)) return;
  r.print(kRegisterSubAddress, r[1], r[1]);
  if (!r.has(3)) return;
  r.print(kRegisterData, r[2], r[2]);
}

// Code 22: the frame rate of digitiser 1.
void report_frame_rate(Layout& r) {
  if (!r.has(1)) return;
  r.print(kFrameRate, r[0]);
}

// Code 25: four picture values per digitiser (d0..d7), then per digitiser a system byte with
// the VCR flag in its top bit (d8, d9), a source byte (d10, d11), and the auto-mode flag (d12).
void report_input_settings(Layout& r) {
  r.text(kDigitiserSettings);
  for (std::size_t c = 0; c < 2; ++c) {
    r.print(kDigitiser, static_cast<int>(c + 1));
    const std::size_t picture = 4 * c;
    if (!r.has(picture + 1)) return;
    r.print(kBrightness, r[picture]);
    if (!r.has(picture + 2)) return;
    r.print(kContrast, r[picture + 1]);
    if (!r.has(picture + 3)) return;
    r.print(kSaturation, r[picture + 2]);
    if (!r.has(picture + 4)) return;
    r.print(kHue, r[picture + 3]);
    const std::size_t system = 8 + c;
    const std::size_t source = 10 + c;
    if (!r.has(system + 1)) return;
    r.print(kInputSystem, kInputSystems[r[system] & 7u]);
    if (!r.has(source + 1)) return;
    r.print(kSource, kSources[r[source] & 3u]);
    r.print(kInputVcrMode, kOnOffUpper[r[system] >> 7]);
  }
  r.text(kGlobal);
  if (!r.has(13)) return;
  r.print(kAutoMode, kOnOffUpper[r[12] & 1u]);
}

// Code 31: the channel's state; a channel showing video or a colour (d0 below 4) also reports
// its position (x in the low nibble of d1), its wash colour as RGB (d5..d7) and as YUV (d2..d4).
// The state text looks only at the low three bits, so d0 = 9 reads "Video bus B" but, not being
// below 4, carries no position or colours.
void report_channel_state(Layout& r) {
  if (!r.has(1)) return;
  const std::uint8_t state = std::min<std::uint8_t>(r[0] & 7u, kFirstDisabledState);
  r.print(kChannelState, kChannelStates[state]);
  if (r[0] >= kFirstDisabledState) return;
  r.need(reply_data(kFnChannelState));
  if (!r.has(2)) return;
  r.print(kPosition, r[1] & 0x0F, r[1] >> 4);
  if (!r.has(8)) return;
  r.print(kWashRgb, r[5], r[6], r[7]);
  r.print(kWashYuv, r[2], r[3], r[4]);
}

// Code 35: the encoder's configuration; d4 holds the colour system in its low bits and the
// VCR flag in its top bit.
void report_output_config(Layout& r) {
  r.text(kEncoderConfiguration);
  if (!r.has(6)) return;
  r.print(kMonitorCount, r[5]);
  r.print(kOutputMode, kOutputModes[r[0] & 3u]);
  r.print(kInterlace, kOnOffMixed[r[1] & 1u]);
  r.print(kCurrentSplit, r[2], r[3]);
  r.print(kColourSystem, kOutputSystems[r[4] & 7u]);
  if (!r.has(7)) return;
  r.print(kFilterState, kFilters[r[6] & 3u]);
  r.print(kOutputVcrMode, kOnOffMixed[r[4] >> 7]);
}

// Code 39: sixteen signed row offsets, then sixteen signed column offsets, one line each.
void report_alignment(Layout& r) {
  r.text(kAlignmentTitle);
  if (!r.has(16)) return;
  std::string rows = kRowsLead;
  for (std::size_t i = 0; i < 16; ++i)
    rows += strprintf(kAlignmentValue, signed_byte(r[i]));
  r.text(rows);
  if (!r.has(32)) return;
  std::string columns = kColumnsLead;
  for (std::size_t i = 16; i < 32; ++i) {
    columns += strprintf(kAlignmentValue, signed_byte(r[i]));
  }
  columns += kAlignmentEnd;
  r.text(columns);
}

// Code 73: channel and the signed fine offsets.
void report_fine_adjust(Layout& r) {
  if (!r.has(3)) return;
  r.print(kFineAdjust, signed_byte(r[0]), signed_byte(r[1]), signed_byte(r[2]));
}

// Code 76: zero for a normal end, otherwise the error number and the file offset it stopped at.
void report_last_sequence(Layout& r) {
  if (!r.has(1)) return;
  if (r[0] == 0) {
    r.text(kSequenceNormal);
    return;
  }
  r.need(reply_data(kFnLastSequence));
  if (!r.has(3)) return;
  const std::uint8_t error = r[0] <= kLastSequenceError ? r[0] : 0;
  r.print(kSequenceError, unsigned{error}, kSequenceErrors[error],
          static_cast<unsigned>(word_at(r.data(), 1)));
}

// Code 78: one byte when nothing runs, otherwise the zero-terminated file name; any other
// reply shows nothing.
void report_running_sequence(std::span<const std::uint8_t> data, const LineSink& sink) {
  if (data.size() == 1) {
    sink(kNoSequenceRunning);
  } else if (data.size() >= 2 && data.back() == 0) {
    sink(strprintf(kSequenceRunning, text_until_zero(data).c_str()));
  }
}

// Any other code: the byte count, then offset, hex bytes and printable characters, 16 a line.
void report_dump(std::uint8_t function, std::span<const std::uint8_t> data, const LineSink& sink) {
  sink(strprintf(kDumpHeader, function, static_cast<int>(data.size())));
  for (std::size_t offset = 0; offset < data.size(); offset += kDumpBytesPerLine) {
    const auto bytes = data.subspan(offset, std::min(kDumpBytesPerLine, data.size() - offset));
    std::string line = strprintf(kDumpOffset, static_cast<unsigned>(offset));
    for (const std::uint8_t byte : bytes)
      line += strprintf(kDumpByte, byte);
    line.append(kDumpByteAreaWidth - 3 * bytes.size(), ' ');
    for (const std::uint8_t byte : bytes) {
      line += byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '.';
    }
    sink(line);
  }
}

}  // namespace

void unit_report(const UnitFrame& frame, const LineSink& sink) {
  if (frame.count < kMessageHeaderBytes) return;
  // A count beyond the message buffer cannot be trusted further than the buffer itself.
  const std::size_t message_bytes = std::min<std::size_t>(frame.count, frame.message.size());
  const std::span<const std::uint8_t> data(frame.message.data() + kMessageHeaderBytes,
                                           message_bytes - kMessageHeaderBytes);

  // What a full reply of the code holds; a layout reports a shorter one.
  const FunctionCode* code = find_function_code(frame.function());
  const std::size_t full = code != nullptr ? code->reply_data : 0;
  const auto decode = [&](std::size_t needed, void (*decoder)(Layout&)) {
    Layout layout(data, sink, needed);
    decoder(layout);
  };
  switch (frame.function()) {
    case kFnHardwareVersion:
      decode(full, report_hardware_version);
      break;
    case kFnSoftwareVersion:
      decode(full, report_software_version);
      break;
    case kFnUnitActivity:
      decode(full, report_unit_activity);
      break;
    case kFnRegisterRead:
      decode(full, report_register_read);
      break;
    case kFnFrameRate:
      decode(full, report_frame_rate);
      break;
    case kFnInputSettings:
      decode(full, report_input_settings);
      break;
    case kFnChannelState:
      decode(kLeadByte, report_channel_state);
      break;
    case kFnOutputConfig:
      decode(full, report_output_config);
      break;
    case kFnAlignment:
      decode(full, report_alignment);
      break;
    case kFnReadFineOffset:
      decode(full, report_fine_adjust);
      break;
    case kFnLastSequence:
      decode(kLeadByte, report_last_sequence);
      break;
    case kFnRunningSequence:
      report_running_sequence(data, sink);
      break;
    default:
      report_dump(frame.function(), data, sink);
      break;
  }
}

}  // namespace qm
