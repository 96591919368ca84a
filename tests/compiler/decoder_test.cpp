#include "compiler/decoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/recording_ui.h"

namespace qm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A listing line: the offset and bytes padded to the text column, then the text and CR LF.
std::string row(std::string head, std::string_view text) {
  head.resize(28, ' ');
  return head + std::string(text) + "\r\n";
}

// The text of a single-instruction image's line, without the line's own CR LF.
std::string text_of(const Bytes& image, int rate = 50) {
  const std::string listing = decode_sequence(image, rate);
  if (listing.size() < 30) return "<" + listing + ">";
  return listing.substr(28, listing.size() - 30);
}

std::string runs_past_end(std::string_view offset) {
  return "\r\nERROR: Instruction runs past the end of the file at " + std::string(offset) + "\r\n";
}

TEST(DecodeSequence, CompiledExampleListsByteForByte) {
  const Bytes image{0x09, 0x0C, 0x00, 0x00, 0x11, 0x02, 0x04, 0x07, 0x01, 0x28,
                    0x01, 0x0A, 0x09, 0x05, 0x00, 0x00, 0x05, 0x00, 0x32, 0x0A};
  EXPECT_EQ(decode_sequence(image, 50),
            "00000:090C0000              PROC 00012\r\n"
            "00004:11                    END\r\n\r\n"
            "00005:020407012801          SEND 7 1 40 1 \r\n"
            "00011:0A                    ENDPROC\r\n\r\n"
            "00012:09050000              PROC 00005\r\n"
            "00016:050032                WAIT (50Hz) 00:00:01.00 (50 fields)\r\n"
            "00019:0A                    ENDPROC\r\n\r\n");
}

TEST(DecodeSequence, LongInstructionContinuesTenBytesALine) {
  Bytes image{0x02, 0x0C};
  for (std::uint8_t b = 1; b <= 12; ++b)
    image.push_back(b);
  EXPECT_EQ(
      decode_sequence(image, 50),
      row("00000:020C0102030405060708", "SEND 1 2 3 4 5 6 7 8 9 10 11 12 ") + "      090A0B0C\r\n");
  Bytes output{0x04, 0x15};
  output.resize(2 + 0x15, 'x');
  EXPECT_EQ(decode_sequence(output, 50),
            row("00000:04157878787878787878", "OUTPUT \"" + std::string(0x15, 'x') + "\"") +
                "      78787878787878787878\r\n      787878\r\n");
}

TEST(DecodeSequence, ImagesOfTheSizeLimitListNothing) {
  EXPECT_EQ(decode_sequence(Bytes(24576, 0x0C), 50), "");
  EXPECT_EQ(decode_sequence(Bytes{}, 50), "");
  EXPECT_EQ(decode_sequence(Bytes(24575, 0x0C), 50).substr(0, 8), "00000:0C");
}

TEST(DecodeSequence, EveryOpcodeAndValueTypeHasItsText) {
  struct Case {
    Bytes image;
    std::string text;
  };
  const Case cases[] = {
      {{0x01, 'A', 'B', 0x00}, "INCLUDE \"AB\""},
      {{0x02, 0x00}, "SEND "},
      {{0x03, 0x02, 0x00, 0x05, 0x03, 0x07}, "SEND vars byte: 5 Var: 7 "},
      {{0x03, 0x02, 0x01, 0x2C, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF},
       "SEND vars word: 300 word: -1 "},
      {{0x04, 0x04, 'A', 'B', 0x01, 'C'}, "OUTPUT \"AB\",0x01,\"C\""},
      {{0x05, 0x00, 0x4B}, "WAIT (50Hz) 00:00:01.50 (75 fields)"},
      {{0x06, 0x01, 0x2C, 0x01}, "WAIT (50Hz) 00:00:06.00 (300 fields)"},
      {{0x07, 0x03, 0x04}, "WAIT Var: 4 "},
      {{0x08, 0x02, 0x00, 0xCA, 0x9A, 0x3B}, "WAIT (50Hz) 5555:33:20.00 (1000000000 fields)"},
      {{0x09, 0x34, 0x12, 0x02, 0x00, 0x05, 0x03, 0x01}, "PROC 04660byte: 5 Var: 1 "},
      {{0x0A}, "ENDPROC\r\n"},
      {{0x0B, 0x00, 0xFF}, "REPEAT byte: 255 "},
      {{0x0B, 0x01, 0x00, 0x01}, "REPEAT word: 256 "},
      {{0x0C}, "AGAIN "},
      {{0x0D, 0x02, 0x10, 0x27, 0x00, 0x00}, "UNTIL: word: 10000 "},
      {{0x0E, 0x03, 0x09}, "UNTIL: Var: 9 "},
      {{0x0F, 0x02, 0xFE, 0xFF, 0xFF, 0xFF}, "UNTIL: word: -2 "},
      {{0x11}, "END\r\n"},
      {{0x12}, "WAIT EVENT\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(text_of(c.image), c.text);
  }
  EXPECT_EQ(text_of({0x05, 0x02, 0x90, 0x5F, 0x01, 0x00}, 60),
            "WAIT (60Hz) 00:25:00.00 (90000 fields)");
}

TEST(DecodeSequence, IllegalOpcodesAreReportedAndSkipped) {
  EXPECT_EQ(decode_sequence(Bytes{0x00, 0x10, 0x13, 0x0C}, 50),
            "\r\nERROR: Illegal command byte: 0\r\n" + row("00000:00", "???") +
                "\r\nERROR: Illegal command byte: 16\r\n" + row("00001:10", "???") +
                "\r\nERROR: Illegal command byte: 19\r\n" + row("00002:13", "???") +
                row("00003:0C", "AGAIN "));
}

TEST(DecodeSequence, IllegalTypesStopTheListing) {
  EXPECT_EQ(decode_sequence(Bytes{0x0C, 0x05, 0x04, 0x00, 0x0C}, 50),
            row("00000:0C", "AGAIN ") + "\r\nERROR: Illegal parameter type: 4\r\n");
  EXPECT_EQ(decode_sequence(Bytes{0x0D, 0x00, 0x05, 0x0C}, 50),
            "\r\nERROR: Illegal parameter type: 0\r\n");
  EXPECT_EQ(decode_sequence(Bytes{0x0B, 0x07, 0x01, 0x0C}, 50), "\r\nERROR: Illegal type: 7\r\n");
  EXPECT_EQ(decode_sequence(Bytes{0x09, 0x00, 0x00, 0x02, 0x00, 0x01, 0xFF, 0x0C}, 50),
            "\r\nERROR: Illegal type: 255\r\n");
}

TEST(DecodeSequence, TruncatedInstructionListsWhatRemainsThenStops) {
  EXPECT_EQ(decode_sequence(Bytes{0x0C, 0x02, 0x05, 0x07, 0x01}, 50),
            row("00000:0C", "AGAIN ") + row("00001:02050701", "SEND ") + runs_past_end("00001"));

  const std::vector<Bytes> program = {
      {0x09, 0x0C, 0x00, 0x01, 0x00, 0x05},
      {0x01, 'A', 'B', 0x00},
      {0x02, 0x03, 0x07, 0x01, 0x28},
      {0x03, 0x02, 0x01, 0x2C, 0x01, 0x02, 0x01, 0x02, 0x03, 0x04},
      {0x04, 0x02, 'H', 0x01},
      {0x05, 0x02, 0x10, 0x27, 0x00, 0x00},
      {0x07, 0x03, 0x04},
      {0x0B, 0x01, 0x00, 0x01},
      {0x0D, 0x02, 0x01, 0x00, 0x00, 0x00},
      {0x0E, 0x03, 0x09},
  };
  Bytes whole;
  for (const Bytes& ins : program) {
    const std::string complete = decode_sequence(whole, 50);
    char offset[8];
    std::snprintf(offset, sizeof offset, "%05zu", whole.size());
    for (std::size_t cut = 1; cut < ins.size(); ++cut) {
      Bytes image = whole;
      image.insert(image.end(), ins.begin(), ins.begin() + static_cast<std::ptrdiff_t>(cut));
      const std::string listing = decode_sequence(image, 50);
      SCOPED_TRACE(listing);
      EXPECT_EQ(listing.substr(0, complete.size()), complete);
      EXPECT_TRUE(listing.ends_with(runs_past_end(offset)));
    }
    whole.insert(whole.end(), ins.begin(), ins.end());
  }
  EXPECT_EQ(decode_sequence(whole, 50).find("ERROR"), std::string::npos);
}

TEST(DecodeSequence, RandomImagesNeverReadPastTheirEnd) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    // Half the images keep to opcodes and types that are mostly legal, to reach deep paths.
    const int top = round % 2 == 0 ? 255 : 20;
    Bytes image(std::uniform_int_distribution<std::size_t>(0, 80)(random));
    for (auto& b : image)
      b = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, top)(random));
    const std::string listing = decode_sequence(image, round % 3 == 0 ? 60 : 50);
    EXPECT_TRUE(image.empty() || listing.ends_with("\r\n"));
  }
}

// A listing is damaged exactly when it holds an ERROR line, whatever the image.
TEST(ListSequence, DamagedExactlyWhenTheListingHoldsAnError) {
  EXPECT_FALSE(list_sequence(Bytes{0x0C}, 50).damaged);
  EXPECT_FALSE(list_sequence(Bytes{}, 50).damaged);
  EXPECT_FALSE(list_sequence(Bytes(24576, 0x00), 50).damaged);  // too large: not listed at all
  for (const Bytes& bad : {Bytes{0x00, 0x0C}, Bytes{0x0C, 0x02, 0x05}, Bytes{0x0B, 0x07, 0x01}}) {
    const SequenceListing listing = list_sequence(bad, 50);
    EXPECT_TRUE(listing.damaged) << listing.text;
    EXPECT_EQ(listing.text, decode_sequence(bad, 50));
  }
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    Bytes image(std::uniform_int_distribution<std::size_t>(0, 40)(random));
    for (auto& b : image)
      b = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 20)(random));
    const SequenceListing listing = list_sequence(image, 50);
    EXPECT_EQ(listing.damaged, listing.text.find("\r\nERROR: ") != std::string::npos);
  }
}

TEST(FormatFieldsTime, SplitsIntoHoursMinutesSecondsAndHundredths) {
  EXPECT_EQ(format_fields_time(0, 50), "(50Hz) 00:00:00.00 (0 fields)");
  EXPECT_EQ(format_fields_time(59, 60), "(60Hz) 00:00:00.98 (59 fields)");
  EXPECT_EQ(format_fields_time(3600 * 50 + 61 * 50 + 1, 50), "(50Hz) 01:01:01.02 (183051 fields)");
  EXPECT_EQ(format_fields_time(30, 0), "(50Hz) 00:00:00.60 (30 fields)");
  EXPECT_EQ(format_fields_time(-50, 50), "(50Hz) 00:00:-1.00 (-50 fields)");
  EXPECT_FALSE(format_fields_time(std::numeric_limits<long>::min(), 60).empty());
  EXPECT_FALSE(format_fields_time(std::numeric_limits<long>::max(), 7).empty());
}

TEST(ListOutputBytes, QuotesPrintableRunsAndClosesTheLastOne) {
  EXPECT_EQ(list_output_bytes(Bytes{0x01, 0x02}), "0x01,0x02");
  EXPECT_EQ(list_output_bytes(Bytes{'H', 'i', 0x0D, 0x0A}), "\"Hi\",0x0D,0x0A");
  EXPECT_EQ(list_output_bytes(Bytes{0x1F, ' ', 0xFF}), "0x1F,\" \xFF\"");
  EXPECT_EQ(list_output_bytes(Bytes{}), "");
}

// Reading a file for the listing: whole below the size limit; at the limit, missing or
// unreadable it tells which, so that each front end shows its own outcome.
TEST(ReadSequenceFile, ReadsWholeFilesBelowTheLimitOnly) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("qm_decode_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const auto write = [&](const char* name, std::size_t size) {
    std::ofstream(dir / name, std::ios::binary) << std::string(size, '\x0C');
    return dir / name;
  };
  using Status = SequenceFileRead::Status;

  const SequenceFileRead below = read_sequence_file(write("below.sfb", kDecodeSizeLimit - 1));
  EXPECT_EQ(below.status, Status::Read);
  EXPECT_EQ(below.image, Bytes(kDecodeSizeLimit - 1, 0x0C));
  const SequenceFileRead empty = read_sequence_file(write("empty.sfb", 0));
  EXPECT_EQ(empty.status, Status::Read);
  EXPECT_TRUE(empty.image.empty());

  const SequenceFileRead at = read_sequence_file(write("at.sfb", kDecodeSizeLimit));
  EXPECT_EQ(at.status, Status::TooLarge);
  EXPECT_TRUE(at.image.empty());
  EXPECT_EQ(read_sequence_file(dir / "missing.sfb").status, Status::NotOpened);
#ifndef _WIN32
  EXPECT_EQ(read_sequence_file(dir).status, Status::ReadError);  // a folder opens here
#endif
  fs::remove_all(dir);

  test::RecordingUi ui;
  report_sequence_read_error(ui, "/x/show.sfb");
  EXPECT_EQ(ui.calls(),
            (std::vector<std::string>{"box: Decode sequence| Error reading file: /x/show.sfb"}));
}

}  // namespace
}  // namespace qm
