// The video input panel without its window: the mirror of a unit's two digitisers (picture
// controls, source, video system, VCR mode) and its automatic input mode, what the unit's
// replies put in it, the signal state of each input, the messages each control sends, and the
// sequence-file lines the panel copies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/unit_frame.h"
#include "link/video_signal.h"
#include "panels/panel_services.h"

namespace qm {

class Link;

inline constexpr const char* kTitleVideoInput = " Video Input Settings";
inline constexpr const char* kTitleGangInput = " Gang input";
inline constexpr const char* kGangInputQuestion = " Link all settings to unit 0";
inline constexpr const char* kInputSettingsFile = "DGTSER.CFG";  // in sector 2
inline constexpr int kInputChannels = 2;
inline constexpr int kStatusRefreshMs = 2000;
inline constexpr int kRestoreWaitMs = 300;
inline constexpr std::uint8_t kRestoreInputs = 1;  // function 2's mask: the inputs

// One picture control of a channel, in the order of their function codes 17..20.
enum class PictureControl { kBrightness = 0, kContrast = 1, kSaturation = 2, kHue = 3 };
inline constexpr int kPictureControls = 4;

struct InputChannel {
  std::array<int, kPictureControls> picture{200, 200, 200, 128};  // brightness .. hue, 0..255
  int input = 0;   // 0 Composite 1, 1 Composite 2, 2 S-Video
  int system = 0;  // 0 PAL-N, 1 NTSC-N, 2 SECAM, 3 NTSC (50Hz), 4 PAL (60Hz)
  bool vcr = false;
};

struct VideoInputSettings {
  std::array<InputChannel, kInputChannels> channels;
  bool auto_mode = false;
};

// What a reading did to the mirror.
enum class ReadResult {
  kNoReply,  // the defaults were put in; the operator is told " Error reading remote states"
  kTaken,    // the unit's settings are in the mirror
  kIgnored,  // a reply of another length: nothing changed
};
// Applies the reply to function 25 (none: no reply) to the mirror.
ReadResult apply_input_reply(VideoInputSettings& settings, const std::optional<UnitFrame>& reply);
// The systems and VCR modes of a function 25 reply (the automatic mode may have changed them);
// false when the reply does not hold them.
bool apply_input_systems(VideoInputSettings& settings, const UnitFrame& reply);

// The messages of the controls.
PanelMessage picture_message(int channel, PictureControl control, int value);
PanelMessage input_message(int channel, int input);
PanelMessage system_message(int channel, int system);
PanelMessage vcr_message(int channel, bool on);
PanelMessage auto_message(bool on);
PanelMessage show_channel_message(int channel);
PanelMessage save_inputs_message();     // to every unit
PanelMessage restore_inputs_message();  // function 2 with the inputs' mask
// "Default Ch n": the channel's picture controls back to their defaults; the four messages.
std::vector<PanelMessage> default_channel(VideoInputSettings& settings, int channel);
// After "*": every unit takes the panel's systems, picture controls and sources.
std::vector<PanelMessage> gang_input_messages(const VideoInputSettings& settings);
// The clipboard text of "Copy" for the unit shown (-1: all units).
std::string input_clipboard_text(const VideoInputSettings& settings, int unit);

// The signal label of each input.
struct SignalLabel {
  const char* text;
  std::optional<std::array<int, 3>> colour;  // RGB; none for the standard background
};
SignalLabel signal_label(SignalState state);

// What one status refresh read from the unit, on the link's thread.
struct SignalReading {
  std::optional<UnitFrame> settings;  // function 25, asked only in automatic mode
  bool settings_asked = false;
  std::optional<std::uint8_t> status[kInputChannels];  // function 13, per channel
};
SignalReading read_signal(Link& link, std::uint8_t address, bool auto_mode);

// The panel's state between the window and the unit: the mirror, the signal state shown for
// each input, and the channel "Show Ch." last showed on each unit.
class VideoInputPanel {
 public:
  VideoInputSettings settings;
  std::array<SignalState, kInputChannels> shown{SignalState::kUndetermined,
                                                SignalState::kUndetermined};

  // The shown-channel button to check for the unit (0..3, -1: all units): the channel last
  // shown there, else the first.
  int shown_channel(int unit) const;
  // "Show Ch.": remembers the channel for the unit (nothing while all units are selected).
  PanelMessage show_channel(int unit, int channel);

  // Applies a refresh; the channels whose label changes (their state differs from the one
  // last shown). With automatic mode, the systems and VCR modes read are taken too.
  std::vector<int> apply_signal(const SignalReading& reading);

 private:
  std::array<int, 4> shown_channel_{-1, -1, -1, -1};
};

}  // namespace qm
