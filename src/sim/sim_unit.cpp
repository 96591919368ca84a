// One simulated unit: the settings it keeps, what it stores in and reloads from its flash,
// and its answer to every function code.
#include "sim/sim_unit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <utility>

#include "link/function_codes.h"
#include "panels/alignment.h"

namespace qm::sim {
namespace {

// Bits of the restore mask of function 2.
constexpr std::uint8_t kRestoreInputs = 0x01;     // 2:DGTSER.CFG
constexpr std::uint8_t kRestoreOutputs = 0x02;    // 2:OUTPUT.CFG
constexpr std::uint8_t kRestoreAlignment = 0x04;  // 2:ALIGN.CFG
constexpr std::uint8_t kRestoreMap = 0x08;        // 2:CHMAP.CFG
constexpr std::uint8_t kRestoreAll = 0x0F;

constexpr int kSystemSector = 1;
constexpr int kConfigSector = 2;
constexpr int kSequenceSector = 3;
constexpr char kFirmwareFile[] = "SYSTEM.COM";
constexpr char kInputsFile[] = "DGTSER.CFG";
constexpr char kOutputsFile[] = "OUTPUT.CFG";
constexpr char kAlignmentFile[] = "ALIGN.CFG";
constexpr char kMapFile[] = "CHMAP.CFG";
constexpr char kStartFile[] = "$START.SFB";
constexpr char kKeyMapFile[] = "$IRMAP.TXT";

// The firmware image: signature, "BIN", version and the FPGA versions it runs on.
constexpr std::size_t kFirmwareBytes = 1024;
constexpr std::uint8_t kFirmwareSignature0 = 0xF3;  // first signature byte
constexpr std::uint8_t kFirmwareSignature1 = 0xC3;  // second signature byte
constexpr std::size_t kFirmwareTagAt = 4;           // "BIN"
constexpr std::size_t kFirmwareMajorAt = 14;
constexpr std::size_t kFirmwareMinorAt = 15;
constexpr std::size_t kFirmwareMaskAt = 22;  // 16-bit: bit n - 1 = runs on FPGA major n
constexpr std::size_t kFirmwarePatternAt = 24;

constexpr std::size_t kInputChannels = 2;
constexpr std::size_t kMaxChannels = 25;
constexpr std::uint8_t kMaxSplit = 10;
constexpr std::size_t kOffsetPositions = 16;  // per split value; 10 used
constexpr std::uint8_t kGridSize = 10;        // monitors per row and per column
constexpr std::uint8_t kNotPlaced = 255;      // position, or state in a function 31 reply
constexpr std::uint8_t kAllChannels = 255;    // first byte of function 42
constexpr std::uint8_t kDisabledState = 4;    // highest channel state
constexpr std::uint8_t kVcrBit = 0x80;        // in a system byte
constexpr std::uint8_t kSystemBits = 0x7F;

// The input status registers read through function 13.

// Input systems that run at 60 fields per second.
constexpr std::uint8_t kSystemNtsc = 1;
constexpr std::uint8_t kSystemPal60 = 4;

constexpr std::uint16_t kTaskSequence = 0x0001;  // background task: a sequence runs
constexpr std::uint8_t kCtrlZ = 0x1A;            // ends a text file

std::uint8_t lo(unsigned value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t hi(unsigned value) {
  return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}
std::uint8_t u8(std::int8_t value) {
  return static_cast<std::uint8_t>(value);
}
std::int8_t s8(std::uint8_t value) {
  return static_cast<std::int8_t>(value);
}
std::uint8_t flag(bool on) {
  return on ? 1 : 0;
}
bool valid_split(std::uint8_t split) {
  return split >= 1 && split <= kMaxSplit;
}

// A NUL-terminated name starting at `at`; the name runs to the end when no NUL follows.
// `next` receives the position after the NUL, or none when there was none.
std::string name_at(std::span<const std::uint8_t> data, std::size_t at,
                    std::optional<std::size_t>* next = nullptr) {
  const auto begin = data.begin() + static_cast<std::ptrdiff_t>(std::min(at, data.size()));
  const auto end = std::find(begin, data.end(), std::uint8_t{0});
  if (next != nullptr) {
    *next = end == data.end()
                ? std::nullopt
                : std::optional<std::size_t>(static_cast<std::size_t>(end - data.begin()) + 1);
  }
  return std::string(begin, end);
}

void append_name(std::vector<std::uint8_t>& bytes, const std::string& name) {
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.push_back(0);
}

// The factory firmware image: its version, the FPGA major version it runs on, and a fixed
// filler so that transfers of it have something to check.
std::vector<std::uint8_t> factory_firmware(const UnitConfig& config) {
  std::vector<std::uint8_t> image(kFirmwareBytes, 0);
  image[0] = kFirmwareSignature0;
  image[1] = kFirmwareSignature1;
  image[kFirmwareTagAt] = 'B';
  image[kFirmwareTagAt + 1] = 'I';
  image[kFirmwareTagAt + 2] = 'N';
  image[kFirmwareMajorAt] = config.software_major;
  image[kFirmwareMinorAt] = config.software_minor;
  const unsigned fpga_major = config.fpga_version >> 4;
  const unsigned mask = fpga_major > 0 ? 1u << (fpga_major - 1) : 0u;
  image[kFirmwareMaskAt] = lo(mask);
  image[kFirmwareMaskAt + 1] = hi(mask);
  for (std::size_t i = kFirmwarePatternAt; i < image.size(); ++i)
    image[i] = lo(static_cast<unsigned>(i * 37 + 11));
  return image;
}

// The key code of a key map line "%d = %s" and its file name; none for comments and lines
// that do not read as an entry.
std::optional<std::pair<int, std::string>> key_map_entry(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && blank(line.front()))
    line.remove_prefix(1);
  if (line.empty() || line.front() == ';') return std::nullopt;
  int key = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), key);
  if (error != std::errc()) return std::nullopt;
  line.remove_prefix(static_cast<std::size_t>(end - line.data()));
  while (!line.empty() && blank(line.front()))
    line.remove_prefix(1);
  if (line.empty() || line.front() != '=') return std::nullopt;
  line.remove_prefix(1);
  while (!line.empty() && blank(line.front()))
    line.remove_prefix(1);
  std::size_t length = 0;
  while (length < line.size() && !blank(line[length]))
    ++length;
  if (length == 0) return std::nullopt;
  return std::pair{key, std::string(line.substr(0, length))};
}

}  // namespace

// --- Settings as bytes --------------------------------------------------------------------

std::vector<std::uint8_t> SimUnit::InputSettings::bytes() const {
  Bytes out;
  for (const InputChannel& c : channels) {
    out.insert(out.end(), {c.brightness, c.contrast, c.saturation, c.hue});
  }
  for (const InputChannel& c : channels)
    out.push_back(static_cast<std::uint8_t>(c.system | (c.vcr ? kVcrBit : 0)));
  for (const InputChannel& c : channels)
    out.push_back(c.source);
  out.push_back(flag(auto_mode));
  return out;
}

bool SimUnit::InputSettings::read(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 13) return false;
  for (std::size_t i = 0; i < kInputChannels; ++i) {
    InputChannel& c = channels[i];
    c.brightness = bytes[4 * i];
    c.contrast = bytes[4 * i + 1];
    c.saturation = bytes[4 * i + 2];
    c.hue = bytes[4 * i + 3];
    c.system = bytes[8 + i] & kSystemBits;
    c.vcr = (bytes[8 + i] & kVcrBit) != 0;
    c.source = bytes[10 + i];
  }
  auto_mode = bytes[12] != 0;
  return true;
}

std::vector<std::uint8_t> SimUnit::OutputSettings::bytes() const {
  return {mode, interlace, static_cast<std::uint8_t>(system | (vcr ? kVcrBit : 0)), filter};
}

bool SimUnit::OutputSettings::read(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 4) return false;
  mode = bytes[0];
  interlace = bytes[1];
  system = bytes[2] & kSystemBits;
  vcr = (bytes[2] & kVcrBit) != 0;
  filter = bytes[3];
  return true;
}

SimUnit::ChannelMap::ChannelMap() : channels(kMaxChannels) {}

std::vector<std::uint8_t> SimUnit::ChannelMap::bytes() const {
  Bytes out;
  for (const MapChannel& c : channels)
    out.insert(out.end(), {c.state, c.position, c.y, c.u, c.v, c.r, c.g, c.b});
  return out;
}

bool SimUnit::ChannelMap::read(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 8 * kMaxChannels) return false;
  for (std::size_t i = 0; i < kMaxChannels; ++i) {
    const auto e = bytes.subspan(8 * i, 8);
    channels[i] = MapChannel{e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7]};
  }
  return true;
}

SimUnit::Alignment::Alignment()
    : rows(kMaxSplit * kOffsetPositions, 0),
      columns(kMaxSplit * kOffsetPositions, 0),
      dx(kMaxChannels, 0),
      dy(kMaxChannels, 0) {}

std::int8_t& SimUnit::Alignment::row(std::uint8_t split, std::size_t position) {
  return rows[(split - 1u) * kOffsetPositions + position];
}

std::int8_t& SimUnit::Alignment::column(std::uint8_t split, std::size_t position) {
  return columns[(split - 1u) * kOffsetPositions + position];
}

std::vector<std::uint8_t> SimUnit::Alignment::bytes() const {
  Bytes out{split_x, split_y};
  for (std::size_t split = 0; split < kMaxSplit; ++split) {
    const auto at = static_cast<std::ptrdiff_t>(split * kOffsetPositions);
    const auto count = static_cast<std::ptrdiff_t>(kOffsetPositions);
    std::transform(rows.begin() + at, rows.begin() + at + count, std::back_inserter(out), u8);
    std::transform(columns.begin() + at, columns.begin() + at + count, std::back_inserter(out), u8);
  }
  for (std::size_t c = 0; c < kMaxChannels; ++c)
    out.insert(out.end(), {u8(dx[c]), u8(dy[c])});
  return out;
}

bool SimUnit::Alignment::read(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 2 + 2 * kMaxSplit * kOffsetPositions + 2 * kMaxChannels) return false;
  if (!valid_split(bytes[0]) || !valid_split(bytes[1])) return false;
  split_x = bytes[0];
  split_y = bytes[1];
  std::size_t at = 2;
  for (std::size_t split = 0; split < kMaxSplit; ++split) {
    for (std::size_t p = 0; p < kOffsetPositions; ++p)
      rows[split * kOffsetPositions + p] = s8(bytes[at++]);
    for (std::size_t p = 0; p < kOffsetPositions; ++p)
      columns[split * kOffsetPositions + p] = s8(bytes[at++]);
  }
  for (std::size_t c = 0; c < kMaxChannels; ++c) {
    dx[c] = s8(bytes[at++]);
    dy[c] = s8(bytes[at++]);
  }
  return true;
}

// --- The unit -----------------------------------------------------------------------------

SimUnit::SimUnit(int index, const UnitConfig& config,
                 std::function<void(std::span<const std::uint8_t> message)> deliver)
    : index_(index),
      config_(config),
      deliver_(std::move(deliver)),
      id_(static_cast<std::uint8_t>(index)),
      signal_(kInputChannels, SignalState::kInSync),
      engine_(*this) {
  config_.channels = std::min<std::uint8_t>(config_.channels, kMaxChannels);
  // A unit leaves the factory with its channels where the wall's factory map shows them.
  if (index_ >= 0 && index_ < 4)
    for (int k = 1; k <= config_.channels; ++k) {
      const int cell = default_cell(index_, k, config_.channels);
      map_.channels[static_cast<std::size_t>(k - 1)].position =
          static_cast<std::uint8_t>((cell / kGridSide) << 4 | cell % kGridSide);
    }
  flash_.put_file(kSystemSector, kFirmwareFile, factory_firmware(config_));
  read_version();
}

int SimUnit::index() const {
  return index_;
}

std::uint8_t SimUnit::id() const {
  return id_;
}

std::uint64_t SimUnit::busy_until() const {
  return busy_until_;
}

FlashFileSystem& SimUnit::flash() {
  return flash_;
}

const FlashFileSystem& SimUnit::flash() const {
  return flash_;
}

SequenceEngine& SimUnit::engine() {
  return engine_;
}

void SimUnit::set_signal_status(int channel, std::uint8_t status) {
  if (channel >= 0 && static_cast<std::size_t>(channel) < kInputChannels)
    signal_[static_cast<std::size_t>(channel)] = status;
}

void SimUnit::set_signal_state(int channel, SignalState state) {
  if (channel >= 0 && static_cast<std::size_t>(channel) < kInputChannels)
    signal_[static_cast<std::size_t>(channel)] = state;
}

const std::vector<std::uint8_t>& SimUnit::output() const {
  return output_;
}

std::optional<std::uint64_t> SimUnit::tick(std::uint64_t now_ms) {
  if (!engine_.running()) return std::nullopt;
  return engine_.run(now_ms);
}

void SimUnit::sequence_send(std::span<const std::uint8_t> message) {
  if (deliver_) deliver_(message);
}

void SimUnit::sequence_output(std::span<const std::uint8_t> bytes) {
  output_.insert(output_.end(), bytes.begin(), bytes.end());
}

const std::vector<std::uint8_t>* SimUnit::sequence_file(const std::string& name) {
  // CALL names a sequence without its extension (at most 8 characters): SEQ1 is SEQ1.SFB.
  if (const auto* exact = flash_.file(kSequenceSector, name)) return exact;
  return flash_.file(kSequenceSector, name + ".SFB");
}

std::optional<UnitReply> SimUnit::handle(std::uint8_t function, std::span<const std::uint8_t> data,
                                         bool broadcast, std::uint64_t now_ms) {
  // A code the unit does not know, or a request too short to act on, is ignored.
  const FunctionCode* code = find_function_code(function);
  if (code == nullptr || data.size() < code->request_data) return std::nullopt;
  std::optional<Bytes> reply = respond(*code, data, now_ms);
  if (!reply || broadcast) return std::nullopt;
  return UnitReply{function, std::move(*reply)};
}

std::optional<SimUnit::Bytes> SimUnit::respond(const FunctionCode& code,
                                               std::span<const std::uint8_t> data,
                                               std::uint64_t now_ms) {
  switch (code.group) {
    case FunctionGroup::Unit:
      return respond_unit(code.number, data, now_ms);
    case FunctionGroup::Inputs:
      return respond_inputs(code.number, data);
    case FunctionGroup::Outputs:
      return respond_outputs(code.number, data);
    case FunctionGroup::Map:
      return respond_map(code.number, data);
    case FunctionGroup::Alignment:
      return respond_alignment(code.number, data);
    case FunctionGroup::Flash:
      return respond_flash(code.number, data, now_ms);
    case FunctionGroup::Sequences:
      return respond_sequences(code.number, data, now_ms);
  }
  return std::nullopt;
}

// Identity, versions, reset and the registers of the devices inside.
std::optional<SimUnit::Bytes> SimUnit::respond_unit(std::uint8_t function,
                                                    std::span<const std::uint8_t> data,
                                                    std::uint64_t now_ms) {
  switch (function) {
    case kFnReset:
      reset(now_ms);
      return std::nullopt;
    case kFnRestore:
      restore(data[0], false);
      return std::nullopt;
    case kFnHardwareVersion:
      return Bytes{config_.hardware_version, config_.split_switch, config_.effect_switch,
                   config_.select_button, config_.fpga_version};
    case kFnSoftwareVersion: {
      Bytes out{software_major_, software_minor_};
      append_name(out, config_.title);
      return out;
    }
    case kFnSetId:
      id_ = data[0];
      return std::nullopt;
    case kFnUnitActivity: {
      const unsigned task = engine_.running() ? kTaskSequence : 0u;
      return Bytes{0, lo(task), hi(task)};
    }
    case kFnRegisterRead: {
      std::uint8_t value = 0;
      for (std::size_t c = 0; c < kInputChannels; ++c) {
        if (data[0] != kSignalRegister[c] || data[1] != kSignalRegisterSub) continue;
        const auto* state = std::get_if<SignalState>(&signal_[c]);
        value = state != nullptr ? signal_status_byte(*state, inputs_.channels[c].system)
                                 : std::get<std::uint8_t>(signal_[c]);
      }
      return Bytes{data[0], data[1], value};
    }
    default:
      return std::nullopt;
  }
}

// The two digitisers: (channel, value) setters, the frame rate and the settings as stored.
std::optional<SimUnit::Bytes> SimUnit::respond_inputs(std::uint8_t function,
                                                      std::span<const std::uint8_t> data) {
  // The digitiser a (channel, value) request names, or null.
  const auto input = [&]() -> InputChannel* {
    return data[0] < kInputChannels ? &inputs_.channels[data[0]] : nullptr;
  };
  switch (function) {
    case kFnInputSource:
      if (InputChannel* c = input()) c->source = data[1];
      return std::nullopt;
    case kFnBrightness:
      if (InputChannel* c = input()) c->brightness = data[1];
      return std::nullopt;
    case kFnContrast:
      if (InputChannel* c = input()) c->contrast = data[1];
      return std::nullopt;
    case kFnSaturation:
      if (InputChannel* c = input()) c->saturation = data[1];
      return std::nullopt;
    case kFnHue:
      if (InputChannel* c = input()) c->hue = data[1];
      return std::nullopt;
    case kFnInputSystem:
      if (InputChannel* c = input()) c->system = data[1] & kSystemBits;
      return std::nullopt;
    case kFnInputVcr:
      if (InputChannel* c = input()) c->vcr = data[1] != 0;
      return std::nullopt;
    case kFnAutoMode:
      inputs_.auto_mode = data[0] != 0;
      return std::nullopt;
    case kFnShowChannel:
      shown_channel_ = data[6];
      return std::nullopt;
    case kFnFrameRate: {
      const std::uint8_t system = inputs_.channels[0].system;
      return Bytes{
          static_cast<std::uint8_t>(system == kSystemNtsc || system == kSystemPal60 ? 60 : 50)};
    }
    case kFnSaveInputs:
      save(kInputsFile, inputs_.bytes());
      return std::nullopt;
    case kFnInputSettings:
      return inputs_.bytes();
    default:
      return std::nullopt;
  }
}

// The encoder.
std::optional<SimUnit::Bytes> SimUnit::respond_outputs(std::uint8_t function,
                                                       std::span<const std::uint8_t> data) {
  switch (function) {
    case kFnOutputMode:
      outputs_.mode = data[0];
      return std::nullopt;
    case kFnInterlace:
      outputs_.interlace = data[0];
      return std::nullopt;
    case kFnFilter:
      outputs_.filter = data[0];
      return std::nullopt;
    case kFnOutputSystem:
      outputs_.system = data[0] & kSystemBits;
      return std::nullopt;
    case kFnOutputVcr:
      outputs_.vcr = data[0] != 0;
      return std::nullopt;
    case kFnSaveOutputs:
      save(kOutputsFile, outputs_.bytes());
      return std::nullopt;
    case kFnOutputConfig:
      return Bytes{outputs_.mode,
                   outputs_.interlace,
                   alignment_.split_x,
                   alignment_.split_y,
                   static_cast<std::uint8_t>(outputs_.system | (outputs_.vcr ? kVcrBit : 0)),
                   config_.channels,
                   outputs_.filter};
    default:
      return std::nullopt;
  }
}

// The channel map and the overlays.
std::optional<SimUnit::Bytes> SimUnit::respond_map(std::uint8_t function,
                                                   std::span<const std::uint8_t> data) {
  // The output channel a request names, or null.
  const auto channel = [&]() -> MapChannel* {
    return data[0] < config_.channels ? &map_.channels[data[0]] : nullptr;
  };
  switch (function) {
    case kFnChannelState:
      return channel_state(data[0]);
    case kFnPlaceChannel:
      if (MapChannel* c = channel(); c != nullptr && data[1] < kGridSize && data[2] < kGridSize)
        c->position = static_cast<std::uint8_t>(data[2] << 4 | data[1]);
      return std::nullopt;
    case kFnPattern:
      if (data[1] > kDisabledState) return std::nullopt;
      if (data[0] == kAllChannels) {
        for (MapChannel& c : map_.channels)
          c.state = data[1];
      } else if (MapChannel* c = channel()) {
        c->state = data[1];
      }
      return std::nullopt;
    case kFnIdentify:
      identify_ = true;
      return std::nullopt;
    case kFnOverlayOff:
      identify_ = false;
      test_ = false;
      return std::nullopt;
    case kFnTest:
      test_ = data[1] != 0;
      return std::nullopt;
    case kFnSaveMap:
      save(kMapFile, map_.bytes());
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The split and the row, column and fine offsets.
std::optional<SimUnit::Bytes> SimUnit::respond_alignment(std::uint8_t function,
                                                         std::span<const std::uint8_t> data) {
  switch (function) {
    case kFnSetSplit:
      if (valid_split(data[0]) && valid_split(data[1])) {
        alignment_.split_x = data[0];
        alignment_.split_y = data[1];
      }
      return std::nullopt;
    case kFnColumnOffset:
      if (data[0] < kOffsetPositions) alignment_.column(alignment_.split_x, data[0]) = s8(data[1]);
      return std::nullopt;
    case kFnRowOffset:
      if (data[0] < kOffsetPositions) alignment_.row(alignment_.split_y, data[0]) = s8(data[1]);
      return std::nullopt;
    case kFnFineOffset:
      if (data[0] < config_.channels) {
        alignment_.dx[data[0]] = s8(data[1]);
        alignment_.dy[data[0]] = s8(data[2]);
      }
      return std::nullopt;
    case kFnReadFineOffset:
      if (data[0] >= config_.channels) return Bytes{data[0], 0, 0};
      return Bytes{data[0], u8(alignment_.dx[data[0]]), u8(alignment_.dy[data[0]])};
    case kFnSaveAlignment:
      save(kAlignmentFile, alignment_.bytes());
      return std::nullopt;
    case kFnFactoryAlign:
      alignment_ = Alignment();
      flash_.remove(kConfigSector, kAlignmentFile);
      return std::nullopt;
    case kFnSplitOffsets:
      return split_offsets(data[0], data[1]);
    case kFnAlignment:
      return current_offsets();
    default:
      return std::nullopt;
  }
}

// The flash file protocol.
std::optional<SimUnit::Bytes> SimUnit::respond_flash(std::uint8_t function,
                                                     std::span<const std::uint8_t> data,
                                                     std::uint64_t now_ms) {
  const int sector = data.empty() ? 0 : data[0];
  switch (function) {
    case kFnFindFirst:
    case kFnFindNext: {
      const std::string pattern = name_at(data, 1);
      const auto entry = function == kFnFindFirst ? flash_.find_first(sector, pattern)
                                                  : flash_.find_next(sector, pattern);
      if (!entry) {
        // A unit without a key map answers for it as for an empty file: the program then
        // writes a new one.
        if (function == kFnFindFirst && sector == kConfigSector && pattern == kKeyMapFile) {
          Bytes out{0, 0};
          append_name(out, kKeyMapFile);
          return out;
        }
        return Bytes{0, 0};
      }
      Bytes out{lo(entry->size), hi(entry->size)};
      append_name(out, entry->name);
      return out;
    }
    case kFnOpen:
      return Bytes{flash_.open(data[0], data[1], name_at(data, 2))};
    case kFnReadBlock: {
      const auto block =
          flash_.read_block(data[0], static_cast<std::uint16_t>(data[1] | data[2] << 8));
      Bytes out{flag(block.has_value()), data[1], data[2]};
      if (block) out.insert(out.end(), block->begin(), block->end());
      return out;
    }
    case kFnWriteBlock: {
      const auto offset = static_cast<std::uint16_t>(data[0] | data[1] << 8);
      return Bytes{flag(flash_.write_block(offset, data.subspan(2)))};
    }
    case kFnClose: {
      const FlashCloseResult result = flash_.close();
      return Bytes{result.status, lo(result.checksum), hi(result.checksum), lo(result.blocks),
                   hi(result.blocks)};
    }
    case kFnDelete:
      flash_.remove(sector, name_at(data, 1));
      return std::nullopt;
    case kFnSectorStatus: {
      // Both counts travel as 16 bits; the sector header keeps free below 65 536.
      const FlashSpace space = flash_.space(sector);
      return Bytes{0, lo(space.free), hi(space.free), lo(space.used), hi(space.used)};
    }
    case kFnCompact:
      flash_.compact(sector);
      busy_until_ = now_ms + config_.compaction_ms;
      return std::nullopt;
    case kFnRename: {
      std::optional<std::size_t> next;
      const std::string from = name_at(data, 1, &next);
      if (!next || *next >= data.size()) return std::nullopt;
      flash_.rename(sector, from, data[*next], name_at(data, *next + 1));
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

// Sequences: running a file from flash, stopping it, keys, and what ran last.
std::optional<SimUnit::Bytes> SimUnit::respond_sequences(std::uint8_t function,
                                                         std::span<const std::uint8_t> data,
                                                         std::uint64_t now_ms) {
  switch (function) {
    case kFnRun:
      return Bytes{flag(start_sequence(data[0], name_at(data, 1), now_ms))};
    case kFnStop:
      stop_sequence();
      return std::nullopt;
    case kFnKey:
      engine_.key(data[0], now_ms);
      if (const auto name = mapped_sequence(data[0]))
        start_sequence(kSequenceSector, *name, now_ms);
      return std::nullopt;
    case kFnLastSequence: {
      const unsigned offset = engine_.last_offset();
      return Bytes{static_cast<std::uint8_t>(engine_.last_result()), lo(offset), hi(offset)};
    }
    case kFnRunningSequence: {
      if (!engine_.running()) return Bytes{0};
      Bytes out;
      append_name(out, engine_.file_name());
      return out;
    }
    default:
      return std::nullopt;
  }
}

// Function 31: state (255 when not placed), position, YUV and RGB wash.
std::vector<std::uint8_t> SimUnit::channel_state(std::uint8_t channel) const {
  if (channel >= config_.channels) return {kNotPlaced, kNotPlaced, 0, 0, 0, 0, 0, 0};
  const MapChannel& c = map_.channels[channel];
  const std::uint8_t state = c.position == kNotPlaced ? kNotPlaced : c.state;
  return {state, c.position, c.y, c.u, c.v, c.r, c.g, c.b};
}

// Function 118: the split asked for, its row offsets (16), its column offsets (16). A split
// outside 1..10 keeps no offsets and reads as zeros.
std::vector<std::uint8_t> SimUnit::split_offsets(std::uint8_t split_x, std::uint8_t split_y) {
  Bytes out{split_x, split_y};
  for (std::size_t p = 0; p < kOffsetPositions; ++p)
    out.push_back(valid_split(split_y) ? u8(alignment_.row(split_y, p)) : 0);
  for (std::size_t p = 0; p < kOffsetPositions; ++p)
    out.push_back(valid_split(split_x) ? u8(alignment_.column(split_x, p)) : 0);
  return out;
}

// Function 39: the row offsets of the current split Y, then the column offsets of split X.
std::vector<std::uint8_t> SimUnit::current_offsets() {
  Bytes out = split_offsets(alignment_.split_x, alignment_.split_y);
  out.erase(out.begin(), out.begin() + 2);
  return out;
}

void SimUnit::reset(std::uint64_t now_ms) {
  stop_sequence();
  identify_ = false;
  test_ = false;
  restore(kRestoreAll, true);
  read_version();
  const auto* start = flash_.file(kConfigSector, kStartFile);
  if (start != nullptr && !start->empty()) start_sequence(kConfigSector, kStartFile, now_ms);
}

void SimUnit::restore(std::uint8_t mask, bool factory) {
  // Reloads one part of the settings from its file; the factory part when asked and the file
  // is missing or unreadable.
  const auto reload = [&](std::uint8_t bit, const char* name, auto& settings) {
    if ((mask & bit) == 0) return;
    using Settings = std::remove_reference_t<decltype(settings)>;
    Settings loaded;
    const auto* file = flash_.file(kConfigSector, name);
    if (file != nullptr && loaded.read(*file)) {
      settings = std::move(loaded);
    } else if (factory) {
      settings = Settings();
    }
  };
  reload(kRestoreInputs, kInputsFile, inputs_);
  reload(kRestoreOutputs, kOutputsFile, outputs_);
  reload(kRestoreAlignment, kAlignmentFile, alignment_);
  reload(kRestoreMap, kMapFile, map_);
}

void SimUnit::save(const char* name, const Bytes& bytes) {
  flash_.put_file(kConfigSector, name, bytes);
}

// The firmware's version from 1:SYSTEM.COM; 0.0 when it is missing or not a firmware image.
void SimUnit::read_version() {
  software_major_ = 0;
  software_minor_ = 0;
  const auto* image = flash_.file(kSystemSector, kFirmwareFile);
  if (image == nullptr || image->size() <= kFirmwareMinorAt) return;
  if ((*image)[0] != kFirmwareSignature0 || (*image)[1] != kFirmwareSignature1) return;
  software_major_ = (*image)[kFirmwareMajorAt];
  software_minor_ = (*image)[kFirmwareMinorAt];
}

bool SimUnit::start_sequence(int sector, const std::string& name, std::uint64_t now_ms) {
  const auto* image = flash_.file(sector, name);
  if (image == nullptr) return false;
  engine_.start(name, *image, now_ms);
  return true;
}

void SimUnit::stop_sequence() {
  if (engine_.running()) engine_.stop();
}

// Looks the key up in 2:$IRMAP.TXT (lines "%d = %s", ';' comments, Ctrl-Z ends the text);
// the first entry for the key names the file.
std::optional<std::string> SimUnit::mapped_sequence(std::uint8_t key) const {
  const auto* file = flash_.file(kConfigSector, kKeyMapFile);
  if (file == nullptr) return std::nullopt;
  const auto end = std::find(file->begin(), file->end(), kCtrlZ);
  const std::string text(file->begin(), end);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t line_end = text.find('\n', at);
    if (line_end == std::string::npos) line_end = text.size();
    const auto entry = key_map_entry(std::string_view(text).substr(at, line_end - at));
    // Key codes are signed bytes; the key arrives as the same byte unsigned.
    if (entry && entry->first >= -128 && entry->first <= 255 &&
        lo(static_cast<unsigned>(entry->first)) == key) {
      return entry->second;
    }
    at = line_end + 1;
  }
  return std::nullopt;
}

}  // namespace qm::sim
