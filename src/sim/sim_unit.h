// One simulated unit: its identity, versions, input and output settings, channel map,
// alignment, flash file system and sequence engine, and the answers it gives to each
// function code. Routing, polls and the wire are the wall's and the buses' affair.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "link/function_codes.h"
#include "link/video_signal.h"
#include "sim/flash_fs.h"
#include "sim/sequence_engine.h"

namespace qm::sim {

struct UnitConfig {
  std::uint8_t channels = 16;            // 9, 16 or 25
  std::uint8_t hardware_version = 0x21;  // 2.1: major in the high nibble
  std::uint8_t fpga_version = 0x31;      // 3.1
  std::uint8_t split_switch = 0;
  std::uint8_t effect_switch = 0;
  std::uint8_t select_button = 0;
  std::uint8_t software_major = 4;  // of the factory 1:SYSTEM.COM
  std::uint8_t software_minor = 2;
  std::string title = "Quadrimon unit";
  std::uint32_t compaction_ms = 300;  // how long a compaction keeps the unit busy
};

// An answer of the unit: the function code and the reply data (sent as type 0x17 from the
// unit's ID after the next poll).
struct UnitReply {
  std::uint8_t function = 0;
  std::vector<std::uint8_t> data;
};

class SimUnit final : public SequenceHost {
 public:
  // index: 0..3, also the unit's first ID. `deliver` carries messages the unit's own
  // sequences SEND to the wall (which applies them to the addressed units).
  SimUnit(int index, const UnitConfig& config,
          std::function<void(std::span<const std::uint8_t> message)> deliver);

  int index() const;
  std::uint8_t id() const;
  // Handles a request addressed to this unit or broadcast; the reply, when the function has
  // one and the request was not a broadcast.
  std::optional<UnitReply> handle(std::uint8_t function, std::span<const std::uint8_t> data,
                                  bool broadcast, std::uint64_t now_ms);
  // While busy (compacting) the unit does not answer polls.
  std::uint64_t busy_until() const;
  // Lets the sequence engine run; the time it wants to run again, if any.
  std::optional<std::uint64_t> tick(std::uint64_t now_ms);

  FlashFileSystem& flash();
  const FlashFileSystem& flash() const;
  SequenceEngine& engine();
  // Per input channel 0/1: the status byte read through function 13 (0x48/0x4A, 0x1F), as
  // given, or the byte of a signal state on the channel's current video system.
  void set_signal_status(int channel, std::uint8_t status);
  void set_signal_state(int channel, SignalState state);
  // Raw output bytes the unit's sequences produced.
  const std::vector<std::uint8_t>& output() const;

  // SequenceHost
  void sequence_send(std::span<const std::uint8_t> message) override;
  void sequence_output(std::span<const std::uint8_t> bytes) override;
  const std::vector<std::uint8_t>* sequence_file(const std::string& name) override;

 private:
  // One digitiser's settings.
  struct InputChannel {
    std::uint8_t brightness = 128;
    std::uint8_t contrast = 128;
    std::uint8_t saturation = 128;
    std::uint8_t hue = 128;
    std::uint8_t system = 0;  // 0 PAL, 1 NTSC, 2 SECAM, 3 NTSC50, 4 PAL60
    bool vcr = false;
    std::uint8_t source = 0;  // 0 composite 1, 1 composite 2, 2 S-Video
  };
  // Both digitisers and the automatic input mode; as bytes, the layout of the function 25
  // reply, which is also what 2:DGTSER.CFG holds.
  struct InputSettings {
    std::vector<InputChannel> channels = std::vector<InputChannel>(2);
    bool auto_mode = false;
    std::vector<std::uint8_t> bytes() const;
    bool read(std::span<const std::uint8_t> bytes);
  };
  // The encoder; as bytes (2:OUTPUT.CFG): mode, interlace, system | VCR << 7, filter.
  struct OutputSettings {
    std::uint8_t mode = 0;  // 0 composite, 1 S-Video
    std::uint8_t interlace = 1;
    std::uint8_t system = 0;  // 7 bits; 0x7F follows the input
    bool vcr = false;
    std::uint8_t filter = 0;  // 0 off, 1 horizontal, 2 vertical, 3 both
    std::vector<std::uint8_t> bytes() const;
    bool read(std::span<const std::uint8_t> bytes);
  };
  // What one output channel shows and where its monitor sits.
  struct MapChannel {
    std::uint8_t state = 0;       // 0 bus A, 1 bus B, 2 colour wash, 3 colour bars, 4 disabled
    std::uint8_t position = 255;  // row << 4 | column; 255 = not placed
    std::uint8_t y = 0, u = 0, v = 0;
    std::uint8_t r = 0, g = 0, b = 0;
  };
  // Every channel's entry, 8 bytes each (2:CHMAP.CFG), for the most channels a unit has.
  struct ChannelMap {
    std::vector<MapChannel> channels;
    ChannelMap();
    std::vector<std::uint8_t> bytes() const;
    bool read(std::span<const std::uint8_t> bytes);
  };
  // The split, the row and column offsets kept for every split value, and the fine offset of
  // every channel. As bytes (2:ALIGN.CFG): split X, split Y, per split value 1..10 its row
  // then its column offsets, then dx, dy per channel.
  struct Alignment {
    std::uint8_t split_x = 1;
    std::uint8_t split_y = 1;
    std::vector<std::int8_t> rows;     // [split - 1][position]
    std::vector<std::int8_t> columns;  // [split - 1][position]
    std::vector<std::int8_t> dx;       // [channel]
    std::vector<std::int8_t> dy;
    Alignment();
    std::int8_t& row(std::uint8_t split, std::size_t position);
    std::int8_t& column(std::uint8_t split, std::size_t position);
    std::vector<std::uint8_t> bytes() const;
    bool read(std::span<const std::uint8_t> bytes);
  };

  using Bytes = std::vector<std::uint8_t>;

  // The reply data of a request, or none when it has no reply (or is malformed); each part of
  // the unit answers the codes of its group.
  std::optional<Bytes> respond(const FunctionCode& code, std::span<const std::uint8_t> data,
                               std::uint64_t now_ms);
  std::optional<Bytes> respond_unit(std::uint8_t function, std::span<const std::uint8_t> data,
                                    std::uint64_t now_ms);
  std::optional<Bytes> respond_inputs(std::uint8_t function, std::span<const std::uint8_t> data);
  std::optional<Bytes> respond_outputs(std::uint8_t function, std::span<const std::uint8_t> data);
  std::optional<Bytes> respond_map(std::uint8_t function, std::span<const std::uint8_t> data);
  std::optional<Bytes> respond_alignment(std::uint8_t function, std::span<const std::uint8_t> data);
  std::optional<Bytes> respond_flash(std::uint8_t function, std::span<const std::uint8_t> data,
                                     std::uint64_t now_ms);
  std::optional<Bytes> respond_sequences(std::uint8_t function, std::span<const std::uint8_t> data,
                                         std::uint64_t now_ms);
  Bytes channel_state(std::uint8_t channel) const;
  Bytes split_offsets(std::uint8_t split_x, std::uint8_t split_y);
  Bytes current_offsets();

  // Power-up and reset: settings from the configuration files, version from the firmware.
  void reset(std::uint64_t now_ms);
  // Reloads the settings named by the mask from their files; with `factory`, a missing or
  // unreadable file gives factory settings instead of leaving them as they are.
  void restore(std::uint8_t mask, bool factory);
  void save(const char* name, const Bytes& bytes);
  void read_version();
  // Starts a file of a sector on the engine; false when the file is absent.
  bool start_sequence(int sector, const std::string& name, std::uint64_t now_ms);
  void stop_sequence();
  // The sequence the key map names for a key, if any.
  std::optional<std::string> mapped_sequence(std::uint8_t key) const;

  int index_;
  UnitConfig config_;
  std::function<void(std::span<const std::uint8_t>)> deliver_;
  std::uint8_t id_;
  std::uint8_t software_major_ = 0;
  std::uint8_t software_minor_ = 0;
  std::uint64_t busy_until_ = 0;
  InputSettings inputs_;
  // Per digitiser: a fixed status byte, or a state whose byte follows the channel's system.
  std::vector<std::variant<std::uint8_t, SignalState>> signal_;
  std::uint8_t shown_channel_ = 0;
  OutputSettings outputs_;
  ChannelMap map_;
  Alignment alignment_;
  bool identify_ = false;  // channel connections shown
  bool test_ = false;      // test overlay shown
  std::vector<std::uint8_t> output_;
  FlashFileSystem flash_;
  SequenceEngine engine_;
};

}  // namespace qm::sim
