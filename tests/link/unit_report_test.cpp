#include "link/unit_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qm {
namespace {

using Lines = std::vector<std::string>;

// Builds a reply frame from unit 0 with the given function code and data bytes.
UnitFrame reply(std::uint8_t function, const std::vector<std::uint8_t>& data) {
  UnitFrame frame;
  frame.count = static_cast<std::uint8_t>(3 + data.size());
  frame.message[0] = kTypeReply | kDeviceUnit;
  frame.message[1] = 0;
  frame.message[2] = function;
  for (std::size_t i = 0; i < data.size(); ++i)
    frame.message[3 + i] = data[i];
  return frame;
}

Lines lines_of(const UnitFrame& frame) {
  Lines lines;
  unit_report(frame, [&](const std::string& line) { lines.push_back(line); });
  return lines;
}

Lines report(std::uint8_t function, const std::vector<std::uint8_t>& data) {
  return lines_of(reply(function, data));
}

TEST(UnitReport, VersionAndRegisterReplies_PrintEachField) {
  EXPECT_EQ(report(3, {0x23, 1, 0, 1, 0x45}),
            (Lines{"Hardware version: 2.3", "    Split switch: 1", "   Effect switch: 0",
                   "   Select Button: 1"}));
  EXPECT_EQ(report(4, {1, 7, 'W', 'a', 'l', 'l', ' ', '1', 0, 'x'}),
            (Lines{"Major: 1", "Minor: 7", "Title: Wall 1"}));
  EXPECT_EQ(report(4, {2, 0, 'A', 'B'}), (Lines{"Major: 2", "Minor: 0", "Title: AB"}));
  EXPECT_EQ(report(11, {5, 0x34, 0x12}),
            (Lines{"Message queue depth: 5", "    Background task: 0x1234"}));
  EXPECT_EQ(report(13, {0x8A, 0x10, 0xFF}),
            (Lines{"    Address: [8A] 138", "Sub-address: [10] 16", "       Data: [FF] 255"}));
  EXPECT_EQ(report(22, {25}), (Lines{"Digitiser 1 frame rate: 25"}));
}

TEST(UnitReport, InputSettings_PrintBothDigitisersAndGlobal) {
  EXPECT_EQ(
      report(25, {128, 64, 100, 0, 120, 70, 90, 10, 0x81, 0x04, 2, 0x05, 0x03}),
      (Lines{"Digitiser settings\n", "Digitiser 1:", "  Brightness: 128", "    Contrast: 64",
             "  Saturation: 100", "         Hue: 0", "      System: NTSC", "      Source: S-Video",
             "    VCR Mode: ON\n", "Digitiser 2:", "  Brightness: 120", "    Contrast: 70",
             "  Saturation: 90", "         Hue: 10", "      System: PAL60",
             "      Source: Composite 2", "    VCR Mode: OFF\n", "Global:", "   Auto mode: ON\n"}));
}

TEST(UnitReport, ChannelState_ActiveChannel_ShowsPositionAndWash) {
  EXPECT_EQ(report(31, {2, 0x31, 81, 90, 240, 255, 0, 0}),
            (Lines{" Channel state: Colour Wash", "Position (x,y): 1,3", "    Wash (RGB): 255,0,0",
                   "         (YUV): 81,90,240"}));
}

TEST(UnitReport, ChannelState_FourOrMore_ShowsOnlyState) {
  const Lines disabled{" Channel state: Disabled"};
  EXPECT_EQ(report(31, {4, 0x31, 81, 90, 240, 255, 0, 0}), disabled);
  EXPECT_EQ(report(31, {7}), disabled);
  // Only the low three bits pick the text, but any value of 4 or more hides the details.
  EXPECT_EQ(report(31, {9, 0x31, 81, 90, 240, 255, 0, 0}), (Lines{" Channel state: Video bus B"}));
}

TEST(UnitReport, OutputConfiguration_PrintsEncoderSettings) {
  EXPECT_EQ(report(35, {2, 1, 2, 2, 0x01, 4, 1}),
            (Lines{"Encoder configuration\n", " Number of monitors: 4",
                   "        Output mode: Dual Composite", "          Interlace: On",
                   "Current split (x,y): 2,2", "      Colour System: NTSC",
                   "       Filter state: Horizontal", "           VCR mode: Off\n"}));
  EXPECT_EQ(
      report(35, {0, 0, 1, 1, 0xFF, 1, 3}),
      (Lines{"Encoder configuration\n", " Number of monitors: 1", "        Output mode: Composite",
             "          Interlace: Off", "Current split (x,y): 1,1", "      Colour System: LINKED",
             "       Filter state: On", "           VCR mode: On\n"}));
}

TEST(UnitReport, SignedReplies_PrintNegativeValues) {
  std::vector<std::uint8_t> alignment{0, 1, 0xFF, 127, 0x80, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xF4};
  for (int i = 0; i < 15; ++i)
    alignment.push_back(0xFD);
  alignment.push_back(100);
  EXPECT_EQ(report(39, alignment),
            (Lines{"Row/Column alignment:-\n",
                   "Rows:    0    1   -1  127 -128    2    3    4    5    6    7    8    9   10   "
                   "11  -12 ",
                   "\nColumns:   -3   -3   -3   -3   -3   -3   -3   -3   -3   -3   -3   -3   -3   "
                   "-3   -3  100 \n"}));
  EXPECT_EQ(report(73, {2, 0xFE, 5}), (Lines{"Monitor fine adj Ch = 2 Dx = -2 Dy = 5\n"}));
}

TEST(UnitReport, LastSequence_ShowsResultAndOffset) {
  EXPECT_EQ(report(76, {0}), (Lines{"Last sequence terminated normally"}));
  EXPECT_EQ(report(76, {5, 0x34, 0x12}),
            (Lines{"Sequence file error [5] \"Function code not defined\" at file offset 4660"}));
  EXPECT_EQ(report(76, {9, 0, 0}),
            (Lines{"Sequence file error [9] \"Include depth\" at file offset 0"}));
}

TEST(UnitReport, LastSequence_UnknownError_ShowsZeroWithEmptyText) {
  EXPECT_EQ(report(76, {12, 1, 0}), (Lines{"Sequence file error [0] \"\" at file offset 1"}));
  EXPECT_EQ(report(76, {10, 0, 1}), (Lines{"Sequence file error [0] \"\" at file offset 256"}));
}

TEST(UnitReport, RunningSequence_ShowsNameOnlyWhenTerminated) {
  EXPECT_EQ(report(78, {}), Lines{});
  EXPECT_EQ(report(78, {0}), (Lines{"No sequence file running"}));
  EXPECT_EQ(report(78, {'d', 'e', 'm', 'o', '.', 'b', 'i', 'n', 0}),
            (Lines{"Sequence file \"demo.bin\" running"}));
  EXPECT_EQ(report(78, {'d', 'e', 'm', 'o'}), Lines{});
}

TEST(UnitReport, UnknownCode_DumpsBytesWithCharacterColumnAligned) {
  const Lines lines = report(200, {0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x2C, 0x20, 0x77, 0x61, 0x6C,
                                   0x6C, 0x21, 0x00, 0x01, 0x7F, 0x80, 0x41, 0x42, 0x0A, 0x43});
  EXPECT_EQ(lines, (Lines{"FN=200, 20 data bytes",
                          "0000 48 65 6C 6C 6F 2C 20 77 61 6C 6C 21 00 01 7F 80   Hello, wall!....",
                          "0010 41 42 0A 43 " + std::string(38, ' ') + "AB.C"}));
  EXPECT_EQ(report(99, {}), (Lines{"FN=99, 0 data bytes"}));
}

TEST(UnitReport, ShortReplies_StopBeforeMissingByteAndSayHowShort) {
  EXPECT_EQ(report(3, {0x10, 1}), (Lines{"Hardware version: 1.0", "    Split switch: 1",
                                         "Short reply: 2 of 4 data bytes"}));
  EXPECT_EQ(report(4, {1}), (Lines{"Major: 1", "Short reply: 1 of 2 data bytes"}));
  EXPECT_EQ(report(25, {1, 2, 3, 4, 5, 6, 7, 8, 0}),
            (Lines{"Digitiser settings\n", "Digitiser 1:", "  Brightness: 1", "    Contrast: 2",
                   "  Saturation: 3", "         Hue: 4", "      System: PAL",
                   "Short reply: 9 of 13 data bytes"}));
  EXPECT_EQ(report(31, {}), (Lines{"Short reply: 0 of 1 data bytes"}));
  EXPECT_EQ(report(31, {1, 0, 1}), (Lines{" Channel state: Video bus B", "Position (x,y): 0,0",
                                          "Short reply: 3 of 8 data bytes"}));
  EXPECT_EQ(report(35, {0, 0, 1}),
            (Lines{"Encoder configuration\n", "Short reply: 3 of 7 data bytes"}));
  EXPECT_EQ(report(39, std::vector<std::uint8_t>(20, 1)),
            (Lines{"Row/Column alignment:-\n",
                   "Rows:    1    1    1    1    1    1    1    1    1    1    1    1    1    1    "
                   "1    1 ",
                   "Short reply: 20 of 32 data bytes"}));
  EXPECT_EQ(report(76, {3}), (Lines{"Short reply: 1 of 3 data bytes"}));
}

TEST(UnitReport, FrameWithoutFunctionCode_PrintsNothing) {
  UnitFrame frame = reply(3, {0x23, 1, 0, 1});
  frame.count = 2;
  EXPECT_EQ(lines_of(frame), Lines{});
  frame.count = 0;
  EXPECT_EQ(lines_of(frame), Lines{});
}

TEST(UnitReport, CountBeyondBuffer_DumpsOnlyTheBuffer) {
  UnitFrame frame = reply(200, {});
  frame.count = 255;
  const Lines lines = lines_of(frame);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines.front(), "FN=200, 250 data bytes");
  EXPECT_EQ(lines.back(),
            "00F0 00 00 00 00 00 00 00 00 00 00 " + std::string(20, ' ') + "..........");
}

}  // namespace
}  // namespace qm
