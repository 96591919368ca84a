#include "compiler/source_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

std::vector<std::string> texts(const std::vector<SourceLine>& lines) {
  std::vector<std::string> out;
  for (const SourceLine& line : lines)
    out.push_back(std::to_string(line.number) + ":" + line.text);
  return out;
}

TEST(SplitSourceLines, CutsEndsCommentsAndBlanksButKeepsNumbering) {
  const std::string content =
      "SEND 7 1 40 \t; comment\r\n"
      "\n"
      "; only a comment\n"
      "OUTPUT \"a;b\" ; the first ';' is quoted\n"
      "WAIT\x1AGARBAGE\rMORE\n"
      "LAST";
  EXPECT_EQ(texts(split_source_lines(content, kCompilerPieceLength)),
            (std::vector<std::string>{"1:SEND 7 1 40", "2:", "3:", "4:OUTPUT \"a;b\"", "5:WAIT",
                                      "6:LAST"}));
}

TEST(SplitSourceLines, LongLinesBecomeSeveralNumberedPieces) {
  const std::string long_line = std::string(241, 'a') + std::string(59, 'b');
  EXPECT_EQ(
      texts(split_source_lines(long_line + "\nX\n", kCompilerPieceLength)),
      (std::vector<std::string>{"1:" + std::string(241, 'a'), "2:" + std::string(59, 'b'), "3:X"}));
  // A line that exactly fills a piece leaves its line feed to an empty piece of its own.
  EXPECT_EQ(texts(split_source_lines(std::string(133, 'c') + "\nY", kRunnerPieceLength)),
            (std::vector<std::string>{"1:" + std::string(133, 'c'), "2:", "3:Y"}));
}

// A CR LF is one line end: a line that fills its piece but for the line end is one line,
// whether the file ends its lines with LF or CR LF.
TEST(SplitSourceLines, CrLfEndsALineAsLfDoes) {
  for (const std::size_t piece : {kCompilerPieceLength, kRunnerPieceLength}) {
    for (const std::size_t length : {piece - 1, piece}) {
      const std::string line(length, 'c');
      const auto with_lf = texts(split_source_lines(line + "\nX\nY", piece));
      const auto with_crlf = texts(split_source_lines(line + "\r\nX\r\nY", piece));
      SCOPED_TRACE(std::to_string(piece) + " " + std::to_string(length));
      EXPECT_EQ(with_crlf, with_lf);
      EXPECT_EQ(with_lf.back(), length < piece ? "3:Y" : "4:Y");
    }
  }
}

TEST(MarkQuoted, MarksInsideQuotesAndRefusesAnOddQuote) {
  std::string line = "OUTPUT \"A B\" 1";
  ASSERT_TRUE(mark_quoted(line));
  EXPECT_EQ(line, "OUTPUT \"\xC1\xA0\xC2\" 1");
  clear_bit7(line);
  EXPECT_EQ(line, "OUTPUT \"A B\" 1");

  std::string open = "OUTPUT \"A \"B\" C";
  EXPECT_FALSE(mark_quoted(open));
  EXPECT_EQ(open, "OUTPUT \"A \"B\" C");
}

TEST(Tokenizer, SplitsLikeStrtokKeepingQuotedStretchesWhole) {
  Tokenizer tokens("SEND 7,1,FN=3 \"a, b\"x\ty");
  std::vector<std::string> seen;
  while (const auto token = tokens.next())
    seen.emplace_back(*token);
  EXPECT_EQ(seen, (std::vector<std::string>{"SEND", "7", "1", "FN", "3", "\"a, b\"x", "y"}));

  // The separator that ends a token is consumed; the next call may use other separators.
  Tokenizer wait("00:00:05,+X");
  EXPECT_EQ(wait.next(" +=,\t"), "00:00:05");
  EXPECT_EQ(wait.rest(), "+X");
  EXPECT_EQ(wait.next(" *+\t"), "X");
  EXPECT_EQ(wait.next(), std::nullopt);
}

TEST(SymbolTable, NewestFirstWithCutNames) {
  SymbolTable symbols;
  symbols.define_macro("LEVEL", "5 ");
  symbols.define_procedure("ABCDEFGHIJKLMNOPQ", 12);
  symbols.define_macro("FADE", "SEND 7 ?1 41 ?2 ");
  ASSERT_EQ(symbols.records().size(), 3u);
  EXPECT_EQ(symbols.records().front().name, "FADE");

  const SymbolRecord* proc = symbols.find("ABCDEFGHIJKLMNOXYZ");  // same first 15 characters
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc->name, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(proc->kind, SymbolKind::Procedure);
  EXPECT_EQ(proc->address, 12);
  EXPECT_EQ(symbols.find("FADE")->parameter_count, 2);
  EXPECT_EQ(symbols.find("level"), nullptr);  // names are case-sensitive

  EXPECT_TRUE(symbols.remove("LEVEL"));
  EXPECT_FALSE(symbols.remove("LEVEL"));
  EXPECT_EQ(count_parameters(std::string(20, '?')), 17);
}

TEST(MacroBody, TokensEndInOneSpaceAndTheLimitIsInclusive) {
  Tokenizer joined("1,  2\t\"a b\"");
  const MacroBody taken = read_macro_body(joined, "X");
  EXPECT_EQ(taken.body, "1 2 \"a b\" ");
  EXPECT_EQ(taken.error, "");

  // 134 characters and the space after them fill a body exactly; one more is refused whole.
  const std::string longest(kMaxMacroBody - 1, 'b');
  Tokenizer full(longest);
  EXPECT_EQ(read_macro_body(full, "X").body, longest + " ");
  const std::string too_long = longest + "b";
  Tokenizer over(too_long);
  const MacroBody refused = read_macro_body(over, "X");
  EXPECT_EQ(refused.error, "Expansion exeeds max line length");
  EXPECT_EQ(refused.body, "");

  Tokenizer blank(" \t,");
  EXPECT_EQ(read_macro_body(blank, "LEVEL").error, "Macro 'LEVEL' has no body.");
}

TEST(ParseTime, FieldsAtFiftyAndSixty) {
  struct Case {
    const char* token;
    int rate;
    long fields;
  };
  const Case cases[] = {
      {"1:2:3", 50, 186150},     {"00:00:01.5", 50, 75}, {"00:00:01.25", 50, 62},
      {"00:00:00:25", 50, 50},   {"00:00:00-5", 50, 10}, {"00:60:00", 50, 180000},
      {"24:00:00", 50, 4320000}, {"00:00:05", 60, 300},  {"00:00:00:30", 60, 60},
      {"00:00:01.05", 60, 63},   {"00:00:05x", 50, 250}, {"+1:00:00", 50, 180000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    EXPECT_EQ(parse_time(c.token, c.rate), c.fields);
  }
  for (const char* bad : {"00:00:00:26", "25:00:00", "00:61:00", "00:00:61", "1:2", "12",
                          "00:00:05x5", "-1:00:00", "123:00:00", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parse_time(bad, 50), std::nullopt);
  }
  EXPECT_EQ(parse_time("00:00:00:26", 60), 52);
}

}  // namespace
}  // namespace qm
