#include "compiler/compiler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// A compiler with a recording operator and a directory of its own for each test.
class CompilerTest : public ::testing::Test {
 protected:
  CompilerTest() : dir_("compiler") {}
  void SetUp() override {
    options_.skip_std = true;
    options_.std_dir = dir_;
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(dir_ / name, std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Compiles `source` as main.seq into main.sfb; 0 on success.
  int compile(const std::string& source) {
    write("main.seq", source);
    ui_.clear();
    return compiler_.compile_sequence(path("main.seq"), std::nullopt, options_);
  }
  // The image of the last compilation after its header, in hexadecimal.
  std::string body() const { return hex(5); }
  std::string hex(std::size_t from = 0) const {
    std::string out;
    const auto& image = compiler_.image();
    for (std::size_t i = from; i < image.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%02X", image[i]);
      if (!out.empty()) out += ' ';
      out += byte;
    }
    return out;
  }
  // What the operator was shown, as the recording names it.
  std::string shown() const {
    const auto calls = ui_.calls();
    return calls.empty() ? "" : calls.front();
  }
  std::string error(int line, const std::string& message, const std::string& file = "main.seq") {
    return "box: Compile|File: " + path(file) + "\n" +
           (line ? "Error line: " + std::to_string(line) + " - " : "Error: ") + message +
           "\n\nEdit file?";
  }

  test::TempFolder dir_;
  CompileOptions options_;
  test::RecordingUi ui_;
  SequenceCompiler compiler_{ui_};
};

TEST_F(CompilerTest, WorkedExamplesByteForByte) {
  ASSERT_EQ(compile("PROC BLINK\nSEND 7 1 40 1\nENDPROC\nBLINK\nWAIT 00:00:01\n"), 0);
  EXPECT_EQ(hex(), "09 0C 00 00 11 02 04 07 01 28 01 0A 09 05 00 00 05 00 32 0A");
  EXPECT_EQ(read("main.sfb"), std::string(compiler_.image().begin(), compiler_.image().end()));
  EXPECT_TRUE(ui_.calls().empty());  // success shows nothing

  ASSERT_EQ(compile("WAIT EVENT"), 0);
  EXPECT_EQ(hex(), "09 05 00 00 11 12 0A");
}

TEST_F(CompilerTest, CommandsEmitTheirBytes) {
  struct Case {
    const char* source;
    const char* bytes;  // after the header
  };
  const Case cases[] = {
      {"SEND 7 1 40", "02 03 07 01 28 0A"},
      {"send -1 1 40 5", "02 04 FF 01 28 05 0A"},
      {"SEND 7 -1 40", "02 03 87 00 28 0A"},
      {"SEND 7,1,40=&300", "02 05 07 01 28 2C 01 0A"},
      {"SEND 7 1 40 \"A B,C\"", "02 08 07 01 28 41 20 42 2C 43 0A"},
      {"SEND 7 1 40 @X5", "02 04 07 01 28 05 0A"},
      {"OUTPUT \"AB\" 13", "04 03 41 42 0D 0A"},
      {"OUTPUT \"a;b\" ; comment", "04 03 61 3B 62 0A"},
      {"OUTPUT \"@x\xE9\"", "04 03 40 78 69 0A"},
      {"OUTPUT 101b 0x1F 1Fh -1", "04 04 05 1F 1F FF 0A"},
      {"RADIX 16\nOUTPUT &101b 1F", "04 03 1B 10 1F 0A"},
      {"CALL SUBSEQ extra", "01 53 55 42 53 45 51 00 0A"},
      {"WAIT 00:00:05", "05 00 FA 0A"},
      {"WAIT FOR 00:00:10", "05 01 F4 01 0A"},
      {"WAIT until=00:30:00", "05 02 90 5F 01 00 0A"},
      {"NTSC\nWAIT 00:00:01\nPAL\nWAIT 00:00:01", "05 00 3C 05 00 32 0A"},
      {"REPEAT\nAGAIN\nREPEAT FOREVER\nAGAIN\nREPEAT 255\nAGAIN",
       "0B 00 FF 0C 0B 00 FF 0C 0B 00 FF 0C 0A"},
      {"REPEAT 256\nREPEAT 0\nAGAIN\nAGAIN\nEND", "0B 01 00 01 0B 00 00 0C 0C 0A"},
      {"REPEAT 2\nUNTIL ELAPSED TIME 00:00:05", "0B 00 02 0D 02 FA 00 00 00 0A"},
      {"PROC\nGET x\nPOLL 1\nSPEED 9\nSYMBOLS\nREM x\nUSE y\nEND\nOUTPUT 1", "04 01 01 0A"},
      {"DEFINE LEVEL = 5\nSEND 7 1 40 LEVEL", "02 04 07 01 28 05 0A"},
      {"DEFINE W 300\nSEND 7 1 40 &W", "02 05 07 01 28 2C 01 0A"},
      {"DEFINE FADE SEND 7 ?1 41 ?2\nFADE 2 10", "02 04 07 02 29 0A 0A"},
      {"DEFINE TWICE OUTPUT ?1 ?1\nTWICE 7 8", "04 02 07 07 0A"},
      {"DEFINE MSG \"A, B\"\nOUTPUT MSG", "04 04 41 2C 20 42 0A"},
      {"DEFINE L 5\nSET L 6\nOUTPUT L", "04 01 06 0A"},
      {"DEFINE L 5\nFORGET L\nDEFINE L 7\nOUTPUT L", "04 01 07 0A"},
      {"DEFINE ABCDEFGHIJKLMNOPQ 9\nOUTPUT ABCDEFGHIJKLMNOPQ", "04 01 09 0A"},
      {"OUTPUT __SC__ _UNIT", "04 02 01 00 0A"},
      {"EXIT IF DEFINED NOTHING\nOUTPUT 1\nexit if _UNIT\nFOO", "04 01 01 0A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ASSERT_EQ(compile(c.source), 0) << shown();
    EXPECT_EQ(body(), c.bytes);
  }
}

TEST_F(CompilerTest, ErrorsNameTheFileLineAndExactText) {
  const std::string values91 = [] {
    std::string s = "OUTPUT";
    for (int i = 0; i < 91; ++i)
      s += " 1";
    return s;
  }();
  struct Case {
    std::string source;
    int line;
    std::string message;
  };
  const Case cases[] = {
      {"FOO 1", 1, "'FOO' is not a valid command."},
      {"OUTPUT 1\nDEFINE level 5\nOUTPUT LEVEL", 3, "Converting 'LEVEL' to an integer."},
      {"SEND 7 1", 1, "Send requires at least 3 parameters."},
      {"SEND 7 1 256", 1, "Converting '256' to an integer."},
      {"SEND 7 1 0000000000000001", 1, "Symbol '0000000000000001' is too long"},
      {"RADIX 16\nOUTPUT 101b", 2, "Converting '101b' to an integer."},
      {values91, 1, "Too many parameters!"},
      {"OUTPUT", 1, "OUTPUT requires at least 1 byte."},
      {"OUTPUT \"abc", 1, "String termination missing"},
      {"CALL", 1, "Filename expected."},
      {"CALL ABCDEFGHI", 1, "Filename greater than 8 chars."},
      {"WAIT", 1, "Time parameter expected"},
      {"WAIT FOR", 1, "Time parameter expected"},
      {"WAIT 00:00:05 X", 1, "Additional parameters not supported: X"},
      {"WAIT EVENT 5", 1, "Additional parameters not supported: 5"},
      {"WAIT 00:00:00:26", 1, "Converting time: 00:00:00:26"},
      {"WAIT 25:00:00", 1, "Converting time: 25:00:00"},
      {"REPEAT X", 1, "Can't convert to integer: "},
      {"REPEAT 10001", 1, "Repeat parameter error: "},
      {"REPEAT -2", 1, "Repeat parameter error: "},
      {"AGAIN", 1, "Compiler stack underflow"},
      {"ENDPROC", 1, "Compiler stack underflow"},
      {"PROC P\nAGAIN", 2, "AGAIN without matching REPEAT"},
      {"PROC P\nUNTIL 00:00:01", 2, "UNTIL before matching REPEAT"},
      {"REPEAT\nUNTIL ELAPSED", 2, "Time parameter expected"},
      {"REPEAT\nENDPROC", 2, "ENDPROC not expected"},
      {"REPEAT\nEND", 2, "Unexpected END"},
      {"SEND 7 1 40\nPROC LATE", 2, "Procedure must be defined before body of sequence: LATE"},
      {"PROC Send", 1, "Attempt to redefine Send"},
      {"DEFINE P 1\nPROC P", 2, "Attempt to redefine P"},
      {"PROC P X", 1, "PROC variables not used in FLASH seq files"},
      {"DEFINE", 1, "Define requires at least 2 parameters."},
      {"DEFINE X", 1, "Macro 'X' has no body."},
      {"DEFINE wait 1", 1, "Attempt to redefine: 'wait'"},
      {"DEFINE X 1\nDEFINE X 2", 2, "Attempt to redefine: 'X'"},
      {"DEFINE X " + std::string(135, 'b'), 1, "Expansion exeeds max line length"},
      {"SET", 1, "Set requires a parameter."},
      {"SET X 1", 1, "'X' is not a defined symbol."},
      {"DEFINE X 1\nSET X", 2, "Macro 'X' has no body."},
      {"FORGET", 1, "Forget requires a parameter."},
      {"FORGET REPEAT", 1, "'REPEAT' is not a defined symbol."},
      {"RADIX", 1, "RADIX requires a parameter."},
      {"RADIX 17", 1, "Radix must be between 2..16 -"},
      {"RADIX 1F", 1, "Converting '1F' to an integer."},
      {"EXIT", 1, "IF expected."},
      {"EXIT WHEN X", 1, "IF expected not: "},
      {"EXIT IF DEFINED", 1, "EXIT IF requires a symbol name."},
      {"EXEC prog", 1, "EXEC is not used in FLASH sequence files."},
      {"SHELL dir", 1, "SHELL is not used in FLASH sequence files."},
      {"INCLUDE", 1, "Include filename expected."},
      {"OUTPUT 1\nINCLUDE nowhere.inc", 2, "Can't open file: nowhere.inc"},
      {"INCLUDE " + std::string(84, 'n'), 1, "Can't open file: " + std::string(84, 'n')},
      {"DEFINE LOOP LOOP\nLOOP", 2, "Unable to expand line after 10 passes"},
      {"DEFINE FADE SEND 7 ?1 41 ?2\nFADE 2", 2, "Insufficient parameters to FADE"},
      {"DEFINE M OUTPUT ?1 ?3\nM 1 2", 2, "Can't substitute parameter"},
      {"DEFINE B " + std::string(100, 'b') + "\nOUTPUT B B B", 2,
       "Expansion exeeds max line length"},
      // Separating spaces overflow the line buffer while fewer than 240 characters are counted.
      {"DEFINE X a\nOUTPUT" +
           [] {
             std::string s;
             for (int i = 0; i < 80; ++i)
               s += " X";
             return s;
           }(),
       2, "Expansion exeeds max line length"},
      {"REPEAT", 0, "Unexpected end"},
      {"DEFINE X 1\nPROC P\nOUTPUT 1\nENDPROC", 0, "No start code defined."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_NE(compile(c.source), 0);
    EXPECT_EQ(ui_.calls(), std::vector<std::string>{error(c.line, c.message)});
    EXPECT_FALSE(fs::exists(path("main.sfb")));
  }
}

TEST_F(CompilerTest, MacroChainsExpandForNinePasses) {
  std::string chain;
  for (int i = 1; i <= 10; ++i)
    chain += "DEFINE M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
  // Nine macros from M3 to M11 take nine replacing passes; ten from M2 take one too many.
  chain += "DEFINE M11 OUTPUT 1\n";
  ASSERT_EQ(compile(chain + "M3"), 0) << shown();
  EXPECT_EQ(body(), "04 01 01 0A");
  EXPECT_EQ(compile(chain + "M2"), 1);
  EXPECT_EQ(shown(), error(12, "Unable to expand line after 10 passes"));
}

TEST_F(CompilerTest, LongPhysicalLineIsTwoNumberedLines) {
  const std::string first = "OUTPUT 1" + std::string(233, ' ');
  ASSERT_EQ(compile(first + "OUTPUT 2" + std::string(51, ' ') + "\nOUTPUT 3"), 0) << shown();
  EXPECT_EQ(body(), "04 01 01 04 01 02 04 01 03 0A");
  EXPECT_EQ(compile(first + "OUTPUT 2" + std::string(51, ' ') + "\nBAD"), 1);
  EXPECT_EQ(shown(), error(3, "'BAD' is not a valid command."));
  EXPECT_EQ(compile(first + "BAD\nOUTPUT 3"), 1);
  EXPECT_EQ(shown(), error(2, "'BAD' is not a valid command."));
}

// A line of 240 characters fills its piece but for the line end, CR LF as well as LF.
TEST_F(CompilerTest, CrLfLineEndsNumberTheLinesAsLfDoes) {
  const std::string full = "; " + std::string(238, 'c');
  for (const std::string end : {"\n", "\r\n"}) {
    SCOPED_TRACE(end.size());
    EXPECT_EQ(compile(full + end + "BAD" + end + "OUTPUT 1" + end), 1);
    EXPECT_EQ(shown(), error(2, "'BAD' is not a valid command."));
  }
}

TEST_F(CompilerTest, CodeSizeLimitCountsTheHeaderAndTheFinalReturn) {
  const auto output = [](int values) {
    std::string s = "OUTPUT";
    for (int i = 0; i < values; ++i)
      s += " 7";
    return s + "\n";
  };
  std::string full;
  for (int i = 0; i < 88; ++i)
    full += output(90);  // 5 + 88 * 92 = 8101 bytes
  ASSERT_EQ(compile(full + output(88)), 0) << shown();
  EXPECT_EQ(compiler_.image().size(), 8192u);
  EXPECT_EQ(compile(full + output(89)), 1);
  EXPECT_EQ(shown(), error(0, "Compiled code exceeds size limit"));
  EXPECT_EQ(compile(full + output(90)), 1);
  EXPECT_EQ(shown(), error(89, "Compiled code exceeds size limit"));
}

TEST_F(CompilerTest, NinetyNineBlocksMayBeOpen) {
  const auto repeats = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s = "REPEAT\n" + s + "AGAIN\n";
    return s;
  };
  EXPECT_EQ(compile(repeats(99)), 0) << shown();
  EXPECT_EQ(compile(repeats(100)), 1);
  EXPECT_EQ(shown(), error(100, "Compiler stack overflow"));
}

TEST_F(CompilerTest, IncludeFormsNestingAndErrorsInsideIncludes) {
  write("a b.inc", "DEFINE AB 2\n");
  write("lib.inc", "DEFINE LIB 3\n");
  options_.include_dir = "  " + dir_.string();
  const std::string main = "INCLUDE \"" + path("a b.inc") + "\"\nINCLUDE <lib.inc>\nOUTPUT AB LIB";
  ASSERT_EQ(compile(main), 0) << shown();
  EXPECT_EQ(body(), "04 02 02 03 0A");
  options_.include_dir = dir_.string() + "/";
  ASSERT_EQ(compile("INCLUDE <lib.inc\nOUTPUT LIB"), 0) << shown();

  // main is the first level: ten levels compile, the eleventh is refused.
  for (int i = 1; i <= 10; ++i)
    write("n" + std::to_string(i) + ".inc",
          "INCLUDE " + path("n" + std::to_string(i + 1) + ".inc"));
  write("n10.inc", "OUTPUT 10");
  EXPECT_EQ(compile("INCLUDE " + path("n2.inc")), 0) << shown();
  EXPECT_EQ(compile("INCLUDE " + path("n1.inc")), 1);
  EXPECT_EQ(shown(), error(1, "Include file nested too deep: " + path("n10.inc"), "n9.inc"));

  // Errors name the include and its line; afterwards the including file is current again.
  write("bad.inc", "OUTPUT 1\nOOPS\n");
  ui_.answer({BoxAnswer::Yes});
  EXPECT_EQ(compile("\nINCLUDE " + path("bad.inc")), 1);
  EXPECT_EQ(ui_.calls(),
            (std::vector<std::string>{error(2, "'OOPS' is not a valid command.", "bad.inc"),
                                      "edit:" + path("bad.inc") + ":2"}));
  write("ok.inc", "\n\n\n\nOUTPUT 1\n");
  EXPECT_EQ(compile("INCLUDE " + path("ok.inc") + "\nOOPS"), 1);
  EXPECT_EQ(shown(), error(2, "'OOPS' is not a valid command."));
}

TEST_F(CompilerTest, IncludeOfADeviceOrFolderIsRefusedNotRead) {
  // A device would never end and a folder is no file: both are reported, not read.
  EXPECT_EQ(compile("INCLUDE /dev/zero"), 1);
  EXPECT_EQ(shown(), error(1, "Can't open file: /dev/zero"));
  EXPECT_EQ(compile("INCLUDE " + dir_.string()), 1);
  EXPECT_EQ(shown(), error(1, "Can't open file: " + dir_.string()));
}

TEST_F(CompilerTest, ExitIfDefinedSkipsOnlyTheRestOfItsFile) {
  options_.skip_std = false;
  options_.selected_unit = 2;
  write("std.inc", "DEFINE A 1\nEXIT IF DEFINED __SC__\nDEFINE LATER 2\n");
  write("part.inc", "OUTPUT 3\nEXIT IF A\nOOPS\n");
  ASSERT_EQ(compile("OUTPUT A _UNIT\nINCLUDE " + path("part.inc") + "\nOUTPUT 4"), 0) << shown();
  EXPECT_EQ(body(), "04 02 01 02 04 01 03 04 01 04 0A");
  EXPECT_EQ(compile("OUTPUT LATER"), 1);
  EXPECT_EQ(shown(), error(1, "Converting 'LATER' to an integer."));

  fs::remove(dir_ / "std.inc");
  EXPECT_EQ(compile("OUTPUT 1"), 1);
  EXPECT_EQ(shown(), error(0, "Can't open file: " + path("std.inc")));
}

TEST_F(CompilerTest, FieldRateOutlivesTheCompilation) {
  EXPECT_EQ(compiler_.field_rate(), 50);
  ASSERT_EQ(compile("NTSC\nWAIT 00:00:01"), 0);
  ASSERT_EQ(compile("WAIT 00:00:01"), 0);
  EXPECT_EQ(body(), "05 00 3C 0A");
  EXPECT_EQ(compile("PAL\nFOO"), 1);  // a failed compilation still changes it
  ASSERT_EQ(compile("WAIT 00:00:01"), 0);
  EXPECT_EQ(body(), "05 00 32 0A");
}

TEST_F(CompilerTest, OutputIsReplacedWholeOrNotAtAll) {
  write("main.sfb", "old contents that are longer than the new image");
  ASSERT_EQ(compile("OUTPUT 1"), 0);
  EXPECT_EQ(read("main.sfb"), std::string("\x09\x05\x00\x00\x11\x04\x01\x01\x0A", 9));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);

  EXPECT_EQ(compile("OUTPUT 2\nREPEAT"), 1);
  EXPECT_EQ(read("main.sfb").size(), 9u);  // the old output stays as it was
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);

  write("main.seq", "OUTPUT 1");
  ui_.clear();
  const std::string elsewhere = path("missing/out.sfb");
  EXPECT_EQ(compiler_.compile_sequence(path("main.seq"), elsewhere, options_), 1);
  EXPECT_EQ(shown(), error(0, "Unable to open file: " + elsewhere));
  EXPECT_EQ(compiler_.image().size(), 9u);  // still the last successful one

  ui_.clear();
  EXPECT_EQ(compiler_.compile_sequence(path("none.seq"), std::nullopt, options_), 1);
  EXPECT_EQ(shown(), error(0, "Can't open file: " + path("none.seq"), "none.seq"));

  // An output that is a file the compilation read is refused, and that file stays as it was.
  write("inc.seq", "OUTPUT 2\n");
  write("main.seq", "OUTPUT 1\nINCLUDE \"" + path("inc.seq") + "\"\n");
  for (const char* input : {"main.seq", "inc.seq"}) {
    ui_.clear();
    EXPECT_EQ(compiler_.compile_sequence(path("main.seq"), path(input), options_), 1);
    EXPECT_EQ(shown(), error(0, "Output file is an input file: " + path(input))) << input;
  }
  EXPECT_EQ(read("main.seq"), "OUTPUT 1\nINCLUDE \"" + path("inc.seq") + "\"\n");
  EXPECT_EQ(read("inc.seq"), "OUTPUT 2\n");
}

// The GUI and qmctl build their options here: the program's std.inc folder, the selected
// unit as it stands (-1 for all) and the QUADRIMON folder as written, non-ASCII included.
TEST(ProgramCompileOptions, ComeFromTheProgramTheUnitAndTheEnvironment) {
  const char* kept = std::getenv("QUADRIMON");
  const std::optional<std::string> before = kept ? std::optional<std::string>(kept) : std::nullopt;
  ProgramOptions program;
  program.skip_std = true;
  ::setenv("QUADRIMON", "/srv/S\xC3\xA4le inc", 1);
  const CompileOptions all = program_compile_options(program, -1);
  EXPECT_TRUE(all.skip_std);
  EXPECT_EQ(all.selected_unit, -1);
  EXPECT_EQ(all.std_dir, platform::executable_dir());
  EXPECT_EQ(all.include_dir, "/srv/S\xC3\xA4le inc");

  ::unsetenv("QUADRIMON");
  program.skip_std = false;
  const CompileOptions one = program_compile_options(program, 2);
  EXPECT_FALSE(one.skip_std);
  EXPECT_EQ(one.selected_unit, 2);
  EXPECT_EQ(one.include_dir, std::nullopt);
  if (before) ::setenv("QUADRIMON", before->c_str(), 1);
}

}  // namespace
}  // namespace qm
