// The video panels' models: what the units' replies put in the mirrors, the signal state of an
// input, the exact messages of the controls, the gang order and the copied lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/function_codes.h"
#include "link/unit_selection.h"
#include "link/video_signal.h"
#include "panels/video_input.h"
#include "panels/video_output.h"
#include "support/recording_ui.h"
#include "support/unit_frames.h"

namespace qm {
namespace {

using Data = std::vector<std::uint8_t>;

UnitFrame reply(std::uint8_t function, const Data& data) {
  return test::reply_frame(function, data);
}

TEST(VideoSignal, StatusBytesClassifyByTheChannelsSystem) {
  constexpr int kPalN = 0;
  constexpr int kNtscN = 1;
  EXPECT_EQ(classify_signal(0x41, kPalN), SignalState::kNoSignal);
  EXPECT_EQ(classify_signal(0x40, kPalN), SignalState::kNoSignal);
  EXPECT_EQ(classify_signal(0x00, kPalN), SignalState::kNoColour);
  EXPECT_EQ(classify_signal(0x21, kPalN), SignalState::kSyncError);
  EXPECT_EQ(classify_signal(0x01, kPalN), SignalState::kInSync);
  // On NTSC-N and PAL (60Hz) a clear flag is the error.
  EXPECT_EQ(classify_signal(0x01, kNtscN), SignalState::kSyncError);
  EXPECT_EQ(classify_signal(0x21, kNtscN), SignalState::kInSync);
  EXPECT_EQ(classify_signal(0x01, 4), SignalState::kSyncError);
  // What a simulated unit reports reads back as its state on every system.
  for (int system = 0; system < kVideoSystems; ++system)
    for (SignalState s : {SignalState::kInSync, SignalState::kSyncError, SignalState::kNoColour,
                          SignalState::kNoSignal})
      EXPECT_EQ(classify_signal(signal_status_byte(s, system), system), s) << system;
}

TEST(VideoInput, RepliesFillTheMirrorOnlyWithSixteenBytes) {
  VideoInputSettings s;
  const Data data = {10, 11, 12, 13, 20, 21, 22, 23, 0x83, 0x04, 2, 1, 1};
  EXPECT_EQ(apply_input_reply(s, reply(kFnInputSettings, data)), ReadResult::kTaken);
  EXPECT_EQ(s.channels[0].picture, (std::array<int, 4>{10, 11, 12, 13}));
  EXPECT_EQ(s.channels[1].picture, (std::array<int, 4>{20, 21, 22, 23}));
  EXPECT_EQ(s.channels[0].system, 3);
  EXPECT_TRUE(s.channels[0].vcr);
  EXPECT_EQ(s.channels[1].system, 4);
  EXPECT_FALSE(s.channels[1].vcr);
  EXPECT_EQ(s.channels[0].input, 2);
  EXPECT_EQ(s.channels[1].input, 1);
  EXPECT_TRUE(s.auto_mode);

  // A reply one byte short changes nothing.
  EXPECT_EQ(apply_input_reply(s, reply(kFnInputSettings, Data(12, 0))), ReadResult::kIgnored);
  EXPECT_EQ(s.channels[0].picture[0], 10);

  // No reply: the defaults.
  EXPECT_EQ(apply_input_reply(s, std::nullopt), ReadResult::kNoReply);
  for (const InputChannel& c : s.channels) {
    EXPECT_EQ(c.picture, (std::array<int, 4>{200, 200, 200, 128}));
    EXPECT_EQ(c.input, 0);
    EXPECT_EQ(c.system, 0);
  }
  EXPECT_FALSE(s.auto_mode);
}

TEST(VideoInput, ControlsSendTheirFunctionWithChannelAndValue) {
  EXPECT_EQ(system_message(1, 4), (PanelMessage{kFnInputSystem, {1, 4}}));  // PAL (60Hz)
  EXPECT_EQ(picture_message(0, PictureControl::kHue, 255), (PanelMessage{kFnHue, {0, 255}}));
  EXPECT_EQ(input_message(1, 2), (PanelMessage{kFnInputSource, {1, 2}}));
  EXPECT_EQ(vcr_message(0, true), (PanelMessage{kFnInputVcr, {0, 1}}));
  EXPECT_EQ(auto_message(false), (PanelMessage{kFnAutoMode, {0}}));
  EXPECT_EQ(show_channel_message(1), (PanelMessage{kFnShowChannel, {0, 0, 0, 0xFF, 0xFF, 1, 1}}));
  EXPECT_EQ(restore_inputs_message(), (PanelMessage{kFnRestore, {1}}));

  VideoInputSettings s;
  const auto defaults = default_channel(s, 1);
  EXPECT_EQ(defaults, (std::vector<PanelMessage>{{kFnBrightness, {1, 128}},
                                                 {kFnContrast, {1, 132}},
                                                 {kFnSaturation, {1, 128}},
                                                 {kFnHue, {1, 128}}}));
  EXPECT_EQ(s.channels[1].picture, (std::array<int, 4>{128, 132, 128, 128}));
  EXPECT_EQ(s.channels[0].picture[0], 200);
}

TEST(VideoInput, GangSendsSystemPictureAndSourceOfEachChannelButNotVcrOrAuto) {
  VideoInputSettings s;
  s.channels[0] = {{1, 2, 3, 4}, 2, 3, true};
  s.channels[1] = {{5, 6, 7, 8}, 1, 4, true};
  s.auto_mode = true;
  EXPECT_EQ(gang_input_messages(s), (std::vector<PanelMessage>{{kFnInputSystem, {0, 3}},
                                                               {kFnBrightness, {0, 1}},
                                                               {kFnContrast, {0, 2}},
                                                               {kFnSaturation, {0, 3}},
                                                               {kFnHue, {0, 4}},
                                                               {kFnInputSource, {0, 2}},
                                                               {kFnInputSystem, {1, 4}},
                                                               {kFnBrightness, {1, 5}},
                                                               {kFnContrast, {1, 6}},
                                                               {kFnSaturation, {1, 7}},
                                                               {kFnHue, {1, 8}},
                                                               {kFnInputSource, {1, 1}}}));
}

TEST(VideoInput, CopiedLinesForAllUnits) {
  VideoInputSettings s;
  s.channels[0] = {{1, 2, 3, 4}, 2, 3, true};
  const std::string expected =
      "; Video input channel 1\r\n"
      "send 7 -1 FN_DGTSYS 0 3\r\n"
      "send 7 -1 FN_DGTBRT 0 1\r\n"
      "send 7 -1 FN_DGTCNT 0 2\r\n"
      "send 7 -1 FN_DGTSAT 0 3\r\n"
      "send 7 -1 FN_DGTHUE 0 4\r\n"
      "send 7 -1 FN_DGTINP 0 2\r\n"
      "send 7 -1 FN_DGTVCR 0 1\r\n"
      "; Video input channel 2\r\n"
      "send 7 -1 FN_DGTSYS 1 0\r\n"
      "send 7 -1 FN_DGTBRT 1 200\r\n"
      "send 7 -1 FN_DGTCNT 1 200\r\n"
      "send 7 -1 FN_DGTSAT 1 200\r\n"
      "send 7 -1 FN_DGTHUE 1 128\r\n"
      "send 7 -1 FN_DGTINP 1 0\r\n"
      "send 7 -1 FN_DGTVCR 1 0\r\n"
      "\r\n";
  EXPECT_EQ(input_clipboard_text(s, -1), expected);
}

TEST(VideoInput, LabelsChangeOnlyWithTheirStateAndAutoModeReadsTheSystemsFirst) {
  VideoInputPanel panel;
  SignalReading r;
  r.status[0] = 0x01;
  r.status[1] = 0x40;
  EXPECT_EQ(panel.apply_signal(r), (std::vector<int>{0, 1}));
  EXPECT_EQ(panel.shown[0], SignalState::kInSync);
  EXPECT_EQ(panel.shown[1], SignalState::kNoSignal);
  EXPECT_TRUE(panel.apply_signal(r).empty());  // nothing changed: no label is touched

  // One status missing: both undetermined.
  r.status[1].reset();
  EXPECT_EQ(panel.apply_signal(r), (std::vector<int>{0, 1}));
  EXPECT_EQ(panel.shown[0], SignalState::kUndetermined);
  EXPECT_STREQ(signal_label(panel.shown[0]).text, "---");
  EXPECT_FALSE(signal_label(panel.shown[0]).colour);

  // Automatic mode: the unit switched channel 0 to NTSC-N, where 0x01 is a sync error.
  SignalReading a;
  a.settings_asked = true;
  a.settings = reply(kFnInputSettings, {0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0, 0, 1});
  a.status[0] = 0x01;
  a.status[1] = 0x01;
  panel.apply_signal(a);
  EXPECT_EQ(panel.settings.channels[0].system, 1);
  EXPECT_EQ(panel.shown[0], SignalState::kSyncError);
  EXPECT_EQ(panel.shown[1], SignalState::kInSync);
  EXPECT_EQ(signal_label(SignalState::kSyncError).colour, (std::array<int, 3>{192, 192, 0}));
  // Without that reading nothing is known.
  a.settings.reset();
  panel.apply_signal(a);
  EXPECT_EQ(panel.shown[1], SignalState::kUndetermined);
}

TEST(VideoInput, ShownChannelIsRememberedPerUnitButNotForAllUnits) {
  VideoInputPanel panel;
  EXPECT_EQ(panel.shown_channel(2), 0);
  EXPECT_EQ(panel.show_channel(2, 1), show_channel_message(1));
  EXPECT_EQ(panel.shown_channel(2), 1);
  EXPECT_EQ(panel.shown_channel(0), 0);
  panel.show_channel(-1, 1);
  EXPECT_EQ(panel.shown_channel(-1), 0);
  EXPECT_EQ(panel.shown_channel(0), 0);
}

TEST(VideoOutput, SystemByteAboveSevenIsLinkToInputAndVcrIsBitSeven) {
  VideoOutputSettings s;
  EXPECT_EQ(apply_output_reply(s, reply(kFnOutputConfig, {1, 1, 0, 0, 0xFF, 0, 2})),
            ReadResult::kTaken);
  EXPECT_TRUE(s.svideo);
  EXPECT_TRUE(s.interlace);
  EXPECT_EQ(s.system, kLinkToInput);
  EXPECT_EQ(s.vcr, 0x80);
  EXPECT_EQ(s.filter, 2);
  EXPECT_EQ(output_system_message(kLinkToInput), (PanelMessage{kFnOutputSystem, {0xFF}}));
  EXPECT_EQ(toggle_output_vcr(s), (PanelMessage{kFnOutputVcr, {0}}));
  EXPECT_EQ(toggle_output_vcr(s), (PanelMessage{kFnOutputVcr, {1}}));

  EXPECT_EQ(apply_output_reply(s, reply(kFnOutputConfig, {0, 0, 0, 0, 0x04, 0, 0})),
            ReadResult::kTaken);
  EXPECT_EQ(s.system, 4);
  EXPECT_EQ(s.vcr, 0);
  EXPECT_EQ(apply_output_reply(s, reply(kFnOutputConfig, {0, 0, 0})), ReadResult::kIgnored);
  EXPECT_EQ(s.system, 4);
  EXPECT_EQ(apply_output_reply(s, std::nullopt), ReadResult::kNoReply);
  EXPECT_EQ(s.filter, 3);
  EXPECT_EQ(s.system, 0);
}

TEST(VideoOutput, CopiedLinesKeepTheirSpellingAndChangeNothing) {
  VideoOutputSettings s;
  s.interlace = true;
  s.system = kLinkToInput;
  s.vcr = 0x80;
  const std::string expected =
      "; Video ouput settings\r\n"
      "send 7 2 FN_TXTMODE 1\r\n"
      "send 7 2 FN_ENCTYPE 0\r\n"
      "send 7 2 FN_FILTER 3\r\n"
      "send 7 2 FN_ENCSYS -1\r\n"
      "send 7 2 FN_ENCVCR 128\r\n"
      "\r\n";
  EXPECT_EQ(output_clipboard_text(s, 2), expected);
  EXPECT_EQ(output_clipboard_text(s, 2), expected);
  EXPECT_EQ(s.vcr, 0x80);
}

TEST(Keypad, KeysAndStop) {
  EXPECT_EQ(keypad_key_message(10), (PanelMessage{kFnKey, {10}}));
  EXPECT_EQ(keypad_key_message(15), (PanelMessage{kFnKey, {15}}));
  EXPECT_EQ(keypad_stop_message(), (PanelMessage{kFnStop, {}}));
}

TEST(UnitSelection, PanelsRestoreTheUnitOnlyWhenAllUnitsAreSelectedAtClose) {
  test::RecordingUi ui;
  SettingsValues v;
  v.id = -1;
  EXPECT_EQ(send_address(v), kAddressAll);
  EXPECT_EQ(read_address(v), 0);
  restore_unit_on_close(v, ui, 2);
  EXPECT_EQ(v.id, 2);
  EXPECT_EQ(send_address(v), 2);
  v.id = 1;
  restore_unit_on_close(v, ui, 3);
  EXPECT_EQ(v.id, 1);
}

}  // namespace
}  // namespace qm
