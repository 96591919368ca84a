// The video output panel without its window: the mirror of a unit's encoder settings (output
// type, interlace, filter, video system, VCR mode), what the unit's reply puts in it, the
// message each control sends, and the sequence-file lines the panel copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/unit_frame.h"
#include "panels/video_input.h"

namespace qm {

inline constexpr const char* kTitleVideoOutput = " Video Output Settings";
inline constexpr int kLinkToInput = -1;  // the output system that follows the input

struct VideoOutputSettings {
  bool svideo = false;
  bool interlace = false;
  int filter = 3;  // 0 Off, 1 Horizontal, 2 Vertical, 3 On
  int system = 0;  // kLinkToInput, or 0 PAL-N, 1 NTSC, 2 SECAM, 3 NTSC (50Hz), 4 PAL (60Hz)
  int vcr = 0;     // 0 off; on as read (0x80) or as toggled (1)
};

// Applies the reply to function 35 (none: no reply) to the mirror.
ReadResult apply_output_reply(VideoOutputSettings& settings, const std::optional<UnitFrame>& reply);

PanelMessage svideo_message(bool on);
PanelMessage interlace_message(bool on);
PanelMessage filter_message(int filter);
PanelMessage output_system_message(int system);  // kLinkToInput goes as 0xFF
// "VCR Mode": off becomes 1, on becomes 0; the message of the new state.
PanelMessage toggle_output_vcr(VideoOutputSettings& settings);
PanelMessage save_outputs_message();
// The clipboard text of "Copy" for the unit shown (-1: all units).
std::string output_clipboard_text(const VideoOutputSettings& settings, int unit);

// The keypad: key k (0..15) and "Stop running sequence".
PanelMessage keypad_key_message(int key);
PanelMessage keypad_stop_message();

}  // namespace qm
