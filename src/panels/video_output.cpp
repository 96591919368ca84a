#include "panels/video_output.h"

#include <utility>

#include "base/text_format.h"
#include "link/function_codes.h"

namespace qm {

namespace {

constexpr std::uint8_t kOutputReplyCount = 10;  // 7 data bytes
constexpr int kSystemBits = 0x7F;
constexpr int kHighestSystem = 7;  // above: the output follows the input
constexpr int kVcrBit = 0x80;
constexpr int kFilterBits = 0x03;

PanelMessage message(std::uint8_t function, std::vector<std::uint8_t> data) {
  return {function, std::move(data)};
}
std::uint8_t flag(bool on) {
  return on ? 1 : 0;
}

}  // namespace

ReadResult apply_output_reply(VideoOutputSettings& settings,
                              const std::optional<UnitFrame>& reply) {
  if (!reply) {
    settings = VideoOutputSettings{};
    return ReadResult::kNoReply;
  }
  if (reply->count != kOutputReplyCount) return ReadResult::kIgnored;
  const auto d = reply->data();
  settings.svideo = d[0] != 0;
  settings.interlace = d[1] != 0;
  const int system = d[4] & kSystemBits;
  settings.system = system > kHighestSystem ? kLinkToInput : system;
  settings.vcr = d[4] & kVcrBit;
  settings.filter = d[6] & kFilterBits;
  return ReadResult::kTaken;
}

PanelMessage svideo_message(bool on) {
  return message(kFnOutputMode, {flag(on)});
}
PanelMessage interlace_message(bool on) {
  return message(kFnInterlace, {flag(on)});
}
PanelMessage filter_message(int filter) {
  return message(kFnFilter, {static_cast<std::uint8_t>(filter)});
}
PanelMessage output_system_message(int system) {
  return message(kFnOutputSystem, {static_cast<std::uint8_t>(system)});
}
PanelMessage toggle_output_vcr(VideoOutputSettings& settings) {
  settings.vcr = settings.vcr == 0 ? 1 : 0;
  return message(kFnOutputVcr, {static_cast<std::uint8_t>(settings.vcr)});
}
PanelMessage save_outputs_message() {
  return message(kFnSaveOutputs, {});
}

std::string output_clipboard_text(const VideoOutputSettings& settings, int unit) {
  std::string text = "; Video ouput settings\r\n";
  const std::pair<std::uint8_t, int> lines[] = {{kFnInterlace, settings.interlace ? 1 : 0},
                                                {kFnOutputMode, settings.svideo ? 1 : 0},
                                                {kFnFilter, settings.filter},
                                                {kFnOutputSystem, settings.system},
                                                {kFnOutputVcr, settings.vcr}};
  for (const auto& [function, value] : lines) {
    const FunctionCode* code = find_function_code(function);
    text += strprintf("send 7 %d %s %d\r\n", unit, std::string(code->name).c_str(), value);
  }
  text += "\r\n";
  return text;
}

PanelMessage keypad_key_message(int key) {
  return message(kFnKey, {static_cast<std::uint8_t>(key)});
}
PanelMessage keypad_stop_message() {
  return message(kFnStop, {});
}

}  // namespace qm
