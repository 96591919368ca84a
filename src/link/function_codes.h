// The function codes of the unit message protocol: the byte after the address in every request
// and reply. One table describes each code: its number, the FN_ name sequence files know it by
// (std.inc defines them), the part of the unit it acts on, the data a request must carry and
// the data the unit answers with. The panels, the status report and the simulated units all
// take their codes from here; how each reply is built or read stays with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm {

// What each code asks of a unit.
inline constexpr std::uint8_t kFnReset = 0;             // reset the unit
inline constexpr std::uint8_t kFnRestore = 2;           // reload settings from flash
inline constexpr std::uint8_t kFnHardwareVersion = 3;   // hardware version, switches, FPGA version
inline constexpr std::uint8_t kFnSoftwareVersion = 4;   // firmware version and title
inline constexpr std::uint8_t kFnSetId = 6;             // the unit takes a new ID
inline constexpr std::uint8_t kFnUnitActivity = 11;     // message queue depth, background task
inline constexpr std::uint8_t kFnRegisterRead = 13;     // one register of a device in the unit
inline constexpr std::uint8_t kFnInputSource = 16;      // input select of a digitiser
inline constexpr std::uint8_t kFnBrightness = 17;       // brightness of a digitiser
inline constexpr std::uint8_t kFnContrast = 18;         // contrast of a digitiser
inline constexpr std::uint8_t kFnSaturation = 19;       // saturation of a digitiser
inline constexpr std::uint8_t kFnHue = 20;              // hue of a digitiser
inline constexpr std::uint8_t kFnInputSystem = 21;      // video system of a digitiser
inline constexpr std::uint8_t kFnFrameRate = 22;        // frame rate of digitiser 1
inline constexpr std::uint8_t kFnAutoMode = 23;         // automatic input mode on/off
inline constexpr std::uint8_t kFnSaveInputs = 24;       // store the input settings in flash
inline constexpr std::uint8_t kFnInputSettings = 25;    // both digitisers' settings
inline constexpr std::uint8_t kFnOutputMode = 30;       // composite or S-Video output
inline constexpr std::uint8_t kFnChannelState = 31;     // one channel's state, position and wash
inline constexpr std::uint8_t kFnPlaceChannel = 32;     // show a channel on a monitor
inline constexpr std::uint8_t kFnFactoryAlign = 33;     // every alignment back to factory
inline constexpr std::uint8_t kFnSaveOutputs = 34;      // store the output settings in flash
inline constexpr std::uint8_t kFnOutputConfig = 35;     // encoder configuration and split
inline constexpr std::uint8_t kFnColumnOffset = 36;     // column offset within the split
inline constexpr std::uint8_t kFnRowOffset = 37;        // row offset within the split
inline constexpr std::uint8_t kFnSaveAlignment = 38;    // store the alignment in flash
inline constexpr std::uint8_t kFnAlignment = 39;        // offsets of the current split
inline constexpr std::uint8_t kFnSetSplit = 40;         // the split of the wall
inline constexpr std::uint8_t kFnPattern = 42;          // what a channel, or every one, shows
inline constexpr std::uint8_t kFnOverlayOff = 44;       // identify and test overlays off
inline constexpr std::uint8_t kFnInterlace = 46;        // interlaced output on/off
inline constexpr std::uint8_t kFnInputVcr = 48;         // VCR mode of a digitiser
inline constexpr std::uint8_t kFnOutputVcr = 49;        // VCR mode of the output
inline constexpr std::uint8_t kFnTest = 51;             // test overlay on/off
inline constexpr std::uint8_t kFnShowChannel = 54;      // show an input channel
inline constexpr std::uint8_t kFnFindFirst = 60;        // first flash file matching a pattern
inline constexpr std::uint8_t kFnFindNext = 61;         // next flash file matching it
inline constexpr std::uint8_t kFnOpen = 62;             // open a flash file to read or write
inline constexpr std::uint8_t kFnReadBlock = 63;        // read a block of the open file
inline constexpr std::uint8_t kFnWriteBlock = 64;       // write a block of the open file
inline constexpr std::uint8_t kFnClose = 65;            // close the open file, with its checksum
inline constexpr std::uint8_t kFnDelete = 66;           // delete a flash file
inline constexpr std::uint8_t kFnSectorStatus = 68;     // free and used bytes of a sector
inline constexpr std::uint8_t kFnCompact = 69;          // free a sector's recoverable space
inline constexpr std::uint8_t kFnRename = 70;           // rename a flash file
inline constexpr std::uint8_t kFnFilter = 71;           // output filter
inline constexpr std::uint8_t kFnFineOffset = 72;       // fine offset of a channel
inline constexpr std::uint8_t kFnReadFineOffset = 73;   // read back a channel's fine offset
inline constexpr std::uint8_t kFnSaveMap = 74;          // store the channel map in flash
inline constexpr std::uint8_t kFnKey = 75;              // a keypad key
inline constexpr std::uint8_t kFnLastSequence = 76;     // result of the last sequence
inline constexpr std::uint8_t kFnRun = 77;              // run a sequence file from flash
inline constexpr std::uint8_t kFnRunningSequence = 78;  // name of the running sequence
inline constexpr std::uint8_t kFnStop = 79;             // stop the running sequence
inline constexpr std::uint8_t kFnIdentify = 107;        // show the channel connections
inline constexpr std::uint8_t kFnOutputSystem = 117;    // video system of the output
inline constexpr std::uint8_t kFnSplitOffsets = 118;    // offsets of a given split

// The part of a unit a code acts on.
enum class FunctionGroup : std::uint8_t {
  Unit,       // identity, versions, reset, registers
  Inputs,     // the two digitisers
  Outputs,    // the encoder
  Map,        // what each output channel shows and where
  Alignment,  // split, row, column and fine offsets
  Flash,      // the flash file system
  Sequences,  // sequences the unit runs from flash
};

// What the unit sends back.
enum class ReplyData : std::uint8_t {
  None,     // no reply: the request is sent without waiting
  Fixed,    // exactly reply_data bytes
  AtLeast,  // reply_data bytes or more; the reply itself says how many follow
};

struct FunctionCode {
  std::uint8_t number;
  std::string_view name;  // FN_ name in sequence files; empty when std.inc gives none
  FunctionGroup group;
  std::uint8_t request_data;  // data bytes a request must carry for the unit to act on it
  ReplyData reply;
  std::uint8_t reply_data;  // data bytes of the reply, exactly or at least
};

namespace detail {
constexpr auto function_code_table() {
  using enum FunctionGroup;
  using enum ReplyData;
  // Request data → reply data; "(2)" is a 16-bit value, low byte first.
  return std::array<FunctionCode, 57>{{
      {kFnReset, "FN_RESET", Unit, 0, None, 0},      // no data (address 255: every unit)
      {kFnRestore, "FN_RESTORE", Unit, 1, None, 0},  // mask: 1 in, 2 out, 4 align, 8 map
      {kFnHardwareVersion, "FN_HWVERSION", Unit, 0, AtLeast, 4},  // → version, 3 switches[, FPGA]
      {kFnSoftwareVersion, "FN_SWVERSION", Unit, 0, AtLeast, 2},  // → major, minor, title + NUL
      {kFnSetId, "FN_SETID", Unit, 1, None, 0},                   // new ID; sent to every unit
      {kFnUnitActivity, "FN_ACTIVITY", Unit, 0, Fixed, 3},        // → queue depth, task (2)
      {kFnRegisterRead, "FN_REGISTER", Unit, 2, Fixed, 3},  // address, sub-address → both, value
      {kFnInputSource, "FN_DGTINP", Inputs, 2, None, 0},    // channel, source 0..2
      {kFnBrightness, "FN_DGTBRT", Inputs, 2, None, 0},     // channel, value
      {kFnContrast, "FN_DGTCNT", Inputs, 2, None, 0},       // channel, value
      {kFnSaturation, "FN_DGTSAT", Inputs, 2, None, 0},     // channel, value
      {kFnHue, "FN_DGTHUE", Inputs, 2, None, 0},            // channel, value
      {kFnInputSystem, "FN_DGTSYS", Inputs, 2, None, 0},    // channel, system 0..4
      {kFnFrameRate, "FN_FRAMERATE", Inputs, 0, Fixed, 1},  // → 50 or 60
      {kFnAutoMode, "FN_DGTAUTO", Inputs, 1, None, 0},      // 0/1
      {kFnSaveInputs, "FN_DGTSAVE", Inputs, 0, None, 0},    // no data; sent to every unit
      {kFnInputSettings, "FN_DGTGET", Inputs, 0, Fixed, 13},  // → 8 levels, 2 system, 2 input, auto
      {kFnOutputMode, "FN_ENCTYPE", Outputs, 1, None, 0},     // 0 composite, 1 S-Video
      {kFnChannelState, "FN_CHSTATE", Map, 1, Fixed, 8},  // channel → state, position, YUV, RGB
      {kFnPlaceChannel, "FN_CHPLACE", Map, 3, None, 0},   // channel, column, row
      {kFnFactoryAlign, "FN_ALGNRESET", Alignment, 0, None, 0},  // no data
      {kFnSaveOutputs, "FN_ENCSAVE", Outputs, 0, None, 0},       // no data
      {kFnOutputConfig, "FN_ENCGET", Outputs, 0, Fixed, 7},  // → encoder settings, split, monitors
      {kFnColumnOffset, "FN_ALGNCOL", Alignment, 2, None, 0},    // position, offset (signed)
      {kFnRowOffset, "FN_ALGNROW", Alignment, 2, None, 0},       // position, offset (signed)
      {kFnSaveAlignment, "FN_ALGNSAVE", Alignment, 0, None, 0},  // no data; sent to every unit
      {kFnAlignment, "FN_ALGNGET", Alignment, 0, Fixed, 32},     // → 16 row, 16 column offsets
      {kFnSetSplit, "FN_SPLIT", Alignment, 2, None, 0},      // split X, split Y; sent to every unit
      {kFnPattern, "FN_PATTERN", Map, 2, None, 0},           // channel or 255 for all, state 0..4
      {kFnOverlayOff, "FN_OVERLAY", Map, 1, None, 0},        // 0; sent to every unit
      {kFnInterlace, "FN_TXTMODE", Outputs, 1, None, 0},     // 0/1
      {kFnInputVcr, "FN_DGTVCR", Inputs, 2, None, 0},        // channel, 0/1
      {kFnOutputVcr, "FN_ENCVCR", Outputs, 1, None, 0},      // 0/1
      {kFnTest, "FN_TEST", Map, 2, None, 0},                 // 0, 0/1; sent to every unit
      {kFnShowChannel, "FN_SHOWINPUT", Inputs, 7, None, 0},  // 7 bytes, the last the channel
      {kFnFindFirst, "", Flash, 2, AtLeast, 2},   // sector, pattern + NUL → size (2), name + NUL
      {kFnFindNext, "", Flash, 2, AtLeast, 2},    // as find first; size 0 alone: no more
      {kFnOpen, "", Flash, 3, Fixed, 1},          // mode, sector, name + NUL → status
      {kFnReadBlock, "", Flash, 3, AtLeast, 3},   // count, offset (2) → status, offset (2), data
      {kFnWriteBlock, "", Flash, 2, Fixed, 1},    // offset (2), 1..32 bytes → status
      {kFnClose, "", Flash, 0, Fixed, 5},         // no data → status, checksum (2), blocks (2)
      {kFnDelete, "", Flash, 2, None, 0},         // sector, name + NUL
      {kFnSectorStatus, "", Flash, 1, Fixed, 5},  // sector → 0, free (2), used (2)
      {kFnCompact, "", Flash, 1, None, 0},        // sector
      {kFnRename, "", Flash, 4, None, 0},         // sector, old + NUL, sector, new + NUL
      {kFnFilter, "FN_FILTER", Outputs, 1, None, 0},      // 0 off, 1 horizontal, 2 vertical, 3 both
      {kFnFineOffset, "FN_FINE", Alignment, 3, None, 0},  // channel, dx, dy (signed)
      {kFnReadFineOffset, "FN_FINEGET", Alignment, 1, Fixed, 3},  // channel → channel, dx, dy
      {kFnSaveMap, "FN_MAPSAVE", Map, 0, None, 0},                // no data; sent to every unit
      {kFnKey, "FN_KEY", Sequences, 1, None, 0},                  // key code
      {kFnLastSequence, "FN_SEQERROR", Sequences, 0, Fixed, 3},   // → error, file offset (2)
      {kFnRun, "", Sequences, 2, Fixed, 1},                       // sector, name + NUL → status
      {kFnRunningSequence, "FN_SEQRUNNING", Sequences, 0, AtLeast, 1},  // → name + NUL, or one 0
      {kFnStop, "FN_SEQSTOP", Sequences, 0, None, 0},                   // no data
      {kFnIdentify, "FN_IDENTIFY", Map, 0, None, 0},              // no data; sent to every unit
      {kFnOutputSystem, "FN_ENCSYS", Outputs, 1, None, 0},        // system; 0x7F follows the input
      {kFnSplitOffsets, "FN_SPLITGET", Alignment, 2, Fixed, 34},  // split X, Y → both, 32 offsets
  }};
}
}  // namespace detail

// Every code a unit knows, in ascending order.
inline constexpr auto kFunctionCodes = detail::function_code_table();

// The row of `number`, or null for a code no unit knows.
constexpr const FunctionCode* find_function_code(std::uint8_t number) {
  for (const FunctionCode& code : kFunctionCodes) {
    if (code.number == number) return &code;
  }
  return nullptr;
}

}  // namespace qm
