#include "panels/video_input.h"

#include <algorithm>
#include <utility>

#include "base/text_format.h"
#include "link/function_codes.h"
#include "link/link.h"

namespace qm {

namespace {

constexpr std::uint8_t kInputReplyCount = 16;  // 13 data bytes
constexpr int kSystemMask = 0x07;
constexpr int kVcrBit = 0x80;
constexpr std::array<int, kPictureControls> kDefaultPicture = {128, 132, 128, 128};
constexpr std::array<std::uint8_t, kPictureControls> kPictureFunctions = {
    kFnBrightness, kFnContrast, kFnSaturation, kFnHue};
// Function 54's bytes before the channel.
constexpr std::array<std::uint8_t, 6> kShowChannelPrefix = {0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01};

PanelMessage message(std::uint8_t function, std::vector<std::uint8_t> data) {
  return {function, std::move(data)};
}
std::uint8_t byte(int value) {
  return static_cast<std::uint8_t>(value);
}

std::string function_name(std::uint8_t number) {
  const FunctionCode* code = find_function_code(number);
  return code != nullptr ? std::string(code->name) : std::string();
}

}  // namespace

ReadResult apply_input_reply(VideoInputSettings& settings, const std::optional<UnitFrame>& reply) {
  if (!reply) {
    for (InputChannel& c : settings.channels) {
      c.picture = {200, 200, 200, 128};
      c.input = 0;
      c.system = 0;
    }
    settings.auto_mode = false;
    return ReadResult::kNoReply;
  }
  if (reply->count != kInputReplyCount) return ReadResult::kIgnored;
  const auto d = reply->data();
  for (std::size_t ch = 0; ch < kInputChannels; ++ch) {
    InputChannel& c = settings.channels[ch];
    for (std::size_t k = 0; k < kPictureControls; ++k)
      c.picture[k] = d[ch * kPictureControls + k];
    c.system = d[8 + ch] & kSystemMask;
    c.vcr = (d[8 + ch] & kVcrBit) != 0;
    c.input = d[10 + ch];
  }
  settings.auto_mode = d[12] != 0;
  return ReadResult::kTaken;
}

bool apply_input_systems(VideoInputSettings& settings, const UnitFrame& reply) {
  if (reply.count != kInputReplyCount) return false;
  const auto d = reply.data();
  for (std::size_t ch = 0; ch < kInputChannels; ++ch) {
    settings.channels[ch].system = d[8 + ch] & kSystemMask;
    settings.channels[ch].vcr = (d[8 + ch] & kVcrBit) != 0;
  }
  return true;
}

PanelMessage picture_message(int channel, PictureControl control, int value) {
  return message(kPictureFunctions[static_cast<std::size_t>(control)],
                 {byte(channel), byte(value)});
}
PanelMessage input_message(int channel, int input) {
  return message(kFnInputSource, {byte(channel), byte(input)});
}
PanelMessage system_message(int channel, int system) {
  return message(kFnInputSystem, {byte(channel), byte(system)});
}
PanelMessage vcr_message(int channel, bool on) {
  return message(kFnInputVcr, {byte(channel), byte(on ? 1 : 0)});
}
PanelMessage auto_message(bool on) {
  return message(kFnAutoMode, {byte(on ? 1 : 0)});
}
PanelMessage show_channel_message(int channel) {
  std::vector<std::uint8_t> data(kShowChannelPrefix.begin(), kShowChannelPrefix.end());
  data.push_back(byte(channel));
  return message(kFnShowChannel, std::move(data));
}
PanelMessage save_inputs_message() {
  return message(kFnSaveInputs, {});
}
PanelMessage restore_inputs_message() {
  return message(kFnRestore, {kRestoreInputs});
}

std::vector<PanelMessage> default_channel(VideoInputSettings& settings, int channel) {
  InputChannel& c = settings.channels[static_cast<std::size_t>(channel)];
  c.picture = kDefaultPicture;
  std::vector<PanelMessage> out;
  for (int k = 0; k < kPictureControls; ++k)
    out.push_back(picture_message(channel, static_cast<PictureControl>(k),
                                  c.picture[static_cast<std::size_t>(k)]));
  return out;
}

std::vector<PanelMessage> gang_input_messages(const VideoInputSettings& settings) {
  std::vector<PanelMessage> out;
  for (int ch = 0; ch < kInputChannels; ++ch) {
    const InputChannel& c = settings.channels[static_cast<std::size_t>(ch)];
    out.push_back(system_message(ch, c.system));
    for (int k = 0; k < kPictureControls; ++k)
      out.push_back(picture_message(ch, static_cast<PictureControl>(k),
                                    c.picture[static_cast<std::size_t>(k)]));
    out.push_back(input_message(ch, c.input));
  }
  return out;
}

std::string input_clipboard_text(const VideoInputSettings& settings, int unit) {
  std::string text;
  for (int ch = 0; ch < kInputChannels; ++ch) {
    const InputChannel& c = settings.channels[static_cast<std::size_t>(ch)];
    text += strprintf("; Video input channel %d\r\n", ch + 1);
    const std::pair<std::uint8_t, int> lines[] = {
        {kFnInputSystem, c.system},    {kFnBrightness, c.picture[0]}, {kFnContrast, c.picture[1]},
        {kFnSaturation, c.picture[2]}, {kFnHue, c.picture[3]},        {kFnInputSource, c.input},
        {kFnInputVcr, c.vcr ? 1 : 0}};
    for (const auto& [function, value] : lines)
      text += strprintf("send 7 %d %s %d %d\r\n", unit, function_name(function).c_str(), ch, value);
  }
  text += "\r\n";
  return text;
}

SignalLabel signal_label(SignalState state) {
  switch (state) {
    case SignalState::kInSync:
      return {"In sync.", std::array<int, 3>{0, 192, 0}};
    case SignalState::kSyncError:
      return {"Sync. Error", std::array<int, 3>{192, 192, 0}};
    case SignalState::kNoColour:
      return {"No colour", std::array<int, 3>{128, 128, 128}};
    case SignalState::kNoSignal:
      return {"No signal", std::array<int, 3>{192, 0, 0}};
    default:
      return {"---", std::nullopt};
  }
}

SignalReading read_signal(Link& link, std::uint8_t address, bool auto_mode) {
  SignalReading reading;
  if (auto_mode) {
    reading.settings_asked = true;
    reading.settings = link.unit_get(kDeviceUnit, address, kFnInputSettings, {});
    if (!reading.settings) return reading;
  }
  for (std::size_t ch = 0; ch < kInputChannels; ++ch) {
    const std::array<std::uint8_t, 2> request{kSignalRegister[ch], kSignalRegisterSub};
    const auto reply = link.unit_get(kDeviceUnit, address, kFnRegisterRead, request);
    if (!reply || reply->data().size() < 3) break;
    reading.status[ch] = reply->data()[2];
  }
  return reading;
}

int VideoInputPanel::shown_channel(int unit) const {
  if (unit < 0 || unit > 3) return 0;
  return std::max(shown_channel_[static_cast<std::size_t>(unit)], 0);
}

PanelMessage VideoInputPanel::show_channel(int unit, int channel) {
  if (unit >= 0 && unit <= 3) shown_channel_[static_cast<std::size_t>(unit)] = channel;
  return show_channel_message(channel);
}

std::vector<int> VideoInputPanel::apply_signal(const SignalReading& reading) {
  std::array<SignalState, kInputChannels> now{SignalState::kUndetermined,
                                              SignalState::kUndetermined};
  // In automatic mode the unit picks the systems itself: read first, as the labels depend on
  // them. Without that reading nothing is known.
  bool readable = true;
  if (reading.settings_asked) {
    readable = reading.settings.has_value();
    if (readable) apply_input_systems(settings, *reading.settings);
  }
  if (readable && reading.status[0] && reading.status[1]) {
    for (std::size_t ch = 0; ch < kInputChannels; ++ch)
      now[ch] = classify_signal(*reading.status[ch], settings.channels[ch].system);
  }
  std::vector<int> changed;
  for (std::size_t ch = 0; ch < kInputChannels; ++ch) {
    if (now[ch] == shown[ch]) continue;
    shown[ch] = now[ch];
    changed.push_back(static_cast<int>(ch));
  }
  return changed;
}

}  // namespace qm
